// Message boxes and yes/no questions of the library's windows. An
// application or a test may answer them itself: a handler installed with
// SetMessageBoxHandler receives every request instead of a QMessageBox.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velkor {

// Buttons and answers, numbered as on the original platform.
inline constexpr int MB_OK = 0;
inline constexpr int MB_YESNO = 4;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageBoxRequest {
    QWidget* parent = nullptr;
    QString text;
    QString caption;
    int buttons = MB_OK;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Installs the handler (empty: real message boxes again); returns the
// previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Shows the message (or asks the handler) and returns the answer: 1 (OK),
// IDYES or IDNO.
int XMessageBox(QWidget* parent, const QString& text, const QString& caption = QString(),
                int buttons = MB_OK);

}  // namespace velkor
