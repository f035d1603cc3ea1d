#include "app/MainDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ComposeTask.h"
#include "platform/qt/DesktopShell.h"
#include "core/AddressList.h"
#include "ui/AttachmentList.h"
#include "ui/CreateProgressDlg.h"
#include "ui/HelpWindow.h"
#include "ui/Prompts.h"
#include "ui/SendProgressDlg.h"

namespace {

QString FromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string ToBytes(const QString& s) { return s.toStdString(); }

// One cell of the toolbar strip; the cells follow the toolbar's buttons (res/README).
QIcon ToolbarIcon(int nCell) {
    static const QImage strip(QStringLiteral(":/toolbar.png"));
    return QIcon(QPixmap::fromImage(strip.copy(nCell * 16, 0, 16, 15)));
}
enum ToolbarCell { kOpenCell, kShowCell, kAddCell, kRemoveCell, kRemoveAllCell, kHelpCell, kHomepageCell,
                   kTellFriendCell, kFeedbackCell, kUpdatesCell, kAboutCell, kOptionsCell };

QFrame* EtchedLine(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

// Buttons never press themselves on Enter; the window decides what Enter does.
QPushButton* Button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setAutoDefault(false);
    return b;
}

// The text of the page's <title>, white space folded; empty when there is none.
QString PageTitle(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    QByteArray head = file.read(64 * 1024);
    static const QRegularExpression title(QStringLiteral("<title[^>]*>(.*?)</title"),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    // Latin-1 keeps every byte in place for the search; the text is decoded afterwards.
    QRegularExpressionMatch m = title.match(QString::fromLatin1(head));
    if (!m.hasMatch()) return QString();
    QByteArray raw = head.mid(m.capturedStart(1), m.capturedLength(1));
    QString text = QString::fromUtf8(raw);
    if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLatin1(raw);
    return QTextDocumentFragment::fromHtml(text).toPlainText().simplified();
}

// The parser the send uses: what it would refuse is marked as typed.
bool DefaultAddressCheck(const std::string& text, std::string& badPiece) {
    AddressListResult result;
    if (ParseAddressList(text, result)) return true;
    badPiece = result.strError;
    return false;
}

} // namespace

CMainDlg::Services CMainDlg::DefaultServices() {
    return Services{&QtPrompts(), &platform::RealShell(), platform::Platform(), &platform::RealSettingsStore()};
}

CMainDlg::CMainDlg(const Services& services)
    : QDialog(nullptr), m_settings(*services.store), m_state(*services.store), m_services(services),
      m_addressCheck(DefaultAddressCheck) {
    m_settings.LoadSettings();
    m_state.Load();
    BuildActions();
    BuildControls();
    OnInitDialog();
    RestoreState();
}

CMainDlg::~CMainDlg() {
    StopCheck();
    delete m_pComposeTask;  // stops a composition and waits until its file is gone
    OnSendClose();          // a send still running is cancelled
}

void CMainDlg::BuildActions() {
    auto make = [this](const char* text, int cell, QKeySequence key, void (CMainDlg::*slot)()) {
        auto* a = new QAction(ToolbarIcon(cell), QString::fromUtf8(text), this);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    m_act.pOptions = make("&Options...", kOptionsCell, Qt::Key_F5, &CMainDlg::OnOptions);
    m_act.pCheck = make("Chec&k Page...", kOptionsCell, QKeySequence(Qt::CTRL | Qt::Key_K), &CMainDlg::OnCheck);
    m_act.pCheck->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));  // the strip has no cell for it
    m_act.pTellFriend = make("&Tell A Friend", kTellFriendCell, {}, &CMainDlg::OnTellFriend);
    m_act.pFeedback = make("&Feedback and Support", kFeedbackCell, {}, &CMainDlg::OnFeedback);
    m_act.pHomepage = make("Home&page", kHomepageCell, {}, &CMainDlg::OnHomepage);
    m_act.pCheckUpdates = make("&Check for Updates", kUpdatesCell, {}, &CMainDlg::OnCheckUpdates);
    m_act.pHelp = make("&Help", kHelpCell, Qt::Key_F1, &CMainDlg::OnShowHelp);
    m_act.pAbout = make("&About...", kAboutCell, {}, &CMainDlg::OnAbout);
    m_act.pPreview = make("Pre&view...", kShowCell, QKeySequence(Qt::CTRL | Qt::Key_P), &CMainDlg::OnPreview);
    m_act.pAttachOpen = make("&Open", kOpenCell, {}, &CMainDlg::OnAttachOpen);
    m_act.pAttachShow = make("Show in &Folder", kShowCell, {}, &CMainDlg::OnAttachBrowse);
    m_act.pAttachAdd = make("&Add...", kAddCell, Qt::Key_Insert, &CMainDlg::OnAttachAdd);
    m_act.pAttachRemove = make("&Remove", kRemoveCell, QKeySequence::Delete, &CMainDlg::OnAttachRemove);
    m_act.pAttachRemoveAll = make("Re&move All", kRemoveAllCell, {}, &CMainDlg::OnAttachRemoveAll);
    // Wherever the focus is in the window; Delete only in the list, where it cannot mean a character.
    addActions({m_act.pOptions, m_act.pCheck, m_act.pHelp, m_act.pAttachAdd, m_act.pPreview});
    m_act.pAttachRemove->setShortcutContext(Qt::WidgetWithChildrenShortcut);

