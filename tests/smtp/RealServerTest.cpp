// Deliveries to a real SMTP server (Debian's aiosmtpd): what it received must
// be what was meant, byte for byte.
#include <gtest/gtest.h>

#include <regex>

#include "TestUtil.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/RecordingNotify.h"
#include "smtp/SmtpSender.h"

namespace {

using testutil::RecordingNotify;

// A message with the lines that dot-stuffing exists for, and more than one read.
std::string TrickyMessage() {
    std::string m = "From: a@x.org\r\nTo: b@y.org\r\nSubject: dots\r\n\r\n.starts with a dot\r\n.\r\n..\r\n";
    for (int i = 0; i < 200; ++i) m += (i % 7 == 0 ? "." : "") + std::string(60, char('a' + i % 26)) + "\r\n";
    return m + "end\r\n";
}

struct RealServer : ::testing::Test {
    static inline testutil::RealSmtpServer* server = nullptr;
    static inline int delivered = 0;  // messages the server has stored so far
    static void SetUpTestSuite() { server = new testutil::RealSmtpServer("ann", "s3cret pass"); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    testutil::TempDir dir;
    std::shared_ptr<RecordingNotify> notify = std::make_shared<RecordingNotify>();
    SendJob Job(const std::string& message) {
        SendJob job;
        job.m_strServer = "127.0.0.1";
        job.m_nPort = server->Port();
        job.m_strFrom = "a@x.org";
        job.m_listRecipients = {"b@y.org", "c@z.org", "b@y.org"};
        job.m_strMessageFile = dir.Write("msg.eml", message);
        job.m_pNotify = notify;
        job.m_nWaitMs = 5000;
        job.m_strUser = "ann";
        job.m_strPassword = "s3cret pass";
        return job;
    }
    // The log with the server's own words (host name, capabilities) left out.
    std::string Log() {
        std::string log = notify->Log();
        log = std::regex_replace(log, std::regex("127\\.0\\.0\\.1:\\d+"), "SERVER");
        return std::regex_replace(log, std::regex("<<< 250-[^\n]*\n"), "<<< 250-...\n");
    }
};

const char kEnvelopeAndData[] =
    ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250 OK\n"
    ">>> RCPT TO: <b@y.org>\\r\\n\n<<< 250 OK\n>>> RCPT TO: <c@z.org>\\r\\n\n<<< 250 OK\n"
    ">>> RCPT TO: <b@y.org>\\r\\n\n<<< 250 OK\n"
    ">>> DATA\\r\\n\n<<< 354 End data with <CR><LF>.<CR><LF>\n>>> Sending message body...\n>>> Done\n"
    ">>> \\r\\n.\\r\\n\n<<< 250 OK stored\n>>> QUIT\\r\\n\n<<< 221 Bye\n[done: success]\n";

TEST_F(RealServer, DeliversWithoutLogin) {
    SendJob job = Job(TrickyMessage());
    CSmtpSender().Run(job);
    EXPECT_EQ(Log(), std::string(">>> Initiating...\n>>> Connecting to SERVER...\n>>> OK\n"
                                 "<<< 220 quillory-test Python SMTP 1.4.3\n>>> HELO host\\r\\n\n"
                                 "<<< 250 quillory-test\n") +
                         kEnvelopeAndData);
    int n = ++delivered;
    EXPECT_EQ(server->Envelope(n), "\na@x.org\nb@y.org\nc@z.org\nb@y.org\n");
    // The end mark brings its own CR LF, so a file that ends with one gains an empty line.
    EXPECT_EQ(server->Message(n), TrickyMessage() + "\r\n");
}

TEST_F(RealServer, DeliversWithLoginAndHidesThePassword) {
    SendJob job = Job("Subject: hi\r\n\r\nbody\r\n");
    job.m_bAuth = true;
    CSmtpSender().Run(job);
    EXPECT_EQ(Log(), std::string(">>> Initiating...\n>>> Connecting to SERVER...\n>>> OK\n"
                                 "<<< 220 quillory-test Python SMTP 1.4.3\n>>> EHLO host\\r\\n\n"
                                 "<<< 250-...\n<<< 250-...\n<<< 250-...\n<<< 250-...\n<<< 250 HELP\n"
                                 ">>> AUTH LOGIN\\r\\n\n<<< 334 VXNlciBOYW1lAA==\n>>> YW5u\\r\\n\n<<< 334 UGFzc3dvcmQA\n"
                                 ">>> ********\\r\\n\n<<< 235 2.7.0 Authentication successful\n") +
                         kEnvelopeAndData);
    int n = ++delivered;
    EXPECT_EQ(server->Envelope(n), "ann\na@x.org\nb@y.org\nc@z.org\nb@y.org\n");
    EXPECT_EQ(server->Message(n), "Subject: hi\r\n\r\nbody\r\n\r\n");
}

TEST_F(RealServer, WrongPasswordEndsBeforeTheEnvelope) {
    SendJob job = Job("Subject: hi\r\n\r\nbody\r\n");
    job.m_bAuth = true;
    job.m_strPassword = "guess";
    CSmtpSender().Run(job);
    std::string log = Log();
    EXPECT_NE(log.find(">>> ********\\r\\n\n<<< 535 5.7.8 Authentication credentials invalid\n[done: failure]\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("MAIL FROM"), std::string::npos);
}

} // namespace
