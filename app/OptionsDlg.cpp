#include "app/OptionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "ui/Prompts.h"
#include "ui/SpinButton.h"

namespace {

QString FromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }


} // namespace

COptionsDlg::COptionsDlg(QWidget* parent, IPrompts& prompts) : QDialog(parent), m_pPrompts(&prompts) {
    BuildControls();
}

int COptionsDlg::DefaultPort(int nSecurity) {
    switch (nSecurity) {
    case 1: return 587;
    case 2: return 465;
    default: return 25;
    }
}

void COptionsDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Options"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_ui.pServer = new QLineEdit(this);
    auto* serverBox = new QVBoxLayout;
    serverBox->setSpacing(0);
    serverBox->addWidget(m_ui.pServer);
    serverBox->addWidget(new QLabel(QStringLiteral("(Host name or IP address)"), this));
    form->addRow(QStringLiteral("&SMTP Server:"), serverBox);
    static_cast<QLabel*>(form->labelForField(serverBox))->setBuddy(m_ui.pServer);

    m_ui.pPort = new QLineEdit(this);
    m_ui.pPort->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_ui.pPort));
    m_ui.pPort->setMaximumWidth(fontMetrics().averageCharWidth() * 10);
    m_ui.pPortSpin = new CSpinButtonCtrl(this);
    m_ui.pPortSpin->SetBuddy(m_ui.pPort);
    auto* portRow = new QHBoxLayout;
    portRow->setSpacing(0);
    portRow->addWidget(m_ui.pPort);
    portRow->addWidget(m_ui.pPortSpin);
    portRow->addStretch(1);
    form->addRow(QStringLiteral("S&MTP Port:"), portRow);
    static_cast<QLabel*>(form->labelForField(portRow))->setBuddy(m_ui.pPort);

    m_ui.pSecurity = new QComboBox(this);
    m_ui.pSecurity->addItems({QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
    m_ui.pSecurity->setToolTip(QStringLiteral("STARTTLS usually goes with port 587, TLS with port 465."));
    form->addRow(QStringLiteral("Secur&ity:"), m_ui.pSecurity);

    m_ui.pAuth = new QCheckBox(QStringLiteral("The SMTP Server requires &authentication"), this);
    layout->addWidget(m_ui.pAuth);
    auto* account = new QFormLayout;
    account->setContentsMargins(fontMetrics().averageCharWidth() * 4, 0, 0, 0);
    m_ui.pAuthName = new QLineEdit(this);
    m_ui.pAuthPass = new QLineEdit(this);
    m_ui.pAuthPass->setEchoMode(QLineEdit::Password);
    account->addRow(QStringLiteral("Account &Name:"), m_ui.pAuthName);
    account->addRow(QStringLiteral("&Password:"), m_ui.pAuthPass);
    m_ui.pPasswordPlace = new QLabel(this);
    account->addRow(QString(), m_ui.pPasswordPlace);
    m_ui.pAuthMethod = new QComboBox(this);
    m_ui.pAuthMethod->addItems({QStringLiteral("Automatic"), QStringLiteral("LOGIN"), QStringLiteral("PLAIN"),
                                QStringLiteral("XOAUTH2 (OAuth2 token)")});
    account->addRow(QStringLiteral("&Login method:"), m_ui.pAuthMethod);
    m_ui.pTokenCommand = new QLineEdit(this);
    m_ui.pTokenCommand->setPlaceholderText(QStringLiteral("a program that prints an access token"));
    m_ui.pTokenCommand->setToolTip(QStringLiteral("For XOAUTH2: its first line of output is the token. "
                                                  "It runs without a shell, for 30 seconds at most."));
    account->addRow(QStringLiteral("&Token command:"), m_ui.pTokenCommand);
    layout->addLayout(account);
    m_ui.pPlainPasswordWarning =
        new QLabel(QStringLiteral("With security None the password crosses the network unencrypted."), this);
    m_ui.pPlainPasswordWarning->setWordWrap(true);
    QPalette warn = m_ui.pPlainPasswordWarning->palette();
    warn.setColor(QPalette::WindowText, QColor(170, 30, 30));
    m_ui.pPlainPasswordWarning->setPalette(warn);
    m_ui.pPlainPasswordWarning->hide();
    layout->addWidget(m_ui.pPlainPasswordWarning);

    m_ui.pBrowseOutput = new QCheckBox(QStringLiteral("&Browse output folder after creating HTML email"), this);
    m_ui.pOpenEml = new QCheckBox(QStringLiteral("&Open HTML email file after creating HTML email"), this);
    layout->addWidget(m_ui.pBrowseOutput);
    layout->addWidget(m_ui.pOpenEml);
    m_ui.pPrepareForWebmail = new QCheckBox(QStringLiteral("Prepare for &webmail"), this);
    m_ui.pPrepareForWebmail->setToolTip(
        QStringLiteral("Adds a plain-text version of the page, and carries embedded (data:) images, CSS "
                       "images and linked style sheets so that webmail shows them. Messages grow a little."));
    layout->addWidget(m_ui.pPrepareForWebmail);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    auto* buttons = new QDialogButtonBox(this);
    m_ui.pOk = buttons->addButton(QDialogButtonBox::Ok);
    m_ui.pCancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_ui.pOk->setDefault(true);
    m_ui.pCancel->setAutoDefault(false);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    QWidget* chain[] = {m_ui.pServer,     m_ui.pPort,          m_ui.pSecurity, m_ui.pAuth,
                        m_ui.pAuthName,   m_ui.pAuthPass,      m_ui.pAuthMethod, m_ui.pTokenCommand,
                        m_ui.pBrowseOutput, m_ui.pOpenEml,     m_ui.pPrepareForWebmail, m_ui.pOk, m_ui.pCancel};
    for (std::size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);

    connect(m_ui.pAuth, &QCheckBox::clicked, this, &COptionsDlg::OnAuthClicked);
    connect(m_ui.pSecurity, &QComboBox::activated, this, &COptionsDlg::OnSecurityChosen);
    connect(m_ui.pAuthPass, &QLineEdit::textChanged, this, &COptionsDlg::UpdatePasswordWarning);
    connect(m_ui.pOk, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(m_ui.pCancel, &QPushButton::clicked, this, &COptionsDlg::reject);
}

bool COptionsDlg::UpdateData(bool bSaveAndValidate) {
    AppOptions& o = m_options;
    struct Text {
        QLineEdit* edit;
        std::string* value;
    } texts[] = {{m_ui.pServer, &o.SmtpServer},
                 {m_ui.pAuthName, &o.AuthName},
                 {m_ui.pAuthPass, &o.AuthPass},
                 {m_ui.pTokenCommand, &o.OAuthTokenCommand}};
    struct Flag {
        QCheckBox* box;
        bool* value;
    } flags[] = {{m_ui.pAuth, &o.SrvReqAuth}, {m_ui.pBrowseOutput, &o.BrowseOutputFolder}, {m_ui.pOpenEml, &o.OpenEml},
                 {m_ui.pPrepareForWebmail, &o.PrepareForWebmail}};

    if (!bSaveAndValidate) {
        for (const Text& t : texts) t.edit->setText(FromBytes(*t.value));
        for (const Flag& f : flags) f.box->setChecked(*f.value);
        m_ui.pPort->setText(QString::number(o.SmtpPort));
        // A stored value outside the three choices shows as None until it is changed.
        m_nShownSecurity = SecurityName(o.Security) ? static_cast<int>(o.Security) : 0;
        m_ui.pSecurity->setCurrentIndex(m_nShownSecurity);
        m_ui.pAuthMethod->setCurrentIndex(AuthMethodName(o.AuthMethod) ? static_cast<int>(o.AuthMethod) : 0);
        m_ui.pPasswordPlace->setText(m_strPasswordPlace.isEmpty() ? QString()
                                                                  : QStringLiteral("Kept ") + m_strPasswordPlace + '.');
        m_ui.pPasswordPlace->setVisible(!m_strPasswordPlace.isEmpty());
        m_bSecurityTouched = false;
        UpdatePasswordWarning();
        return true;
    }
    for (const Text& t : texts) *t.value = t.edit->text().toStdString();
    for (const Flag& f : flags) *f.value = f.box->isChecked();
    if (m_bSecurityTouched || SecurityName(o.Security))
        o.Security = static_cast<SmtpSecurity>(m_ui.pSecurity->currentIndex());
    o.AuthMethod = static_cast<SmtpAuthMethod>(m_ui.pAuthMethod->currentIndex());
    int port = 0;
    if (!ParsePort(m_ui.pPort->text().trimmed().toStdString(), port)) {
        m_ui.pPort->setFocus();
        m_ui.pPort->selectAll();
        m_pPrompts->MessageBox(this, QStringLiteral("Please enter a port number from 1 to 65535."));
        return false;
    }
    o.SmtpPort = port;
    return true;
}

void COptionsDlg::OnSecurityChosen(int nSecurity) {
    m_bSecurityTouched = true;
    // Only a port that still holds the previous choice's usual number follows;
    // a port the user typed on purpose stays.
    if (m_ui.pPort->text() == QString::number(DefaultPort(m_nShownSecurity)))
        m_ui.pPort->setText(QString::number(DefaultPort(nSecurity)));
    m_nShownSecurity = nSecurity;
    UpdatePasswordWarning();
}

void COptionsDlg::UpdatePasswordWarning() {
    bool plain = m_ui.pSecurity->currentIndex() == 0 && m_ui.pAuth->isChecked() && !m_ui.pAuthPass->text().isEmpty();
    m_ui.pPlainPasswordWarning->setVisible(plain);
}

void COptionsDlg::setVisible(bool visible) {
    if (visible && !isVisible()) OnInitDialog();
    QDialog::setVisible(visible);
}

void COptionsDlg::OnInitDialog() {
    UpdateData(false);
    m_ui.pPortSpin->SetRange32(1, 65535);
    UpdateAuthControls();
    m_ui.pServer->setFocus();  // the first control in tab order
}

void COptionsDlg::UpdateAuthControls() {
    bool on = m_options.SrvReqAuth;
    m_ui.pAuthName->setEnabled(on);
    if (on) m_ui.pAuthName->setFocus();
    m_ui.pAuthPass->setEnabled(on);
    m_ui.pAuthMethod->setEnabled(on);
    m_ui.pTokenCommand->setEnabled(on);
    UpdatePasswordWarning();
}

void COptionsDlg::OnAuthClicked() {
    UpdateData(true);  // the check box is read even when the port is not a number
    UpdateAuthControls();
}

void COptionsDlg::accept() { OnOK(); }

void COptionsDlg::OnOK() {
    if (!UpdateData(true)) return;
    if (m_options.SmtpServer.empty()) {
        m_ui.pServer->setFocus();
        m_pPrompts->MessageBox(this, QStringLiteral("Please input SMTP server name or IP address."));
        return;
    }
    if (m_options.SrvReqAuth && m_options.AuthName.empty()) {
        m_ui.pAuthName->setFocus();
        m_pPrompts->MessageBox(this, QStringLiteral("Please enter SMTP server authentication account name."));
        return;
    }
    QDialog::accept();
}
