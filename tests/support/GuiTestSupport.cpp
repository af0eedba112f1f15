#include "GuiTestSupport.h"

#include <QPixmap>
#include <QTreeWidget>
#include <QWidget>
#include <filesystem>

namespace velkor::test {

std::string SaveScreenshot(QWidget* widget, const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(VELKOR_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".png")).string();
    return widget->grab().save(QString::fromStdString(path)) ? path : std::string();
}

std::set<QString> TopLevelTexts(const QTreeWidget& tree) {
    std::set<QString> texts;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) texts.insert(tree.topLevelItem(i)->text(0));
    return texts;
}

QTreeWidgetItem* TopLevelItem(const QTreeWidget& tree, const QString& text) {
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        if (tree.topLevelItem(i)->text(0) == text) return tree.topLevelItem(i);
    return nullptr;
}

MessageBoxRecorder::MessageBoxRecorder(int answer) : m_answer(answer) {
    m_previous = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
        m_seen.push_back(request);
        return request.buttons == MB_YESNO ? m_answer : 1;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHandler(std::move(m_previous)); }

}  // namespace velkor::test
