#include "GuiTestSupport.h"

#include <QPixmap>
#include <QItemSelectionModel>
#include <QTreeView>
#include <QWidget>
#include <filesystem>

namespace velkor::test {

std::string SaveScreenshot(QWidget* widget, const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(VELKOR_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".png")).string();
    return widget->grab().save(QString::fromStdString(path)) ? path : std::string();
}

namespace {

QModelIndex Below(const QTreeView& view, const QModelIndex& parent) {
    return parent.isValid() ? parent : view.rootIndex();
}

}  // namespace

QString Text(const QModelIndex& row, int column) {
    return row.sibling(row.row(), column).data().toString();
}

std::vector<QString> RowTexts(const QTreeView& view, int column) {
    std::vector<QString> texts;
    const QAbstractItemModel* model = view.model();
    const QModelIndex root = view.rootIndex();
    for (int row = 0; model && row < model->rowCount(root); ++row)
        texts.push_back(Text(model->index(row, 0, root), column));
    return texts;
}

std::set<QString> TopLevelTexts(const QTreeView& view, const QModelIndex& parent) {
    std::set<QString> texts;
    const QAbstractItemModel* model = view.model();
    const QModelIndex under = Below(view, parent);
    for (int row = 0; model && row < model->rowCount(under); ++row)
        texts.insert(Text(model->index(row, 0, under)));
    return texts;
}

QModelIndex TopLevelItem(const QTreeView& view, const QString& text, const QModelIndex& parent) {
    const QAbstractItemModel* model = view.model();
    const QModelIndex under = Below(view, parent);
    for (int row = 0; model && row < model->rowCount(under); ++row)
        if (Text(model->index(row, 0, under)) == text) return model->index(row, 0, under);
    return {};
}

void SelectRow(QTreeView& view, const QModelIndex& row) {
    view.selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

MessageBoxRecorder::MessageBoxRecorder(int answer) : m_answer(answer) {
    m_previous = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
        m_seen.push_back(request);
        return request.buttons == MB_YESNO ? m_answer : 1;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHandler(std::move(m_previous)); }

}  // namespace velkor::test