    m_pMoreMenu = new QMenu(this);
    m_pMoreMenu->addActions({m_act.pOptions, m_act.pCheck, m_act.pPreview});
    m_pMoreMenu->addSeparator();
    m_pMoreMenu->addActions({m_act.pTellFriend, m_act.pFeedback, m_act.pHomepage, m_act.pCheckUpdates});
    m_pMoreMenu->addSeparator();
    m_pMoreMenu->addActions({m_act.pHelp, m_act.pAbout});
    m_pAttachMenu = new QMenu(this);
    m_pAttachMenu->addActions({m_act.pAttachOpen, m_act.pAttachShow});
    m_pAttachMenu->addSeparator();
    m_pAttachMenu->addActions({m_act.pAttachAdd, m_act.pAttachRemove, m_act.pAttachRemoveAll});
}

void CMainDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Quillory"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    auto* outer = new QVBoxLayout(this);
    m_pBody = new QWidget(this);
    outer->addWidget(m_pBody, 1);
    auto* body = new QVBoxLayout(m_pBody);
    body->setContentsMargins(0, 0, 0, 0);

    // The header fields: labels on the left, fields taking the width.
    auto* grid = new QGridLayout;
    body->addLayout(grid);
    auto label = [&](const char* text, int row, QWidget* buddy) {
        auto* l = new QLabel(QString::fromUtf8(text), m_pBody);
        l->setBuddy(buddy);
        grid->addWidget(l, row, 0);
    };
    m_ui.pHtmlCombo = new QComboBox(m_pBody);
    m_ui.pHtmlCombo->setEditable(true);
    m_ui.pHtmlCombo->setInsertPolicy(QComboBox::NoInsert);
    m_ui.pHtmlCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_ui.pHtmlCombo->setMinimumContentsLength(30);
    m_ui.pHtmlEdit = m_ui.pHtmlCombo->lineEdit();
    auto* files = new QFileSystemModel(m_ui.pHtmlCombo);
    files->setRootPath(QString());
    auto* completer = new QCompleter(files, m_ui.pHtmlCombo);
    m_ui.pHtmlEdit->setCompleter(completer);
    m_ui.pBrowseHtml = Button("&Browse", m_pBody);
    m_ui.pOpenHtml = Button("&Open", m_pBody);
    label("&HTML File:", 0, m_ui.pHtmlCombo);
    auto* htmlRow = new QHBoxLayout;
    htmlRow->addWidget(m_ui.pHtmlCombo, 1);
    htmlRow->addWidget(m_ui.pBrowseHtml);
    htmlRow->addWidget(m_ui.pOpenHtml);
    grid->addLayout(htmlRow, 0, 1);
    int row = 1;
    for (auto [text, edit] : {std::pair{"S&ubject:", &m_ui.pSubjectEdit}, std::pair{"&From:", &m_ui.pFromEdit},
                              std::pair{"&To:", &m_ui.pToEdit}, std::pair{"&Cc:", &m_ui.pCcEdit}}) {
        *edit = new QLineEdit(m_pBody);
        label(text, row, *edit);
        grid->addWidget(*edit, row++, 1);
    }
    auto* note = new QLabel(QStringLiteral("Format of From, To, and Cc: ann@example.com or My Name <ann@example.com>, "
                                           "use comma (,) or semicolon (;) to separate multiple recipients."),
                            m_pBody);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    grid->addWidget(note, row, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    // The attachments take whatever height the window has to spare.
    body->addWidget(EtchedLine(m_pBody));
    auto* attachLabel = new QLabel(QStringLiteral("Attachme&nts:"), m_pBody);
    body->addWidget(attachLabel);
    auto* listRow = new QHBoxLayout;
    body->addLayout(listRow, 1);
    m_ui.pAttachList = new CAttachmentList(m_pBody);
    m_ui.pAttachList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_ui.pAttachList->addAction(m_act.pAttachRemove);
    attachLabel->setBuddy(m_ui.pAttachList);
    listRow->addWidget(m_ui.pAttachList, 1);
    auto* listButtons = new QVBoxLayout;
    m_ui.pAttachAdd = Button("&Add", m_pBody);
    m_ui.pAttachRemove = Button("&Remove", m_pBody);
    listButtons->addWidget(m_ui.pAttachAdd);
    listButtons->addWidget(m_ui.pAttachRemove);
    listButtons->addStretch(1);
    listRow->addLayout(listButtons);
    m_ui.pAttachTotal = new QLabel(m_pBody);
    m_ui.pAttachTotal->setTextFormat(Qt::PlainText);
    body->addWidget(m_ui.pAttachTotal);

    body->addWidget(EtchedLine(m_pBody));
    auto* buttons = new QHBoxLayout;
    body->addLayout(buttons);
    m_ui.pMore = Button("&More >>", m_pBody);
    m_ui.pSendEmail = Button("&Send Email", m_pBody);
    m_ui.pCreateEmail = Button("Create &Email", m_pBody);
    buttons->addWidget(m_ui.pMore);
    m_pCheckNote = new QLabel(m_pBody);  // "Checking page.html..." while a long check runs
    m_pCheckNote->setTextFormat(Qt::PlainText);
    buttons->addWidget(m_pCheckNote, 1);
    buttons->addWidget(m_ui.pSendEmail);
    buttons->addWidget(m_ui.pCreateEmail);

    // What the last Create Email wrote, with what to do with it next.
    m_ui.pStatusLine = new QWidget(this);
    auto* status = new QHBoxLayout(m_ui.pStatusLine);
    status->setContentsMargins(0, 0, 0, 0);
    m_ui.pStatusText = new QLabel(m_ui.pStatusLine);
    m_ui.pStatusText->setTextFormat(Qt::PlainText);
    m_ui.pStatusShow = Button("Show in Folder", m_ui.pStatusLine);
    m_ui.pStatusOpen = Button("Open", m_ui.pStatusLine);
    m_ui.pStatusShow->setFlat(true);
    m_ui.pStatusOpen->setFlat(true);
    status->addWidget(m_ui.pStatusText, 1);
    status->addWidget(m_ui.pStatusShow);
    status->addWidget(m_ui.pStatusOpen);
    m_ui.pStatusLine->hide();
    outer->addWidget(m_ui.pStatusLine);
    setSizeGripEnabled(true);

    connect(m_ui.pHtmlEdit, &QLineEdit::textChanged, this, &CMainDlg::OnHtmlFileChange);
    connect(m_ui.pHtmlCombo, &QComboBox::activated, this, [this](int i) { PageChosen(m_ui.pHtmlCombo->itemText(i)); });
    connect(m_ui.pBrowseHtml, &QPushButton::clicked, this, &CMainDlg::OnBrowseHtml);
    connect(m_ui.pOpenHtml, &QPushButton::clicked, this, &CMainDlg::OnOpenHtml);
    connect(m_ui.pMore, &QPushButton::clicked, this, &CMainDlg::OnMore);
    connect(m_ui.pCreateEmail, &QPushButton::clicked, this, &CMainDlg::OnCreateEmail);
    connect(m_ui.pSendEmail, &QPushButton::clicked, this, &CMainDlg::OnSendEmail);
    connect(m_ui.pAttachAdd, &QPushButton::clicked, this, &CMainDlg::OnAttachAdd);
    connect(m_ui.pAttachRemove, &QPushButton::clicked, this, &CMainDlg::OnAttachRemove);
    connect(m_ui.pStatusShow, &QPushButton::clicked, this, [this] { SelectInExplorer(m_strSavedPath); });
    connect(m_ui.pStatusOpen, &QPushButton::clicked, this, [this] { ShellOpen(m_strSavedPath); });
    connect(m_ui.pAttachList, &CAttachmentList::DoubleClicked, this, &CMainDlg::OnAttachOpen);
    connect(m_ui.pAttachList, &QTreeWidget::itemSelectionChanged, this, &CMainDlg::OnUpdateAttachCommand);
    connect(m_ui.pAttachList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        m_pAttachMenu->popup(m_ui.pAttachList->viewport()->mapToGlobal(at));
    });
    for (QLineEdit* e : {m_ui.pFromEdit, m_ui.pToEdit, m_ui.pCcEdit})
        connect(e, &QLineEdit::textChanged, this, [this, e] { CheckAddressField(e); });
}

