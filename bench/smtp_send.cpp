// Delivers one message file as the program does, for the SMTP benchmark.
// Usage: smtp_send FILE HOST PORT [none|starttls|tls [CAFILE]]
// Prints the seconds taken; exit 0 on success.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "smtp/SmtpSender.h"

namespace {
class Quiet : public ISendNotify {
public:
    void OnSendLog(std::uint64_t, LogDirection, const std::string&) override {}
    void OnSendDone(std::uint64_t, const SendOutcome&) override {}
};
} // namespace

int main(int argc, char** argv) {
    SmtpSecurity security = kSecurityNone;
    if (argc < 4 || argc > 6 || (argc >= 5 && !ParseSecurity(argv[4], security))) {
        std::fputs("usage: smtp_send FILE HOST PORT [none|starttls|tls [CAFILE]]\n", stderr);
        return 2;
    }
    auto quiet = std::make_shared<Quiet>();
    SendJob job;
    job.m_strServer = argv[2];
    job.m_nPort = std::atoi(argv[3]);
    job.m_strFrom = "bench@example.org";
    job.m_listRecipients = {"sink@example.org"};
    job.m_strMessageFile = argv[1];
    job.m_pNotify = quiet;
    job.m_nSecurity = security;
    if (argc == 6) job.m_strCaFile = argv[5];
    auto start = std::chrono::steady_clock::now();
    SendOutcome outcome = CSmtpSender().Run(job);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.4f\n", took.count());
    if (!outcome.bSuccess) std::fprintf(stderr, "%s\n", DescribeFailure(outcome).c_str());
    return outcome.bSuccess ? 0 : 1;
}
