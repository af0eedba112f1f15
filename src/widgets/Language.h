// Language: the one language a window's texts show in.
//
// English is the source language of every text: the programs' texts are
// English tr() strings, and the string table's and dialog templates' Chinese
// texts show as their English. InstallLanguage switches to Chinese
// (Simplified) when VELKOR_LANG, else the system locale, names it ("zh_CN",
// "zh"): a translator installed in the application gives the Chinese of
// the tr() strings (the texts programs add with AddChineseTexts), and the
// documented Chinese texts show as they are written. Call it before the
// first window is made.
#pragma once

#include <QString>
#include <initializer_list>
#include <utility>

class QCoreApplication;

namespace velkor {

// "zh_CN" or "en": the language now in use. `wanted` overrides the
// environment and locale (tests).
QString InstallLanguage(QCoreApplication& app, const QString& wanted = QString());
// True once Chinese is installed.
bool ChineseInUse();
// A string-table or dialog-template text in the language in use.
QString UiText(const char* documented);
// Chinese for English tr() source texts (UTF-8 pairs), whatever their
// context; later pairs replace earlier ones.
void AddChineseTexts(std::initializer_list<std::pair<const char*, const char*>> pairs);

}  // namespace velkor