void CMainDlg::OnInitDialog() {
    UpdateData(false);
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillory.png")));

    CAttachmentList* list = m_ui.pAttachList;
    list->setColumnCount(3);
    list->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Size"), QStringLiteral("Full Path")});
    list->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    QFontMetrics fm(list->font());
    list->setColumnWidth(0, fm.horizontalAdvance(QLatin1Char('x')) * 18);
    // Wide enough for the longest size text with the sort arrow beside the title.
    list->setColumnWidth(1, fm.horizontalAdvance(QStringLiteral("1000.0 KB")) + fm.height() * 2);
    list->header()->setStretchLastSection(true);  // Full Path takes the width to spare
    list->SetColumnSortKind(1, CAttachmentList::SORT_SIZE);
    m_ui.pAttachRemove->setEnabled(false);
    OnUpdateAttachCommand();
    UpdateAttachTotal();
    m_ui.pOpenHtml->setEnabled(false);
    setAcceptDrops(true);

    // Shown with the window, beside it, once the window has its place.
    m_bFirstRun = m_settings.TestAndClearFirstRun();
    m_ui.pHtmlEdit->setFocus();
}

void CMainDlg::ShowRecentPages() {
    QString text = m_ui.pHtmlEdit->text();
    m_ui.pHtmlCombo->clear();
    for (const std::string& page : m_state.RecentPages) m_ui.pHtmlCombo->addItem(FromBytes(page));
    m_ui.pHtmlEdit->setText(text);  // filling the list must not change the field
}

