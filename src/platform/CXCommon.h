// CXCommon: small helpers shared with the dialog library.
#pragma once

#include <string>

namespace velkor {

class CXCommon {
public:
    // The charset name of the active code page: "GB2312" for 936, "utf-8"
    // for 65001, and the usual names for the others.
    static std::string GetCurrentTextCharset();
};

}  // namespace velkor
