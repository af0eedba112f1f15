#include "platform/CXCommon.h"

#include "platform/CodePage.h"

namespace velkor {

std::string CXCommon::GetCurrentTextCharset() {
    switch (GetActiveCodePage()) {
        case kCodePageGbk: return "GB2312";
        case kCodePageShiftJis: return "shift_jis";
        case kCodePageKorean: return "ks_c_5601-1987";
        case kCodePageBig5: return "big5";
        case kCodePageUtf7: return "utf-7";
        case kCodePageUtf8: return "utf-8";
        default: return "iso-8859-1";
    }
}

}  // namespace velkor
