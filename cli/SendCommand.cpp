#include "cli/SendCommand.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "compose/MimeComposer.h"
#include "platform/TempFile.h"
#include "platform/Terminal.h"
#include "smtp/SendFields.h"
#include "smtp/SendOutcome.h"
#include "smtp/SendWorker.h"

namespace {

// Prints as the lines arrive; tells the waiting main thread when it is over.
class PrintingNotify : public ISendNotify {
public:
    void OnSendLog(std::uint64_t, LogDirection, const std::string& strLine) override {
        std::string line = AsLogLine(strLine);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    void OnSendDone(std::uint64_t, bool bSuccess) override {
        m_bSuccess = bSuccess;
        m_done.Request();
    }
    platform::StopSignal m_done;
    bool m_bSuccess = false;  // read only after m_done, which orders the accesses
};

// Removes the temporary message on every way out of the send.
struct TempFileGuard {
    std::string path;
    ~TempFileGuard() {
        if (!path.empty()) platform::RemoveFile(path);
    }
};

} // namespace

int RunSend(const CliRequest& req, std::string& /*out*/, std::string& err) {
    SendAddresses addresses;
    SendField field;
    std::string why;
    if (!CheckSendFields(req.job.m_strHtmlPath, req.job.m_strFrom, req.job.m_strTo, req.job.m_strCc, addresses, why,
                         field)) {
        err = "quillory-cli: " + why + "\n";
        return 2;
    }
    std::string password;
    if (req.send.auth) {
        const char* env = std::getenv("QUILLORY_SMTP_PASSWORD");
        if (env) password = env;
        else if (!req.send.storedPassword.empty()) password = req.send.storedPassword;
        else platform::ReadSecretFromTerminal("Password for " + req.send.user + ": ", password);
    }

    // From here on Ctrl-C is an event: the temporary file must not outlive us.
    platform::InterruptCatcher interrupts;
    TempFileGuard temp;
    if (!platform::CreateTempFile("EML", temp.path, why)) {
        temp.path.clear();
        err = "quillory-cli: cannot create a temporary file: " + why + "\n";
        return 1;
    }
    {
        platform::Platform env;
        env.files = &platform::PrivateFileSystem();
        CMimeComposer composer(env);
        static_cast<ComposeJob&>(composer) = req.job;
        composer.m_strOutputPath = temp.path;
        if (!composer.Compose()) {
            err = "quillory-cli: " + composer.GetLastError() + "\n";
            return 1;
        }
    }
    if (interrupts.Caught()) return 130;

    auto notify = std::make_shared<PrintingNotify>();
    auto job = std::make_unique<SendJob>();
    job->m_strServer = req.send.server;
    job->m_nPort = req.send.port;
    job->m_strFrom = addresses.strFrom;
    job->m_listRecipients = addresses.listRecipients;
    job->m_bAuth = req.send.auth;
    job->m_nSecurity = req.send.security;
    job->m_strUser = req.send.user;
    job->m_strPassword = password;
    job->m_strMessageFile = temp.path;
    job->m_pNotify = notify;

    CSendWorker worker;
    worker.Start(std::move(job));
    if (interrupts.WaitUntilCaughtOr(notify->m_done)) {
        worker.Cancel();
        worker.Join();
        std::fputs("\nCancelled.\n", stdout);
        return 130;
    }
    worker.Join();
    std::string line = AsLogLine(SendOutcomeText(notify->m_bSuccess));
    std::fputs(line.c_str(), stdout);
    return notify->m_bSuccess ? 0 : 1;
}
