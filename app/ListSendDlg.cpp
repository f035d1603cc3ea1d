#include "app/ListSendDlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextDocumentFragment>
#include <QVBoxLayout>
#include <cmath>

#include "app/WindowState.h"
#include "core/Ascii.h"
#include "smtp/SendOutcome.h"
#include "ui/Prompts.h"
#include "ui/TextConversion.h"

using ui::FromBytes;
using ui::ToBytes;

namespace {

constexpr int kPreviewRows = 5;  // enough to see the fields vary

// Hands the worker's notices to the GUI thread as queued calls on the dialog.
// A call still queued when the dialog goes is dropped with it.
class CQueuedListNotify : public IListSendNotify {
public:
    explicit CQueuedListNotify(CListSendDlg* pDlg) : m_pDlg(pDlg) {}
    void OnSendLog(std::uint64_t, LogDirection, const std::string&) override {}
    void OnRecipient(std::uint64_t nSendId, std::size_t nIndex, const RecipientResult& r) override {
        Post([nSendId, nIndex, r](CListSendDlg* dlg) { dlg->OnRecipient(nSendId, nIndex, r); });
    }
    void OnListProgress(std::uint64_t nSendId, const ListProgress& progress) override {
        Post([nSendId, progress](CListSendDlg* dlg) { dlg->OnListProgress(nSendId, progress); });
    }
    void OnListDone(std::uint64_t nSendId, const ListSendReport& report) override {
        Post([nSendId, report](CListSendDlg* dlg) { dlg->OnListDone(nSendId, report); });
    }

private:
    template <typename F>
    void Post(F f) {
        CListSendDlg* dlg = m_pDlg;
        QMetaObject::invokeMethod(dlg, [dlg, f] { f(dlg); }, Qt::QueuedConnection);
    }
    CListSendDlg* m_pDlg;
};

QTableWidget* Table(QWidget* parent, const QStringList& titles) {
    auto* t = new QTableWidget(0, static_cast<int>(titles.size()), parent);
    t->setHorizontalHeaderLabels(titles);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->setWordWrap(false);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().lineSpacing() + 6);
    return t;
}

// Every column but the last as wide as its text; the last takes the rest.
void FitColumns(QTableWidget* t) {
    for (int c = 0; c + 1 < t->columnCount(); ++c) t->resizeColumnToContents(c);
}

// Text from the list or a server, on one line.
void SetCell(QTableWidget* t, int row, int col, const std::string& text) {
    t->setItem(row, col, new QTableWidgetItem(FromBytes(ascii::Printable(text))));
}

QString Duration(double seconds) {
    auto s = static_cast<long long>(std::ceil(seconds));
    if (s < 60) return QStringLiteral("%1 s").arg(s);
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60);
}

} // namespace

