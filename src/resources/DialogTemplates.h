// The library's dialog templates: each control's id, kind, text and place in
// dialog units, as the dialog classes build them. Texts are UTF-8.
#pragma once

#include <cstddef>

namespace velkor {

// Standard control ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;

// The browse-folder dialog.
inline constexpr int IDD_BROWSE_FOLDER = 2014;
inline constexpr int IDC_BROWSE_TREE = 2015;
inline constexpr int IDC_BROWSE_PATH = 2016;
inline constexpr int IDC_BROWSE_CREATE = 2013;
// The "logging on" text (an unnamed static in the older template), hidden
// once the logon is over.
inline constexpr int IDC_BROWSE_WAIT = 2017;

// The proxy setup dialog.
inline constexpr int IDD_PROXY_SETUP = 5001;
inline constexpr int IDC_PROXY_USER = 5000;
inline constexpr int IDC_PROXY_PASSWORD = 5001;
inline constexpr int IDC_PROXY_CONFIRM = 5002;
inline constexpr int IDC_PROXY_LOGON = 5003;
inline constexpr int IDC_PROXY_HTTP_HOST = 10001;
inline constexpr int IDC_PROXY_HTTP_PORT = 10002;
inline constexpr int IDC_PROXY_SECURE_HOST = 10003;
inline constexpr int IDC_PROXY_SECURE_PORT = 10004;
inline constexpr int IDC_PROXY_FTP_HOST = 10005;
inline constexpr int IDC_PROXY_GOPHER_HOST = 10006;
inline constexpr int IDC_PROXY_SOCKS_HOST = 10007;
inline constexpr int IDC_PROXY_FTP_PORT = 10008;
inline constexpr int IDC_PROXY_GOPHER_PORT = 10009;
inline constexpr int IDC_PROXY_SOCKS_PORT = 10010;
inline constexpr int IDC_PROXY_SAME = 10011;
inline constexpr int IDC_PROXY_DISABLE = 10013;

enum class ControlKind { DefaultButton, Button, Edit, PasswordEdit, Tree, Text, GroupBox, CheckBox };

struct DialogControl {
    int id;  // IDC_STATIC for texts and group boxes
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;  // dialog units
    bool disabled;     // created disabled
};

struct DialogTemplate {
    int id;
    const char* title;
    const char* fontFace;  // the face the template names; others may stand in
    int fontPoints;
    int cx, cy;  // dialog units
    const DialogControl* controls;
    std::size_t controlCount;
};

// The template with that id, or null.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace velkor
