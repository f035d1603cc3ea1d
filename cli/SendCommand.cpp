#include "cli/SendCommand.h"

#include <cstdio>

#include "core/Ascii.h"
#include "platform/Terminal.h"
#include "smtp/ComposeAndSend.h"
#include "smtp/ListSend.h"

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

std::string Account(const AppOptions& o) {
    return o.AuthName + " at " + o.SmtpServer + " port " + std::to_string(o.SmtpPort);
}

// Chooses the password of the login, in this order: the environment's, the
// saved one when it was saved for this very account, the terminal's. False
// with the reason when none can be had but one is needed.
bool ChoosePassword(AppOptions& options, const AppOptions& saved, const std::optional<std::string>& envPassword,
                    std::string& err) {
    const bool savedFits = options.SmtpServer == saved.SmtpServer && options.SmtpPort == saved.SmtpPort &&
                           options.AuthName == saved.AuthName;
    std::string elsewhere;  // why the saved password stays out of this login
    if (!savedFits && !saved.AuthPass.empty())
        elsewhere = "the saved password is for " + Account(saved) + ", not for " + Account(options);
    if (!elsewhere.empty() && envPassword) elsewhere += std::string("; using ") + kPasswordVariable;
    if (!elsewhere.empty()) {
        std::string line = AsLogLine("Note: " + elsewhere + ".");
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    if (envPassword) {
        options.AuthPass = *envPassword;
        return true;
    }
    if (savedFits && !options.AuthPass.empty()) return true;
    options.AuthPass.clear();
    if (platform::ReadSecretFromTerminal("Password for " + Account(options) + ": ", options.AuthPass)) return true;
    // XOAUTH2 needs the token command, not a password.
    if (options.AuthMethod == kAuthXOAuth2 || (options.AuthMethod == kAuthAuto && !options.OAuthTokenCommand.empty()))
        return true;
    err = "no password for " + Account(options) + (elsewhere.empty() ? "" : " (" + elsewhere + ")") + ": give it in " +
          kPasswordVariable + " or on a terminal";
    return false;
}

} // namespace

namespace {

// The saved options with the command line's over them, and the password of
// the login; 0, or 2 with the reason in err.
int ChooseOptions(AppOptions& options, const AppOptions& saved, const AppOptionsOverlay& given,
                  const std::optional<std::string>& envPassword, std::string& err) {
    options = saved;
    given.ApplyTo(options);
    if (options.SrvReqAuth) {
        // A login in clear text must be asked for on this command line: the
        // saved choice may have been made for another server.
        if (options.Security == kSecurityNone && given.Security != kSecurityNone) {
            err = "quillory-cli: the login to " + ascii::Printable(options.SmtpServer) +
                  " would travel unencrypted; give --security starttls or tls, or --security none to send it "
                  "in clear text all the same\n";
            return 2;
        }
        std::string why;
        if (!ChoosePassword(options, saved, envPassword, why)) {
            err = "quillory-cli: " + ascii::Printable(why) + "\n";
            return 2;
        }
    }
    return 0;
}

// Prints the dialogue and each recipient as it settles.
class ListPrinter : public IListSendNotify {
public:
    void OnSendLog(std::uint64_t, LogDirection, const std::string& strLine) override {
        std::string line = AsLogLine(strLine);
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    void OnSendWarning(std::uint64_t, const std::string& strText) override {
        std::string line = "quillory-cli: warning: " + ascii::Printable(strText) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    void OnRecipient(std::uint64_t, std::size_t, const RecipientResult& r) override {
        if (r.state == RecipientState::Sending) return;
        std::string line = AsLogLine("[" + std::string(RecipientStateName(r.state)) + "] " + r.strAddress +
                                     (r.strDetail.empty() ? "" : ": " + r.strDetail));
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    void OnListDone(std::uint64_t, const ListSendReport& report) override {
        m_report = report;
        m_done.Request();
    }
    platform::StopSignal m_done;
    ListSendReport m_report;  // read only after m_done
};

} // namespace

int RunSendList(const ComposeJob& message, const CliRequest::ListArgs& list, const AppOptions& saved,
                const AppOptionsOverlay& given, const std::optional<std::string>& envPassword, std::string& err) {
    ListSendRequest request;
    request.send.message = message;
    request.strListPath = list.strList;
    request.strAddressColumn = list.strAddressColumn;
    request.nRatePerMinute = list.nRate;
    request.strJournalPath = list.strJournal;
    request.strUnsubscribe = list.strUnsubscribe;
    request.bResendUnknown = list.bResendUnknown;
    request.strDryRunFolder = list.strDryRun;
    if (list.strDryRun.empty()) {
        if (int rc = ChooseOptions(request.send.options, saved, given, envPassword, err)) return rc;
    } else {
        request.send.options = saved;
        given.ApplyTo(request.send.options);
    }
    platform::InterruptCatcher interrupts;
    auto notify = std::make_shared<ListPrinter>();
    CListSend send;
    send.Start(std::move(request), notify);
    int signal = 0;
    if (interrupts.WaitUntilCaughtOr(notify->m_done)) {
        signal = interrupts.Signal();
        send.Cancel();
    }
    send.Join();
    const ListSendReport& report = notify->m_report;
    if (report.bFailed) {
        err = "quillory-cli: " + ascii::Printable(report.failure.failure != SendFailure::None
                                                      ? DescribeFailure(report.failure)
                                                      : report.strError) + "\n";
    }
    std::string summary = "\n" + report.Summary() + ".\n";
    if (!report.strReportPath.empty()) summary += "Report: " + ascii::Printable(report.strReportPath) + "\n";
    if (report.bStopped) summary += "Stopped; the same command continues with those not yet sent.\n";
    std::fputs(summary.c_str(), stdout);
    if (signal) return 128 + signal;
    // A refusal of the page or the list before anything was sent is bad usage.
    if (report.bFailed && report.listRecipients.empty() && report.failure.failure == SendFailure::None) return 2;
    return report.ExitStatus();
}

int RunSend(const ComposeJob& message, const AppOptions& saved, const AppOptionsOverlay& given,
            const std::optional<std::string>& envPassword, std::string& /*out*/, std::string& err) {
    SendRequest request;
    request.message = message;
    if (int rc = ChooseOptions(request.options, saved, given, envPassword, err)) return rc;

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
