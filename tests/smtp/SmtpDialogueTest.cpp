// The SMTP dialogue against a scripted server: one row per case, each with the
// server's side of the conversation and the whole log the client must report.
#include <gtest/gtest.h>

#include <regex>

#include "TestUtil.h"
#include "smtp/RecordingNotify.h"
#include "smtp/ScriptedServer.h"
#include "smtp/SmtpSender.h"

namespace {

using testutil::RecordingNotify;
using testutil::ScriptedServer;

const char kMessage[] = "Subject: t\r\n\r\nhello\r\n";

struct Row {
    const char* name;
    std::string script;
    std::string log;  // after the three connecting lines; {Xn} stands for n 'x'
    std::vector<std::string> recipients = {"b@y.org"};
    bool auth = false;
    std::string password = "secret";
    int waitMs = 2000;
    int endWaitMs = 4000;
    std::size_t bigFile = 0;  // send a file of this many bytes instead of kMessage
    int receiveBuffer = 0;
};

std::string Expand(std::string s) {
    static const std::regex x(R"(\{X(\d+)\})");
    std::smatch m;
    while (std::regex_search(s, m, x)) s.replace(m.position(), m.length(), std::string(std::stoul(m[1]), 'x'));
    return s;
}

const std::string kHelo = "S: 220 ready\nC: HELO host\nS: 250 hello\n";
const std::string kHeloLog = "<<< 220 ready\n>>> HELO host\\r\\n\n<<< 250 hello\n";
const std::string kEnvelope = "C: MAIL FROM: <a@x.org>\nS: 250 ok\nC: RCPT TO: <b@y.org>\nS: 250 ok\n";
const std::string kEnvelopeLog = ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250 ok\n>>> RCPT TO: <b@y.org>\\r\\n\n<<< 250 ok\n";
const std::string kData = "C: DATA\nS: 354 go\nD:\n";
const std::string kDataLog = ">>> DATA\\r\\n\n<<< 354 go\n>>> Sending message body...\n>>> Done\n>>> \\r\\n.\\r\\n\n";
const std::string kEnd = "S: 250 queued\nC: QUIT\nS: 221 bye\n";
const std::string kEndLog = "<<< 250 queued\n>>> QUIT\\r\\n\n<<< 221 bye\n[done: success]\n";
const std::string kMailRefused = "C: MAIL FROM: <a@x.org>\nS: 550 no\n";
const std::string kMailRefusedLog = ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 550 no\n[done: failure]\n";

const Row kRows[] = {
    {"PlainHappyPath", kHelo + kEnvelope + kData + kEnd, kHeloLog + kEnvelopeLog + kDataLog + kEndLog},
    {"GreetingOfSeveralLines", "S: 220-first\nS: 220-second\nS: 220 last\nC: HELO host\nS: 250 hello\n" + kMailRefused,
     "<<< 220-first\n<<< 220-second\n<<< 220 last\n>>> HELO host\\r\\n\n<<< 250 hello\n" + kMailRefusedLog},
    {"GreetingRefused", "S: 554 go away\n", "<<< 554 go away\n[done: failure]\n"},
    {"GreetingRefusedOnSeveralLines", "S: 554-go\nS: 554 away\n", "<<< 554-go\n<<< 554 away\n[done: failure]\n"},
    {"SilentGreeting", "P: 800\n", "<<< Time out.\n[done: failure]\n", {"b@y.org"}, false, "", 200},
    // The wait is for each byte, not for the whole line.
    {"SlowGreetingWithinTheWaitPerByte", "R: 2\nP: 250\nR: 2\nP: 250\nR: 0 slow\\r\\n\nC: HELO host\nS: 250 hello\n" +
         kMailRefused, "<<< 220 slow\n>>> HELO host\\r\\n\n<<< 250 hello\n" + kMailRefusedLog, {"b@y.org"}, false,
     "", 400},
    {"LoginWithEhlo",
     "S: 220 ready\nC: EHLO host\nS: 250-there\nS: 250-SIZE 1000\nS: 250 HELP\nC: AUTH LOGIN\nS: 334 VXNlcm5hbWU6\n"
     "C: YW5u\nS: 334 UGFzc3dvcmQ6\nC: c2VjcmV0\nS: 235 welcome\n" + kMailRefused,
     "<<< 220 ready\n>>> EHLO host\\r\\n\n<<< 250-there\n<<< 250-SIZE 1000\n<<< 250 HELP\n>>> AUTH LOGIN\\r\\n\n"
     "<<< 334 VXNlcm5hbWU6\n>>> YW5u\\r\\n\n<<< 334 UGFzc3dvcmQ6\n>>> ********\\r\\n\n<<< 235 welcome\n" +
         kMailRefusedLog,
     {"b@y.org"}, true},
    {"EmptyPasswordIsAnEmptyLine",
     "S: 220 ready\nC: EHLO host\nS: 250 there\nC: AUTH LOGIN\nS: 334 VXNlcm5hbWU6\nC: YW5u\nS: 334 UGFzc3dvcmQ6\n"
     "C: \nS: 535 bad credentials\n",
     "<<< 220 ready\n>>> EHLO host\\r\\n\n<<< 250 there\n>>> AUTH LOGIN\\r\\n\n<<< 334 VXNlcm5hbWU6\n"
     ">>> YW5u\\r\\n\n<<< 334 UGFzc3dvcmQ6\n>>> ********\\r\\n\n<<< 535 bad credentials\n[done: failure]\n",
     {"b@y.org"}, true, ""},
    {"AuthLoginRefused", "S: 220 ready\nC: EHLO host\nS: 250 there\nC: AUTH LOGIN\nS: 504 not here\n",
     "<<< 220 ready\n>>> EHLO host\\r\\n\n<<< 250 there\n>>> AUTH LOGIN\\r\\n\n<<< 504 not here\n[done: failure]\n",
     {"b@y.org"}, true},
    {"HeloRefused", "S: 220 ready\nC: HELO host\nS: 502 no\n",
     "<<< 220 ready\n>>> HELO host\\r\\n\n<<< 502 no\n[done: failure]\n"},
    {"OnlyTheSecondRecipientAccepted",
     kHelo + "C: MAIL FROM: <a@x.org>\nS: 250 ok\nC: RCPT TO: <r1@y>\nS: 550 no\nC: RCPT TO: <r2@y>\nS: 250 ok\n"
             "C: RCPT TO: <r3@y>\nS: 550 no\n" + kData + kEnd,
     kHeloLog + ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250 ok\n>>> RCPT TO: <r1@y>\\r\\n\n<<< 550 no\n"
                ">>> RCPT TO: <r2@y>\\r\\n\n<<< 250 ok\n>>> RCPT TO: <r3@y>\\r\\n\n<<< 550 no\n" + kDataLog + kEndLog,
     {"r1@y", "r2@y", "r3@y"}},
    {"EveryRecipientRefused",
     kHelo + "C: MAIL FROM: <a@x.org>\nS: 250 ok\nC: RCPT TO: <r1@y>\nS: 550 no\nC: RCPT TO: <r1@y>\nS: 553 no\n",
     kHeloLog + ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250 ok\n>>> RCPT TO: <r1@y>\\r\\n\n<<< 550 no\n"
                ">>> RCPT TO: <r1@y>\\r\\n\n<<< 553 no\n<<< SMTP Server doesn't relay emails.\n[done: failure]\n",
     {"r1@y", "r1@y"}},
    {"Recipient251Counts", kHelo + "C: MAIL FROM: <a@x.org>\nS: 250 ok\nC: RCPT TO: <b@y.org>\nS: 251 forwarded\n" +
                               kData + kEnd,
     kHeloLog + ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250 ok\n>>> RCPT TO: <b@y.org>\\r\\n\n<<< 251 forwarded\n" +
         kDataLog + kEndLog},
    {"RepliesEndingInBareLineFeeds",
     "R: 220 ready\\n\nC: HELO host\nR: 250 hello\\n\nC: MAIL FROM: <a@x.org>\nR: 550 no\\r\\r\\n\n",
     "<<< 220 ready\n>>> HELO host\\r\\n\n<<< 250 hello\n>>> MAIL FROM: <a@x.org>\\r\\n\n<<< 550 no\\r\n"
     "[done: failure]\n"},
    // 1023 bytes fit the 1024-byte buffer; the rest of the line is read next.
    {"ReplyLongerThanItsBuffer", kHelo + "C: MAIL FROM: <a@x.org>\nS: 250 {X2000}\nC: RCPT TO: <b@y.org>\nS: 550 no\n",
     kHeloLog + ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250 {X1019}\n<<< {X981}\n>>> RCPT TO: <b@y.org>\\r\\n\n"
                "<<< 550 no\n<<< SMTP Server doesn't relay emails.\n[done: failure]\n"},
    {"GreetingLongerThanItsBuffer", "S: 220-{X3000}\nS: 220 ok\nC: HELO host\nS: 250 hello\n" + kMailRefused,
     "<<< 220-{X2043}\n<<< {X957}\n<<< 220 ok\n>>> HELO host\\r\\n\n<<< 250 hello\n" + kMailRefusedLog},
    {"MailFromAnsweredOnSeveralLines",
     kHelo + "C: MAIL FROM: <a@x.org>\nS: 250-fine\nS: 250 really\nC: RCPT TO: <b@y.org>\nS: 550 no\n",
     kHeloLog + ">>> MAIL FROM: <a@x.org>\\r\\n\n<<< 250-fine\n<<< 250 really\n>>> RCPT TO: <b@y.org>\\r\\n\n"
                "<<< 550 no\n<<< SMTP Server doesn't relay emails.\n[done: failure]\n"},
    {"DataRefused", kHelo + kEnvelope + "C: DATA\nS: 554 no data\n",
     kHeloLog + kEnvelopeLog + ">>> DATA\\r\\n\n<<< 554 no data\n[done: failure]\n"},
    {"MessageRefused", kHelo + kEnvelope + kData + "S: 552 too big\n",
     kHeloLog + kEnvelopeLog + kDataLog + "<<< 552 too big\n[done: failure]\n"},
    {"QuitUnansweredKeepsTheSuccess", kHelo + kEnvelope + kData + "S: 250 queued\nC: QUIT\n",
     kHeloLog + kEnvelopeLog + kDataLog + "<<< 250 queued\n>>> QUIT\\r\\n\n<<< Time out.\n[done: success]\n"},
    {"QuitRefusedKeepsTheSuccess", kHelo + kEnvelope + kData + "S: 250 queued\nC: QUIT\nS: 500 what\n",
     kHeloLog + kEnvelopeLog + kDataLog + "<<< 250 queued\n>>> QUIT\\r\\n\n<<< 500 what\n[done: success]\n"},
    // The end-of-data mark gets the longer wait; other replies the shorter one.
    {"EndOfDataAnsweredAfterTheShortWait", kHelo + kEnvelope + kData + "P: 600\n" + kEnd,
     kHeloLog + kEnvelopeLog + kDataLog + kEndLog, {"b@y.org"}, false, "", 300, 1500},
    {"EndOfDataUnansweredPastTheLongWait", kHelo + kEnvelope + kData + "P: 900\n",
     kHeloLog + kEnvelopeLog + kDataLog + "<<< Time out.\n[done: failure]\n", {"b@y.org"}, false, "", 200, 400},
    {"ConnectionDroppedDuringTheData", kHelo + kEnvelope + "C: DATA\nS: 354 go\nK: 65536\n",
     kHeloLog + kEnvelopeLog + ">>> DATA\\r\\n\n<<< 354 go\n>>> Sending message body...\n>>> Time out.\n"
                               "[done: failure]\n",
     {"b@y.org"}, false, "", 2000, 4000, 16 << 20},
    {"ServerStopsReadingDuringTheData", kHelo + kEnvelope + "C: DATA\nS: 354 go\nP: 1000\n",
     kHeloLog + kEnvelopeLog + ">>> DATA\\r\\n\n<<< 354 go\n>>> Sending message body...\n>>> Time out.\n"
                               "[done: failure]\n",
     {"b@y.org"}, false, "", 200, 400, 32 << 20, 4096},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Dialogue : public ::testing::TestWithParam<Row> {};

TEST_P(Dialogue, LogAndOutcome) {
    const Row& row = GetParam();
    testutil::TempDir dir;
    std::string file;
    if (row.bigFile) {
        std::string line(98, 'x');
        line += "\r\n";
        std::string body;
        while (body.size() < row.bigFile) body += line;
        file = dir.Write("big.eml", body);
    } else {
        file = dir.Write("msg.eml", kMessage);
    }
    ScriptedServer server(Expand(row.script), row.receiveBuffer);
    auto notify = std::make_shared<RecordingNotify>();
    SendJob job;
    job.m_strServer = "127.0.0.1";
    job.m_nPort = server.Port();
    job.m_strFrom = "a@x.org";
    job.m_listRecipients = row.recipients;
    job.m_bAuth = row.auth;
    job.m_strUser = "ann";
    job.m_strPassword = row.password;
    job.m_strMessageFile = file;
    job.m_pNotify = notify;
    job.m_nWaitMs = row.waitMs;
    job.m_nEndOfDataWaitMs = row.endWaitMs;
    CSmtpSender().Run(job);

    std::string prologue = ">>> Initiating...\n>>> Connecting to 127.0.0.1:" + std::to_string(server.Port()) +
                           "...\n>>> OK\n";
    EXPECT_EQ(notify->Log(), prologue + Expand(row.log));
    EXPECT_EQ(server.Finish(), "");
    if (!row.bigFile && row.log.find("[done: success]") != std::string::npos) {
        EXPECT_EQ(server.Data(), std::string(kMessage) + "\r\n.\r\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Smtp, Dialogue, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
