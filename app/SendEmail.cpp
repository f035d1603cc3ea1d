// Send Email: from the button through the worker's notices to Close or Cancel.
#include <QLineEdit>
#include <QMetaObject>

#include "app/MainDlg.h"
#include "platform/TempFile.h"
#include "smtp/SendFields.h"
#include "smtp/SendOutcome.h"
#include "ui/Prompts.h"
#include "ui/SendProgressDlg.h"

namespace {

// Hands the worker's notices to the GUI thread as queued calls. The window
// outlives every worker (it waits for them when it goes), so the pointer holds.
class CQueuedSendNotify : public ISendNotify {
public:
    explicit CQueuedSendNotify(CMainDlg* pDlg) : m_pDlg(pDlg) {}
    void OnSendLog(std::uint64_t nSendId, LogDirection, const std::string& strLine) override {
        CMainDlg* dlg = m_pDlg;
        QMetaObject::invokeMethod(dlg, [dlg, nSendId, strLine] { dlg->OnSendLog(nSendId, strLine); },
                                  Qt::QueuedConnection);
    }
    void OnSendDone(std::uint64_t nSendId, bool bSuccess) override {
        CMainDlg* dlg = m_pDlg;
        QMetaObject::invokeMethod(dlg, [dlg, nSendId, bSuccess] { dlg->OnSendDone(nSendId, bSuccess); },
                                  Qt::QueuedConnection);
    }

private:
    CMainDlg* m_pDlg;
};

} // namespace

void CMainDlg::OnSendEmail() {
    if (IsBusy()) return;
    UpdateData(true);
    SendAddresses addresses;
    std::string message;
    SendField field;
    if (!CheckSendFields(m_strHtmlPath, m_settings.MailFrom, m_settings.MailTo, m_settings.MailCc, addresses, message,
                         field)) {
        m_services.prompts->MessageBox(this, QString::fromStdString(message));
        QLineEdit* edits[] = {m_ui.pHtmlEdit, m_ui.pFromEdit, m_ui.pToEdit, m_ui.pCcEdit};
        int at = field == SendField::From ? 1 : field == SendField::To ? 2 : field == SendField::Cc ? 3 : 0;
        edits[at]->setFocus();
        return;
    }
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
    SetBusy(true);

    // The composing step still runs here, on the GUI thread, until delivery
    // takes over the whole job: from the temporary file to the outcome.
    std::string path, error, reason;
    bool ok = platform::CreateTempFile("EML", path, reason);
    if (!ok) {
        error = "Failed to create a temporary file: " + reason;
    } else {
        // The message waits in the shared temporary folder: only its owner may read it.
        platform::FileSystem* files = m_services.env.files;
        m_services.env.files = &platform::PrivateFileSystem();
        ok = ComposeEmail(path, error);
        m_services.env.files = files;
        if (!ok) platform::RemoveFile(path);
    }
    if (!ok) {
        m_pSendDlg->End();
        m_pSendDlg = nullptr;
        SetBusy(false);
        m_services.prompts->MessageBox(this, QString::fromStdString(error));
        return;
    }

    m_strSendTempFile = path;
    m_pSendDlg->SetStatus(QStringLiteral("Sending email..."));
    auto job = std::make_unique<SendJob>();
    job->m_strServer = m_settings.SmtpServer;
    job->m_nPort = m_settings.SmtpPort;
    job->m_nSecurity = m_settings.SmtpSecurity;
    job->m_bAuth = m_settings.SrvReqAuth != 0;
    job->m_strUser = m_settings.AuthName;
    job->m_strPassword = m_settings.AuthPass;
    job->m_strFrom = addresses.strFrom;
    job->m_listRecipients = std::move(addresses.listRecipients);
    job->m_strMessageFile = path;
    job->m_pNotify = std::make_shared<CQueuedSendNotify>(this);
    m_pSendWorker = std::make_unique<CSendWorker>();
    m_pSendWorker->Start(std::move(job), m_services.env);
}

void CMainDlg::OnSendLog(std::uint64_t nSendId, const std::string& strText) {
    // Whatever a cancelled or earlier send still had on its way is dropped here.
    if (!m_pSendWorker || m_pSendWorker->SendId() != nSendId) return;
    if (m_pSendDlg) m_pSendDlg->AppendLog(strText);
}

void CMainDlg::OnSendDone(std::uint64_t nSendId, bool bSuccess) {
    if (!m_pSendWorker || m_pSendWorker->SendId() != nSendId) return;
    if (m_pSendDlg) m_pSendDlg->SetOutcome(bSuccess, QString::fromStdString(SendOutcomeText(bSuccess)));
    // Its end was the worker's last act, so this wait is short.
    m_pSendWorker->Join();
    m_pSendWorker.reset();
    platform::RemoveFile(m_strSendTempFile);
    m_strSendTempFile.clear();
}

void CMainDlg::OnSendClose() {
    if (m_pSendDlg) {
        m_pSendDlg->End();
        m_pSendDlg = nullptr;
    }
    if (!m_pComposeTask) SetBusy(false);
    if (m_pSendWorker) {
        // Never wait here: the worker stops at its next wait and frees its job.
        m_pSendWorker->Cancel();
        m_listStoppedSends.push_back(std::move(m_pSendWorker));
    }
    if (!m_strSendTempFile.empty()) {
        platform::RemoveFile(m_strSendTempFile);
        m_strSendTempFile.clear();
    }
}
