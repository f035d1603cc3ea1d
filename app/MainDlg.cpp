#include "app/MainDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>

#include "app/ControlIds.h"
#include "platform/qt/DesktopShell.h"
#include "res/MenuResources.h"
#include "ui/KeyFilter.h"
#include "ui/AttachmentList.h"
#include "ui/DialogTemplate.h"
#include "ui/HelpWindow.h"
#include "ui/IconMenu.h"
#include "ui/Prompts.h"
#include "ui/SendProgressDlg.h"

namespace {

QString FromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string ToBytes(const QString& s) { return s.toStdString(); }

} // namespace

CMainDlg::Services CMainDlg::DefaultServices() {
    return Services{&QtPrompts(), &platform::RealShell(), platform::Platform(), &platform::RealSettingsStore()};
}

CMainDlg::CMainDlg(const Services& services)
    : QDialog(nullptr), m_settings(*services.store), m_services(services) {
    m_settings.LoadSettings();
    BuildControls();
    OnInitDialog();
}

CMainDlg::~CMainDlg() { OnSendClose(); }  // a send still running is cancelled

void CMainDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Quillory"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    CDialogTemplate t(this, m_controls);
    const DialogUnits& du = t.Units();
    setFixedSize(du.X(331), du.Y(265));

    QLabel* l = t.Label("&HTML File:", 7, 11, 35, 8);
    m_pHtmlEdit = t.Edit(IDC_HTML_FILE, 43, 7, 195, 14);
    l->setBuddy(m_pHtmlEdit);
    t.Button(IDC_BROWSE_HTML, "&Browse", 241, 7, 40, 14);
    t.Button(IDC_OPEN_HTML, "&Open", 284, 7, 40, 14);
    l = t.Label("S&ubject:", 7, 29, 35, 8);
    m_pSubjectEdit = t.Edit(IDC_SUBJECT, 43, 26, 281, 14);
    l->setBuddy(m_pSubjectEdit);
    l = t.Label("&From:", 7, 48, 35, 8);
    m_pFromEdit = t.Edit(IDC_FROM, 43, 45, 281, 14);
    l->setBuddy(m_pFromEdit);
    l = t.Label("&To:", 7, 67, 35, 8);
    m_pToEdit = t.Edit(IDC_TO, 43, 64, 281, 14);
    l->setBuddy(m_pToEdit);
    l = t.Label("&Cc:", 7, 86, 35, 8);
    m_pCcEdit = t.Edit(IDC_CC, 43, 83, 281, 14);
    l->setBuddy(m_pCcEdit);
    QLabel* note = t.Label("Format of From, To, and Cc: ann@example.com or My Name <ann@example.com>, "
                         "use comma (,) or semicolon (;) to separate multiple recipients.",
                         7, 103, 317, 17);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    t.EtchedLine(7, 126, 317);
    l = t.Label("Attachme&nts:", 7, 134, 103, 8);
    m_listAttach = new CAttachmentList(this);
    m_listAttach->setGeometry(du.Rect(7, 144, 262, 84));
    m_listAttach->setContextMenuPolicy(Qt::CustomContextMenu);
    m_controls.insert(IDC_ATTACH_LIST, m_listAttach);
    l->setBuddy(m_listAttach);
    t.Button(IDC_ATTACH_ADD, "&Add", 276, 144, 48, 14);
    t.Button(IDC_ATTACH_REMOVE, "&Remove", 276, 163, 48, 14);
    t.EtchedLine(7, 235, 317);
    t.Button(IDC_MORE, "&More >>", 7, 244, 52, 14);
    t.Button(IDC_SEND_EMAIL, "&Send Email", 185, 244, 64, 14);
    t.Button(IDC_CREATE_EMAIL, "Create &Email", 260, 244, 64, 14);

    auto click = [&](int id, void (CMainDlg::*slot)()) {
        connect(static_cast<QPushButton*>(m_controls.value(id)), &QPushButton::clicked, this, slot);
    };
    connect(m_pHtmlEdit, &QLineEdit::textChanged, this, &CMainDlg::OnHtmlFileChange);
    click(IDC_BROWSE_HTML, &CMainDlg::OnBrowseHtml);
    click(IDC_OPEN_HTML, &CMainDlg::OnOpenHtml);
    click(IDC_MORE, &CMainDlg::OnMore);
    click(IDC_CREATE_EMAIL, &CMainDlg::OnCreateEmail);
    click(IDC_SEND_EMAIL, &CMainDlg::OnSendEmail);
    click(IDC_ATTACH_ADD, &CMainDlg::OnAttachAdd);
    click(IDC_ATTACH_REMOVE, &CMainDlg::OnAttachRemove);
    connect(m_listAttach, &CAttachmentList::DoubleClicked, this, &CMainDlg::OnAttachOpen);
    connect(m_listAttach, &QTreeWidget::itemSelectionChanged, this, [this] {
        m_controls.value(IDC_ATTACH_REMOVE)->setEnabled(!m_listAttach->selectedItems().isEmpty());
    });
    connect(m_listAttach, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_pAttachMenu->popup(m_listAttach->viewport()->mapToGlobal(at)); });
}

