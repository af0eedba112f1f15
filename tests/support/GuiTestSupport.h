// Helpers for the offscreen Qt tests: screenshots and recorded answers to
// the library's message boxes.
#pragma once

#include <QString>
#include <set>
#include <string>
#include <vector>

#include "widgets/XMessageBox.h"

class QWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkor::test {

// Saves the widget as build/screenshots/<name>.png; the path, or "" on failure.
std::string SaveScreenshot(QWidget* widget, const std::string& name);

// The texts of a tree's (or list's) top-level items in column 0, and the
// item with a given text (null when none).
std::set<QString> TopLevelTexts(const QTreeWidget& tree);
QTreeWidgetItem* TopLevelItem(const QTreeWidget& tree, const QString& text);

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
