// Deliveries to a real server (Debian's aiosmtpd) in every security mode, byte
// for byte; and the ways an encrypted one must fail: each with its reason,
// within the wait, never in plain text, and with no descriptor left open.
#include <gtest/gtest.h>

#include <chrono>

#include "TestUtil.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/RecordingNotify.h"
#include "smtp/ScriptedServer.h"
#include "smtp/TestCertificates.h"

namespace {

using testutil::RealSmtpServer;
using testutil::RecordingNotify;
using testutil::ScriptedServer;
using testutil::TestCertificates;
using Kind = TestCertificates::Kind;

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
    SendJob Job(int port, SmtpSecurity security, bool auth = true,
                const std::string& message = "Subject: s\r\n\r\nb\r\n") {
        notify = std::make_shared<RecordingNotify>();
        SendJob job = testutil::PlainJob(port, dir.Write("msg.eml", message), notify);
        job.m_nWaitMs = 5000;
        job.m_bAuth = auth;
        job.m_strPassword = "s3cret pass";
        job.m_nSecurity = security;
        job.m_strCaFile = certs->CaFile();
        return job;
    }
};

// The lines that dot-stuffing exists for, over more than one read.
std::string TrickyMessage() {
    std::string m = "From: a@x.org\r\nTo: b@y.org\r\nSubject: dots\r\n\r\n.starts with a dot\r\n.\r\n..\r\n";
    for (int i = 0; i < 2000; ++i) m += (i % 7 == 0 ? "." : "") + std::string(60, char('a' + i % 26)) + "\r\n";
    return m + "end\r\n";
}

// After STARTTLS the server has forgotten the first EHLO: without a second
// one it refuses the envelope, so each success also proves that.
TEST_F(TlsDelivery, DeliversTheExactBytesInEveryMode) {
    const std::pair<const char*, SmtpSecurity> modes[] = {
        {"", kSecurityNone}, {"starttls", kSecurityStartTls}, {"implicit", kSecurityTls}};
    for (const auto& [tls, security] : modes) {
        // aiosmtpd counts the stuffed dots too, hence the room above the message's size.
        std::vector<std::string> args = *tls ? Tls(tls) : std::vector<std::string>{};
        args.insert(args.end(), {"--size-limit", std::to_string(TrickyMessage().size() + 1000)});
        RealSmtpServer server("ann", "s3cret pass", args);
        int stored = 0;
        for (bool auth : {false, true}) {
            SCOPED_TRACE(std::string(SecurityName(security)) + (auth ? " with login" : ""));
            SendJob job = Job(server.Port(), security, auth, TrickyMessage());
            job.m_listRecipients = {"b@y.org", "c@z.org", "b@y.org"};
            SendOutcome o = CSmtpSender().Run(job);
            std::string log = notify->Log();
            ASSERT_TRUE(o.bSuccess) << DescribeFailure(o) << "\n" << log;
            EXPECT_EQ(o.listAccepted, job.m_listRecipients);
            EXPECT_EQ(server.Envelope(++stored),
                      (auth ? "ann" : "") + std::string("\na@x.org\nb@y.org\nc@z.org\nb@y.org\n"));
            // The end mark brings its own CR LF, so a file that ends with one gains an empty line.
            EXPECT_EQ(server.Message(stored), TrickyMessage() + "\r\n");
            EXPECT_EQ(log.find(">>> TLS handshake OK: TLSv1.3, TLS_") != std::string::npos, security != kSecurityNone);
            // EHLO, and with it SIZE, comes with a login or STARTTLS.
            EXPECT_EQ(log.find(" SIZE=" + std::to_string(TrickyMessage().size()) + "\n") != std::string::npos,
                      auth || security == kSecurityStartTls);
            if (auth) {
                EXPECT_NE(log.find("<<< 334 UGFzc3dvcmQA\n>>> ********\n<<< 235 2.7.0 Authentication successful\n"),
                          std::string::npos)
                    << log;
            }
        }
        // Over the limit stops before MAIL FROM, where the server would have refused it.
        SendOutcome big = CSmtpSender().Run(Job(server.Port(), security, true, TrickyMessage() + TrickyMessage()));
        EXPECT_EQ(big.failure, SendFailure::TooLarge) << DescribeFailure(big) << notify->Log();
        EXPECT_EQ(notify->Log().find(">>> MAIL FROM"), std::string::npos);
    }
}

TEST_F(TlsDelivery, AuthPlainWhenTheServerOffersNoLogin) {
    std::vector<std::string> args = Tls("implicit");
    args.push_back("--no-login");
    RealSmtpServer server("ann", "s3cret pass", args);
    SendOutcome o = CSmtpSender().Run(Job(server.Port(), kSecurityTls));
    EXPECT_TRUE(o.bSuccess) << DescribeFailure(o);
    EXPECT_NE(notify->Log().find(">>> AUTH PLAIN ********\n<<< 235 "), std::string::npos) << notify->Log();
    EXPECT_EQ(notify->Log().find("AUTH LOGIN"), std::string::npos);
    EXPECT_EQ(server.Envelope(1), "ann\na@x.org\nb@y.org\n");
}

