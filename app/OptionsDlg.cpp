#include "app/OptionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <charconv>

#include "ui/DialogTemplate.h"
#include "ui/Prompts.h"
#include "ui/SpinButton.h"

namespace {

QString FromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A whole signed decimal number that fits 32 bits, spaces around it allowed.
bool ParseInt32(const QString& text, std::int32_t& value) {
    std::string s = text.trimmed().toStdString();
    if (!s.empty() && s[0] == '+') s.erase(0, 1);
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size();
}

} // namespace

COptionsDlg::COptionsDlg(QWidget* parent, IPrompts& prompts) : QDialog(parent), m_pPrompts(&prompts) {
    BuildControls();
}

void COptionsDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CDialogTemplate t(this, m_controls);
    const DialogUnits& du = t.Units();
    // One row taller than the classic layout: the security choice sits under the port.
    constexpr int kRow = 19;
    setFixedSize(du.X(232), du.Y(189 + kRow));

    t.Label("&SMTP Server:", 7, 10, 49, 8)->setBuddy(t.Edit(IDC_SMTP_SERVER, 57, 7, 168, 14));
    t.Label("(Host name or IP address)", 57, 24, 92, 8);
    QLineEdit* port = t.Edit(IDC_SMTP_PORT, 57, 39, 49, 14);
    t.Label("S&MTP Port:", 7, 41, 49, 8)->setBuddy(port);
    port->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port));
    m_spin = new CSpinButtonCtrl(this);
    m_spin->setGeometry(du.Rect(131, 41, 11, 14));
    m_spin->SetBuddy(port);
    m_controls.insert(IDC_PORT_SPIN, m_spin);
    auto* security = new QComboBox(this);
    security->addItems({QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
    security->setGeometry(du.Rect(57, 58, 85, 14));
    security->setToolTip(QStringLiteral("STARTTLS usually goes with port 587, TLS with port 465."));
    m_controls.insert(IDC_SMTP_SECURITY, security);
    t.Label("Secur&ity:", 7, 61, 49, 8)->setBuddy(security);
    QCheckBox* auth = t.Check(IDC_SRV_REQ_AUTH, "The SMTP Server requires &authentication", 7, 60 + kRow, 172, 10);
    QLineEdit* name = t.Edit(IDC_AUTH_NAME, 78, 76 + kRow, 147, 14);
    t.Label("Account &Name:", 23, 80 + kRow, 53, 8)->setBuddy(name);
    QLineEdit* pass = t.Edit(IDC_AUTH_PASS, 78, 96 + kRow, 147, 14);
    t.Label("&Password:", 23, 101 + kRow, 54, 8)->setBuddy(pass);
    pass->setEchoMode(QLineEdit::Password);
    t.Check(IDC_BROWSE_OUTPUT, "&Browse output folder after creating HTML email", 7, 122 + kRow, 195, 10);
    t.Check(IDC_OPEN_EML, "&Open HTML email file after creating HTML email", 7, 137 + kRow, 195, 10);
    t.EtchedLine(7, 158 + kRow, 218);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(115, 168 + kRow, 52, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(du.Rect(173, 168 + kRow, 52, 14));
    cancel->setAutoDefault(false);
    m_controls.insert(IDOK, ok);
    m_controls.insert(IDCANCEL, cancel);

    // Tab order: server, port, security, the check box, the account, the two actions, OK, Cancel.
    QWidget* chain[] = {Control(IDC_SMTP_SERVER), port, security, auth, name, pass, Control(IDC_BROWSE_OUTPUT),
                        Control(IDC_OPEN_EML), ok, cancel};
    for (std::size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);

    connect(auth, &QCheckBox::clicked, this, &COptionsDlg::OnAuthClicked);
    connect(security, &QComboBox::activated, this, [this] { m_bSecurityTouched = true; });
    connect(ok, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &COptionsDlg::reject);
}

bool COptionsDlg::UpdateData(bool bSaveAndValidate) {
    auto text = [this](int id) { return static_cast<QLineEdit*>(Control(id)); };
    auto box = [this](int id) { return static_cast<QCheckBox*>(Control(id)); };
    struct Text {
        int id;
        std::string* value;
    } texts[] = {{IDC_SMTP_SERVER, &SmtpServer}, {IDC_AUTH_NAME, &AuthName}, {IDC_AUTH_PASS, &AuthPass}};
    struct Flag {
        int id;
        std::int32_t* value;
    } flags[] = {{IDC_SRV_REQ_AUTH, &SrvReqAuth}, {IDC_BROWSE_OUTPUT, &BrowseOutputFolder}, {IDC_OPEN_EML, &OpenEml}};

    if (!bSaveAndValidate) {
        for (const Text& t : texts) text(t.id)->setText(FromBytes(*t.value));
        for (const Flag& f : flags) box(f.id)->setChecked(*f.value != 0);
        text(IDC_SMTP_PORT)->setText(QString::number(SmtpPort));
        // A stored value outside the three choices shows as None until it is changed.
        auto* security = static_cast<QComboBox*>(Control(IDC_SMTP_SECURITY));
        security->setCurrentIndex(SmtpSecurity >= 0 && SmtpSecurity <= 2 ? SmtpSecurity : 0);
        m_bSecurityTouched = false;
        return true;
    }
    for (const Text& t : texts) *t.value = text(t.id)->text().toStdString();
    for (const Flag& f : flags) *f.value = box(f.id)->isChecked() ? 1 : 0;
    auto* security = static_cast<QComboBox*>(Control(IDC_SMTP_SECURITY));
    if (m_bSecurityTouched || (SmtpSecurity >= 0 && SmtpSecurity <= 2)) SmtpSecurity = security->currentIndex();
    std::int32_t port = 0;
    if (!ParseInt32(text(IDC_SMTP_PORT)->text(), port)) {
        text(IDC_SMTP_PORT)->setFocus();
        text(IDC_SMTP_PORT)->selectAll();
        m_pPrompts->MessageBox(this, QStringLiteral("Please enter an integer."));
        return false;
    }
    SmtpPort = port;
    return true;
}

void COptionsDlg::setVisible(bool visible) {
    if (visible && !isVisible()) OnInitDialog();
    QDialog::setVisible(visible);
}

void COptionsDlg::OnInitDialog() {
    UpdateData(false);
    m_spin->SetRange32(1, 65535);
    UpdateAuthControls();
    Control(IDC_SMTP_SERVER)->setFocus();  // the first control in tab order
}

void COptionsDlg::UpdateAuthControls() {
    bool on = SrvReqAuth != 0;
    Control(IDC_AUTH_NAME)->setEnabled(on);
    if (on) Control(IDC_AUTH_NAME)->setFocus();
    Control(IDC_AUTH_PASS)->setEnabled(on);
}

void COptionsDlg::OnAuthClicked() {
    UpdateData(true);  // the check box is read even when the port is not a number
    UpdateAuthControls();
}

void COptionsDlg::accept() { OnOK(); }

void COptionsDlg::OnOK() {
    if (!UpdateData(true)) return;
    if (SmtpServer.empty()) {
        Control(IDC_SMTP_SERVER)->setFocus();
        m_pPrompts->MessageBox(this, QStringLiteral("Please input SMTP server name or IP address."));
        return;
    }
    if (SrvReqAuth && AuthName.empty()) {
        Control(IDC_AUTH_NAME)->setFocus();
        m_pPrompts->MessageBox(this, QStringLiteral("Please enter SMTP server authentication account name."));
        return;
    }
    QDialog::accept();
}
