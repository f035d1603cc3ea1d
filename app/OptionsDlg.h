#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

class IPrompts;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class CSpinButtonCtrl;

// The Options window: SMTP server, port and account, and what happens after an
// .eml file is created. It edits a working copy that its owner fills before
// showing it and reads back after OK.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    COptionsDlg(QWidget* parent, IPrompts& prompts);

    // The controls, in tab order.
    struct Widgets {
        QLineEdit* pServer;
        QLineEdit* pPort;
        CSpinButtonCtrl* pPortSpin;
        QComboBox* pSecurity;
        QCheckBox* pAuth;
        QLineEdit* pAuthName;
        QLineEdit* pAuthPass;
        QLabel* pPlainPasswordWarning;  // shown while a password would travel unencrypted
        QCheckBox* pBrowseOutput;
        QCheckBox* pOpenEml;
        QPushButton* pOk;
        QPushButton* pCancel;
    };
    const Widgets& Ui() const { return m_ui; }

    // Moves the working copy into the controls (false) or back (true). Reading
    // stops at a port that is not an integer, with the message shown and the
    // focus on the port; the fields read before it keep their new values.
    bool UpdateData(bool bSaveAndValidate);

    std::string SmtpServer;
    std::string AuthName;
    std::string AuthPass;
    std::int32_t SrvReqAuth = 0;
    std::int32_t BrowseOutputFolder = 1;
    std::int32_t OpenEml = 1;
    std::int32_t SmtpPort = 25;
    std::int32_t SmtpSecurity = 0;  // 0 none, 1 STARTTLS, 2 TLS

    // The usual port of each security choice.
    static int DefaultPort(int nSecurity);

    void setVisible(bool visible) override;

public slots:
    void OnAuthClicked();
    void accept() override;  // OK and Enter: OnOK

private:
    void BuildControls();
    void OnInitDialog();
    void OnOK();
    void OnSecurityChosen(int nSecurity);
    void UpdateAuthControls();
    void UpdatePasswordWarning();

    IPrompts* m_pPrompts;
    Widgets m_ui{};
    int m_nShownSecurity = 0;        // the choice the port last followed
    bool m_bSecurityTouched = false;  // an odd stored value is kept unless the user picks one
};
