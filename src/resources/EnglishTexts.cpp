#include "resources/EnglishTexts.h"

#include <cstring>
#include <iterator>

namespace velkor {

namespace {

constexpr EnglishText kTexts[] = {
    // the string table
    {"无法登录指定的FTP站点", "Cannot log on to the FTP site"},
    {"没有选择网络硬盘的存放位置", "No folder is chosen"},
    {"是否需要创建指定文件夹?", "The folder is not there. Create it?"},
    {"无法创建指定文件夹", "Cannot create the folder"},
    {"名称", "Name"},
    {"大小", "Size"},
    {"类型", "Type"},
    {"修改状态", "State"},
    {"修改时间", "Modified"},
    {"权限", "Permissions"},
    // the browse-folder dialog
    {"浏览目录", "Browse folder"},
    {"确定", "OK"},
    {"取消", "Cancel"},
    {"创建文件夹", "New folder"},
    {"登录Ftp服务器，需要花费一些时间，请等待...", "Logging on to the FTP server, please wait..."},
    {"选择目录:", "Folder:"},
    // the proxy setup dialog ("类型" and "取消" above)
    {"代理服务器设置", "Proxy settings"},
    {"代理服务器", "Proxy servers"},
    {"代理服务器地址", "Proxy address"},
    {"端口", "Port"},
    {"对于所有的协议使用相同的代理服务器", "Use the same proxy for every protocol"},
    {"登录帐号/密码", "Logon"},
    {"登录帐号:", "User:"},
    {"输入密码:", "Password:"},
    {"确认密码:", "Confirm:"},
    {"需要设置代理服务器登录帐号/密码", "The proxy needs a user and password"},
    {"禁止使用代理服务器", "Use no proxy"},
    {"确认", "OK"},
};

}  // namespace

const char* EnglishOf(const char* documented) {
    if (!documented) return nullptr;
    for (const EnglishText& t : kTexts)
        if (std::strcmp(t.documented, documented) == 0) return t.english;
    return nullptr;
}

const EnglishText* EnglishTexts(int& count) {
    count = static_cast<int>(std::size(kTexts));
    return kTexts;
}

}  // namespace velkor
