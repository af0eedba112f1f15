#include "resources/DialogTemplates.h"

#include <iterator>

namespace velkor {

namespace {

using K = ControlKind;

constexpr DialogControl kBrowseControls[] = {
    {IDOK, K::DefaultButton, "确定", 185, 15, 45, 14, false},
    {IDCANCEL, K::Button, "取消", 185, 35, 45, 14, false},
    {IDC_BROWSE_PATH, K::Edit, "", 10, 15, 165, 12, false},
    {IDC_BROWSE_TREE, K::Tree, "Tree1", 10, 35, 165, 220, false},
    {IDC_BROWSE_CREATE, K::Button, "创建文件夹", 185, 65, 47, 14, true},
    {IDC_BROWSE_WAIT, K::Text, "登录Ftp服务器，需要花费一些时间，请等待...", 185, 95, 45, 94, false},
    {IDC_STATIC, K::Text, "选择目录:", 10, 5, 37, 8, false},
};

constexpr DialogControl kProxyControls[] = {
    {IDC_STATIC, K::GroupBox, "代理服务器", 7, 5, 223, 139, false},
    {IDC_STATIC, K::Text, "类型", 22, 20, 17, 8, false},
    {IDC_STATIC, K::Text, "代理服务器地址", 60, 20, 57, 8, false},
    {IDC_STATIC, K::Text, "端口", 170, 20, 17, 8, false},
    {IDC_STATIC, K::Text, "HTTP:", 22, 32, 21, 8, false},
    {IDC_PROXY_HTTP_HOST, K::Edit, "", 60, 32, 100, 12, false},
    {IDC_PROXY_HTTP_PORT, K::Edit, "", 170, 32, 40, 12, false},
    {IDC_STATIC, K::Text, "Secure:", 22, 52, 29, 8, false},
    {IDC_PROXY_SECURE_HOST, K::Edit, "", 60, 52, 100, 12, false},
    {IDC_PROXY_SECURE_PORT, K::Edit, "", 170, 52, 40, 12, false},
    {IDC_STATIC, K::Text, "FTP:", 22, 72, 17, 8, false},
    {IDC_PROXY_FTP_HOST, K::Edit, "", 60, 72, 100, 12, false},
    {IDC_PROXY_FTP_PORT, K::Edit, "", 170, 72, 40, 12, false},
    {IDC_STATIC, K::Text, "Gopher:", 22, 92, 30, 12, false},
    {IDC_PROXY_GOPHER_HOST, K::Edit, "", 60, 92, 100, 12, false},
    {IDC_PROXY_GOPHER_PORT, K::Edit, "", 170, 92, 40, 12, false},
    {IDC_STATIC, K::Text, "Socks:", 22, 112, 25, 8, false},
    {IDC_PROXY_SOCKS_HOST, K::Edit, "", 60, 112, 100, 12, false},
    {IDC_PROXY_SOCKS_PORT, K::Edit, "", 170, 112, 40, 12, false},
    {IDC_PROXY_SAME, K::CheckBox, "对于所有的协议使用相同的代理服务器", 22, 131, 152, 10, false},
    {IDC_STATIC, K::GroupBox, "登录帐号/密码", 7, 156, 223, 100, false},
    {IDC_STATIC, K::Text, "登录帐号:", 22, 172, 36, 8, false},
    {IDC_PROXY_USER, K::Edit, "", 60, 171, 150, 13, false},
    {IDC_STATIC, K::Text, "输入密码:", 22, 192, 37, 8, false},
    {IDC_PROXY_PASSWORD, K::PasswordEdit, "", 60, 192, 150, 12, false},
    {IDC_STATIC, K::Text, "确认密码:", 22, 212, 37, 8, false},
    {IDC_PROXY_CONFIRM, K::PasswordEdit, "", 60, 211, 150, 13, false},
    {IDC_PROXY_LOGON, K::CheckBox, "需要设置代理服务器登录帐号/密码", 22, 236, 161, 10, false},
    {IDC_PROXY_DISABLE, K::CheckBox, "禁止使用代理服务器", 22, 261, 88, 10, false},
    {IDOK, K::DefaultButton, "确认", 50, 280, 50, 14, false},
    {IDCANCEL, K::Button, "取消", 140, 280, 50, 14, false},
};

constexpr DialogTemplate kTemplates[] = {
    {IDD_BROWSE_FOLDER, "浏览目录", "宋体", 9, 240, 265, kBrowseControls,
     std::size(kBrowseControls)},
    {IDD_PROXY_SETUP, "代理服务器设置", "宋体", 9, 237, 302, kProxyControls,
     std::size(kProxyControls)},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& t : kTemplates)
        if (t.id == id) return &t;
    return nullptr;
}

}  // namespace velkor
