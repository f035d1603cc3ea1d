// Encrypted deliveries against Debian's aiosmtpd with certificates made for
// the run, and the ways a TLS connection must fail: each with a reason, at
// once, with nothing more sent and no descriptor left open.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "TestUtil.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/RecordingNotify.h"
#include "smtp/ScriptedServer.h"
#include "smtp/SendWorker.h"
#include "smtp/SmtpSender.h"
#include "smtp/TestCertificates.h"

namespace {

using testutil::RealSmtpServer;
using testutil::RecordingNotify;
using testutil::ScriptedServer;
using testutil::TestCertificates;
using Kind = TestCertificates::Kind;

int OpenDescriptors() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) n += e.exists() ? 1 : 0;
    return n;
}

const char kEnvelopeAndData[] =
    ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250 OK\n>>> RCPT TO: <b@y.org>\\r\\n\n<<< 250 OK\n"
    ">>> DATA\\r\\n\n<<< 354 End data with <CR><LF>.<CR><LF>\n>>> Sending message body...\n>>> Done\n"
    ">>> \\r\\n.\\r\\n\n<<< 250 OK stored\n>>> QUIT\\r\\n\n<<< 221 Bye\n[done: success]\n";
const char kGreeting[] = "<<< 220 quillory-test Python SMTP 1.4.3\n";
const char kStart[] = ">>> Initiating...\n>>> Connecting to SERVER...\n>>> OK\n";

struct TlsDelivery : ::testing::Test {
    static inline TestCertificates* certs = nullptr;
    static inline TestCertificates::Issued good;  // localhost and 127.0.0.1
    static void SetUpTestSuite() {
        certs = new TestCertificates();
        good = certs->Issue("server", "DNS:localhost,IP:127.0.0.1");
    }
    static void TearDownTestSuite() {
        delete certs;
        certs = nullptr;
    }
    static std::vector<std::string> Tls(const std::string& mode, const TestCertificates::Issued& cert = good) {
        return {"--tls", mode, "--cert", cert.cert, "--key", cert.key};
    }

    testutil::TempDir dir;
    std::shared_ptr<RecordingNotify> notify = std::make_shared<RecordingNotify>();
    SendJob Job(int port, int security, bool auth = true) {
        SendJob job;
        job.m_strServer = "127.0.0.1";
        job.m_nPort = port;
        job.m_strFrom = "a@x.org";
        job.m_listRecipients = {"b@y.org"};
        job.m_strMessageFile = dir.Write("msg.eml", "Subject: secret\r\n\r\n.dot\r\nbody\r\n");
        job.m_pNotify = notify;
        job.m_nWaitMs = 5000;
        job.m_bAuth = auth;
        job.m_strUser = "ann";
        job.m_strPassword = "s3cret pass";
        job.m_nSecurity = security;
        job.m_strCaFile = certs->CaFile();
        return job;
    }
    std::string Run(const SendJob& job) {
        notify = std::make_shared<RecordingNotify>();
        SendJob j = job;
        j.m_pNotify = notify;
        CSmtpSender().Run(j);
        return Log();
    }
    // The log without what varies from run to run: port, cipher, capability lines.
    std::string Log() {
        std::string log = notify->Log();
        log = std::regex_replace(log, std::regex("(127\\.0\\.0\\.1|localhost):\\d+"), "SERVER");
        log = std::regex_replace(log, std::regex("(TLS handshake OK: TLSv1\\.3), TLS_[A-Z0-9_]+"), "$1, CIPHER");
        return std::regex_replace(log, std::regex("(<<< 250-[^\n]*\n)+"), "<<< 250-...\n");
    }
};

