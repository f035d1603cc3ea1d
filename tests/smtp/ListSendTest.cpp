// Sending to a list: faults a real server will not produce on request, each
// resumed to the end with nobody receiving twice; a run of 200 recipients
// through aiosmtpd read back by Python's email package; and the program
// killed with SIGKILL at random points, its journal checked after each kill.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "TestUtil.h"
#include "smtp/ListSend.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/ScriptedServer.h"

namespace {

using testutil::TempDir;

struct Recorder : IListSendNotify {
    void OnSendLog(std::uint64_t, LogDirection, const std::string&) override {}
    void OnListDone(std::uint64_t, const ListSendReport&) override {}
};

std::string States(const ListSendReport& report) {
    std::string s;
    for (const RecipientResult& r : report.listRecipients)
        s += r.strAddress.substr(0, r.strAddress.find('@')) + "=" + RecipientStateName(r.state) + " ";
    return s;
}

// One message's steps after the session's first: RSET unless first.
std::string Message(const std::string& rcpt, bool first, const std::string& end = "S: 250 ok\n") {
    return std::string(first ? "" : "C: RSET\nS: 250 ok\n") + "C: MAIL FROM:<me@x.org>\nS: 250 ok\nC: RCPT TO:<" +
           rcpt + "@x.org>\nS: 250 ok\nC: DATA\nS: 354 go\nD:\n" + end;
}
const std::string kHello = "S: 220 hi\nC: *\nS: 250 hi\n";
// A server that offers PIPELINING takes the envelope and DATA in one go: the
// script reads all three commands before its first reply.
const std::string kPipelining = "S: 220 hi\nC: *\nS: 250-hi\nS: 250 PIPELINING\n";
std::string Pipelined(const std::string& rcpt, bool first,
                      const std::string& replies = "S: 250 ok\nS: 250 ok\nS: 354 go\nD:\nS: 250 ok\n") {
    return std::string(first ? "" : "C: RSET\nS: 250 ok\n") + "C: MAIL FROM:<me@x.org>\nC: RCPT TO:<" + rcpt +
           "@x.org>\nC: DATA\n" + replies;
}

TEST(ListSend, FaultsEndResumedWithNobodyTwice) {
    struct Case {
        const char* name;
        std::string script;
        std::string firstRun;           // the states after it
        bool bigMessage = false;        // larger than the socket buffers
        std::string secondScript = "";  // with --resend-unknown; empty: nothing to send
        std::string secondRun = "";
        int endOfDataWaitMs = 10000;
    } cases[] = {
        {"4xx later sent, 5xx refused for good",
         kHello + "C: MAIL FROM:<me@x.org>\nS: 250 ok\nC: RCPT TO:<a@x.org>\nS: 451 4.7.1 later\n"
                  "C: RSET\nS: 250 ok\nC: MAIL FROM:<me@x.org>\nS: 250 ok\nC: RCPT TO:<b@x.org>\nS: 550 5.1.1 no\n" +
             Message("c", false) + Message("a", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=refused c=sent "},
        {"pipelined when offered; a 4xx recipient is sent later",
         kPipelining + Pipelined("a", true, "S: 250 ok\nS: 451 4.7.1 later\nS: 503 no valid recipients\n") +
             Pipelined("b", false) + Pipelined("a", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=sent "},
        {"a server without EHLO gets HELO", "S: 220 hi\nC: *\nS: 502 what\nC: *\nS: 250 hi\n" + Message("a", true) +
                                                Message("b", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=sent "},
        {"4xx to the end mark, then sent", kHello + Message("a", true, "S: 452 full\n") + Message("b", false) +
                                               Message("a", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=sent "},
        {"connection dropped in the data: reconnect and send again",
         kHello + "C: MAIL FROM:<me@x.org>\nS: 250 ok\nC: RCPT TO:<a@x.org>\nS: 250 ok\nC: DATA\nS: 354 go\nK: 4000\nN:\n" +
             kHello + Message("b", true) + Message("a", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=sent ", true},
        {"no reply to the end mark: unknown, sent again only when asked",
         kHello + Message("a", true, "P: 2000\n") + "N:\n" + kHello + Message("b", true) + "C: QUIT\nS: 221 bye\n",
         "a=unknown b=sent ", false, kHello + Message("a", true) + "C: QUIT\nS: 221 bye\n", "a=sent b=sent ", 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ListSendRequest request;
        request.strListPath = dir.Write("list.csv", "email\na@x.org\nb@x.org\n" +
                                                        std::string(c.script.find("<c@") != std::string::npos
                                                                        ? "c@x.org\n" : ""));
        request.send.message.m_strHtmlPath = dir.Write("page.html", "<p>hi</p>");
        if (c.bigMessage) {
            std::string big(16 << 20, 'x');
            std::mt19937 gen(1);
            for (char& ch : big) ch = static_cast<char>(gen());
            request.send.message.m_listAttachments = {dir.Write("big.bin", big)};
        }
        request.send.message.m_strFrom = "me@x.org";
        request.send.options.SmtpServer = "127.0.0.1";
        request.nRatePerMinute = 0;
        request.nRetryWaitMs = 10;
        request.send.nEndOfDataWaitMs = c.endOfDataWaitMs;
        Recorder notify;
        for (int run = 0; run < 2; ++run) {
            // The second run has nothing to send unless asked to resend: its
            // server is a closed port, which any attempt would fail on.
            const std::string& script = run == 0 ? c.script : c.secondScript;
            std::unique_ptr<testutil::ScriptedServer> server;
            if (!script.empty()) server = std::make_unique<testutil::ScriptedServer>(script);
            else request.send.options.SmtpPort = testutil::ScriptedServer("").Port();
            if (server) request.send.options.SmtpPort = server->Port();
            request.bResendUnknown = run == 1;
            ListSendReport report = RunListSend(request, notify, 1, std::make_shared<platform::StopSignal>(), nullptr);
            EXPECT_FALSE(report.bFailed) << report.strError << DescribeFailure(report.failure);
            const std::string states = States(report);
            EXPECT_EQ(states, run == 1 && !c.secondRun.empty() ? c.secondRun : c.firstRun);
            if (server) {
                EXPECT_EQ(server->Finish(), "");
            }
            const bool clean = states.find("=refused") == std::string::npos && states.find("=unknown") == std::string::npos;
            EXPECT_EQ(report.ExitStatus(), clean ? 0 : 4);
        }
    }
}

// The program as a user runs it, against aiosmtpd.
struct ListCli : ::testing::Test {
    TempDir dir;
    testutil::RealSmtpServer server;
    std::string Run(const std::string& args, const std::string& prefix = "") {
        std::string cmd = "cd " + dir.Path() + " && HOME=" + dir.Path() + " XDG_CONFIG_HOME=" + dir.Path() + " " +
                          prefix + QUILLORY_CLI + " send-list page.html --list list.csv --from me@x.org " +
                          "--server 127.0.0.1 --port " + std::to_string(server.Port()) + " --rate 0 " + args +
                          " >/dev/null 2>&1; echo $?";
        std::string out;
        testutil::RunCommand(cmd, &out);
        return out;
    }
    // Recipient -> messages the server holds for them.
    std::map<std::string, int> Received() const {
        std::map<std::string, int> got;
        for (int n = 1;; ++n) {
            std::string env = server.Envelope(n);
            if (env.empty()) return got;
            ++got[env.substr(env.rfind('\n', env.size() - 2) + 1, env.size() - env.rfind('\n', env.size() - 2) - 2)];
        }
    }
    void WriteList(int n) {
        std::string list = "email,name\r\n";
        for (int i = 1; i <= n; ++i) list += "r" + std::to_string(i) + "@x.org,Name " + std::to_string(i) + "\r\n";
        dir.Write("list.csv", list);
        dir.Write("page.html", "<p>Dear {{name}}</p><img src=\"logo.png\">");
        dir.Write("logo.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(3000, 'p'));
        dir.Write("notes.txt", "the same for everyone\n");
    }
};

TEST_F(ListCli, TwoHundredPersonalMessagesOneSessionSharedPartsIdentical) {
    WriteList(200);
    EXPECT_EQ(Run("--subject 'Hi {{name}}' --attach notes.txt"), "0\n");
    std::map<std::string, int> got = Received();
    EXPECT_EQ(got.size(), 200u);
    for (auto& [rcpt, count] : got) EXPECT_EQ(count, 1) << rcpt;
    // Python reads each message back: its To and text are its envelope's,
    // and the picture and attachment are the same bytes in every one.
    const std::string check = R"(
import email, glob, os, sys
shared = set()
for env in glob.glob(sys.argv[1] + '/*.env'):
    rcpt = open(env).read().split('\n')[2]
    msg = email.message_from_binary_file(open(env[:-4] + '.eml', 'rb'))
    n = rcpt[1:rcpt.index('@')]
    assert msg['To'] == '"Name %s" <%s>' % (n, rcpt), (msg['To'], rcpt)
    assert msg['Subject'] == 'Hi Name ' + n
    parts = [p for p in msg.walk() if not p.is_multipart()]
    assert parts[0].get_payload(decode=True).decode() == '<p>Dear Name %s</p><img src="cid:%s">' % (n, parts[1]['Content-ID'][1:-1]), parts[0].get_payload(decode=True)
    shared.add(tuple(p.as_bytes() for p in parts[1:]))
print(len(shared))
)";
    dir.Write("check.py", check);
    std::string out;
    EXPECT_EQ(testutil::RunCommand(std::string(QUILLORY_PYTHON) + " " + dir.Path() + "check.py " + server.Folder(), &out), 0);
    EXPECT_EQ(out, "1\n");
}

// The journal's last state per address.
std::map<std::string, std::string> Journal(const std::string& path) {
    std::map<std::string, std::string> last;
    std::string text = testutil::ReadFile(path);
    for (std::size_t at = text.find('\n') + 1, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = text.substr(at, end - at);
        std::size_t tab = line.find('\t');
        if (tab != std::string::npos) last[line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1)] = line.substr(0, tab);
    }
    return last;
}

TEST_F(ListCli, KilledAtRandomPointsResumesWithNobodyTwice) {
    const int kRecipients = 250;
    WriteList(kRecipients);
    std::mt19937 gen(std::random_device{}());
    // What the journal says must agree with what the server holds.
    auto check = [&](const std::string& when) {
        std::map<std::string, int> got = Received();
        std::map<std::string, std::string> journal = Journal(dir.Path() + "list.csv.quillory-journal");
        for (auto& [rcpt, count] : got) {
            EXPECT_EQ(count, 1) << rcpt << " " << when;
            const std::string& state = journal[rcpt];
            EXPECT_TRUE(state == "sent" || state == "end-mark" || state == "unknown") << rcpt << " " << state << " " << when;
        }
        for (auto& [rcpt, state] : journal)
            EXPECT_TRUE(state != "sent" || got[rcpt] == 1) << rcpt << " " << when;
        return got.size();
    };
    for (int run = 0; run < 20; ++run) {
        char kill[64];
        std::snprintf(kill, sizeof kill, "timeout -s KILL %.3f ", std::uniform_real_distribution<>(0.02, 0.3)(gen));
        std::string rc = Run("", kill);
        check("after kill " + std::to_string(run) + " (exit " + rc.substr(0, rc.size() - 1) + ")");
    }
    std::string rc = Run("");
    std::size_t delivered = check("at the end");
    std::size_t unknown = 0;
    for (auto& [rcpt, state] : Journal(dir.Path() + "list.csv.quillory-journal")) {
        EXPECT_NE(state, "sending") << rcpt;
        unknown += state == "end-mark" || state == "unknown";
    }
    EXPECT_EQ(rc, unknown ? "4\n" : "0\n");
    EXPECT_GE(delivered + unknown, static_cast<std::size_t>(kRecipients));
    EXPECT_GE(delivered, static_cast<std::size_t>(kRecipients) - unknown);
}

}  // namespace