void CMainDlg::RestoreState() {
    m_strHtmlPath = m_state.HtmlFile;
    m_ui.pHtmlEdit->setText(FromBytes(m_strHtmlPath));
    ShowRecentPages();
    for (const std::string& path : m_state.Attachments)
        if (!FindAttachment(path)) AddAttachment(path);

    QSize least = minimumSizeHint();
    setMinimumSize(least);
    QSize size(std::max(least.width(), m_state.WindowWidth), std::max(least.height(), m_state.WindowHeight));
    if (m_state.WindowWidth <= 0) size = sizeHint().expandedTo(QSize(least.width() * 5 / 4, least.height() * 5 / 4));
    resize(size);
    if (m_state.WindowWidth > 0) {
        QRect wanted(QPoint(m_state.WindowX, m_state.WindowY), size);
        // Only where a screen still shows it: a monitor may have gone since.
        for (QScreen* s : QGuiApplication::screens())
            if (s->availableGeometry().intersects(wanted)) {
                move(wanted.topLeft());
                break;
            }
        if (m_state.WindowMaximized) setWindowState(Qt::WindowMaximized);
    }
}

void CMainDlg::SaveState() {
    m_state.HtmlFile = m_strHtmlPath;
    m_state.Attachments.clear();
    for (int i = 0; i < m_ui.pAttachList->topLevelItemCount(); ++i)
        m_state.Attachments.push_back(ToBytes(m_ui.pAttachList->topLevelItem(i)->text(CAttachmentList::kPathColumn)));
    m_state.WindowMaximized = isMaximized() ? 1 : 0;
    QRect r = normalGeometry().isValid() ? normalGeometry() : geometry();
    QPoint at = isMaximized() ? r.topLeft() : pos();
    m_state.WindowX = at.x();
    m_state.WindowY = at.y();
    m_state.WindowWidth = r.width();
    m_state.WindowHeight = r.height();
}

void CMainDlg::UpdateData(bool bSaveAndValidate) {
    struct Field {
        QLineEdit* edit;
        std::string* value;
    } fields[] = {{m_ui.pHtmlEdit, &m_strHtmlPath},
                  {m_ui.pCcEdit, &m_settings.mail.MailCc},
                  {m_ui.pFromEdit, &m_settings.mail.MailFrom},
                  {m_ui.pSubjectEdit, &m_settings.mail.MailSubject},
                  {m_ui.pToEdit, &m_settings.mail.MailTo}};
    for (Field& f : fields) {
        if (bSaveAndValidate)
            *f.value = ToBytes(f.edit->text());
        else
            f.edit->setText(FromBytes(*f.value));
    }
}

bool CMainDlg::IsBusy() const { return m_pCheckTask || m_pComposeTask || m_pSendDlg; }

void CMainDlg::SetBusy(bool bBusy) {
    m_pBody->setEnabled(!bBusy);
    for (QAction* a : {m_act.pOptions, m_act.pCheck, m_act.pAttachAdd}) a->setEnabled(!bBusy);
}

void CMainDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (m_bShownOnce) return;
    m_bShownOnce = true;
    if (m_bFirstRun) QTimer::singleShot(0, this, [this] { CHelpWindow::ShowHelp(this); });
}

