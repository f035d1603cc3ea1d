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
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/Prompts.h"
#include "ui/TextConversion.h"

using ui::FromBytes;

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

const OptionRow& COptionsDlg::Wire(const char* key, QWidget* widget) {
    const OptionRow* row = FindOption(key);
    m_listFields.emplace_back(row, widget);
    if (*row->tooltip) widget->setToolTip(QString::fromUtf8(row->tooltip));
    return *row;
}

QLineEdit* COptionsDlg::AddText(QFormLayout* form, const char* key) {
    auto* edit = new QLineEdit(this);
    form->addRow(QString::fromUtf8(Wire(key, edit).label), edit);
    return edit;
}

QCheckBox* COptionsDlg::AddFlag(QBoxLayout* layout, const char* key) {
    auto* box = new QCheckBox(this);
    box->setText(QString::fromUtf8(Wire(key, box).label));
    layout->addWidget(box);
    return box;
}

QComboBox* COptionsDlg::AddChoice(QFormLayout* form, const char* key,
                                  std::initializer_list<std::pair<const char*, const char*>> items) {
    auto* combo = new QComboBox(this);
    for (const auto& [text, word] : items) combo->addItem(QString::fromUtf8(text), QString::fromUtf8(word));
    form->addRow(QString::fromUtf8(Wire(key, combo).label), combo);
    return combo;
}

void COptionsDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Options"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_ui.pServer = new QLineEdit(this);
    const OptionRow& server = Wire("SmtpServer", m_ui.pServer);
    auto* serverBox = new QVBoxLayout;
    serverBox->setSpacing(0);
    serverBox->addWidget(m_ui.pServer);
    serverBox->addWidget(new QLabel(QStringLiteral("(%1)").arg(QString::fromUtf8(server.tooltip)), this));
    form->addRow(QString::fromUtf8(server.label), serverBox);
    static_cast<QLabel*>(form->labelForField(serverBox))->setBuddy(m_ui.pServer);

    m_ui.pPort = new QSpinBox(this);
    m_ui.pPort->setRange(1, 65535);
    m_ui.pPort->setGroupSeparatorShown(false);  // "2525", as it is stored
    const OptionRow& port = Wire("SmtpPort", m_ui.pPort);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_ui.pPort);
    portRow->addStretch(1);
    form->addRow(QString::fromUtf8(port.label), portRow);
    static_cast<QLabel*>(form->labelForField(portRow))->setBuddy(m_ui.pPort);

    // The choices in the order of their stored numbers, so an index is a value.
    m_ui.pSecurity = AddChoice(form, "SmtpSecurity", {{"None", "none"}, {"STARTTLS", "starttls"}, {"TLS", "tls"}});

    m_ui.pAuth = AddFlag(layout, "SrvReqAuth");
    auto* account = new QFormLayout;
    account->setContentsMargins(fontMetrics().averageCharWidth() * 4, 0, 0, 0);
    m_ui.pAuthName = AddText(account, "AuthName");
    m_ui.pAuthPass = AddText(account, "AuthPass");
    m_ui.pAuthPass->setEchoMode(QLineEdit::Password);
    m_ui.pPasswordPlace = new QLabel(this);
    // It may carry a keyring's error text: shown as it is, wrapped in the width
    // the other fields give, never widening the window.
    m_ui.pPasswordPlace->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_ui.pPasswordPlace->setTextFormat(Qt::PlainText);
    m_ui.pPasswordPlace->setWordWrap(true);  // after the policy, which it extends by height-for-width
    account->addRow(QString(), m_ui.pPasswordPlace);
    m_ui.pAuthMethod = AddChoice(account, "AuthMethod",
                                 {{"Automatic", "auto"}, {"LOGIN", "login"}, {"PLAIN", "plain"},
                                  {"XOAUTH2 (OAuth2 token)", "xoauth2"}});
    m_ui.pTokenCommand = AddText(account, "OAuthTokenCommand");
    m_ui.pTokenCommand->setPlaceholderText(QStringLiteral("a program that prints an access token"));
    layout->addLayout(account);
    m_ui.pPlainPasswordWarning =
        new QLabel(QStringLiteral("With security None the password crosses the network unencrypted."), this);
    m_ui.pPlainPasswordWarning->setWordWrap(true);
    QPalette warn = m_ui.pPlainPasswordWarning->palette();
    warn.setColor(QPalette::WindowText, QColor(170, 30, 30));
    m_ui.pPlainPasswordWarning->setPalette(warn);
    m_ui.pPlainPasswordWarning->hide();
    layout->addWidget(m_ui.pPlainPasswordWarning);

    m_ui.pBrowseOutput = AddFlag(layout, "BrowseOutputFolder");
    m_ui.pOpenEml = AddFlag(layout, "OpenEml");
    m_ui.pPrepareForWebmail = AddFlag(layout, "PrepareForWebmail");
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

    // The tab order is the table's, then OK and Cancel.
    for (std::size_t i = 1; i < m_listFields.size(); ++i) setTabOrder(m_listFields[i - 1].second, m_listFields[i].second);
    setTabOrder(m_listFields.back().second, m_ui.pOk);
    setTabOrder(m_ui.pOk, m_ui.pCancel);

    connect(m_ui.pAuth, &QCheckBox::clicked, this, &COptionsDlg::OnAuthClicked);
    connect(m_ui.pSecurity, &QComboBox::activated, this, &COptionsDlg::OnSecurityChosen);
    connect(m_ui.pAuthPass, &QLineEdit::textChanged, this, &COptionsDlg::UpdatePasswordWarning);
    connect(m_ui.pOk, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(m_ui.pCancel, &QPushButton::clicked, this, &COptionsDlg::reject);
}

