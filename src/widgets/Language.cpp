#include "widgets/Language.h"

#include <QCoreApplication>
#include <QHash>
#include <QLocale>
#include <QTranslator>

#include "resources/EnglishTexts.h"
#include "widgets/QtText.h"

namespace velkor {

namespace {

bool g_chinese = false;

QHash<QString, QString>& ChineseOf() {
    static QHash<QString, QString> texts;
    return texts;
}

// Qt's translation system without .qm files: the Chinese of a source text,
// in any context; an empty answer keeps the English.
class ChineseTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char*, const char* source, const char*, int) const override {
        return source ? ChineseOf().value(QString::fromUtf8(source)) : QString();
    }
};

}  // namespace

QString InstallLanguage(QCoreApplication& app, const QString& wanted) {
    QString name = wanted;
    if (name.isEmpty()) name = qEnvironmentVariable("VELKOR_LANG");
    if (name.isEmpty()) name = QLocale::system().name();
    static ChineseTranslator translator;
    g_chinese = name.startsWith(QLatin1String("zh"));
    if (g_chinese) app.installTranslator(&translator);
    else app.removeTranslator(&translator);
    // Numbers, sizes and the desktop's type names follow the language too.
    QLocale::setDefault(g_chinese ? QLocale(QLocale::Chinese, QLocale::China) : QLocale(QLocale::English));
    return g_chinese ? QStringLiteral("zh_CN") : QStringLiteral("en");
}

bool ChineseInUse() { return g_chinese; }

QString UiText(const char* documented) {
    const char* english = g_chinese ? nullptr : EnglishOf(documented);
    return ResourceQString(english ? english : documented);
}

void AddChineseTexts(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    for (const auto& [english, chinese] : pairs)
        ChineseOf().insert(QString::fromUtf8(english), QString::fromUtf8(chinese));
}

}  // namespace velkor