CListSendDlg::CListSendDlg(QWidget* pOwner, IPrompts& prompts, WindowState& state, const platform::Platform& env,
                           SendRequest send)
    : QDialog(pOwner), m_prompts(prompts), m_state(state), m_env(env), m_send(std::move(send)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Send to List"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    // What to send to: the list and how.
    auto* form = new QFormLayout;
    m_ui.pListEdit = new QLineEdit(this);
    m_ui.pBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    m_ui.pBrowse->setAutoDefault(false);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_ui.pListEdit, 1);
    listRow->addWidget(m_ui.pBrowse);
    form->addRow(QStringLiteral("List (CSV):"), listRow);
    m_ui.pListEdit->setReadOnly(true);
    m_ui.pColumn = new QComboBox(this);
    form->addRow(QStringLiteral("&Address column:"), m_ui.pColumn);
    m_ui.pRate = new QSpinBox(this);
    m_ui.pRate->setRange(0, 100000);
    m_ui.pRate->setValue(60);
    m_ui.pRate->setSpecialValueText(QStringLiteral("No limit"));
    m_ui.pRate->setSuffix(QStringLiteral(" a minute"));
    form->addRow(QStringLiteral("&Messages:"), m_ui.pRate);
    m_ui.pUnsubscribe = new QLineEdit(this);
    m_ui.pUnsubscribe->setPlaceholderText(QStringLiteral("https://... or mailto:... (optional; {{column}} allowed)"));
    form->addRow(QStringLiteral("&Unsubscribe:"), m_ui.pUnsubscribe);
    m_ui.pColumns = new QLabel(this);
    m_ui.pColumns->setTextFormat(Qt::PlainText);
    m_ui.pColumns->setWordWrap(true);
    form->addRow(QStringLiteral("Columns:"), m_ui.pColumns);
    m_ui.pProblem = new QLabel(this);
    m_ui.pProblem->setTextFormat(Qt::PlainText);
    m_ui.pProblem->setWordWrap(true);
    m_ui.pProblem->setStyleSheet(QStringLiteral("color: #b41e1e;"));
    m_ui.pProblem->hide();

    // The look before the send.
    auto* look = new QWidget(this);
    auto* lookLayout = new QVBoxLayout(look);
    lookLayout->setContentsMargins(0, 0, 0, 0);
    auto* leftOutBox = new QGroupBox(QStringLiteral("Rows left out"), look);
    m_ui.pLeftOut = Table(leftOutBox, {QStringLiteral("Line"), QStringLiteral("Address"), QStringLiteral("Why")});
    (new QVBoxLayout(leftOutBox))->addWidget(m_ui.pLeftOut);
    auto* previewBox = new QGroupBox(QStringLiteral("The first messages"), look);
    m_ui.pPreview = Table(previewBox, {QStringLiteral("To"), QStringLiteral("Subject")});
    m_ui.pPageText = new QPlainTextEdit(previewBox);
    m_ui.pPageText->setReadOnly(true);
    auto* previewLayout = new QVBoxLayout(previewBox);
    previewLayout->addWidget(m_ui.pPreview, 1);
    previewLayout->addWidget(m_ui.pPageText, 2);
    lookLayout->addWidget(leftOutBox, 1);
    lookLayout->addWidget(previewBox, 3);

    // The send.
    auto* run = new QWidget(this);
    auto* runLayout = new QVBoxLayout(run);
    runLayout->setContentsMargins(0, 0, 0, 0);
    m_ui.pBar = new QProgressBar(run);
    m_ui.pBar->setFormat(QStringLiteral("%v of %m"));
    m_ui.pBar->setRange(0, 0);
    m_ui.pPace = new QLabel(run);
    m_ui.pPace->setTextFormat(Qt::PlainText);
    m_ui.pRecipients = Table(run, {QStringLiteral("Address"), QStringLiteral("Line"), QStringLiteral("State"),
                                   QStringLiteral("Detail")});
    m_ui.pSummary = new QLabel(run);
    m_ui.pSummary->setTextFormat(Qt::PlainText);
    m_ui.pSummary->setWordWrap(true);
    m_ui.pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    runLayout->addWidget(m_ui.pBar);
    runLayout->addWidget(m_ui.pPace);
    runLayout->addWidget(m_ui.pRecipients, 1);
    runLayout->addWidget(m_ui.pSummary);

    m_ui.pPages = new QStackedWidget(this);
    m_ui.pPages->addWidget(look);
    m_ui.pPages->addWidget(run);

    m_ui.pSend = new QPushButton(QStringLiteral("&Send"), this);
    m_ui.pPause = new QPushButton(QStringLiteral("&Pause"), this);
    m_ui.pClose = new QPushButton(QStringLiteral("Close"), this);
    for (QPushButton* b : {m_ui.pSend, m_ui.pPause, m_ui.pClose}) b->setAutoDefault(false);
    m_ui.pSend->setEnabled(false);
    m_ui.pPause->hide();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ui.pSend);
    buttons->addWidget(m_ui.pPause);
    buttons->addWidget(m_ui.pClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_ui.pProblem);
    layout->addWidget(m_ui.pPages, 1);
    layout->addLayout(buttons);
    QFontMetrics fm(font());
    resize(fm.averageCharWidth() * 110, fm.lineSpacing() * 46);

    connect(m_ui.pBrowse, &QPushButton::clicked, this, &CListSendDlg::Browse);
    connect(m_ui.pColumn, &QComboBox::activated, this, [this] { Refresh(); });
    connect(m_ui.pUnsubscribe, &QLineEdit::editingFinished, this, [this] { Refresh(); });
    connect(m_ui.pPreview, &QTableWidget::itemSelectionChanged, this, &CListSendDlg::ShowPageText);
    connect(m_ui.pSend, &QPushButton::clicked, this, &CListSendDlg::OnSend);
    connect(m_ui.pPause, &QPushButton::clicked, this, &CListSendDlg::OnPause);
    connect(m_ui.pClose, &QPushButton::clicked, this, &CListSendDlg::OnClose);
}

