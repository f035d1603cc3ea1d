#include "app/MainDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
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
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ComposeTask.h"
#include "app/ListSendDlg.h"
#include "compose/HtmlToText.h"
#include "platform/qt/DesktopShell.h"
#include "core/AddressList.h"
#include "ui/AttachmentList.h"
#include "ui/CreateProgressDlg.h"
#include "ui/HelpWindow.h"
#include "ui/Prompts.h"
#include "ui/SendProgressDlg.h"
#include "ui/TextConversion.h"

using ui::FromBytes;
using ui::ToBytes;

namespace {

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

// The page's title, read from its start, where a title belongs.
QString TitleOfPage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    QByteArray head = file.read(64 * 1024);
    return FromBytes(PageTitle(std::string_view(head.constData(), static_cast<std::size_t>(head.size()))));
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
    : QWidget(nullptr), m_settings(*services.store), m_state(*services.store), m_services(services),
      m_addressCheck(DefaultAddressCheck) {
    m_settings.LoadSettings(&m_listSettingsNotes);
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
    delete m_pListDlg;      // a list send is stopped and waited for, while this window is whole
}

void CMainDlg::BuildActions() {
    auto make = [this](const char* text, int cell, QKeySequence key, void (CMainDlg::*slot)()) {
        auto* a = new QAction(ToolbarIcon(cell), QString::fromUtf8(text), this);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    m_act.pSendToList = make("Send to &List...", kTellFriendCell, {}, &CMainDlg::OnSendToList);
    m_act.pOptions = make("&Options...", kOptionsCell, Qt::Key_F5, &CMainDlg::OnOptions);
    m_act.pCheck = make("Chec&k Page...", kOptionsCell, QKeySequence(Qt::CTRL | Qt::Key_K), &CMainDlg::OnCheck);
    m_act.pCheck->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));  // the strip has no cell for it
    m_act.pTellFriend = make("&Tell a Friend", kTellFriendCell, {}, &CMainDlg::OnTellFriend);
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
    m_pMoreMenu->addAction(m_act.pSendToList);
    m_pMoreMenu->addSeparator();
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
    // A hidden reason takes no room: the grid skips rows with nothing shown.
    auto problem = [&](int row) {
        auto* l = new QLabel(m_pBody);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setStyleSheet(QStringLiteral("color: #c02020"));
        l->hide();
        grid->addWidget(l, row, 1);
        return l;
    };
    m_ui.pHtmlProblem = problem(1);
    int row = 2;
    QLabel* unused = nullptr;
    for (auto [text, edit, reason] :
         {std::tuple{"S&ubject:", &m_ui.pSubjectEdit, &unused}, std::tuple{"&From:", &m_ui.pFromEdit, &m_ui.pFromProblem},
          std::tuple{"&To:", &m_ui.pToEdit, &m_ui.pToProblem}, std::tuple{"&Cc:", &m_ui.pCcEdit, &m_ui.pCcProblem}}) {
        *edit = new QLineEdit(m_pBody);
        label(text, row, *edit);
        grid->addWidget(*edit, row++, 1);
        if (reason != &unused) *reason = problem(row++);
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
    // Links in the line, not buttons beside it: link-coloured, underlined under the pointer or the focus.
    for (QPushButton* b : {m_ui.pStatusShow, m_ui.pStatusOpen}) {
        b->setCursor(Qt::PointingHandCursor);
        b->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 1px 4px; color: palette(link); }"
                                        "QPushButton:hover, QPushButton:focus { text-decoration: underline; }"));
    }
    status->addWidget(m_ui.pStatusText, 1);
    status->addWidget(m_ui.pStatusShow);
    status->addWidget(m_ui.pStatusOpen);
    m_ui.pStatusLine->hide();
    outer->addWidget(m_ui.pStatusLine);

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
    list->setColumnWidth(1, fm.horizontalAdvance(QStringLiteral("1000.0 KiB")) + fm.height() * 2);
    list->header()->setStretchLastSection(true);  // Full Path takes the width to spare
    list->SetColumnSortKind(1, CAttachmentList::SORT_SIZE);
    m_ui.pAttachRemove->setEnabled(false);
    OnUpdateAttachCommand();
    UpdateAttachTotal();
    CheckPageField();
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

    QSize least = UpdateMinimumSize();
    QSize size(std::max(least.width(), m_state.WindowWidth), std::max(least.height(), m_state.WindowHeight));
    if (m_state.WindowWidth <= 0) size = sizeHint().expandedTo(QSize(least.width() * 5 / 4, least.height() * 5 / 4));
    resize(size);
    if (m_state.WindowWidth > 0) {
        QRect wanted(QPoint(m_state.WindowX, m_state.WindowY), size);
        // A monitor may have gone since, or the scale grown: the window is brought back within a screen.
        KeepOnScreen(this, wanted);
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

QSize CMainDlg::UpdateMinimumSize() {
    // The wrapped texts need their height at the least width, which the plain hint does not ask for.
    layout()->activate();
    QSize least = minimumSizeHint();
    if (layout()->hasHeightForWidth())
        least.setHeight(std::max(least.height(), layout()->totalHeightForWidth(least.width())));
    setMinimumSize(least);
    return least;
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

void CMainDlg::SetWork(Work work) {
    m_work = work;
    const bool idle = work == Work::Idle;
    m_pBody->setEnabled(idle);
    for (QAction* a : {m_act.pSendToList, m_act.pOptions, m_act.pCheck, m_act.pAttachAdd}) a->setEnabled(idle);
}

void CMainDlg::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (m_bShownOnce) return;
    m_bShownOnce = true;
    // Again once the window manager has framed it: the frame's size was only guessed before.
    auto keep = [this] {
        if (!isMaximized()) KeepOnScreen(this, QRect(pos(), size()));
    };
    keep();
    QTimer::singleShot(0, this, keep);
    // The guide stands beside the window; the user starts typing in the window.
    if (m_bFirstRun) QTimer::singleShot(0, this, [this] { CHelpWindow::ShowHelp(this, false); });
    if (!m_state.ListSendFile.empty()) QTimer::singleShot(0, this, &CMainDlg::OfferToContinueListSend);
    // What was odd about the settings file: told once, without holding up the window.
    if (m_listSettingsNotes.empty()) return;
    QString detail;
    for (const std::string& note : m_listSettingsNotes) detail += FromBytes(note) + '\n';
    m_services.prompts->Notify(this, QStringLiteral("About the settings file:"), detail);
}

void CMainDlg::closeEvent(QCloseEvent* e) {
    StopCheck();  // a check only reads: the window waits for it rather than asking
    // Only work still running is asked about; an ended send's window just goes.
    // The question closes itself if the work ends while it is up.
    const bool composing = m_work == Work::Composing;
    if (composing || (m_work == Work::Sending && m_pSendWorker)) {
        QString what = composing ? QStringLiteral("An email is being created.") : QStringLiteral("An email is being sent.");
        if (!m_services.prompts->Question(this, what + QStringLiteral(" Stop it and quit?"),
                                          QStringLiteral("Stop and Quit"))) {
            e->ignore();
            return;
        }
        if (composing) {
            delete m_pComposeTask;  // short: it stops at its next buffer and removes its file
            m_pComposeTask = nullptr;
            if (m_pCreateDlg) m_pCreateDlg->End();
            SetWork(Work::Idle);
        }
    }
    if (m_pListDlg && m_pListDlg->IsSending() &&
        !m_services.prompts->Question(this,
                                      QStringLiteral("A list is being sent. Stop it and quit? The next start offers "
                                                     "to continue it."),
                                      QStringLiteral("Stop and Quit"))) {
        e->ignore();
        return;
    }
    delete m_pListDlg;  // stops its send after the message under way, and waits
    OnSendClose();  // a send still running is stopped and its file removed
    UpdateData(true);
    SaveState();
    std::string err;
    bool ok = m_settings.SaveSettings(SETTINGS_MAIL, err);
    if (ok) ok = m_state.Save(err);
    if (!ok)
        m_services.prompts->MessageBox(this, QStringLiteral("The header fields could not be saved: ") + FromBytes(err));
    CHelpWindow::CloseHelp();
    e->accept();
    emit Closed();
}

void CMainDlg::OnHtmlFileChange() { CheckPageField(); }

void CMainDlg::CheckPageField() {
    QString path = m_ui.pHtmlEdit->text();
    QFileInfo page(path);
    QString reason;
    if (!path.isEmpty() && !page.exists())
        reason = QStringLiteral("There is no such file.");
    else if (!path.isEmpty() && !page.isFile())
        reason = QStringLiteral("This is not a file.");
    MarkField(m_ui.pHtmlEdit, reason);
    m_ui.pOpenHtml->setEnabled(!path.isEmpty() && reason.isEmpty());
}

void CMainDlg::PageChosen(const QString& path) {
    m_strHtmlPath = ToBytes(path);
    if (m_ui.pHtmlEdit->text() != path) m_ui.pHtmlEdit->setText(path);
    if (m_ui.pSubjectEdit->text().isEmpty()) m_ui.pSubjectEdit->setText(TitleOfPage(path));
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

void CMainDlg::ShellOpen(const std::string& strTarget) { HandOff({{false, strTarget}}); }

void CMainDlg::SelectInExplorer(const std::string& strPath) { HandOff({{true, strPath}}); }

// Runs the hand-offs to the desktop one after the other, then says in one box
// what went wrong (with strText, a notice the caller brings): for each failure
// the first line of the reason, the whole reason as details when it has more.
void CMainDlg::HandOff(std::vector<HandOffStep> steps, QString strText, QString strDetail) {
    if (steps.empty()) {
        if (!strText.isEmpty()) m_services.prompts->Notify(this, strText, strDetail);
        return;
    }
    HandOffStep step = steps.front();
    steps.erase(steps.begin());
    QPointer<CMainDlg> self(this);
    auto done = [self, step, steps, strText, strDetail](const platform::HandOff& r) mutable {
        if (!self) return;
        if (!r.bOk) {
            QString reason = FromBytes(r.strReason).trimmed();
            QString what = step.bShow ? QStringLiteral("Unable to show \"%1\" in its folder:")
                                      : QStringLiteral("Unable to open \"%1\":");
            strText += (strText.isEmpty() ? QString() : QStringLiteral("\n\n")) + what.arg(FromBytes(step.strTarget)) +
                       QStringLiteral("\n\n") + reason.section('\n', 0, 0);
            if (reason.contains('\n')) strDetail += (strDetail.isEmpty() ? QString() : QStringLiteral("\n\n")) + reason;
        }
        self->HandOff(std::move(steps), std::move(strText), std::move(strDetail));
    };
    if (step.bShow)
        m_services.shell->ShowInFolder(step.strTarget, done);
    else
        m_services.shell->Open(step.strTarget, done);
}

void CMainDlg::SetAddressCheck(AddressCheck check) {
    m_addressCheck = std::move(check);
    for (QLineEdit* e : {m_ui.pFromEdit, m_ui.pToEdit, m_ui.pCcEdit}) CheckAddressField(e);
}

void CMainDlg::CheckAddressField(QLineEdit* pEdit) {
    std::string bad;
    bool ok = !m_addressCheck || m_addressCheck(ToBytes(pEdit->text()), bad);
    MarkField(pEdit, ok ? QString() : FromBytes(bad));
}

QLabel* CMainDlg::ProblemLabel(QLineEdit* pEdit) const {
    if (pEdit == m_ui.pHtmlEdit) return m_ui.pHtmlProblem;
    if (pEdit == m_ui.pFromEdit) return m_ui.pFromProblem;
    return pEdit == m_ui.pToEdit ? m_ui.pToProblem : m_ui.pCcProblem;
}

void CMainDlg::MarkField(QLineEdit* pEdit, const QString& strReason) {
    bool ok = strReason.isEmpty();
    pEdit->setProperty("invalid", !ok);
    // The page's field sits inside its combo box: the frame goes round the box.
    QWidget* framed = pEdit == m_ui.pHtmlEdit ? static_cast<QWidget*>(m_ui.pHtmlCombo) : pEdit;
    framed->setStyleSheet(ok ? QString()
                             : QStringLiteral("%1 { border: 2px solid #c02020; }")
                                   .arg(QString::fromLatin1(framed->metaObject()->className())));
    pEdit->setToolTip(strReason);
    QLabel* label = ProblemLabel(pEdit);
    label->setText(strReason);
    if (label->isVisibleTo(this) == ok) {
        label->setVisible(!ok);
        UpdateMinimumSize();
    }
}

bool CMainDlg::AcceptBadAddresses() {
    QString list;
    QLineEdit* first = nullptr;
    for (auto [name, edit] : {std::pair{"From", m_ui.pFromEdit}, std::pair{"To", m_ui.pToEdit},
                              std::pair{"Cc", m_ui.pCcEdit}}) {
        if (!edit->property("invalid").toBool()) continue;
        if (!first) first = edit;
        list += QStringLiteral("\n%1: %2").arg(QString::fromLatin1(name), ProblemLabel(edit)->text());
    }
    if (!first) return true;
    if (m_services.prompts->Question(this,
                                     QStringLiteral("These fields do not hold valid addresses:\n") + list +
                                         QStringLiteral("\n\nA mail program may not be able to send this email. "
                                                        "Create it anyway?"),
                                     QStringLiteral("Create Anyway")))
        return true;
    first->setFocus();
    return false;
}

void CMainDlg::OnShowHelp() { CHelpWindow::ShowHelp(this); }
