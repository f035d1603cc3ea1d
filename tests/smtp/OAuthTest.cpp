// XOAUTH2 and the choice of login method, against aiosmtpd with a token
// authenticator that answers a bad token the way the big providers do.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "TestUtil.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/SmtpSender.h"

namespace {

class LogNotify : public ISendNotify {
public:
    void OnSendLog(std::uint64_t, LogDirection, const std::string& line) override {
        std::lock_guard<std::mutex> g(m_lock);
        log += line + "\n";
    }
    void OnSendDone(std::uint64_t, const SendOutcome&) override {}
    std::mutex m_lock;
    std::string log;
};

struct Case {
    const char* name;
    SmtpAuthMethod method;
    std::string tokenCommand;
    bool delivered;
    SendFailure failure;
    const char* logged;  // a line the log must hold
};

TEST(OAuth, MethodsTokensAndTheirFailures) {
    testutil::TempDir dir;
    std::string msg = dir.Write("m.eml", "Subject: t\r\n\r\nhi\r\n");
    testutil::RealSmtpServer server("ann", "pw", {"--oauth-token", "tok-123"});
    const Case cases[] = {
        {"token", kAuthXOAuth2, "echo tok-123", true, SendFailure::None, ">>> AUTH XOAUTH2 ********\r\n"},
        {"auto picks XOAUTH2 with a token command", kAuthAuto, "printf 'tok-123\\nsecond line\\n'", true,
         SendFailure::None, ">>> AUTH XOAUTH2 ********\r\n"},
        {"auto without one logs in", kAuthAuto, "", true, SendFailure::None, ">>> AUTH LOGIN\r\n"},
        {"plain when asked", kAuthPlain, "", true, SendFailure::None, ">>> AUTH PLAIN ********\r\n"},
        {"bad token: 334 JSON, empty answer, 535", kAuthXOAuth2, "echo wrong", false, SendFailure::Refused,
         ">>> \r\n"},
        {"failing command", kAuthXOAuth2, "false", false, SendFailure::TokenFailed, nullptr},
        {"command printing nothing", kAuthXOAuth2, "true", false, SendFailure::TokenFailed, nullptr},
        {"hanging command", kAuthXOAuth2, "sleep 20", false, SendFailure::TokenFailed, nullptr},
        {"unclosed quote", kAuthXOAuth2, "echo 'tok", false, SendFailure::TokenFailed, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto notify = std::make_shared<LogNotify>();
        SendJob job;
        job.m_strServer = "127.0.0.1";
        job.m_nPort = server.Port();
        job.m_strFrom = "a@x.org";
        job.m_listRecipients = {"b@y.org"};
        job.m_bAuth = true;
        job.m_strUser = "ann";
        job.m_strPassword = "pw";
        job.m_nAuthMethod = c.method;
        job.m_strOAuthTokenCommand = c.tokenCommand;
        job.m_nTokenTimeoutMs = 500;
        job.m_strMessageFile = msg;
        job.m_pNotify = notify;
        job.m_nWaitMs = 5000;
        auto start = std::chrono::steady_clock::now();
        SendOutcome o = CSmtpSender().Run(job);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(o.bSuccess, c.delivered) << notify->log;
        EXPECT_EQ(o.failure, c.failure) << notify->log;
        if (c.logged) {
            EXPECT_NE(notify->log.find(c.logged), std::string::npos) << notify->log;
        }
        EXPECT_EQ(notify->log.find("tok-123"), std::string::npos) << "the token was logged";
        if (c.failure == SendFailure::Refused) {
            EXPECT_EQ(o.stage, SendStage::Auth);
            EXPECT_EQ(o.nReplyCode, 535);
            // The server's decoded JSON explains the refusal.
            EXPECT_NE(DescribeFailure(o).find("\"status\": \"401\""), std::string::npos) << DescribeFailure(o);
        }
    }
}

} // namespace