bool COptionsDlg::UpdateData(bool bSaveAndValidate) {
    if (!bSaveAndValidate) {
        for (const auto& [row, widget] : m_listFields) {
            QString text = FromBytes(FormatOption(*row, m_options));
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(text);
            else if (auto* spin = qobject_cast<QSpinBox*>(widget)) spin->setValue(text.toInt());
            else if (auto* box = qobject_cast<QCheckBox*>(widget)) box->setChecked(text == QLatin1String("true"));
            else if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->setCurrentIndex(std::max(0, combo->findData(text)));
        }
        m_nShownSecurity = m_ui.pSecurity->currentIndex();
        m_ui.pPasswordPlace->setText(m_strPasswordPlace.isEmpty() ? QString()
                                                                  : QStringLiteral("Kept ") + m_strPasswordPlace + '.');
        m_ui.pPasswordPlace->setVisible(!m_strPasswordPlace.isEmpty());
        UpdatePasswordWarning();
        return true;
    }
    QWidget* bad = nullptr;
    QString message;
    for (const auto& [row, widget] : m_listFields) {
        QString text;
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) text = edit->text();
        else if (auto* spin = qobject_cast<QSpinBox*>(widget)) text = QString::number(spin->value());
        else if (auto* box = qobject_cast<QCheckBox*>(widget)) text = box->isChecked() ? QStringLiteral("true") : QStringLiteral("false");
        else if (auto* combo = qobject_cast<QComboBox*>(widget)) text = combo->currentData().toString();
        std::string why;
        if (ParseOption(*row, text.toStdString(), m_options, why) || bad) continue;
        bad = widget;
        // The same words as everywhere else, after the control's label.
        message = QString::fromUtf8(row->label).remove('&').remove(':') + QStringLiteral(" takes ") +
                  FromBytes(why) + '.';
    }
    if (!bad) return true;
    bad->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(bad)) edit->selectAll();
    m_pPrompts->MessageBox(this, message);
    return false;
}

void COptionsDlg::OnSecurityChosen(int nSecurity) {
    // Only a port that still holds the previous choice's usual number follows;
    // a port the user typed on purpose stays.
    if (m_ui.pPort->value() == DefaultPort(m_nShownSecurity)) m_ui.pPort->setValue(DefaultPort(nSecurity));
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
    if (m_options.SrvReqAuth && m_options.AuthName.empty()) {
        m_ui.pAuthName->setFocus();
        m_pPrompts->MessageBox(this, QStringLiteral("Please enter SMTP server authentication account name."));
        return;
    }
    QDialog::accept();
}
