// The SMTP dialogue against a scripted server: one row per case, the server's
// side of the conversation and how the send must end. Whole logs only where
// the lines themselves are promised.
#include <gtest/gtest.h>

#include <chrono>

#include "TestUtil.h"
#include "smtp/RecordingNotify.h"
#include "smtp/ScriptedServer.h"

namespace {

using testutil::ScriptedServer;
using Stage = SendStage;
using Failure = SendFailure;
using List = std::vector<std::string>;

const char kMessage[] = "Subject: t\r\n\r\nhello\r\n";

struct Row {
    const char* name;
    std::string script;  // {Xn} stands for n 'x'
    bool success = false;
    Stage stage = Stage::Quit;
    Failure failure = Failure::None;
    int code = 0;
    List refused = {};
    List replyLines = {};  // checked when given
    std::string logHas = {};
    List recipients = {"b@y.org"};
    bool auth = false;
    std::string password = "secret";
    std::string hostName = "client.example.org";  // empty: the system cannot name the host
    int waitMs = 2000;
    int endWaitMs = 4000;
    int withinMs = 0;  // when given, the send must end this soon
    std::size_t bigFile = 0;  // send a file of this many bytes instead of kMessage
    int receiveBuffer = 0;
    bool noFile = false;  // the message file is not there
};

std::string Expand(const std::string& s) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = s.find("{X", from)) != std::string::npos; from = s.find('}', at) + 1)
        out += s.substr(from, at - from) + std::string(std::stoul(s.substr(at + 2)), 'x');
    return out + s.substr(from);
}

// The text one byte at a time, 300 ms apart.
std::string Drip(const std::string& text) {
    std::string script;
    for (char c : text) script += std::string("R: ") + c + "\nP: 300\n";
    return script;
}

const std::string kHeloOnly = "C: HELO client.example.org\nS: 250 hello\n";
const std::string kHelo = "S: 220 ready\n" + kHeloOnly;
const std::string kMail = "C: MAIL FROM:<a@x.org>\nS: 250 ok\n";
const std::string kEnvelope = kMail + "C: RCPT TO:<b@y.org>\nS: 250 ok\n";
const std::string kData = "C: DATA\nS: 354 go\nD:\n";
const std::string kEnd = "S: 250 queued\nC: QUIT\nS: 221 bye\n";
const std::string kRest = kEnvelope + kData + kEnd;
const std::string kEhloLogin =
    "S: 220 ready\nC: EHLO client.example.org\nS: 250-there\nS: 250-SIZE 1000\nS: 250 HELP\nC: AUTH LOGIN\n"
    "S: 334 VXNlcm5hbWU6\nC: YW5u\nS: 334 UGFzc3dvcmQ6\n";
const std::string kLoggedIn = kEhloLogin + "C: c2VjcmV0\nS: 235 welcome\n";

// PIPELINING offered: MAIL, RCPT and DATA all arrive before the first reply.
const std::string kPipelined = "S: 220 ready\nC: EHLO client.example.org\nS: 250-there\nS: 250 PIPELINING\n"
                               "C: AUTH LOGIN\nS: 334 VXNlcm5hbWU6\nC: YW5u\nS: 334 UGFzc3dvcmQ6\nC: c2VjcmV0\n"
                               "S: 235 welcome\nC: MAIL FROM:<a@x.org>\nC: RCPT TO:<r1@y>\nC: RCPT TO:<r2@y>\nC: DATA\n";