// Both modes share the check, so each case takes one of them in turn.
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
    bool implicit = false;
    for (const Case& c : cases) {
        implicit = !implicit;
        SCOPED_TRACE(std::string(c.name) + (implicit ? ", implicit" : ", STARTTLS"));
        const std::size_t fds = testutil::ListFolder("/proc/self/fd").size();
        {
            RealSmtpServer server("ann", "secret", Tls(implicit ? "implicit" : "starttls", c.cert));
            SendJob job = Job(server.Port(), implicit ? kSecurityTls : kSecurityStartTls);
            job.m_strServer = c.host;
            if (c.systemStore) job.m_strCaFile.clear();
            SendOutcome o = CSmtpSender().Run(job);
            EXPECT_EQ(o.failure, SendFailure::TlsVerification) << notify->Log();
            EXPECT_EQ(o.stage, SendStage::Tls);
            EXPECT_EQ(o.strSystemError, c.reason);
            // Nothing after the handshake: no EHLO, no login, no envelope.
            const std::string last = std::string(">>> Certificate verification failed: ") + c.reason + ".\n";
            EXPECT_TRUE(notify->Log().ends_with(last)) << notify->Log();
            EXPECT_EQ(server.Envelope(1), "") << "the server stored a message";
        }
        EXPECT_EQ(testutil::ListFolder("/proc/self/fd").size(), fds);
    }
}

TEST_F(TlsDelivery, BrokenOrUnwillingPeersEndWithAReasonWithinTheWait) {
    RealSmtpServer plain("ann", "secret");
    std::vector<std::string> args = Tls("starttls");
    args.push_back("--tls11");
    RealSmtpServer tls11("ann", "secret", args);
    std::vector<std::string> drip = Tls("implicit");
    drip.insert(drip.begin(), {"--drip", "handshake"});
    RealSmtpServer dripHandshake("", "", drip);
    drip[1] = "greeting";
    RealSmtpServer dripGreeting("", "", drip);
    // That server does speak TLS 1.1 to a client that allows it.
    std::string out;
    testutil::RunCommand("timeout 10 /usr/bin/openssl s_client -connect 127.0.0.1:" + std::to_string(tls11.Port()) +
                             " -starttls smtp -tls1_1 -cipher DEFAULT@SECLEVEL=0 </dev/null",
                         &out);
    ASSERT_NE(out.find("Protocol  : TLSv1.1"), std::string::npos) << out;
    const std::string ehlo = "S: 220 hi\nC: *\nS: 250 STARTTLS\nC: STARTTLS\n";
    struct Case {
        const char* name;
        int port;  // 0: the scripted server's
        std::string script;
        SmtpSecurity security;
        SendStage stage;
        SendFailure failure;
        int code = 0;
    } cases[] = {
        // The reply to EHLO is the one that did not offer it.
        {"STARTTLS inside another line is no offer", 0, "S: 220 hi\nC: *\nS: 250-X-NO-STARTTLS\nS: 250 HELP STARTTLS\n",
         kSecurityStartTls, SendStage::Tls, SendFailure::NoStartTls, 250},
        {"STARTTLS refused", 0, ehlo + "S: 454 4.7.0 TLS not available\n", kSecurityStartTls, SendStage::Tls,
         SendFailure::Refused, 454},
        // Bytes behind the go-ahead would be taken as if they came encrypted.
        {"data before the handshake", 0, ehlo + "R: 220 go\\r\\n250 injected\\r\\n\nE:\n", kSecurityStartTls,
         SendStage::Tls, SendFailure::ProtocolError},
        {"plain server on the TLS port", plain.Port(), "", kSecurityTls, SendStage::Tls, SendFailure::TlsHandshake},
        {"closes during the handshake", 0, ehlo + "S: 220 go\nK: 10\n", kSecurityStartTls, SendStage::Tls,
         SendFailure::TlsHandshake},
        {"silent during the handshake", 0, ehlo + "S: 220 go\nP: 1000\n", kSecurityStartTls, SendStage::Tls,
         SendFailure::TimedOut},
        // The wait covers the whole handshake and the whole reply: a byte now and then does not extend it.
        {"handshake a byte at a time", dripHandshake.Port(), "", kSecurityTls, SendStage::Tls, SendFailure::TimedOut},
        {"greeting a byte at a time", dripGreeting.Port(), "", kSecurityTls, SendStage::Greeting,
         SendFailure::TimedOut},
        // Nothing older than TLS 1.2: the server finds no version in common.
        {"TLS 1.1 only", tls11.Port(), "", kSecurityStartTls, SendStage::Tls, SendFailure::TlsHandshake},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t fds = testutil::ListFolder("/proc/self/fd").size();
        {
            std::unique_ptr<ScriptedServer> scripted;
            if (!c.port) scripted = std::make_unique<ScriptedServer>(c.script);
            SendJob job = Job(c.port ? c.port : scripted->Port(), c.security);
            job.m_nWaitMs = 400;
            auto start = std::chrono::steady_clock::now();
            SendOutcome o = CSmtpSender().Run(job);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
            EXPECT_EQ(o.stage, c.stage) << notify->Log();
            EXPECT_EQ(o.failure, c.failure) << DescribeFailure(o);
            EXPECT_EQ(o.nReplyCode, c.code);
            EXPECT_EQ(notify->Log().find(">>> AUTH"), std::string::npos) << "went on in plain text";
            EXPECT_EQ(scripted ? scripted->Finish() : "", "");
        }
        EXPECT_EQ(testutil::ListFolder("/proc/self/fd").size(), fds);
    }
}

} // namespace
