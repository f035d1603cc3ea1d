// XOAUTH2 and the choice of login method, against aiosmtpd with a token
// authenticator that answers a bad token the way the big providers do.
#include <gtest/gtest.h>

#include <chrono>

#include "TestUtil.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/RecordingNotify.h"

namespace {

TEST(OAuth, MethodsTokensAndTheirFailures) {
    testutil::TempDir dir;
    std::string msg = dir.Write("m.eml", "Subject: t\r\n\r\nhi\r\n");
    testutil::RealSmtpServer server("ann", "pw", {"--oauth-token", "tok-123"});
    const struct {
        const char* name;
        SmtpAuthMethod method;
        std::string tokenCommand;
        SendFailure failure;
        const char* logged;  // a line the log must hold
    } cases[] = {
        {"token", kAuthXOAuth2, "echo tok-123", SendFailure::None, ">>> AUTH XOAUTH2 ********\n"},
        {"auto picks XOAUTH2 with a token command", kAuthAuto, "printf 'tok-123\\nsecond line\\n'", SendFailure::None,
         ">>> AUTH XOAUTH2 ********\n"},
        {"auto without one logs in", kAuthAuto, "", SendFailure::None, ">>> AUTH LOGIN\n"},
        {"plain when asked", kAuthPlain, "", SendFailure::None, ">>> AUTH PLAIN ********\n"},
        {"bad token: 334 JSON, empty answer, 535", kAuthXOAuth2, "echo wrong", SendFailure::Refused, ">>> \n"},
        {"failing command", kAuthXOAuth2, "false", SendFailure::TokenFailed, ""},
        {"command printing nothing", kAuthXOAuth2, "true", SendFailure::TokenFailed, ""},
        {"hanging command", kAuthXOAuth2, "sleep 20", SendFailure::TokenFailed, ""},
        {"unclosed quote", kAuthXOAuth2, "echo 'tok", SendFailure::TokenFailed, ""},
        {"endless output stops the command", kAuthXOAuth2, "yes tok-123", SendFailure::TokenFailed,
         "'yes' wrote more than 64 KiB"},
        {"a NUL in the token", kAuthXOAuth2, "printf 'tok\\0-123\\n'", SendFailure::TokenFailed,
         "printed a token with bytes other than printable ASCII"},
        // The command's own exit ends the wait, not the end of the pipe.
        {"a helper left holding the output", kAuthXOAuth2, "sh -c 'sleep 3 & echo tok-123'", SendFailure::None,
         ">>> AUTH XOAUTH2 ********\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto notify = std::make_shared<testutil::RecordingNotify>();
        SendJob job = testutil::PlainJob(server.Port(), msg, notify);
        job.m_bAuth = true;
        job.m_strPassword = "pw";
        job.m_nAuthMethod = c.method;
        job.m_strOAuthTokenCommand = c.tokenCommand;
        job.m_nTokenTimeoutMs = 500;
        job.m_nWaitMs = 5000;
        auto start = std::chrono::steady_clock::now();
        SendOutcome o = CSmtpSender().Run(job);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        std::string log = notify->Log();
        EXPECT_EQ(o.bSuccess, c.failure == SendFailure::None) << log;
        EXPECT_EQ(o.failure, c.failure) << log;
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(log.find("tok-123"), std::string::npos) << "the token was logged";
        if (c.failure == SendFailure::Refused) {
            EXPECT_EQ(o.stage, SendStage::Auth);
            EXPECT_EQ(o.nReplyCode, 535);
            // The server's decoded JSON explains the refusal.
            EXPECT_NE(DescribeFailure(o).find("\"status\": \"401\""), std::string::npos) << DescribeFailure(o);
        }
    }
}

} // namespace
