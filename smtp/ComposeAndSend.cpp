#include "smtp/ComposeAndSend.h"

#include <atomic>

#include "compose/MimeComposer.h"
#include "platform/TempFile.h"
#include "smtp/SmtpSender.h"

namespace {

std::atomic<std::uint64_t> g_nextSendId{1};

// The composer's bytes, as progress notices of the send; a stop ends the
// composition at its next buffer.
class ComposeProgress : public IProgress {
public:
    // bReport false: only the stop counts (a composition during the dialogue
    // has no bar of its own).
    ComposeProgress(ISendNotify& notify, std::uint64_t id, const platform::StopSignal& stop, bool bReport = true)
        : m_notify(notify), m_id(id), m_stop(stop), m_bReport(bReport) {}
    bool OnBytes(std::uint64_t nDone, std::uint64_t nTotal) override {
        if (m_stop.IsRequested()) return false;
        if (m_bReport) m_notify.OnSendProgress(m_id, nDone, nTotal);
        return true;
    }

private:
    ISendNotify& m_notify;
    std::uint64_t m_id;
    const platform::StopSignal& m_stop;
    bool m_bReport;
};

void Run(SendRequest request, SendAddresses addresses, std::shared_ptr<ISendNotify> notify, std::uint64_t id,
         std::shared_ptr<platform::StopSignal> stop, platform::Platform env) {
    SendOutcome failed;
    failed.strServer = request.options.SmtpServer;
    failed.nPort = request.options.SmtpPort;
    failed.stage = SendStage::Composing;
    failed.failure = SendFailure::ComposeFailed;
    notify->OnSendStage(id, SendStage::Composing);

    platform::OwnedTempFile temp;  // removed on every way out of this function
    platform::OwnedTempFile sevenBit;  // made only for a server without 8BITMIME
    std::string err;
    if (!temp.Create("EML", err)) {
        failed.strSystemError = "cannot create a temporary file: " + err;
        if (!stop->IsRequested()) notify->OnSendDone(id, failed);
        return;
    }
    // The message waits in the shared temporary folder: only its owner may read it.
    platform::Platform composeEnv = env;
    composeEnv.files = &platform::PrivateFileSystem();
    ComposeJob message = request.message;
    message.m_strOutputPath = temp.Path();
    message.m_bPrepareForWebmail = request.options.PrepareForWebmail;
    bool eightBit = false;
    MessagePlan planned;  // the 7-bit message is written from the same plan
    {
        ComposeProgress progress(*notify, id, *stop);
        CMimeComposer composer(composeEnv);
        composer.m_job = message;
        composer.m_job.m_pProgress = &progress;
        composer.UsePlan(std::move(request.plan));
        if (!composer.Compose()) {
            failed.strSystemError = composer.GetLastError();
            if (!stop->IsRequested()) notify->OnSendDone(id, failed);
            return;
        }
        for (const std::string& line : composer.Notices()) notify->OnSendWarning(id, line);
        eightBit = composer.HasEightBitData();
        // Only a message with 8-bit data may need the 7-bit form.
        if (eightBit) planned = composer.LastPlan();
    }
    if (stop->IsRequested()) return;
    notify->OnSendStage(id, SendStage::Connecting);

    const AppOptions& o = request.options;
    SendJob job;
    job.m_strServer = o.SmtpServer;
    job.m_nPort = o.SmtpPort;
    job.m_nSecurity = o.Security;
    job.m_bAuth = o.SrvReqAuth;
    job.m_strUser = o.AuthName;
    job.m_strPassword = o.AuthPass;
    job.m_nAuthMethod = o.AuthMethod;
    job.m_strOAuthTokenCommand = o.OAuthTokenCommand;
    job.m_strFrom = addresses.strFrom;
    job.m_listRecipients = std::move(addresses.listRecipients);
    job.m_strMessageFile = temp.Path();
    job.m_bEightBitData = eightBit;
    job.m_fnSevenBitMessage = [&](std::string& path, std::string& why) {
        if (!sevenBit.Create("EML", why)) return false;
        ComposeProgress progress(*notify, id, *stop, false);
        CMimeComposer composer(composeEnv);
        composer.m_job = message;
        composer.m_job.m_strOutputPath = sevenBit.Path();
        composer.m_job.m_bSevenBit = true;
        composer.m_job.m_pProgress = &progress;
        composer.UsePlan(planned);
        if (!composer.Compose()) {
            why = composer.GetLastError();
            return false;
        }
        path = sevenBit.Path();
        return true;
    };
    job.m_pNotify = notify;
    job.m_nSendId = id;
    job.m_pStop = stop;
    job.m_nWaitMs = request.nWaitMs;
    job.m_nEndOfDataWaitMs = request.nEndOfDataWaitMs;
    job.m_strCaFile = request.strCaFile;
    CSmtpSender(env).Run(job);
}

} // namespace

CComposeAndSend::CComposeAndSend(const platform::Platform& env) : m_env(env) {}

CComposeAndSend::~CComposeAndSend() {
    Cancel();
    Join();
}

bool CheckSendRequest(SendRequest request, CheckedSend& checked, SendField& field, std::string& message) {
    const ComposeJob& m = request.message;
    SendAddresses addresses;
    if (!CheckSendFields(m.m_strHtmlPath, m.m_strFrom, m.m_strTo, m.m_strCc, request.options.SmtpServer, addresses,
                         message, field))
        return false;
    checked = CheckedSend{std::move(request), std::move(addresses)};
    return true;
}

void CComposeAndSend::Start(CheckedSend checked, std::shared_ptr<ISendNotify> notify) {
    Cancel();
    Join();
    m_pStop = std::make_shared<platform::StopSignal>();
    m_nSendId = g_nextSendId++;
    m_thread = std::thread(Run, std::move(checked.request), std::move(checked.addresses), std::move(notify), m_nSendId,
                           m_pStop, m_env);
}

bool CComposeAndSend::Start(SendRequest request, std::shared_ptr<ISendNotify> notify, SendField& field,
                            std::string& message) {
    CheckedSend checked;
    if (!CheckSendRequest(std::move(request), checked, field, message)) return false;
    Start(std::move(checked), std::move(notify));
    return true;
}

void CComposeAndSend::Cancel() {
    if (m_pStop) m_pStop->Request();
}

void CComposeAndSend::Join() {
    if (m_thread.joinable()) m_thread.join();
}