CListSendDlg::~CListSendDlg() { Stop(); }

void CListSendDlg::LoadList(const QString& path, const QString& column) {
    m_ui.pListEdit->setText(path);
    m_ui.pColumn->clear();
    if (!column.isEmpty()) m_ui.pColumn->addItem(column);
    Refresh();
}

void CListSendDlg::SetRate(int nPerMinute) { m_ui.pRate->setValue(nPerMinute); }

void CListSendDlg::SetUnsubscribe(const QString& text) {
    m_ui.pUnsubscribe->setText(text);
    Refresh();
}

void CListSendDlg::Browse() {
    QString path = m_ui.pListEdit->text();
    if (!m_prompts.PromptForFile(this, QStringLiteral("CSV Files (*.csv);;All Files (*)"), false, QString(), path))
        return;
    LoadList(path);
}

void CListSendDlg::SetProblem(const QString& text) {
    m_ui.pProblem->setText(text);
    m_ui.pProblem->setVisible(!text.isEmpty());
}

ListSendRequest CListSendDlg::Request() const {
    ListSendRequest request;
    request.send = m_send;
    request.strListPath = ToBytes(m_ui.pListEdit->text());
    request.strAddressColumn = ToBytes(m_ui.pColumn->currentText());
    request.nRatePerMinute = m_ui.pRate->value();
    request.strJournalPath = DefaultJournalPath(request.strListPath);
    request.strUnsubscribe = ToBytes(m_ui.pUnsubscribe->text().trimmed());
    return request;
}

void CListSendDlg::Refresh() {
    m_list = RecipientList();
    m_listPreviews.clear();
    m_ui.pLeftOut->setRowCount(0);
    m_ui.pPreview->setRowCount(0);
    m_ui.pPageText->clear();
    m_ui.pColumns->clear();
    m_ui.pSend->setEnabled(false);
    SetProblem(QString());
    const ListSendRequest request = Request();
    if (request.strListPath.empty()) return;

    std::string err;
    const bool ok = LoadRecipientList(m_env, request.strListPath, request.strAddressColumn, m_list, err);
    // The columns to choose from, also when the one named is not among them.
    m_ui.pColumn->clear();
    QStringList names;
    for (const std::string& c : m_list.listColumns) names << FromBytes(c);
    m_ui.pColumn->addItems(names);
    m_ui.pColumns->setText(names.join(QStringLiteral(", ")));
    if (!ok) {
        m_ui.pColumn->setCurrentIndex(-1);
        return SetProblem(FromBytes(ascii::Printable(err)) +
                          (names.isEmpty() ? QString() : QStringLiteral(" Choose the address column.")));
    }
    m_ui.pColumn->setCurrentIndex(static_cast<int>(m_list.nAddressColumn));

    auto leftOut = [&](const std::vector<ListRowProblem>& rows) {
        for (const ListRowProblem& p : rows) {
            int r = m_ui.pLeftOut->rowCount();
            m_ui.pLeftOut->insertRow(r);
            SetCell(m_ui.pLeftOut, r, 0, std::to_string(p.nLine));
            SetCell(m_ui.pLeftOut, r, 1, p.strAddress);
            SetCell(m_ui.pLeftOut, r, 2, p.strReason);
        }
    };
    leftOut(m_list.listBadRows);
    leftOut(m_list.listDuplicates);
    FitColumns(m_ui.pLeftOut);

    const std::size_t n = std::min<std::size_t>(kPreviewRows, m_list.listRows.size());
    for (std::size_t i = 0; i < n; ++i) {
        PersonalPreview preview;
        if (!PreviewListRow(m_env, request, i, preview, err)) {
            m_listPreviews.clear();
            m_ui.pPreview->setRowCount(0);
            return SetProblem(FromBytes(ascii::Printable(err)));
        }
        m_ui.pPreview->insertRow(static_cast<int>(i));
        SetCell(m_ui.pPreview, static_cast<int>(i), 0, preview.strTo);
        SetCell(m_ui.pPreview, static_cast<int>(i), 1, preview.strSubject);
        m_listPreviews.push_back(std::move(preview));
    }
    FitColumns(m_ui.pPreview);
    if (m_list.listRows.empty()) return SetProblem(QStringLiteral("The list has no one to send to."));
    m_ui.pPreview->selectRow(0);
    m_ui.pSend->setEnabled(true);
}

