#pragma once
#include <QDialog>
#include <QHash>
#include <cstdint>
#include <string>

class IPrompts;
class QCheckBox;
class QComboBox;
class QLineEdit;
class CSpinButtonCtrl;

// Control identifiers of the Options window.
enum OptionsControlId : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDC_PORT_SPIN = 1015,
    IDC_BROWSE_OUTPUT = 1021,
    IDC_OPEN_EML = 1023,
    IDC_SMTP_SERVER = 1028,
    IDC_SMTP_PORT = 1030,
    IDC_SRV_REQ_AUTH = 1032,
    IDC_AUTH_NAME = 1035,
    IDC_AUTH_PASS = 1038,
    IDC_SMTP_SECURITY = 1040,
};

// The Options window: SMTP server, port and account, and what happens after an
// .eml file is created. It edits a working copy that its owner fills before
// showing it and reads back after OK.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    COptionsDlg(QWidget* parent, IPrompts& prompts);

    // Moves the working copy into the controls (false) or back (true). Reading
    // stops at a port that is not an integer, with the message shown and the
    // focus on the port; the fields read before it keep their new values.
    bool UpdateData(bool bSaveAndValidate);
    QWidget* Control(int nId) const { return m_controls.value(nId); }
    CSpinButtonCtrl* SpinButton() const { return m_spin; }

    std::string SmtpServer;
    std::string AuthName;
    std::string AuthPass;
    std::int32_t SrvReqAuth = 0;
    std::int32_t BrowseOutputFolder = 1;
    std::int32_t OpenEml = 1;
    std::int32_t SmtpPort = 25;
    std::int32_t SmtpSecurity = 0;  // 0 none, 1 STARTTLS, 2 TLS

    void setVisible(bool visible) override;

public slots:
    void OnAuthClicked();
    void accept() override;  // OK and Enter: OnOK

private:
    void BuildControls();
    void OnInitDialog();
    void OnOK();
    void UpdateAuthControls();

    IPrompts* m_pPrompts;
    CSpinButtonCtrl* m_spin = nullptr;
    bool m_bSecurityTouched = false;  // an odd stored value is kept unless the user picks one
    QHash<int, QWidget*> m_controls;
};
