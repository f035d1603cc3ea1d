// Send Email: from the button through the worker's notices to Close or Cancel.
#include <QMetaObject>

#include "app/ControlIds.h"
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
        QMetaObject::invokeMethod(
            dlg, [dlg, nSendId, strLine] { dlg->OnSendNotify(nSendId, 0, strLine, 0); }, Qt::QueuedConnection);
    }
    void OnSendDone(std::uint64_t nSendId, bool bSuccess) override {
        CMainDlg* dlg = m_pDlg;
        int lParam = bSuccess ? 1 : 0;
        QMetaObject::invokeMethod(
            dlg, [dlg, nSendId, lParam] { dlg->OnSendNotify(nSendId, 1, std::string(), lParam); },
            Qt::QueuedConnection);
    }

private:
    CMainDlg* m_pDlg;
};

int FieldControl(SendField field) {
    switch (field) {
    case SendField::From: return IDC_FROM;
    case SendField::To: return IDC_TO;
    case SendField::Cc: return IDC_CC;
    default: return IDC_HTML_FILE;
    }
}

} // namespace

void CMainDlg::OnSendEmail() {
    UpdateData(true);
    SendAddresses addresses;
    std::string message;
    SendField field;
    if (!CheckSendFields(m_strHtmlPath, m_settings.MailFrom, m_settings.MailTo, m_settings.MailCc, addresses, message,
                         field)) {
        m_services.prompts->MessageBox(this, QString::fromStdString(message));
        Control(FieldControl(field))->setFocus();
        return;
    }

    m_pSendDlg = new CSendProgressDlg(this);
    connect(m_pSendDlg, &CSendProgressDlg::SendClose, this,
            [this, from = m_pSendDlg] {
                // A press that arrives after its window was closed belongs to no send.
                if (from && from == m_pSendDlg) OnSendClose();
            },
            Qt::QueuedConnection);
    m_pSendDlg->show();
    m_pSendDlg->SetStatus(QStringLiteral("Creating HTML email..."));
    m_pSendDlg->Progress()->SetPos(0);
    setEnabled(false);

    std::string path, error, reason;
    bool ok = platform::CreateTempFile("EML", path, reason);
    if (!ok) {
        error = "Failed to create a temporary file.";
    } else {
        // The message waits in the shared temporary folder: only its owner may read it.
        platform::FileSystem* files = m_services.env.files;
        m_services.env.files = &platform::PrivateFileSystem();
        ok = ComposeEmail(path, error, m_pSendDlg->Progress(), &reason);
        m_services.env.files = files;
        if (!ok) platform::RemoveFile(path);
    }
    if (!ok) {
        m_pSendDlg->End();
        m_pSendDlg = nullptr;
        setEnabled(true);
        m_services.prompts->MessageBox(this, QString::fromStdString(error), QString::fromStdString(reason));
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
    m_hSendThread = std::make_unique<CSendWorker>();
    m_hSendThread->Start(std::move(job), m_services.env);
}

void CMainDlg::OnSendNotify(std::uint64_t nSendId, int wParam, const std::string& strText, int lParam) {
    // Whatever a cancelled or earlier send still had on its way is dropped here.
    if (!m_hSendThread || m_hSendThread->SendId() != nSendId) return;
    if (wParam == 0) {
        if (m_pSendDlg) m_pSendDlg->AppendLog(strText);
        return;
    }
    if (m_pSendDlg) {
        bool bSuccess = lParam == 1;
        m_pSendDlg->AppendLog(SendOutcomeText(bSuccess));
        m_pSendDlg->SetStatus(bSuccess ? QStringLiteral("Sending email...OK") : QStringLiteral("Sending email...Failure"));
        m_pSendDlg->SetFinished();
    }
    // Its end was the worker's last act, so this wait is short.
    m_hSendThread->Join();
    m_hSendThread.reset();
    platform::RemoveFile(m_strSendTempFile);
    m_strSendTempFile.clear();
}

void CMainDlg::OnSendClose() {
    setEnabled(true);
    if (m_pSendDlg) {
        m_pSendDlg->End();
        m_pSendDlg = nullptr;
    }
    if (m_hSendThread) {
        // Never wait here: the worker stops at its next wait and frees its job.
        m_hSendThread->Cancel();
        m_listStoppedSends.push_back(std::move(m_hSendThread));
    }
    if (!m_strSendTempFile.empty()) {
        platform::RemoveFile(m_strSendTempFile);
        m_strSendTempFile.clear();
    }
}