TEST_F(TlsDelivery, StartTlsThenLoginDeliversTheExactBytes) {
    RealSmtpServer server("ann", "s3cret pass", Tls("starttls"));
    EXPECT_EQ(Run(Job(server.Port(), kSecurityStartTls)),
              std::string(kStart) + kGreeting +
                  ">>> EHLO host\\r\\n\n<<< 250-...\n<<< 250 HELP\n>>> STARTTLS\\r\\n\n<<< 220 Ready to start TLS\n"
                  ">>> TLS handshake OK: TLSv1.3, CIPHER\n"
                  ">>> EHLO host\\r\\n\n<<< 250-...\n<<< 250 HELP\n"
                  ">>> AUTH LOGIN\\r\\n\n<<< 334 VXNlciBOYW1lAA==\n>>> YW5u\\r\\n\n<<< 334 UGFzc3dvcmQA\n"
                  ">>> ********\\r\\n\n<<< 235 2.7.0 Authentication successful\n" +
                  kEnvelopeAndData);
    EXPECT_EQ(server.Envelope(1), "ann\na@x.org\nb@y.org\n");
    EXPECT_EQ(server.Message(1), "Subject: secret\r\n\r\n.dot\r\nbody\r\n\r\n");

    // Without a login the second EHLO still comes: the server forgot the first.
    std::string log = Run(Job(server.Port(), kSecurityStartTls, false));
    EXPECT_NE(log.find(">>> TLS handshake OK: TLSv1.3, CIPHER\n>>> EHLO host\\r\\n\n<<< 250-...\n<<< 250 HELP\n"
                       ">>> MAIL FROM"),
              std::string::npos)
        << log;
    EXPECT_EQ(server.Envelope(2), "\na@x.org\nb@y.org\n");
}

TEST_F(TlsDelivery, ImplicitTlsRunsTheClassicDialogueInside) {
    RealSmtpServer server("ann", "s3cret pass", Tls("implicit"));
    const std::string handshake = ">>> TLS handshake OK: TLSv1.3, CIPHER\n";
    EXPECT_EQ(Run(Job(server.Port(), kSecurityTls, false)),
              kStart + handshake + kGreeting + ">>> HELO host\\r\\n\n<<< 250 quillory-test\n" + kEnvelopeAndData);
    EXPECT_EQ(Run(Job(server.Port(), kSecurityTls)),
              kStart + handshake + kGreeting +
                  ">>> EHLO host\\r\\n\n<<< 250-...\n<<< 250 HELP\n"
                  ">>> AUTH LOGIN\\r\\n\n<<< 334 VXNlciBOYW1lAA==\n>>> YW5u\\r\\n\n<<< 334 UGFzc3dvcmQA\n"
                  ">>> ********\\r\\n\n<<< 235 2.7.0 Authentication successful\n" +
                  kEnvelopeAndData);
    EXPECT_EQ(server.Envelope(1), "\na@x.org\nb@y.org\n");
    EXPECT_EQ(server.Envelope(2), "ann\na@x.org\nb@y.org\n");
    EXPECT_EQ(server.Message(2), "Subject: secret\r\n\r\n.dot\r\nbody\r\n\r\n");
}

