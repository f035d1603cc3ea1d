// Send Email: from the button through the pipeline's notices to Close or Cancel;
// and Send to List, whose window runs its own send.
#include <QDateTime>
#include <QLineEdit>
#include <QMetaObject>
#include <QTimer>

#include "app/ListSendDlg.h"
#include "app/MainDlg.h"
#include "core/Product.h"
#include "smtp/ComposeAndSend.h"
#include "ui/Prompts.h"
#include "ui/SendProgressDlg.h"
#include "ui/TextConversion.h"

using ui::FromBytes;

namespace {

// Hands the worker's notices to the GUI thread as queued calls. The window
// outlives every worker (it waits for them when it goes), so the pointer holds.
class CQueuedSendNotify : public ISendNotify {
public:
    explicit CQueuedSendNotify(CMainDlg* pDlg) : m_pDlg(pDlg) {}
    void OnSendLog(std::uint64_t nSendId, LogDirection, const std::string& strLine) override {
        Post([nSendId, strLine](CMainDlg* dlg) { dlg->OnSendLog(nSendId, strLine); });
    }
    void OnSendStage(std::uint64_t nSendId, SendStage stage) override {
        Post([nSendId, stage](CMainDlg* dlg) { dlg->OnSendStage(nSendId, stage); });
    }
    void OnSendWarning(std::uint64_t nSendId, const std::string& strText) override {
        Post([nSendId, strText](CMainDlg* dlg) { dlg->OnSendLog(nSendId, "Warning: " + strText); });
    }
    void OnSendProgress(std::uint64_t nSendId, std::uint64_t nDone, std::uint64_t nTotal) override {
        Post([nSendId, nDone, nTotal](CMainDlg* dlg) { dlg->OnSendProgress(nSendId, nDone, nTotal); });
    }
    void OnSendDone(std::uint64_t nSendId, const SendOutcome& outcome) override {
        Post([nSendId, outcome](CMainDlg* dlg) { dlg->OnSendDone(nSendId, outcome); });
    }

private:
    template <typename F>
    void Post(F f) {
        CMainDlg* dlg = m_pDlg;
        QMetaObject::invokeMethod(dlg, [dlg, f] { f(dlg); }, Qt::QueuedConnection);
    }
    CMainDlg* m_pDlg;
};

} // namespace

SendRequest CMainDlg::MakeSendRequest() const {
    SendRequest request;
    request.message = MakeComposeJob(std::string());
    request.options = m_settings.options;
    return request;
}

void CMainDlg::OnSendEmail() {
    if (IsBusy()) return;
    UpdateData(true);
    // The fields first: what they lack is said at once, before the page is read.
    // They are checked here only; the check of the page and the send take the result.
    SendRequest request = MakeSendRequest();
    Command command{CheckFor::SendEmail, request.message, {}};
    SendField field;
    std::string message;
    if (!CheckSendRequest(std::move(request), command.send, field, message)) return RefuseSendField(field, message);
    if (RequirePage()) StartCheck(std::move(command));
}

void CMainDlg::RefuseSendField(SendField field, const std::string& strMessage) {
    m_services.prompts->MessageBox(this, FromBytes(strMessage));
    if (field == SendField::Server) return;  // not a field of this window
    QLineEdit* edits[] = {m_ui.pHtmlEdit, m_ui.pFromEdit, m_ui.pToEdit, m_ui.pCcEdit};
    int at = field == SendField::From ? 1 : field == SendField::To ? 2 : field == SendField::Cc ? 3 : 0;
    edits[at]->setFocus();
}

void CMainDlg::SendEmailChecked(CheckedSend checked) {
    m_pSendWorker = std::make_unique<CComposeAndSend>(m_services.env);
    m_pSendWorker->Start(std::move(checked), std::make_shared<CQueuedSendNotify>(this));
    m_state.RememberPage(m_strHtmlPath);
    ShowRecentPages();

    m_pSendDlg = new CSendProgressDlg(this);
    connect(m_pSendDlg, &CSendProgressDlg::SendClose, this,
            [this, from = m_pSendDlg] {
                // A press that arrives after its window was closed belongs to no send.
                if (from && from == m_pSendDlg) OnSendClose();
            },
            Qt::QueuedConnection);
    m_pSendDlg->show();
    m_pSendDlg->SetStatus(QStringLiteral("Creating HTML email..."));
    SetWork(Work::Sending);
}

bool CMainDlg::IsCurrentSend(std::uint64_t nSendId) const {
    // Whatever a cancelled or earlier send still had on its way is dropped here.
    return m_pSendWorker && m_pSendWorker->SendId() == nSendId && m_pSendDlg;
}

