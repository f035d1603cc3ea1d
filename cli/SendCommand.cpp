#include "cli/SendCommand.h"

#include <cstdio>
#include <cstdlib>

#include "core/Ascii.h"
#include "platform/Terminal.h"
#include "smtp/ComposeAndSend.h"

namespace {

// Prints as the lines arrive; tells the waiting main thread when it is over.
class PrintingNotify : public ISendNotify {
public:
    void OnSendLog(std::uint64_t, LogDirection, const std::string& strLine) override {
        std::string line = AsLogLine(strLine);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    void OnSendWarning(std::uint64_t, const std::string& strText) override {
        std::string line = "quillory-cli: warning: " + ascii::Printable(strText) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    void OnSendDone(std::uint64_t, const SendOutcome& outcome) override {
        m_outcome = outcome;
        m_done.Request();
    }
    platform::StopSignal m_done;
    SendOutcome m_outcome;  // read only after m_done, which orders the accesses
};

} // namespace

int RunSend(const ComposeJob& message, const AppOptions& options, std::string& /*out*/, std::string& err) {
    SendRequest request;
    request.message = message;
    request.options = options;
    if (options.SrvReqAuth) {
        if (const char* env = std::getenv("QUILLORY_SMTP_PASSWORD")) request.options.AuthPass = env;
        else if (options.AuthPass.empty())
            platform::ReadSecretFromTerminal("Password for " + options.AuthName + ": ", request.options.AuthPass);
    }

    // From here on Ctrl-C is an event: the temporary file must not outlive us.
    platform::InterruptCatcher interrupts;
    auto notify = std::make_shared<PrintingNotify>();
    CComposeAndSend send;
    SendField field;
    std::string why;
    if (!send.Start(std::move(request), notify, field, why)) {
        err = "quillory-cli: " + why + "\n";
        return 2;
    }
    if (interrupts.WaitUntilCaughtOr(notify->m_done)) {
        send.Cancel();
        send.Join();
        std::fputs("\nCancelled.\n", stdout);
        return 128 + interrupts.Signal();
    }
    send.Join();
    const SendOutcome& outcome = notify->m_outcome;
    if (outcome.failure == SendFailure::ComposeFailed) {
        // Nothing was sent: the composer's reason is the whole story.
        err = "quillory-cli: " + outcome.strSystemError + "\n";
        return 1;
    }
    if (!outcome.bSuccess) {
        err = "Failure: " + DescribeFailure(outcome) + "\n";
        return 1;
    }
    std::string line = AsLogLine(SendOutcomeText(outcome, false));
    std::fputs(line.c_str(), stdout);
    if (outcome.PartlyDelivered()) {
        err = DescribeRefused(outcome) + "\n";
        return 4;
    }
    return 0;
}
