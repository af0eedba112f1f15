#include "widgets/XMessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include "resources/DialogTemplates.h"

namespace velkor {

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

int XMessageBox(QWidget* parent, const QString& text, const QString& caption, int buttons) {
    const MessageBoxRequest request{parent, text, caption, buttons};
    if (Handler()) return Handler()(request);
    const QString title = caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
    if (buttons == MB_YESNO) {
        const auto answer = QMessageBox::question(parent, title, text,
                                                  QMessageBox::Yes | QMessageBox::No);
        return answer == QMessageBox::Yes ? IDYES : IDNO;
    }
    QMessageBox::information(parent, title, text);
    return IDOK;
}

}  // namespace velkor