TEST_F(TlsDelivery, PlainLoginWhenTheServerOffersNoLoginMechanism) {
    std::vector<std::string> args = Tls("implicit");
    args.push_back("--no-login");
    RealSmtpServer server("ann", "s3cret pass", args);
    std::string log = Run(Job(server.Port(), kSecurityTls));
    EXPECT_NE(log.find("<<< 250 HELP\n>>> AUTH PLAIN ********\\r\\n\n<<< 235 2.7.0 Authentication successful\n"
                       ">>> MAIL FROM"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("AUTH LOGIN"), std::string::npos);
    EXPECT_EQ(server.Envelope(1), "ann\na@x.org\nb@y.org\n");

    // A wrong password is refused like any other.
    SendJob job = Job(server.Port(), kSecurityTls);
    job.m_strPassword = "guess";
    EXPECT_TRUE(Run(job).ends_with(">>> AUTH PLAIN ********\\r\\n\n<<< 535 5.7.8 Authentication credentials invalid\n"
                                   "[done: failure]\n"))
        << Log();
}

// Nothing after the handshake: no EHLO, no login, no envelope.
TEST_F(TlsDelivery, CertificatesThatDoNotCheckOutEndTheDelivery) {
    struct Case {
        const char* name;
        TestCertificates::Issued cert;
        std::string host;
        bool systemStore;
        const char* reason;
    } cases[] = {
        {"another host's name", certs->Issue("other", "DNS:mail.example"), "localhost", false, "hostname mismatch"},
        {"no entry for the address", certs->Issue("named", "DNS:localhost"), "127.0.0.1", false, "IP address mismatch"},
        {"authority not in the system store", good, "localhost", true, "unable to get local issuer certificate"},
        {"expired", certs->Issue("old", "DNS:localhost", Kind::Expired), "localhost", false, "certificate has expired"},
        {"self-signed", certs->Issue("self", "DNS:localhost", Kind::SelfSigned), "localhost", false,
         "self-signed certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fds = OpenDescriptors();
        for (const char* mode : {"implicit", "starttls"}) {
            RealSmtpServer server("ann", "s3cret pass", Tls(mode, c.cert));
            SendJob job = Job(server.Port(), mode[0] == 'i' ? kSecurityTls : kSecurityStartTls);
            job.m_strServer = c.host;
            if (c.systemStore) job.m_strCaFile.clear();
            std::string log = Run(job);
            std::string failed = std::string(">>> Certificate verification failed: ") + c.reason + ".\n[done: failure]\n";
            EXPECT_TRUE(log.ends_with((mode[0] == 'i' ? std::string(kStart) : "<<< 220 Ready to start TLS\n") + failed))
                << mode << "\n" << log;
            EXPECT_EQ(server.Envelope(1), "") << "the server stored a message";
        }
        EXPECT_EQ(OpenDescriptors(), fds);
    }
}

TEST_F(TlsDelivery, StartTlsMissingOrRefusedNeverFallsBackToPlainText) {
    RealSmtpServer plain("ann", "s3cret pass");
    std::string log = Run(Job(plain.Port(), kSecurityStartTls));
    EXPECT_TRUE(log.ends_with(">>> EHLO host\\r\\n\n<<< 250-...\n<<< 250 HELP\n<<< Server does not offer STARTTLS.\n"
                              "[done: failure]\n"))
        << log;

    ScriptedServer refusing("S: 220 hi\nC: EHLO host\nS: 250-hi\nS: 250 STARTTLS\nC: STARTTLS\n"
                            "S: 454 4.7.0 TLS not available\n");
    log = Run(Job(refusing.Port(), kSecurityStartTls));
    EXPECT_EQ(refusing.Finish(), "");
    EXPECT_TRUE(log.ends_with(">>> STARTTLS\\r\\n\n<<< 454 4.7.0 TLS not available\n[done: failure]\n")) << log;

    // "STARTTLS" inside another line is no offer.
    ScriptedServer teasing("S: 220 hi\nC: EHLO host\nS: 250-X-NO-STARTTLS\nS: 250 HELP STARTTLS\n");
    log = Run(Job(teasing.Port(), kSecurityStartTls));
    EXPECT_EQ(teasing.Finish(), "");
    EXPECT_TRUE(log.ends_with("<<< Server does not offer STARTTLS.\n[done: failure]\n")) << log;
}

// Peers that do not speak TLS as they should: each ends with a reason within
// the wait, and no descriptor stays open.
TEST_F(TlsDelivery, BrokenPeersEndWithAReasonWithinTheWait) {
    RealSmtpServer plain("ann", "s3cret pass");
    RealSmtpServer implicit("ann", "s3cret pass", Tls("implicit"));
    const std::string starttls = "S: 220 hi\nC: EHLO host\nS: 250 STARTTLS\nC: STARTTLS\nS: 220 go ahead\n";
    struct Case {
        const char* name;
        int port;  // 0: the scripted server's
        std::string script;
        int security;
        std::string ending;  // the log's last lines, as a regular expression
    } cases[] = {
        {"plain server on the TLS port", plain.Port(), "", kSecurityTls,
         ">>> OK\n>>> TLS handshake failed: wrong version number\\.\n"},
        {"TLS server on the plain port", implicit.Port(), "", kSecurityNone, ">>> OK\n<<< Time out\\.\n"},
        {"closes during the handshake", 0, starttls + "K: 10\n", kSecurityStartTls,
         "<<< 220 go ahead\n>>> TLS handshake failed: [a-z ]+\\.\n"},
        {"silent during the handshake", 0, starttls + "P: 1000\n", kSecurityStartTls,
         "<<< 220 go ahead\n<<< Time out\\.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fds = OpenDescriptors();
        {
            std::unique_ptr<ScriptedServer> scripted;
            if (!c.port) scripted = std::make_unique<ScriptedServer>(c.script);
            SendJob job = Job(c.port ? c.port : scripted->Port(), c.security, false);
            job.m_nWaitMs = 400;
            auto start = std::chrono::steady_clock::now();
            std::string log = Run(job);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
            EXPECT_TRUE(std::regex_search(log, std::regex(c.ending + "\\[done: failure\\]\n$"))) << log;
            if (scripted) scripted->Finish();
        }
        EXPECT_EQ(OpenDescriptors(), fds);
    }
}

TEST_F(TlsDelivery, NothingOlderThanTls12IsAccepted) {
    std::vector<std::string> args = Tls("starttls");
    args.push_back("--tls11");
    RealSmtpServer server("ann", "s3cret pass", args);
    // The server does speak TLS 1.1 to a client that allows it...
    std::string out;
    testutil::RunCommand("timeout 10 /usr/bin/openssl s_client -connect 127.0.0.1:" + std::to_string(server.Port()) +
                             " -starttls smtp -tls1_1 -cipher DEFAULT@SECLEVEL=0 </dev/null",
                         &out);
    ASSERT_NE(out.find("Protocol  : TLSv1.1"), std::string::npos) << out;
    // ...and this client will not: the server finds no version in common.
    std::string log = Run(Job(server.Port(), kSecurityStartTls));
    EXPECT_TRUE(log.ends_with("<<< 220 Ready to start TLS\n>>> TLS handshake failed: the server closed the connection.\n"
                              "[done: failure]\n"))
        << log;
    EXPECT_EQ(server.Envelope(1), "");
}

TEST_F(TlsDelivery, CancelInterruptsTheHandshakeAtOnce) {
    for (int security : {kSecurityTls, kSecurityStartTls}) {
        SCOPED_TRACE(security);
        int fds = OpenDescriptors();
        auto rec = std::make_shared<RecordingNotify>();
        {
            ScriptedServer server(security == kSecurityTls
                                      ? "P: 1500\n"
                                      : "S: 220 hi\nC: EHLO host\nS: 250 STARTTLS\nC: STARTTLS\nS: 220 go\nP: 1500\n");
            auto pJob = std::make_unique<SendJob>(Job(server.Port(), security));
            pJob->m_pNotify = rec;
            pJob->m_nWaitMs = 60000;  // only the stop may end the wait
            CSendWorker worker;
            worker.Start(std::move(pJob));
            ASSERT_TRUE(rec->WaitForLine(security == kSecurityTls ? ">>> OK" : "<<< 220 go", 5000)) << rec->Log();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto start = std::chrono::steady_clock::now();
            worker.Cancel();
            worker.Join();
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
            server.Finish();
        }
        EXPECT_EQ(rec->DoneCount(), 0) << rec->Log();
        EXPECT_EQ(rec.use_count(), 1) << "the job was not freed";
        EXPECT_EQ(OpenDescriptors(), fds);
    }
}

} // namespace
