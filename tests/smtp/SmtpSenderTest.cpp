// Deliveries that end before or around the dialogue, the bytes of the message
// on the wire, and the worker thread with its cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "TestUtil.h"
#include "smtp/RecordingNotify.h"
#include "smtp/ScriptedServer.h"
#include "smtp/SendWorker.h"
#include "smtp/SmtpSender.h"

namespace {

using testutil::RecordingNotify;
using testutil::ScriptedServer;
using testutil::TempDir;

const std::string kUpToData =
    "S: 220 ready\nC: HELO host\nS: 250 hello\nC: MAIL FROM: <a@x.org>\nS: 250 ok\nC: RCPT TO: <b@y.org>\n"
    "S: 250 ok\nC: DATA\nS: 354 go\n";

struct SenderTest : ::testing::Test {
    TempDir dir;
    std::shared_ptr<RecordingNotify> notify = std::make_shared<RecordingNotify>();
    SendJob job;
    void SetUp() override {
        job.m_strServer = "127.0.0.1";
        job.m_strFrom = "a@x.org";
        job.m_listRecipients = {"b@y.org"};
        job.m_strUser = "ann";
        job.m_strMessageFile = dir.Write("msg.eml", "Subject: t\r\n\r\nhi\r\n");
        job.m_pNotify = notify;
        job.m_nWaitMs = 2000;
    }
    std::string Run() {
        CSmtpSender().Run(job);
        return notify->Log();
    }
};

TEST_F(SenderTest, JobChecksFailBeforeAnyConnection) {
    const std::string refused = ">>> Initiating...\n>>> Parameters error. Please check SMTP settings.\n[done: failure]\n";
    auto check = [&](auto change, const char* what) {
        SendJob saved = job;
        change(job);
        notify = std::make_shared<RecordingNotify>();
        job.m_pNotify = notify;
        EXPECT_EQ(Run(), refused) << what;
        job = saved;
    };
    check([](SendJob& j) { j.m_listRecipients.clear(); }, "no recipients");
    check([](SendJob& j) { j.m_strServer.clear(); }, "no server");
    check([](SendJob& j) { j.m_strFrom.clear(); }, "no sender");
    check([](SendJob& j) { j.m_bAuth = true, j.m_strUser.clear(); }, "login without account name");
    check([](SendJob& j) { j.m_strMessageFile.clear(); }, "no message file");
    check([](SendJob& j) { j.m_nSecurity = 3; }, "unknown security: never plain text by mistake");
    check([](SendJob& j) { j.m_strFrom = "a@x.org>\r\nRCPT TO: <evil@y.org"; }, "command in the sender");
    check([](SendJob& j) { j.m_listRecipients.push_back("c@z\r\nDATA"); }, "command in a recipient");
    // No sink: nothing can be reported, and nothing may crash.
    job.m_pNotify.reset();
    CSmtpSender().Run(job);
}

TEST_F(SenderTest, ConnectFailuresAreLoggedAsFailure) {
    for (int port : {0, 65536, -1}) {
        notify = std::make_shared<RecordingNotify>();
        job.m_pNotify = notify;
        job.m_nPort = port;
        EXPECT_EQ(Run(), ">>> Initiating...\n>>> Connecting to 127.0.0.1:" + std::to_string(port) +
                             "...\n>>> Failure\n[done: failure]\n");
    }
    int closedPort;
    { ScriptedServer gone(""); closedPort = gone.Port(); }  // nobody listens there any more
    notify = std::make_shared<RecordingNotify>();
    job.m_pNotify = notify;
    job.m_nPort = closedPort;
    EXPECT_EQ(Run(), ">>> Initiating...\n>>> Connecting to 127.0.0.1:" + std::to_string(closedPort) +
                         "...\n>>> Failure\n[done: failure]\n");
}

TEST_F(SenderTest, HostNamesAreResolvedToTheirIpv4Address) {
    ScriptedServer server("S: 554 only checking\n");  // listens on 127.0.0.1 only
    job.m_strServer = "localhost";
    job.m_nPort = server.Port();
    EXPECT_EQ(Run(), ">>> Initiating...\n>>> Connecting to localhost:" + std::to_string(server.Port()) +
                         "...\n>>> OK\n<<< 554 only checking\n[done: failure]\n");
}

TEST_F(SenderTest, MissingMessageFileFailsAfterDataWithoutTheEndMark) {
    ScriptedServer server(kUpToData);
    job.m_nPort = server.Port();
    job.m_strMessageFile = dir.Path() + "gone.eml";
    std::string log = Run();
    EXPECT_NE(log.find("<<< 354 go\n>>> Sending message body...\n>>> Failed to open file " + dir.Path() +
                       "gone.eml.\n[done: failure]\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(server.Finish(), "");
    EXPECT_EQ(server.Data(), "");
}

// Lines that begin with '.' get one more; CR LF split by the file reads must
// not hide a line start, and a CR alone or LF alone does not start a line.
TEST_F(SenderTest, DotStuffingOnTheWire) {
    const std::size_t R = CSmtpSender::kFileReadSize;
    std::string file = ".first\r\n..two\r\n.\r\nmid.dle\r\n";
    file += std::string(R - 1 - file.size(), 'a');
    file += "\r\n.edge\r\n";  // CR ends the first read, LF begins the second
    file += std::string(2 * R - 1 - file.size(), 'b') + "\r";  // and again between the second and third
    file += "\n.third\rx.\n.lone\r\n.";
    ASSERT_EQ(file.substr(R - 1, 2), "\r\n");
    ASSERT_EQ(file.substr(2 * R - 1, 2), "\r\n");
    // The same rule applied to the whole text at once, without any reads.
    std::string expected = "." + file;
    for (std::size_t at = 0; (at = expected.find("\r\n.", at)) != std::string::npos; at += 4) expected.insert(at + 2, ".");
    job.m_strMessageFile = dir.Write("dots.eml", file);
    ScriptedServer server(kUpToData + "D:\nS: 250 queued\nC: QUIT\nS: 221 bye\n");
    job.m_nPort = server.Port();
    Run();
    EXPECT_EQ(server.Finish(), "");
    EXPECT_EQ(server.Data(), expected + "\r\n.\r\n");
}

int CountEntries(const char* folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

// A stop wakes the worker out of any wait at once; it then closes its socket,
// frees its job and reports nothing more.
TEST_F(SenderTest, CancelEndsTheWorkerAtOnce) {
    // 100 MB, most of it never read: the server stalls after taking a little.
    std::string big = dir.Path() + "big.eml";
    int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(::ftruncate(fd, 100 << 20), 0);
    ::close(fd);

    struct Case {
        const char* name;
        std::string script;
        std::string waitFor;
    } cases[] = {
        {"in the middle of the data", kUpToData + "P: 1500\n", ">>> Sending message body..."},
        {"waiting for the greeting", "P: 1500\n", ">>> OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fds = CountEntries("/proc/self/fd"), threads = CountEntries("/proc/self/task");
        auto rec = std::make_shared<RecordingNotify>();
        {
            ScriptedServer server(c.script, 4096);
            auto pJob = std::make_unique<SendJob>(job);
            pJob->m_nPort = server.Port();
            pJob->m_strMessageFile = big;
            pJob->m_pNotify = rec;
            pJob->m_nWaitMs = 60000;  // the real waits: only the stop may end them
            CSendWorker worker;
            worker.Start(std::move(pJob));
            ASSERT_TRUE(rec->WaitForLine(c.waitFor, 5000)) << rec->Log();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto start = std::chrono::steady_clock::now();
            worker.Cancel();
            worker.Join();
            auto took = std::chrono::steady_clock::now() - start;
            EXPECT_LT(took, std::chrono::seconds(1));
            EXPECT_EQ(rec.use_count(), 1) << "the job still holds the sink: it was not freed";
            server.Finish();
        }
        EXPECT_EQ(rec->DoneCount(), 0) << rec->Log();
        EXPECT_EQ(rec->Log().find("Time out"), std::string::npos) << rec->Log();
        EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
        EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    }
}

TEST_F(SenderTest, WorkerReportsWithItsSendIdAndFreesTheJob) {
    struct IdNotify : ISendNotify {
        std::vector<std::uint64_t> ids;
        void OnSendLog(std::uint64_t id, LogDirection, const std::string&) override { ids.push_back(id); }
        void OnSendDone(std::uint64_t id, bool) override { ids.push_back(id); }
    };
    auto idNotify = std::make_shared<IdNotify>();
    ScriptedServer server("S: 554 closed\n");
    auto pJob = std::make_unique<SendJob>(job);
    pJob->m_nPort = server.Port();
    pJob->m_pNotify = idNotify;
    CSendWorker first, second;
    std::uint64_t id = first.Start(std::move(pJob));
    first.Join();
    EXPECT_EQ(idNotify.use_count(), 1);
    ASSERT_EQ(idNotify->ids.size(), 5u);  // Initiating, Connecting, OK, the reply, done
    for (std::uint64_t got : idNotify->ids) EXPECT_EQ(got, id);
    auto other = std::make_unique<SendJob>(job);
    other->m_listRecipients.clear();
    EXPECT_NE(second.Start(std::move(other)), id);
}

} // namespace