void CMainDlg::OnSendStage(std::uint64_t nSendId, SendStage stage) {
    if (!IsCurrentSend(nSendId)) return;
    m_pSendDlg->SetStatus(stage == SendStage::Composing ? QStringLiteral("Creating HTML email...")
                                                        : QStringLiteral("Sending email..."));
    m_pSendDlg->SetComposing(stage == SendStage::Composing);
    m_pSendDlg->SetBytes(0, 0);
}

void CMainDlg::OnSendProgress(std::uint64_t nSendId, std::uint64_t nDone, std::uint64_t nTotal) {
    if (IsCurrentSend(nSendId)) m_pSendDlg->SetBytes(nDone, nTotal);
}

void CMainDlg::OnSendLog(std::uint64_t nSendId, const std::string& strText) {
    if (IsCurrentSend(nSendId)) m_pSendDlg->AppendLog(strText);
}

void CMainDlg::OnSendDone(std::uint64_t nSendId, const SendOutcome& outcome) {
    if (!m_pSendWorker || m_pSendWorker->SendId() != nSendId) return;
    if (m_pSendDlg) {
        // The words come from what happened, not from the log's last line.
        // They close the log once, after an empty line; the log breaks lines at CR LF only.
        // A failure gives its reason first, then where to turn.
        QString text = QStringLiteral("\r\n") +
                       (outcome.bSuccess ? QStringLiteral("Sent email successfully.")
                                         : FromBytes(DescribeFailure(outcome)) +
                                               QStringLiteral(".\r\nFailed to send email. Please check SMTP settings or "
                                                              "contact us at %1.")
                                                   .arg(QString::fromLatin1(kSupportAddress)));
        if (outcome.PartlyDelivered()) text += QStringLiteral("\r\n") + FromBytes(DescribeRefused(outcome));
        m_pSendDlg->SetOutcome(outcome.bSuccess, text);
    }
    if (outcome.bSuccess) {
        std::size_t n = outcome.listAccepted.size();
        QString when = QDateTime::fromSecsSinceEpoch(m_services.env.clock->Now()).toString(QStringLiteral("HH:mm"));
        ShowStatus(QStringLiteral("Sent to %1 recipient%2 at %3").arg(n).arg(n == 1 ? "" : "s", when), std::string());
    }
    // Its end was the worker's last act, so this wait is short; the pipeline
    // has removed its temporary file.
    m_pSendWorker->Join();
    m_pSendWorker.reset();
    m_services.prompts->WithdrawQuestion();  // "Stop it and quit?" has nothing left to stop
}

void CMainDlg::OnSendClose() {
    if (m_pSendDlg) {
        m_pSendDlg->End();
        m_pSendDlg = nullptr;
    }
    if (m_work == Work::Sending) SetWork(Work::Idle);
    if (m_pSendWorker) {
        // Never wait here: the worker stops at its next wait or buffer, and
        // removes its temporary file on the way out.
        m_pSendWorker->Cancel();
        m_listStoppedSends.push_back(std::move(m_pSendWorker));
    }
}

CListSendDlg* CMainDlg::ListSendWindow() const { return m_pListDlg; }

void CMainDlg::OnSendToList() { OpenListSend(false); }

void CMainDlg::OpenListSend(bool bContinue) {
    if (IsBusy()) return;
    UpdateData(true);
    if (!RequirePage()) return;
    auto* dlg = new CListSendDlg(this, *m_services.prompts, m_state, m_services.env, MakeSendRequest());
    m_pListDlg = dlg;
    // The fields it sends stay as they are until it goes.
    SetWork(Work::Sending);
    connect(dlg, &QDialog::finished, this, [this] {
        if (m_work == Work::Sending && !m_pSendDlg) SetWork(Work::Idle);
    });
    dlg->show();
    // A new send starts with the choice of its list.
    if (!bContinue) return QTimer::singleShot(0, dlg, &CListSendDlg::Browse);
    dlg->SetRate(m_state.ListSendRate);
    dlg->SetUnsubscribe(FromBytes(m_state.ListSendUnsubscribe));
    dlg->LoadList(FromBytes(m_state.ListSendFile), FromBytes(m_state.ListSendColumn));
}

void CMainDlg::OfferToContinueListSend() {
    if (m_state.ListSendFile.empty() || IsBusy()) return;
    if (m_services.prompts->Question(this,
                                     QStringLiteral("The send to the list %1 did not end. Continue it? Those who "
                                                    "have the message already do not get it again.")
                                         .arg(FromBytes(m_state.ListSendFile)),
                                     QStringLiteral("Continue")))
        return OpenListSend(true);
    m_state.ListSendFile.clear();
    m_state.ListSendJournal.clear();
    std::string err;
    m_state.SaveListSend(err);  // at worst the question comes again at the next start
}