const Row kRows[] = {
    {.name = "PipelinedEnvelope", .script = kPipelined + "S: 250 ok\nS: 550 no such user\nS: 250 ok\nS: 354 go\nD:\n" + kEnd,
     .success = true, .refused = {"r1@y"}, .recipients = {"r1@y", "r2@y"}, .auth = true},
    // Every reply is read, so the failure is the step's own reply.
    {.name = "PipelinedSenderRefused", .script = kPipelined + "S: 553 sender refused\nS: 503 a\nS: 503 b\nS: 503 c\n",
     .stage = Stage::Mail, .failure = Failure::Refused, .code = 553, .replyLines = {"553 sender refused"},
     .recipients = {"r1@y", "r2@y"}, .auth = true},
    {.name = "PipelinedEveryRecipientRefused",
     .script = kPipelined + "S: 250 ok\nS: 550 no such user\nS: 551 gone\nS: 554 no valid recipients\n",
     .stage = Stage::Rcpt, .failure = Failure::RecipientsRefused, .code = 551, .refused = {"r1@y", "r2@y"},
     .recipients = {"r1@y", "r2@y"}, .auth = true},
    {.name = "PlainDelivery", .script = kHelo + kRest, .success = true,
     .logHas = ">>> OK\n<<< 220 ready\n>>> HELO client.example.org\n<<< 250 hello\n>>> MAIL FROM:<a@x.org>\n"
               "<<< 250 ok\n>>> RCPT TO:<b@y.org>\n<<< 250 ok\n>>> DATA\n<<< 354 go\n>>> Sending message body...\n"
               ">>> Done\n>>> \n.\n<<< 250 queued\n>>> QUIT\n<<< 221 bye\n"},
    // The log shows the password's line hidden; the server gets it.
    // The size offered is the file's, before dot-stuffing.
    {.name = "LoginWithEhlo", .script = kLoggedIn + "C: MAIL FROM:<a@x.org> SIZE=21\nS: 250 ok\n"
                                        "C: RCPT TO:<b@y.org>\nS: 250 ok\n" + kData + kEnd, .success = true,
     .logHas = ">>> AUTH LOGIN\n<<< 334 VXNlcm5hbWU6\n>>> YW5u\n<<< 334 UGFzc3dvcmQ6\n>>> ********\n<<< 235 welcome\n",
     .auth = true},
    {.name = "EmptyPasswordIsAnEmptyLine", .script = kEhloLogin + "C: \nS: 535 bad credentials\n", .stage = Stage::Auth,
     .failure = Failure::Refused, .code = 535, .replyLines = {"535 bad credentials"}, .auth = true, .password = ""},
    {.name = "HeloNamesTheAddressWhenTheHostHasNoName",
     .script = "S: 220 ready\nC: HELO [127.0.0.1]\nS: 502 no\n", .stage = Stage::Hello,
     .failure = Failure::Refused, .code = 502, .hostName = ""},
    {.name = "SilentGreeting", .script = "P: 800\n", .stage = Stage::Greeting, .failure = Failure::TimedOut,
     .waitMs = 200},
    // The wait is for the whole reply: a byte now and then does not extend it.
    {.name = "DrippingServerEndsByTheDeadline", .script = Drip("220 a slow greeting"), .stage = Stage::Greeting,
     .failure = Failure::TimedOut, .waitMs = 1000, .withinMs = 1800},
    {.name = "ReplyLineOver64KiB", .script = "R: 220 {X70000}\nE:\n", .stage = Stage::Greeting,
     .failure = Failure::ProtocolError, .logHas = ">>> The server sent a reply line longer than 64 KiB.\n",
     .waitMs = 10000, .withinMs = 1000},
    {.name = "ReplyOver1MiB", .script = [] {
         std::string lines;
         for (int i = 0; i < 20000; ++i) lines += "S: 220-{X60}\n";
         return lines + "E:\n";
     }(), .stage = Stage::Greeting,
     .failure = Failure::ProtocolError, .logHas = ">>> The server sent a reply longer than 1 MiB.\n",
     .waitMs = 10000, .withinMs = 2000},
    {.name = "LongLinesStayWhole", .script = "S: 220-{X40000}\nS: 220 ok\n" + kHeloOnly +
                                             "C: MAIL FROM:<a@x.org>\nS: 550-{X40000}\nS: 550 no\n",
     .stage = Stage::Mail, .failure = Failure::Refused, .code = 550,
     .replyLines = {"550-" + std::string(40000, 'x'), "550 no"}},
    {.name = "RepliesEndingInBareLineFeeds", .script = "R: 220 ready\\n\nC: HELO client.example.org\nR: 250 hello\\n\n"
                                                       "C: MAIL FROM:<a@x.org>\nR: 550 no\\n\n",
     .stage = Stage::Mail, .failure = Failure::Refused, .code = 550, .replyLines = {"550 no"}},
    {.name = "ClosedWhileWaitingForAReply", .script = "S: 220 ready\nC: HELO client.example.org\n",
     .stage = Stage::Hello, .failure = Failure::ConnectionClosed, .logHas = ">>> Connection closed by the server.\n"},
    // 251 counts as taken; the refused one is named, the message still goes.
    {.name = "OneOfThreeRecipientsRefused",
     .script = kHelo + kMail + "C: RCPT TO:<r1@y>\nS: 250 ok\nC: RCPT TO:<r2@y>\nS: 550 no such user\n"
                               "C: RCPT TO:<r3@y>\nS: 251 forwarded\n" + kData + kEnd,
     .success = true, .refused = {"r2@y"}, .recipients = {"r1@y", "r2@y", "r3@y"}},
    // Relaying refused for one, an unknown user for the other: each is named with its reply.
    {.name = "EveryRecipientRefused",
     .script = kHelo + kMail + "C: RCPT TO:<r1@y>\nS: 550 5.1.1 User unknown\nC: RCPT TO:<r2@y>\n"
                               "S: 554 5.7.1 Relay access denied\n", .stage = Stage::Rcpt,
     .failure = Failure::RecipientsRefused, .code = 554, .refused = {"r1@y", "r2@y"},
     .logHas = ">>> The server refused every recipient: r1@y (550 5.1.1 User unknown); r2@y (554 5.7.1 Relay access "
               "denied).\n", .recipients = {"r1@y", "r2@y"}},
    {.name = "RelayRefused", .script = kHelo + kMail + "C: RCPT TO:<b@y.org>\nS: 550 5.7.1 Unable to relay\n",
     .stage = Stage::Rcpt, .failure = Failure::NoRelay, .code = 550, .refused = {"b@y.org"},
     .logHas = "<<< 550 5.7.1 Unable to relay\n>>> SMTP Server doesn't relay emails.\n"},
    // Its size goes into MAIL FROM, so the file is opened before the envelope.
    {.name = "MissingMessageFileFailsBeforeTheEnvelope", .script = "S: 220 ready\nC: *\nS: 250 hello\nE:\n",
     .stage = Stage::Mail, .failure = Failure::FileError, .logHas = "<<< 250 hello\n>>> Failed to open file ",
     .noFile = true},
    {.name = "TooLargeForTheServer", .script = kLoggedIn + "E:\n", .stage = Stage::Mail, .failure = Failure::TooLarge,
     .logHas = "<<< 235 welcome\n>>> The message is 2000 bytes (2.0 KiB), larger than the 1000 bytes the server "
               "accepts.\n", .auth = true, .bigFile = 2000},
    // A reply is taken only for the command it answers, whether it came with
    // an earlier reply or on its own while the data went out.
    {.name = "ReplyAheadOfTheData", .script = kHelo + kEnvelope + "C: DATA\nR: 354 go\\r\\n250 queued\\r\\n\nD:\n"
                                              "S: 554 5.7.1 refused\nE:\n",
     .stage = Stage::Body, .failure = Failure::ProtocolError,
     .logHas = "<<< 250 queued\n>>> The server replied before the command was sent.\n"},
    {.name = "ReplyAheadOfTheEndMark", .script = kHelo + kEnvelope + "C: DATA\nS: 354 go\nP: 50\nS: 250 early\nD:\n"
                                                "S: 554 5.7.1 refused\nE:\n",
     .stage = Stage::EndOfData, .failure = Failure::ProtocolError, .bigFile = 16 << 20, .receiveBuffer = 4096},
    {.name = "MessageRefused", .script = kHelo + kEnvelope + kData + "S: 552 too big\n", .stage = Stage::EndOfData,
     .failure = Failure::Refused, .code = 552},
    {.name = "QuitUnansweredKeepsTheSuccess", .script = kHelo + kEnvelope + kData + "S: 250 queued\nC: QUIT\n",
     .success = true, .waitMs = 300},
    // The end-of-data mark gets the longer wait; other replies the shorter one.
    {.name = "EndOfDataAnsweredAfterTheShortWait", .script = kHelo + kEnvelope + kData + "P: 600\n" + kEnd,
     .success = true, .waitMs = 300, .endWaitMs = 1500},
    {.name = "EndOfDataUnansweredPastTheLongWait", .script = kHelo + kEnvelope + kData + "P: 900\n",
     .stage = Stage::EndOfData, .failure = Failure::TimedOut, .waitMs = 200, .endWaitMs = 400},
    {.name = "ConnectionClosedDuringTheData", .script = kHelo + kEnvelope + "C: DATA\nS: 354 go\nK: 65536\n",
     .stage = Stage::Body, .failure = Failure::ConnectionClosed,
     .logHas = ">>> Sending message body...\n>>> Connection closed by the server.\n", .bigFile = 16 << 20},
    {.name = "ServerStopsReadingDuringTheData", .script = kHelo + kEnvelope + "C: DATA\nS: 354 go\nP: 1000\n",
     .stage = Stage::Body, .failure = Failure::TimedOut, .waitMs = 200, .endWaitMs = 400, .bigFile = 32 << 20,
     .receiveBuffer = 4096},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Dialogue : public ::testing::TestWithParam<Row> {};

TEST_P(Dialogue, EndsAsExpected) {
    const Row& row = GetParam();
    testutil::TempDir dir;
    std::string file = dir.Write("msg.eml", kMessage);
    if (row.bigFile) {
        std::string body;
        while (body.size() < row.bigFile) body += std::string(98, 'x') + "\r\n";
        file = dir.Write("big.eml", body);
    }
    if (row.noFile) file = dir.Path() + "gone.eml";
    ScriptedServer server(Expand(row.script), row.receiveBuffer);
    auto notify = std::make_shared<testutil::RecordingNotify>();
    SendJob job = testutil::PlainJob(server.Port(), file, notify);
    job.m_listRecipients = row.recipients;
    job.m_bAuth = row.auth;
    job.m_strPassword = row.password;
    job.m_nWaitMs = row.waitMs;
    job.m_nEndOfDataWaitMs = row.endWaitMs;
    testutil::FixedPlatform fixed;
    fixed.host.name = row.hostName;
    fixed.host.fail = row.hostName.empty();
    auto start = std::chrono::steady_clock::now();
    SendOutcome o = CSmtpSender(fixed.Get()).Run(job);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

    EXPECT_EQ(o.bSuccess, row.success);
    EXPECT_EQ(StageName(o.stage), std::string(StageName(row.success ? Stage::Quit : row.stage)));
    EXPECT_EQ(o.failure, row.failure) << DescribeFailure(o);
    EXPECT_EQ(o.nReplyCode, row.code);
    EXPECT_EQ(o.listRefused, row.refused);
    if (!row.replyLines.empty()) { EXPECT_EQ(o.listReplyLines, row.replyLines); }
    EXPECT_EQ(notify->DoneCount(), 1);
    EXPECT_EQ(notify->Outcome().failure, o.failure);  // the one reported is the one returned
    EXPECT_NE(notify->Log().find(row.logHas), std::string::npos) << notify->Log().substr(0, 4000);
    EXPECT_LT(took.count(), row.withinMs ? row.withinMs : 60000);
    EXPECT_EQ(server.Finish(), "");
    if (row.success && !row.bigFile) {
        EXPECT_EQ(server.Data(), std::string(kMessage) + "\r\n.\r\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Smtp, Dialogue, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
