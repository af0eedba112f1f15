// Strings across the Qt boundary. The library's strings are bytes in the
// active code page and its resources are UTF-8; Qt's are UTF-16. Every
// conversion goes through the code-page layer.
#pragma once

#include <QString>
#include <string>

namespace velkor {

// Active code page to Qt (bytes that form no character become U+FFFD).
QString ToQString(const std::string& text);
// Qt to the active code page ('?' for characters it cannot show).
std::string FromQString(const QString& text);
// A UTF-8 resource text to Qt.
QString ResourceQString(const char* utf8);
// String-table entry `id` for the user interface, in the language in use
// (see Language.h).
QString LibraryQString(int id);

}  // namespace velkor
