// ConnectDialog: where to log on (host, port, user, password, start folder)
// and, after a failed try, why it failed. velkor-browse shows it when no
// address is given or a logon fails, until one succeeds or it is cancelled.
#pragma once

#include <QDialog>

#include "FtpUrl.h"

class QLabel;
class QLineEdit;
class QSpinBox;

namespace velkor::browse {

class ConnectDialog : public QDialog {
    Q_OBJECT
public:
    explicit ConnectDialog(QWidget* parent = nullptr);

    // Fills the fields from an address; the password only when `keepPassword`.
    void SetAddress(const tool::FtpUrl& address, bool keepPassword);
    // The address the fields name (TLS from the first byte as SetAddress had it).
    tool::FtpUrl Address() const;
    // Why the last logon failed (red, above the buttons); empty hides it.
    void SetError(const QString& text);

    QLineEdit* HostEdit() const { return m_host; }
    QLineEdit* UserEdit() const { return m_user; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QLineEdit* FolderEdit() const { return m_folder; }
    QSpinBox* PortBox() const { return m_port; }
    QLabel* ErrorLabel() const { return m_error; }

private:
    QLineEdit* m_host;
    QSpinBox* m_port;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_folder;
    QLabel* m_error;
    bool m_implicitTls = false;
};

}  // namespace velkor::browse