void CListSendDlg::ShowPageText() {
    const int row = m_ui.pPreview->currentRow();
    if (row < 0 || row >= static_cast<int>(m_listPreviews.size())) return m_ui.pPageText->clear();
    // The text as a reader sees it, so the filled fields stand out from the markup.
    m_ui.pPageText->setPlainText(QTextDocumentFragment::fromHtml(FromBytes(m_listPreviews[row].strPage)).toPlainText());
}

void CListSendDlg::Record(bool bRunning) {
    const ListSendRequest request = Request();
    m_state.ListSendFile = bRunning ? request.strListPath : std::string();
    m_state.ListSendJournal = bRunning ? request.strJournalPath : std::string();
    m_state.ListSendColumn = bRunning ? request.strAddressColumn : std::string();
    m_state.ListSendUnsubscribe = bRunning ? request.strUnsubscribe : std::string();
    m_state.ListSendRate = request.nRatePerMinute;
    std::string err;
    if (!m_state.SaveListSend(err))
        m_prompts.Notify(this, QStringLiteral("The list send could not be recorded for the next start: ") +
                                   FromBytes(ascii::Printable(err)));
}

void CListSendDlg::OnSend() {
    if (m_pWorker || !m_ui.pSend->isEnabled()) return;
    Refresh();  // the list or the page may have changed since it was read
    if (!m_ui.pSend->isEnabled()) return;
    Record(true);
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui.pBrowse, m_ui.pColumn, m_ui.pRate, m_ui.pUnsubscribe})
        w->setEnabled(false);
    m_ui.pSend->hide();
    m_ui.pPause->show();
    m_ui.pClose->setText(QStringLiteral("Cancel"));
    m_ui.pPace->setText(QStringLiteral("Connecting..."));
    m_ui.pPages->setCurrentIndex(1);
    // Everyone to send to, in the report's order, so the table keeps its shape as the states come.
    m_ui.pRecipients->setRowCount(0);
    for (std::size_t i = 0; i < m_list.listRows.size(); ++i) {
        RecipientResult r;
        r.strAddress = m_list.listRows[i].address.EnvelopeAddress();
        r.nLine = m_list.listRows[i].nLine;
        SetRecipientRow(static_cast<int>(i), r);
    }
    FitColumns(m_ui.pRecipients);
    m_pWorker = std::make_unique<CListSend>(m_env);
    m_pWorker->Start(Request(), std::make_shared<CQueuedListNotify>(this));
}

