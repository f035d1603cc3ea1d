// Preview: the composed message drawn as a mail program would, beside the main window.
#include "app/PreviewDlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/ComposeTask.h"
#include "compose/MessageReader.h"
#include "platform/FileSystem.h"
#include "ui/MessagePreview.h"

CPreviewDlg::CPreviewDlg(QWidget* parent, const platform::Platform& env)
    : QWidget(parent, Qt::Window),
      m_env(env),
      m_pPreview(new CMessagePreview(this)),
      m_pWidth(new QComboBox(this)),
      m_pStatus(new QLabel(this)),
      m_pView(new QWebEngineView(this)),
      m_pWatcher(new QFileSystemWatcher(this)) {
    setWindowTitle(QStringLiteral("Quillory Preview"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillory.png")));
    // As every other window of the program: the web view must not swallow them.
    for (QKeySequence key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* s = new QShortcut(key, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, &QWidget::close);
    }
    // The message waits in the shared temporary folder: only its owner may read it.
    m_env.files = &platform::PrivateFileSystem();

    m_pWidth->addItem(QStringLiteral("Desktop (%1 pixels)").arg(kDesktopPreviewWidth), kDesktopPreviewWidth);
    m_pWidth->addItem(QStringLiteral("Phone (%1 pixels)").arg(kPhonePreviewWidth), kPhonePreviewWidth);
    auto* widthLabel = new QLabel(QStringLiteral("&Width:"), this);
    widthLabel->setBuddy(m_pWidth);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pStatus->setWordWrap(true);

    auto* page = new CMailPage(m_pPreview->Profile(), m_pView, false);
    m_pView->setPage(page);

    auto* top = new QHBoxLayout;
    top->addWidget(widthLabel);
    top->addWidget(m_pWidth);
    top->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pView, 1, Qt::AlignHCenter);
    layout->addWidget(m_pStatus);
    SetWidth();
    resize(sizeHint().width(), 700);

    m_settle.setSingleShot(true);
    m_settle.setInterval(150);
    connect(&m_settle, &QTimer::timeout, this, &CPreviewDlg::Recompose);
    connect(m_pWatcher, &QFileSystemWatcher::fileChanged, this, &CPreviewDlg::OnPageChanged);
    connect(m_pWidth, &QComboBox::currentIndexChanged, this, &CPreviewDlg::SetWidth);
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        int blocked = m_pPreview->BlockedRequests();
        QString text = QStringLiteral("Composed at %1.").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        if (blocked > 0) text += QStringLiteral(" Remote content blocked (%1 requests since the window opened).").arg(blocked);
        if (!ok) text += QStringLiteral(" The message could not be drawn completely.");
        if (!m_strNotices.isEmpty()) text += QLatin1Char('\n') + m_strNotices;
        SetStatus(text, false);
        emit Shown(ok);
    });
}

CPreviewDlg::~CPreviewDlg() {
    delete m_pTask;  // cancels and waits, so the file is settled
    delete m_pView;  // its page goes before the profile it uses
}

int CPreviewDlg::PreviewWidth() const { return m_pWidth->currentData().toInt(); }

void CPreviewDlg::SetWidth() { m_pView->setFixedWidth(PreviewWidth()); }

void CPreviewDlg::SetStatus(const QString& text, bool bError) {
    m_pStatus->setText(text);
    m_pStatus->setStyleSheet(bError ? QStringLiteral("color: #b00020") : QString());
}

void CPreviewDlg::ShowMessage(ComposeJob job) {
    m_job = std::move(job);
    if (!m_pWatcher->files().isEmpty()) m_pWatcher->removePaths(m_pWatcher->files());
    m_pWatcher->addPath(QString::fromStdString(m_job.m_strHtmlPath));
    Recompose();
}

void CPreviewDlg::OnPageChanged() {
    // Editors that save by renaming a new file over the page end the watch: watch the new one.
    const QString page = QString::fromStdString(m_job.m_strHtmlPath);
    if (!m_pWatcher->files().contains(page) && QFileInfo::exists(page)) m_pWatcher->addPath(page);
    m_settle.start();
}

void CPreviewDlg::Recompose() {
    if (m_pTask) {
        m_bAgain = true;
        return;
    }
    std::string err;
    if (m_message.Path().empty() && !m_message.Create("EML", err)) {
        SetStatus(QStringLiteral("Cannot create a temporary file: ") + QString::fromStdString(err), true);
        emit Composed(false);
        return;
    }
    SetStatus(QStringLiteral("Composing..."), false);
    ComposeJob job = m_job;
    job.m_strOutputPath = m_message.Path();
    m_pTask = new CComposeTask(job, MessagePlan(), m_env, this);
    connect(m_pTask, &CComposeTask::Finished, this,
            [this](CComposeTask::End end, const QString& reason) { OnComposed(static_cast<int>(end), reason); });
    m_pTask->Start();
}

void CPreviewDlg::OnComposed(int nEnd, const QString& strReason) {
    m_pTask->Wait();
    m_pTask->deleteLater();
    m_pTask = nullptr;
    if (m_bAgain) {
        m_bAgain = false;
        Recompose();
        return;
    }
    MessageContent content;
    std::string err;
    bool ok = static_cast<CComposeTask::End>(nEnd) == CComposeTask::End::Written;
    if (ok && !ReadMessageFile(m_message.Path(), content, err)) {
        ok = false;
        SetStatus(QStringLiteral("The message cannot be read back: ") + QString::fromStdString(err), true);
    } else if (!ok) {
        SetStatus(QStringLiteral("The message could not be composed.\n") + strReason, true);
    }
    emit Composed(ok);
    if (!ok) return;
    m_strNotices = strReason;
    m_pView->load(m_pPreview->SetMessage(std::move(content)));
}
