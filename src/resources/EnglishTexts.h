// The English of the library's Chinese user-interface texts. The string
// table and the dialog templates keep their Chinese texts as they were
// written; the user interface shows this English unless it is set to
// Chinese, whose translation gives the Chinese texts back.
#pragma once

namespace velkor {

// The English of a string-table or dialog-template text (UTF-8, compared
// whole); null for a text without one (already English, or empty).
const char* EnglishOf(const char* documented);

// The pairs themselves, for a translation back to Chinese.
struct EnglishText {
    const char* documented;
    const char* english;
};
const EnglishText* EnglishTexts(int& count);

}  // namespace velkor