void CMainDlg::closeEvent(QCloseEvent* e) {
    StopCheck();  // a check only reads: the window waits for it rather than asking
    if (IsBusy()) {
        QString what = m_pComposeTask ? QStringLiteral("An email is being created.")
                                      : QStringLiteral("An email is being sent.");
        if (!m_services.prompts->Question(this, what + QStringLiteral(" Stop it and quit?"),
                                          QStringLiteral("Stop and Quit"))) {
            e->ignore();
            return;
        }
        if (m_pComposeTask) {
            delete m_pComposeTask;  // short: it stops at its next buffer and removes its file
            m_pComposeTask = nullptr;
            if (m_pCreateDlg) m_pCreateDlg->End();
        }
        OnSendClose();  // a send is stopped and its file removed
    }
    UpdateData(true);
    SaveState();
    std::string err;
    bool ok = m_settings.SaveSettings(SETTINGS_MAIL, err);
    if (ok) ok = m_state.Save(err);
    if (!ok)
        m_services.prompts->MessageBox(this, QStringLiteral("The header fields could not be saved: ") + FromBytes(err));
    CHelpWindow::CloseHelp();
    e->accept();
    done(QDialog::Rejected);
}

void CMainDlg::OnHtmlFileChange() { m_ui.pOpenHtml->setEnabled(!m_ui.pHtmlEdit->text().isEmpty()); }

void CMainDlg::PageChosen(const QString& path) {
    m_strHtmlPath = ToBytes(path);
    if (m_ui.pHtmlEdit->text() != path) m_ui.pHtmlEdit->setText(path);
    if (m_ui.pSubjectEdit->text().isEmpty()) m_ui.pSubjectEdit->setText(PageTitle(path));
    m_state.RememberPage(m_strHtmlPath);
    ShowRecentPages();
}

void CMainDlg::StartWithPage(const std::string& strPage, const std::vector<std::string>& files) {
    OnAttachRemoveAll();
    PageChosen(FromBytes(strPage));
    for (const std::string& path : files)
        if (!FindAttachment(path)) AddAttachment(path);
}

void CMainDlg::OnBrowseHtml() {
    QString path = m_ui.pHtmlEdit->text();
    if (!m_services.prompts->PromptForFile(this, QStringLiteral("HTML Files (*.htm *.html);;All Files (*)"), false,
                                           QString(), path))
        return;
    PageChosen(path);
}

void CMainDlg::OnOpenHtml() {
    UpdateData(true);
    if (!m_strHtmlPath.empty()) ShellOpen(m_strHtmlPath);
}

void CMainDlg::OnMore() { m_pMoreMenu->popup(m_ui.pMore->mapToGlobal(QPoint(m_ui.pMore->width(), 0))); }

void CMainDlg::ShellOpen(const std::string& strTarget) {
    m_services.shell->Open(strTarget, HandOffFailureNotice(QStringLiteral("Unable to open \"%1\":"), strTarget));
}

void CMainDlg::SelectInExplorer(const std::string& strPath) {
    m_services.shell->ShowInFolder(strPath,
                                   HandOffFailureNotice(QStringLiteral("Unable to show \"%1\" in its folder:"), strPath));
}

// Tells the user why a hand-off to the desktop failed: the first line of the
// reason under strWhat, the whole reason as details when it has more.
platform::HandOffDone CMainDlg::HandOffFailureNotice(QString strWhat, const std::string& strTarget) {
    QPointer<CMainDlg> self(this);
    return [self, strWhat, strTarget](const platform::HandOff& r) {
        if (!self || r.bOk) return;
        QString reason = FromBytes(r.strReason).trimmed();
        self->m_services.prompts->Notify(self, strWhat.arg(FromBytes(strTarget)) + "\n\n" + reason.section('\n', 0, 0),
                                         reason.contains('\n') ? reason : QString());
    };
}

void CMainDlg::SetAddressCheck(AddressCheck check) {
    m_addressCheck = std::move(check);
    for (QLineEdit* e : {m_ui.pFromEdit, m_ui.pToEdit, m_ui.pCcEdit}) CheckAddressField(e);
}

void CMainDlg::CheckAddressField(QLineEdit* pEdit) {
    std::string bad;
    bool ok = !m_addressCheck || m_addressCheck(ToBytes(pEdit->text()), bad);
    pEdit->setProperty("invalid", !ok);
    pEdit->setStyleSheet(ok ? QString() : QStringLiteral("QLineEdit { border: 2px solid #c02020; }"));
    pEdit->setToolTip(ok ? QString() : FromBytes(bad));
}

void CMainDlg::OnShowHelp() { CHelpWindow::ShowHelp(this); }
