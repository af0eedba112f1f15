#include "resources/StringTable.h"

#include "platform/CodePage.h"

namespace velkor {

const char* LoadLibraryStringUtf8(int id) {
    switch (id) {
        case IDS_HTML_HEAD_TEMPLATE:
            return "<head>\n<title>Html Document</title>\n<meta http-equiv=\"Content-Type\" "
                   "content=\"text/html; charset=%s\">\n</head>";
        case IDS_CANNOT_LOGON: return "无法登录指定的FTP站点";
        case IDS_NO_FOLDER_CHOSEN: return "没有选择网络硬盘的存放位置";
        case IDS_ASK_CREATE_FOLDER: return "是否需要创建指定文件夹?";
        case IDS_CANNOT_CREATE_FOLDER: return "无法创建指定文件夹";
        case IDS_COLUMN_NAME: return "名称";
        case IDS_COLUMN_SIZE: return "大小";
        case IDS_COLUMN_TYPE: return "类型";
        case IDS_COLUMN_STATE: return "修改状态";
        case IDS_COLUMN_MODIFIED: return "修改时间";
        case IDS_COLUMN_PERMISSIONS: return "权限";
        default: return nullptr;
    }
}

std::string LoadLibraryString(int id) {
    const char* text = LoadLibraryStringUtf8(id);
    return text ? Utf8ToActive(text) : std::string();
}

}  // namespace velkor
