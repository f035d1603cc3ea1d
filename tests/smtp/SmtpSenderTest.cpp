// Deliveries that end before or around the dialogue, the bytes of the message
// on the wire, and a send cancelled in the middle.
#include <gtest/gtest.h>

#include <chrono>

#include "TestUtil.h"
#include "smtp/ComposeAndSend.h"
#include "smtp/DotStuffing.h"
#include "smtp/RecordingNotify.h"
#include "smtp/ScriptedServer.h"

namespace {

using testutil::RecordingNotify;
using testutil::ScriptedServer;
using testutil::TempDir;

const std::string kUpToData =
    "S: 220 ready\nC: *\nS: 250 hello\nC: MAIL FROM:<a@x.org>\nS: 250 ok\nC: RCPT TO:<b@y.org>\nS: 250 ok\n"
    "C: DATA\nS: 354 go\n";

struct SenderTest : ::testing::Test {
    TempDir dir;
    std::shared_ptr<RecordingNotify> notify = std::make_shared<RecordingNotify>();
    SendJob job = testutil::PlainJob(0, dir.Write("msg.eml", "Subject: t\r\n\r\nhi\r\n"), notify);
    SendOutcome Run() {
        notify = std::make_shared<RecordingNotify>();
        job.m_pNotify = notify;
        return CSmtpSender().Run(job);
    }
};

TEST_F(SenderTest, JobChecksFailBeforeAnyConnection) {
    const std::pair<const char*, void (*)(SendJob&)> cases[] = {
        {"no recipients", [](SendJob& j) { j.m_listRecipients.clear(); }},
        {"no server", [](SendJob& j) { j.m_strServer.clear(); }},
        {"no sender", [](SendJob& j) { j.m_strFrom.clear(); }},
        {"login without account name", [](SendJob& j) { j.m_bAuth = true, j.m_strUser.clear(); }},
        {"no message file", [](SendJob& j) { j.m_strMessageFile.clear(); }},
        {"unknown security: never plain text by mistake", [](SendJob& j) { j.m_nSecurity = SmtpSecurity(3); }},
        {"command in the sender", [](SendJob& j) { j.m_strFrom = "a@x.org>\r\nRCPT TO:<evil@y.org"; }},
        {"command in a recipient", [](SendJob& j) { j.m_listRecipients.push_back("c@z\r\nDATA"); }},
    };
    const SendJob good = job;
    for (const auto& [what, change] : cases) {
        job = good;
        change(job);
        SendOutcome o = Run();
        EXPECT_EQ(o.failure, SendFailure::BadFields) << what;
        EXPECT_EQ(o.stage, SendStage::Checking) << what;
        EXPECT_EQ(notify->Log(), ">>> Initiating...\n>>> Parameters error. Please check SMTP settings.\n") << what;
    }
    // No sink: nothing can be reported, and nothing may crash.
    job = good;
    job.m_pNotify.reset();
    EXPECT_EQ(CSmtpSender().Run(job).failure, SendFailure::BadFields);
}

// A refused connection: see the command line's table.
TEST_F(SenderTest, ConnectFailuresSayWhy) {
    const std::tuple<std::string, int, SendStage, SendFailure, std::string> cases[] = {
        {"nonexistent.invalid", 25, SendStage::Resolving, SendFailure::HostNotFound,
         ">>> Host not found: nonexistent.invalid\n"},
        {"127.0.0.1", 0, SendStage::Connecting, SendFailure::ConnectFailed, ">>> Failure: port out of range\n"},
        {"127.0.0.1", 65536, SendStage::Connecting, SendFailure::ConnectFailed, ">>> Failure: port out of range\n"},
    };
    for (const auto& [host, port, stage, failure, logLine] : cases) {
        job.m_strServer = host;
        job.m_nPort = port;
        SendOutcome o = Run();
        EXPECT_EQ(o.stage, stage) << host << ":" << port;
        EXPECT_EQ(o.failure, failure) << host << ":" << port;
        EXPECT_TRUE(notify->Log().ends_with(logLine)) << notify->Log();
    }
}

// Lines that begin with '.' get one more, also where a file read splits the CR LF.
TEST_F(SenderTest, DotStuffingOnTheWire) {
    const std::size_t R = CSmtpSender::kFileReadSize;
    std::string file = ".first\r\n..two\r\n.\r\nmid.dle\r\n";
    file += std::string(R - 1 - file.size(), 'a');
    file += "\r\n.edge\r\n";  // CR ends the first read, LF begins the second
    file += std::string(2 * R - 1 - file.size(), 'b') + "\r";  // and again between the second and third
    file += "\n.third\rx.\n.lone\r\n.";
    ASSERT_EQ(file.substr(R - 1, 2), "\r\n");
    ASSERT_EQ(file.substr(2 * R - 1, 2), "\r\n");
    std::string expected = "." + file;
    for (std::size_t at = 0; (at = expected.find("\r\n.", at)) != std::string::npos; at += 4)
        expected.insert(at + 2, ".");
    job.m_strMessageFile = dir.Write("dots.eml", file);
    ScriptedServer server(kUpToData + "D:\nS: 250 queued\nC: QUIT\nS: 221 bye\n");
    job.m_nPort = server.Port();
    EXPECT_TRUE(Run().bSuccess) << notify->Log();
    EXPECT_EQ(server.Finish(), "");
    EXPECT_EQ(server.Data(), expected + "\r\n.\r\n");
}

// Fed one byte at a time, the stuffer must give what it gives for the whole.
TEST(DotStuffer, BytewiseEqualsWhole) {
    const std::pair<std::string, std::string> cases[] = {
        {".a\r\n.\r\n..\r\nb.c\r\n", "..a\r\n..\r\n...\r\nb.c\r\n"},
        {"x\r.y\n.z\r\r\n.w", "x\r.y\n.z\r\r\n..w"},  // only CR LF starts a line
        {"\r\n\r\n.", "\r\n\r\n.."},
        {"", ""},
    };
    for (const auto& [in, stuffed] : cases) {
        std::string whole, bytewise;
        CDotStuffer().Feed(in.data(), in.size(), whole);
        CDotStuffer one;
        for (char c : in) one.Feed(&c, 1, bytewise);
        EXPECT_EQ(whole, stuffed);
        EXPECT_EQ(bytewise, stuffed);
    }
}

// A cancel wakes the send out of any wait at once; it then reports nothing
// more, lets go of its sink and leaves no file, descriptor or thread behind.
TEST(ComposeAndSend, CancelEndsTheSendAtOnce) {
    TempDir dir, tmp;
    testutil::ScopedEnv tmpdir("TMPDIR", tmp.Path());
    dir.Write("big.bin", std::string(4 << 20, 'z'));
    SendRequest request;
    request.message.m_strHtmlPath = dir.Write("page.html", "<p>hi</p>");
    request.message.m_listAttachments = {dir.Path() + "big.bin"};
    request.message.m_strFrom = "a@x.org";
    request.message.m_strTo = "b@y.org";
    request.options.SmtpServer = "127.0.0.1";
    // Waiting for the server to take more data, for the greeting, and in either handshake.
    const std::tuple<std::string, SmtpSecurity, std::string> cases[] = {
        {kUpToData + "P: 1500\n", kSecurityNone, ">>> Sending message body..."},
        {"P: 1500\n", kSecurityNone, ">>> OK"},
        {"P: 1500\n", kSecurityTls, ">>> OK"},
        {"S: 220 hi\nC: *\nS: 250 STARTTLS\nC: STARTTLS\nS: 220 go\nP: 1500\n", kSecurityStartTls, "<<< 220 go"}};
    for (const auto& [script, security, waitFor] : cases) {
        SCOPED_TRACE(script);
        request.options.Security = security;
        const std::size_t fds = testutil::ListFolder("/proc/self/fd").size();
        const std::size_t threads = testutil::ListFolder("/proc/self/task").size();
        auto rec = std::make_shared<RecordingNotify>();
        {
            ScriptedServer server(script, 4096);
            request.options.SmtpPort = server.Port();
            CComposeAndSend send;
            SendField field;
            std::string why;
            ASSERT_TRUE(send.Start(request, rec, field, why)) << why;
            ASSERT_TRUE(rec->WaitForLog(waitFor, 5000)) << rec->Log();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto start = std::chrono::steady_clock::now();
            send.Cancel();
            send.Join();
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
            EXPECT_EQ(rec.use_count(), 1) << "the send still holds the sink";
            server.Finish();
        }
        EXPECT_EQ(rec->DoneCount(), 0) << rec->Log();
        EXPECT_EQ(rec->Log().find("Time out"), std::string::npos) << rec->Log();
        EXPECT_TRUE(testutil::ListFolder(tmp.Path()).empty());
        EXPECT_EQ(testutil::ListFolder("/proc/self/fd").size(), fds);
        EXPECT_EQ(testutil::ListFolder("/proc/self/task").size(), threads);
    }
}

} // namespace
