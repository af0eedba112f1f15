#include "widgets/QtText.h"

#include <cstring>
#include <vector>

#include "platform/CodePage.h"
#include "resources/StringTable.h"
#include "widgets/Language.h"

namespace velkor {

QString ToQString(const std::string& text) {
    const std::u16string wide = ActiveToUtf16(text);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string FromQString(const QString& text) {
    return Utf16ToActive(reinterpret_cast<const char16_t*>(text.utf16()),
                         static_cast<std::size_t>(text.size()));
}

QString ResourceQString(const char* utf8) {
    if (!utf8 || !*utf8) return {};
    const std::size_t len = std::strlen(utf8);
    std::vector<char16_t> wide(len + 1);
    std::size_t written = 0;
    if (!Utf8ToUtf16(reinterpret_cast<const unsigned char*>(utf8), len, wide.data(), wide.size(),
                     written))
        return {};
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(written));
}

QString LibraryQString(int id) { return UiText(LoadLibraryStringUtf8(id)); }

}  // namespace velkor
