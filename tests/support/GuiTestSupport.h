// Helpers for the offscreen Qt tests: screenshots and recorded answers to
// the library's message boxes.
#pragma once

#include <QString>
#include <set>
#include <string>
#include <vector>

#include "widgets/XMessageBox.h"

#include <QModelIndex>

class QWidget;
class QTreeView;

namespace velkor::test {

// Saves the widget as build/screenshots/<name>.png; the path, or "" on failure.
std::string SaveScreenshot(QWidget* widget, const std::string& name);

// The texts in column 0 of a view's rows below `parent` (its root index when
// invalid), the row with a given text there (invalid when none), and the
// text a row shows in a column.
std::set<QString> TopLevelTexts(const QTreeView& view, const QModelIndex& parent = {});
std::vector<QString> RowTexts(const QTreeView& view, int column = 0);
QModelIndex TopLevelItem(const QTreeView& view, const QString& text, const QModelIndex& parent = {});
QString Text(const QModelIndex& row, int column = 0);
// Adds a row to the view's selection.
void SelectRow(QTreeView& view, const QModelIndex& row);

// Records every message box while it lives and answers questions with the
// given answer (IDYES or IDNO).
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDYES);
    ~MessageBoxRecorder();
    std::vector<MessageBoxRequest> m_seen;
    int m_answer;

private:
    MessageBoxHandler m_previous;
};

}  // namespace velkor::test