void CListSendDlg::OnPause() {
    if (!IsSending()) return;
    const bool pause = !m_pWorker->Paused();
    if (pause)
        m_pWorker->Pause();
    else
        m_pWorker->Resume();
    m_ui.pPause->setText(pause ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    m_ui.pPace->setText(pause ? QStringLiteral("Paused after the message under way.") : QString());
}

void CListSendDlg::OnClose() {
    if (!IsSending()) {
        close();
        return;
    }
    // The journal keeps where it stopped; the report follows once the message under way has its reply.
    m_pWorker->Cancel();
    m_ui.pPause->setEnabled(false);
    m_ui.pClose->setEnabled(false);
    m_ui.pPace->setText(QStringLiteral("Stopping after the message under way..."));
}

void CListSendDlg::Stop() {
    if (!m_pWorker || !m_pWorker->Running()) return;
    m_pWorker->Cancel();
    m_pWorker->Join();
}

void CListSendDlg::closeEvent(QCloseEvent* e) {
    Stop();
    QDialog::closeEvent(e);
}

void CListSendDlg::done(int r) {
    Stop();  // however it is closed, its send does not outlive it
    QDialog::done(r);
}

void CListSendDlg::keyPressEvent(QKeyEvent* e) {
    // Esc must not stop a send by accident; Cancel is a button.
    if (e->key() == Qt::Key_Escape && IsSending()) return e->accept();
    QDialog::keyPressEvent(e);
}

void CListSendDlg::SetRecipientRow(int nRow, const RecipientResult& r) {
    if (m_ui.pRecipients->rowCount() <= nRow) m_ui.pRecipients->setRowCount(nRow + 1);
    SetCell(m_ui.pRecipients, nRow, 0, r.strAddress);
    SetCell(m_ui.pRecipients, nRow, 1, std::to_string(r.nLine));
    SetCell(m_ui.pRecipients, nRow, 2, RecipientStateName(r.state));
    SetCell(m_ui.pRecipients, nRow, 3, std::string(ascii::Trim(r.strDetail)));
}

void CListSendDlg::OnRecipient(std::uint64_t nSendId, std::size_t nIndex, const RecipientResult& r) {
    if (!m_pWorker || m_pWorker->SendId() != nSendId || m_bEnded) return;
    SetRecipientRow(static_cast<int>(nIndex), r);
    if (r.state == RecipientState::Sending) m_ui.pRecipients->scrollToItem(m_ui.pRecipients->item(static_cast<int>(nIndex), 0));
}

void CListSendDlg::OnListProgress(std::uint64_t nSendId, const ListProgress& progress) {
    if (!m_pWorker || m_pWorker->SendId() != nSendId || m_bEnded) return;
    m_ui.pBar->setRange(0, static_cast<int>(progress.nTotal));
    m_ui.pBar->setValue(static_cast<int>(progress.nDone));
    if (progress.bPaused) return m_ui.pPace->setText(QStringLiteral("Paused."));
    if (!m_ui.pClose->isEnabled()) return;  // "Stopping..." stays
    QString pace = QStringLiteral("%1 messages a minute").arg(progress.dPerMinute, 0, 'f', 1);
    if (progress.nDone < progress.nTotal && progress.dSecondsLeft > 0)
        pace += QStringLiteral(", about %1 left").arg(Duration(progress.dSecondsLeft));
    m_ui.pPace->setText(pace);
}

void CListSendDlg::OnListDone(std::uint64_t nSendId, const ListSendReport& report) {
    if (!m_pWorker || m_pWorker->SendId() != nSendId || m_bEnded) return;
    m_bEnded = true;
    m_report = report;
    m_pWorker->Join();  // its end was the worker's last act
    m_ui.pRecipients->setRowCount(0);
    for (std::size_t i = 0; i < report.listRecipients.size(); ++i)
        SetRecipientRow(static_cast<int>(i), report.listRecipients[i]);
    m_ui.pRecipients->scrollToTop();
    FitColumns(m_ui.pRecipients);
    QString text = FromBytes(report.Summary()) + QLatin1Char('.');
    if (report.bFailed)
        text = QStringLiteral("The send failed: ") +
               FromBytes(ascii::Printable(report.strError.empty() ? DescribeFailure(report.failure) : report.strError)) +
               QStringLiteral(".\n") + text;
    if (report.bStopped) text += QStringLiteral("\nStopped: sending again continues with those not yet sent.");
    if (!report.strReportPath.empty()) text += QStringLiteral("\nReport: ") + FromBytes(report.strReportPath);
    m_ui.pSummary->setText(text);
    m_ui.pPace->setText(report.bStopped ? QStringLiteral("Stopped.") : report.bFailed ? QStringLiteral("Failed.")
                                                                                      : QStringLiteral("Done."));
    if (!report.bFailed && !report.bStopped) m_ui.pBar->setValue(m_ui.pBar->maximum());
    // Only a send that went to its end is forgotten; any other may be continued.
    if (!report.bStopped && !report.bFailed) Record(false);
    m_ui.pPause->hide();
    m_ui.pClose->setText(QStringLiteral("Close"));
    m_ui.pClose->setEnabled(true);
    m_ui.pClose->setDefault(true);
    m_ui.pClose->setFocus();
}
