// CXDialog: a modal dialog built from one of the library's dialog templates,
// with the data exchange, control access, timers and command routing the
// dialogs of this library need.
//
// The controls are made when the dialog is first shown: each at its place in
// dialog units converted with the dialog font's metrics, named after its id
// (QObject::objectName is the id in decimal, so code and tests find them with
// findChild). A derived dialog may put its own widget in place of a
// template control with BindControl, before the dialog is shown.
//
// Routing: button 1 calls OnOK, button 2 and Escape call OnCancel, any other
// button or check box calls OnCommand with its id; closing the window calls
// OnClose. DoModal returns the value given to EndDialog (IDOK, IDCANCEL).
#pragma once

#include <QDialog>
#include <QRect>
#include <map>
#include <string>

#include "../resources/DialogTemplates.h"

namespace velkor {

class CXDialog;

// One exchange between fields and controls: save (controls to fields,
// validating) or load (fields to controls).
class CDataExchange {
public:
    CDataExchange(CXDialog* dialog, bool save) : m_pDlgWnd(dialog), m_bSaveAndValidate(save) {}
    CXDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
};

// Text of an edit control.
void DDX_Text(CDataExchange* dx, int id, std::string& value);
// A whole number in an edit control: on save, other text fails the exchange
// with a message ("Please enter an integer.") and the control gets the focus.
void DDX_Text(CDataExchange* dx, int id, int& value);
// A check box: 1 checked, 0 not.
void DDX_Check(CDataExchange* dx, int id, int& value);

class CXDialog : public QDialog {
    Q_OBJECT
public:
    explicit CXDialog(int templateId, QWidget* parent = nullptr);
    ~CXDialog() override;

    // Runs the dialog modally; the value given to EndDialog.
    int DoModal();
    void EndDialog(int result);

    // Controls to fields (true, validating) or fields to controls (false).
    bool UpdateData(bool saveAndValidate = true);

    QWidget* GetDlgItem(int id) const;
    void EnableDlgItem(int id, bool enable);
    QString GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const QString& text);
    int IsDlgButtonChecked(int id) const;
    void CheckDlgButton(int id, int check);

    // A repeating timer that calls OnTimer(id) until KillTimer.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);

    // Dialog units to pixels with this dialog's font.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;
    const DialogTemplate* Template() const { return m_pTemplate; }

protected:
    // Puts `widget` in place of the template control `id` (call before the
    // dialog is first shown; the dialog does not take ownership away from a
    // widget that is a member of the derived class).
    void BindControl(int id, QWidget* widget);

    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange* dx);
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnCommand(int id);
    virtual void OnTimer(int id);
    // Closing the window; the default ends the dialog with IDCANCEL.
    virtual void OnClose();

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

public:
    // Escape and QDialog::reject go to OnCancel.
    void reject() override;

private:
    void CreateControls();

    const DialogTemplate* m_pTemplate;
    bool m_bCreated = false;
    std::map<int, QWidget*> m_bound;
    std::map<int, QWidget*> m_controls;
    std::map<int, int> m_timers;  // dialog timer id -> Qt timer id
};

}  // namespace velkor
