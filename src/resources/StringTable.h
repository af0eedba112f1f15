// The library's string table. Texts are kept as UTF-8 in the source and
// handed out in the active code page, like every string of the library.
#pragma once

#include <string>

namespace velkor {

// The string with that resource number in the active code page; empty when
// there is none.
std::string LoadLibraryString(int id);
// The same string as written in the source (UTF-8), for the user interface;
// null when there is none.
const char* LoadLibraryStringUtf8(int id);

// The head of a page made from plain text; "%s" stands for the charset.
inline constexpr int IDS_HTML_HEAD_TEMPLATE = 870;

// The browse dialog's messages.
inline constexpr int IDS_CANNOT_LOGON = 400;          // the site refused the logon
inline constexpr int IDS_NO_FOLDER_CHOSEN = 401;      // OK with an empty folder
inline constexpr int IDS_ASK_CREATE_FOLDER = 402;     // the folder is not on the server
inline constexpr int IDS_CANNOT_CREATE_FOLDER = 403;  // creating it failed

// The file list's column titles.
inline constexpr int IDS_COLUMN_NAME = 901;
inline constexpr int IDS_COLUMN_SIZE = 902;
inline constexpr int IDS_COLUMN_TYPE = 903;
inline constexpr int IDS_COLUMN_STATE = 904;
inline constexpr int IDS_COLUMN_MODIFIED = 905;     // beyond the older four
inline constexpr int IDS_COLUMN_PERMISSIONS = 906;

}  // namespace velkor
