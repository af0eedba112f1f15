// The library's string table.
#pragma once

#include <string>

namespace velkor {

// The string with that resource number; empty when there is none.
std::string LoadLibraryString(int id);

// The head of a page made from plain text; "%s" stands for the charset.
inline constexpr int IDS_HTML_HEAD_TEMPLATE = 870;

}  // namespace velkor
