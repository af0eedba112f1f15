#include "ConnectDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velkor::browse {

ConnectDialog::ConnectDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Connect to an FTP server"));
    m_host = new QLineEdit(this);
    m_port = new QSpinBox(this);
    m_port->setRange(1, 65535);
    m_port->setValue(21);
    m_user = new QLineEdit(this);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_folder = new QLineEdit(this);
    m_folder->setPlaceholderText(tr("the login folder"));
    m_error = new QLabel(this);
    m_error->setStyleSheet(QStringLiteral("color: #b00020"));
    m_error->setWordWrap(true);
    m_error->hide();
    auto* form = new QFormLayout;
    form->addRow(tr("&Host:"), m_host);
    form->addRow(tr("P&ort:"), m_port);
    form->addRow(tr("&User:"), m_user);
    form->addRow(tr("&Password:"), m_password);
    form->addRow(tr("&Folder:"), m_folder);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&Connect"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void ConnectDialog::SetAddress(const tool::FtpUrl& address, bool keepPassword) {
    m_host->setText(QString::fromStdString(address.host));
    m_port->setValue(address.port);
    m_user->setText(QString::fromStdString(address.hasUser ? address.user : ""));
    m_password->setText(keepPassword ? QString::fromStdString(address.password) : QString());
    m_folder->setText(QString::fromStdString(address.path));
    m_implicitTls = address.implicitTls;
    // The field to fix first: the password after a refusal, else the host.
    (m_host->text().isEmpty() || keepPassword ? m_host : m_password)->setFocus();
}

tool::FtpUrl ConnectDialog::Address() const {
    tool::FtpUrl address;
    address.host = m_host->text().trimmed().toStdString();
    address.port = m_port->value();
    address.implicitTls = m_implicitTls;
    if (!m_user->text().isEmpty()) {
        address.user = m_user->text().toStdString();
        address.password = m_password->text().toStdString();
        address.hasUser = address.hasPassword = true;
    }
    address.path = m_folder->text().trimmed().toStdString();
    if (address.path == "/") address.path.clear();
    return address;
}

void ConnectDialog::SetError(const QString& text) {
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

}  // namespace velkor::browse