void CMainDlg::OnInitDialog() {
    UpdateData(false);
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillory.png")));

    m_listAttach->setColumnCount(3);
    m_listAttach->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Size"), QStringLiteral("Full Path")});
    m_listAttach->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    m_listAttach->setColumnWidth(0, 100);
    m_listAttach->setColumnWidth(1, 70);
    m_listAttach->setColumnWidth(2, 218);
    m_listAttach->SetColumnSortKind(1, CAttachmentList::SORT_SIZE);
    m_controls.value(IDC_ATTACH_REMOVE)->setEnabled(false);

    // Both popups come from menu 129, drawn with the images of toolbar 142.
    CIconMenu::s_bFlatStyleXP = CIconMenu::s_bFlatStyleOther = 1;
    m_pMenu = std::make_unique<CIconMenu>(this);
    m_pMenu->LoadMenuTemplate(IDR_MAIN_MENU);
    m_pMenu->AttachToolbarImages(IDR_MAIN_TOOLBAR);
    m_pMoreMenu = m_pMenu->GetSubMenuObject(0)->GetSafeHmenu();
    m_pAttachMenu = m_pMenu->GetSubMenuObject(1)->GetSafeHmenu();
    const struct {
        int id;
        void (CMainDlg::*slot)();
    } commands[] = {
        {IDC_OPTIONS, &CMainDlg::OnOptions},           {ID_TELL_FRIEND, &CMainDlg::OnTellFriend},
        {ID_FEEDBACK, &CMainDlg::OnFeedback},          {ID_HOMEPAGE, &CMainDlg::OnHomepage},
        {ID_CHECK_UPDATES, &CMainDlg::OnCheckUpdates}, {ID_HELP_INDEX, &CMainDlg::OnShowHelp},
        {ID_ABOUT, &CMainDlg::OnAbout},                {ID_ATTACH_OPEN, &CMainDlg::OnAttachOpen},
        {ID_ATTACH_BROWSE, &CMainDlg::OnAttachBrowse}, {IDC_ATTACH_ADD, &CMainDlg::OnAttachAdd},
        {IDC_ATTACH_REMOVE, &CMainDlg::OnAttachRemove}, {ID_ATTACH_REMOVE_ALL, &CMainDlg::OnAttachRemoveAll},
    };
    for (QMenu* menu : {m_pMoreMenu, m_pAttachMenu})
        for (QAction* a : menu->actions())
            for (const auto& c : commands)
                if (!a->isSeparator() && a->data().toInt() == c.id) connect(a, &QAction::triggered, this, c.slot);
    connect(m_pAttachMenu, &QMenu::aboutToShow, this, [this] { OnUpdateAttachCommand(m_pAttachMenu); });

    // Accelerators: wherever the focus is inside the window.
    auto accel = [this](QKeySequence key, void (CMainDlg::*slot)()) {
        auto* s = new QShortcut(key, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    accel(QKeySequence(Qt::Key_F5), &CMainDlg::OnOptions);
    accel(QKeySequence(Qt::Key_Insert), &CMainDlg::OnAttachAdd);
    accel(QKeySequence(Qt::Key_F1), &CMainDlg::OnShowHelp);

    m_controls.value(IDC_OPEN_HTML)->setEnabled(false);
    setAcceptDrops(true);

    if (m_settings.TestAndClearFirstRun()) CHelpWindow::ShowHelp(true);
    m_pHtmlEdit->setFocus();
}

QWidget* CMainDlg::Control(int nId) const { return m_controls.value(nId); }

void CMainDlg::UpdateData(bool bSaveAndValidate) {
    struct Field {
        QLineEdit* edit;
        std::string* value;
    } fields[] = {{m_pHtmlEdit, &m_strHtmlPath},
                  {m_pCcEdit, &m_settings.MailCc},
                  {m_pFromEdit, &m_settings.MailFrom},
                  {m_pSubjectEdit, &m_settings.MailSubject},
                  {m_pToEdit, &m_settings.MailTo}};
    for (Field& f : fields) {
        if (bSaveAndValidate)
            *f.value = ToBytes(f.edit->text());
        else
            f.edit->setText(FromBytes(*f.value));
    }
}

void CMainDlg::keyPressEvent(QKeyEvent* e) {
    if (!SwallowEnterAndEsc(e)) QDialog::keyPressEvent(e);
}

void CMainDlg::closeEvent(QCloseEvent* e) {
    if (m_pSendDlg) OnSendClose();  // closing the program cancels a send and removes its file
    if (!isEnabled()) {  // a creation is running
        e->ignore();
        return;
    }
    UpdateData(true);
    std::string err;
    if (!m_settings.SaveSettings(SETTINGS_MAIL, err))
        m_services.prompts->MessageBox(this, QStringLiteral("The header fields could not be saved."),
                                       FromBytes(err));
    CHelpWindow::CloseHelp();
    e->accept();
    done(QDialog::Rejected);
}

void CMainDlg::OnHtmlFileChange() {
    m_controls.value(IDC_OPEN_HTML)->setEnabled(!m_pHtmlEdit->text().isEmpty());
}

void CMainDlg::OnBrowseHtml() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString path;
    bool chosen = m_services.prompts->PromptForFile(
        this, QStringLiteral("HTML Files (*.htm *.html);;All Files (*)"), false, QString(), path);
    QApplication::restoreOverrideCursor();
    if (!chosen) return;
    m_strHtmlPath = ToBytes(path);
    m_pHtmlEdit->setText(path);
}

void CMainDlg::OnOpenHtml() {
    UpdateData(true);
    if (m_strHtmlPath.empty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ShellOpen(m_strHtmlPath);
    QApplication::restoreOverrideCursor();
}

void CMainDlg::OnMore() {
    QWidget* more = m_controls.value(IDC_MORE);
    m_pMoreMenu->popup(more->mapToGlobal(QPoint(more->width(), 0)));
}

void CMainDlg::ShellOpen(const std::string& strTarget) {
    std::string err;
    m_services.shell->Open(strTarget, err);
}

void CMainDlg::SelectInExplorer(const std::string& strPath) {
    std::string err;
    m_services.shell->ShowInFolder(strPath, err);
}

void CMainDlg::OnShowHelp() { CHelpWindow::ShowHelp(); }
