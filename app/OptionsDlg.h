#pragma once
#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "smtp/Options.h"

class IPrompts;
class QCheckBox;
class QBoxLayout;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

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
        QSpinBox* pPort;  // holds only numbers from 1 to 65535
        QComboBox* pSecurity;
        QCheckBox* pAuth;
        QLineEdit* pAuthName;
        QLineEdit* pAuthPass;
        QLabel* pPasswordPlace;         // where the password is kept: keyring or settings file
        QComboBox* pAuthMethod;
        QLineEdit* pTokenCommand;       // prints an OAuth2 access token, for XOAUTH2
        QLabel* pPlainPasswordWarning;  // shown while a password would travel unencrypted
        QCheckBox* pBrowseOutput;
        QCheckBox* pOpenEml;
        QCheckBox* pPrepareForWebmail;
        QPushButton* pOk;
        QPushButton* pCancel;
    };
    const Widgets& Ui() const { return m_ui; }

    // Moves the working copy into the controls (false) or back (true). Every
    // field that checks is read; the first that does not keeps its old value,
    // gets the focus and its message is shown.
    bool UpdateData(bool bSaveAndValidate);

    // The working copy, and where the password is kept (shown, not edited).
    AppOptions m_options;
    QString m_strPasswordPlace;

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
    // Controls made from an option's row, and wired to it by UpdateData.
    QLineEdit* AddText(QFormLayout* form, const char* key);
    QCheckBox* AddFlag(QBoxLayout* layout, const char* key);
    QComboBox* AddChoice(QFormLayout* form, const char* key, std::initializer_list<std::pair<const char*, const char*>> items);
    const OptionRow& Wire(const char* key, QWidget* widget);

    IPrompts* m_pPrompts;
    Widgets m_ui{};
    std::vector<std::pair<const OptionRow*, QWidget*>> m_listFields;
    int m_nShownSecurity = 0;  // the choice the port last followed
};
