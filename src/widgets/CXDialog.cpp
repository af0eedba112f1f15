#include "widgets/CXDialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimerEvent>
#include <QTreeWidget>

#include "widgets/Language.h"
#include "widgets/QtText.h"
#include "widgets/XMessageBox.h"

namespace velkor {

namespace {

// The face the templates name is a Windows font; these stand in for it
// where it is missing (WenQuanYi shows every text of the templates).
QFont TemplateFont(const DialogTemplate& t) {
    QFont font;
    font.setFamilies({ResourceQString(t.fontFace), QStringLiteral("SimSun"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(t.fontPoints);
    return font;
}

QWidget* MakeControl(const DialogControl& c, QWidget* parent) {
    const QString text = UiText(c.text);
    switch (c.kind) {
        case ControlKind::DefaultButton:
        case ControlKind::Button: {
            auto* button = new QPushButton(text, parent);
            button->setDefault(c.kind == ControlKind::DefaultButton);
            button->setAutoDefault(c.kind == ControlKind::DefaultButton);
            return button;
        }
        case ControlKind::Edit:
        case ControlKind::PasswordEdit: {
            auto* edit = new QLineEdit(text, parent);
            if (c.kind == ControlKind::PasswordEdit) edit->setEchoMode(QLineEdit::Password);
            return edit;
        }
        case ControlKind::Tree: {
            auto* tree = new QTreeWidget(parent);
            tree->setHeaderHidden(true);
            return tree;
        }
        case ControlKind::Text: {
            auto* label = new QLabel(text, parent);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::GroupBox: return new QGroupBox(text, parent);
        case ControlKind::CheckBox: return new QCheckBox(text, parent);
    }
    return nullptr;
}

}  // namespace

CXDialog::CXDialog(int templateId, QWidget* parent)
    : QDialog(parent), m_pTemplate(FindDialogTemplate(templateId)) {
    setObjectName(QString::number(templateId));
    if (!m_pTemplate) return;
    setWindowTitle(UiText(m_pTemplate->title));
    setFont(TemplateFont(*m_pTemplate));
    const QRect size = MapDialogRect(0, 0, m_pTemplate->cx, m_pTemplate->cy);
    resize(size.size());
}

CXDialog::~CXDialog() = default;

QRect CXDialog::MapDialogRect(int x, int y, int cx, int cy) const {
    // The dialog base units: the average width of the alphabet's letters and
    // the font's height; a dialog unit is a quarter of the one across and an
    // eighth of the other.
    const QFontMetrics metrics(font());
    const int baseX =
        (metrics.horizontalAdvance(
             QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    const int baseY = metrics.height();
    return QRect(x * baseX / 4, y * baseY / 8, cx * baseX / 4, cy * baseY / 8);
}

void CXDialog::BindControl(int id, QWidget* widget) { m_bound[id] = widget; }

void CXDialog::CreateControls() {
    if (m_bCreated || !m_pTemplate) return;
    m_bCreated = true;
    for (std::size_t i = 0; i < m_pTemplate->controlCount; ++i) {
        const DialogControl& c = m_pTemplate->controls[i];
        QWidget* widget = nullptr;
        if (const auto bound = m_bound.find(c.id); bound != m_bound.end() && c.id != IDC_STATIC) {
            widget = bound->second;
            widget->setParent(this);
        } else {
            widget = MakeControl(c, this);
        }
        if (!widget) continue;
        widget->setGeometry(MapDialogRect(c.x, c.y, c.cx, c.cy));
        widget->setEnabled(!c.disabled);
        widget->show();
        if (c.id == IDC_STATIC) continue;
        widget->setObjectName(QString::number(c.id));
        m_controls[c.id] = widget;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const int id = c.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] {
                if (id == IDOK) OnOK();
                else if (id == IDCANCEL) OnCancel();
                else OnCommand(id);
            });
        }
    }
}

int CXDialog::DoModal() { return exec(); }

void CXDialog::EndDialog(int result) { done(result); }

bool CXDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

QWidget* CXDialog::GetDlgItem(int id) const {
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

void CXDialog::EnableDlgItem(int id, bool enable) {
    if (QWidget* w = GetDlgItem(id)) w->setEnabled(enable);
}

QString CXDialog::GetDlgItemText(int id) const {
    QWidget* w = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    return {};
}

void CXDialog::SetDlgItemText(int id, const QString& text) {
    QWidget* w = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(w)) label->setText(text);
}

int CXDialog::IsDlgButtonChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return button && button->isChecked() ? 1 : 0;
}

void CXDialog::CheckDlgButton(int id, int check) {
    if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id))) button->setChecked(check != 0);
}

void CXDialog::SetTimer(int id, int milliseconds) {
    KillTimer(id);
    m_timers[id] = startTimer(milliseconds);
}

void CXDialog::KillTimer(int id) {
    const auto found = m_timers.find(id);
    if (found == m_timers.end()) return;
    killTimer(found->second);
    m_timers.erase(found);
}

bool CXDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CXDialog::DoDataExchange(CDataExchange*) {}

void CXDialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(IDOK);
}

void CXDialog::OnCancel() { EndDialog(IDCANCEL); }

void CXDialog::OnCommand(int) {}

void CXDialog::OnTimer(int) {}

void CXDialog::OnClose() { EndDialog(IDCANCEL); }

void CXDialog::showEvent(QShowEvent* event) {
    if (!m_bCreated) {
        CreateControls();
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CXDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

void CXDialog::timerEvent(QTimerEvent* event) {
    for (const auto& [id, qtId] : m_timers)
        if (qtId == event->timerId()) {
            OnTimer(id);
            return;
        }
    QDialog::timerEvent(event);
}

void CXDialog::reject() { OnCancel(); }

// --- data exchange ---

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
    auto* edit = qobject_cast<QLineEdit*>(dx->m_pDlgWnd->GetDlgItem(id));
    if (!edit || dx->m_bFailed) return;
    if (dx->m_bSaveAndValidate) value = FromQString(edit->text());
    else edit->setText(ToQString(value));
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
    auto* edit = qobject_cast<QLineEdit*>(dx->m_pDlgWnd->GetDlgItem(id));
    if (!edit || dx->m_bFailed) return;
    if (!dx->m_bSaveAndValidate) {
        edit->setText(QString::number(value));
        return;
    }
    bool ok = false;
    const int number = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        XMessageBox(dx->m_pDlgWnd, QStringLiteral("Please enter an integer."));
        edit->setFocus();
        edit->selectAll();
        dx->m_bFailed = true;
        return;
    }
    value = number;
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    auto* button = qobject_cast<QAbstractButton*>(dx->m_pDlgWnd->GetDlgItem(id));
    if (!button || dx->m_bFailed) return;
    if (dx->m_bSaveAndValidate) value = button->isChecked() ? 1 : 0;
    else button->setChecked(value != 0);
}

}  // namespace velkor
