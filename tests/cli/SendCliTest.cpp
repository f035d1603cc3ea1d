// "quillory-cli send" as a user runs it: the exit status and words of each end,
// and no temporary message may outlive a send (it is made in a folder of its
// own so that leftovers show). The pipeline's outcomes as values: tests/smtp, tests/app.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "TestUtil.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/ScriptedServer.h"
#include "smtp/TestCertificates.h"

namespace {

using testutil::ListFolder;
using testutil::RunCommand;
using testutil::TempDir;

struct SendCli : ::testing::Test {
    TempDir dir;
    TempDir tmp;  // $TMPDIR of the program
    std::string page = dir.Write("page.html", "<html><body><p>.hello</p><img src=\"logo.png\"></body></html>\n");
    std::string logo = dir.Write("logo.png", std::string("\x89PNG\r\n\x1a\n", 8));

    struct Result {
        int rc;
        std::string out, err;
    };
    Result Send(const std::string& args, const std::string& env = "QUILLORY_SMTP_PASSWORD='pa ss'") {
        Result r;
        const std::string errFile = dir.Path() + "stderr.txt";
        r.rc = RunCommand("{ cd " + dir.Path() + " && exec env " + env + " TMPDIR=" + tmp.Path() + " " +
                              QUILLORY_CLI + " send " + args + " </dev/null 2>" + errFile + "; }",
                          &r.out);
        r.err = testutil::ReadFile(errFile);
        return r;
    }
};

const std::string kPartly =
    "S: 220 hi\nC: *\nS: 250 hi\nC: MAIL FROM:<a@x.org>\nS: 250 ok\nC: RCPT TO:<b@y.org>\nS: 250 ok\n"
    "C: RCPT TO:<c@z.org>\nS: 550 5.1.1 no such user\nC: DATA\nS: 354 go\nD:\nS: 250 queued\nC: QUIT\nS: 221 bye\n";

// The server's bytes must not reach the terminal raw: ESC and BEL could
// retitle it, a CR could paint over the line.
const std::string kHostile = "S: 554 \x1b]0;owned\x07 go\raway\n";
const std::string kHostileShown = "554 \\x1b]0;owned\\x07 go\\raway";

TEST_F(SendCli, EachEndHasItsStatusAndItsWords) {
    testutil::RealSmtpServer real("ann", "pa ss");
    int closedPort;
    { testutil::ScriptedServer gone(""); closedPort = gone.Port(); }
    const std::string closed = std::to_string(closedPort);
    enum Server { Real, Scripted, Closed };
    struct Case {
        const char* name;
        Server server;
        std::string script, from, to, password;  // a password means a login as ann
        std::string html;
        int rc;
        std::string err, outHas = {};  // err exactly
    } cases[] = {
        {"delivered", Real, "", "a@x.org", "b@y.org", "pa ss", "page.html", 0, "",
         "<<< 221 Bye\n\nSent email successfully.\n"},
        {"wrong password", Real, "", "a@x.org", "b@y.org", "guess", "page.html", 1,
         "Failure: The server refused the password (535 5.7.8 Authentication credentials invalid)\n",
         ">>> ********\n<<< 535 "},
        {"partly delivered", Scripted, kPartly, "a@x.org", "b@y.org, c@z.org", "", "page.html", 4,
         "Not delivered to: c@z.org\n", "\nSent email successfully.\n"},
        {"connection refused", Closed, "", "a@x.org", "b@y.org", "", "page.html", 1,
         "Failure: Connection refused by 127.0.0.1:" + closed + "\n", ">>> Connection refused (127.0.0.1:" + closed + ")\n"},
        {"hostile reply", Scripted, kHostile, "a@x.org", "b@y.org", "", "page.html", 1,
         "Failure: The server refused the connection (" + kHostileShown + ")\n", "<<< " + kHostileShown + "\n"},
        {"page missing", Closed, "", "a@x.org", "b@y.org", "", "missing.html", 1,
         "quillory-cli: cannot open HTML file '" + dir.Path() + "missing.html': No such file or directory\n"},
        {"missing From", Closed, "", "", "b@y.org", "", "page.html", 2, "quillory-cli: Please enter mail \"From\".\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<testutil::ScriptedServer> scripted;
        if (c.server == Scripted) scripted = std::make_unique<testutil::ScriptedServer>(c.script);
        const int port = c.server == Real ? real.Port() : c.server == Closed ? closedPort : scripted->Port();
        Result r = Send(c.html + " --from '" + c.from + "' --to '" + c.to + "' --server 127.0.0.1 --port " +
                            std::to_string(port) + (c.password.empty() ? "" : " --auth --user ann --security none"),
                        "QUILLORY_SMTP_PASSWORD='" + c.password + "'");
        EXPECT_EQ(r.rc, c.rc) << r.out << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_NE(r.out.find(c.outHas), std::string::npos) << r.out;
        for (char ch : r.out + r.err) EXPECT_TRUE(ch == '\n' || static_cast<unsigned char>(ch) >= 0x20) << int(ch);
        EXPECT_TRUE(ListFolder(tmp.Path()).empty()) << "the program left its temporary message";
    }
}

// An attached message with 8-bit bytes goes as it is where EHLO offers
// 8BITMIME, and in base64 after HELO, which offers nothing.
TEST_F(SendCli, SendsTheComposedPageWithItsParts) {
    testutil::RealSmtpServer server("ann", "pa ss");
    dir.Write("notes.txt", "attached\n");
    const std::string forwarded = "Subject: fwd\r\n\r\ncaf\xc3\xa9\r\n";
    dir.Write("fwd.eml", forwarded);
    const std::string fields = "page.html --from 'Ann <ann@x.org>' --to 'b@y.org; Bob <bob@y.org>' --cc c@z.org "
                               "--subject Hi --attach notes.txt --attach fwd.eml --webmail --server localhost --port " +
                               std::to_string(server.Port());
    for (int n : {1, 2}) {
        SCOPED_TRACE(n == 1 ? "EHLO" : "HELO");
        Result r = Send(fields + (n == 1 ? " --auth --user ann --security none" : ""));
        EXPECT_EQ(r.rc, 0) << r.out << r.err;
        // The log shows the end mark as the prefix line and the dot line.
        EXPECT_NE(r.out.find(">>> Done\n>>> \n.\n<<< 250 OK stored\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("MAIL FROM:<ann@x.org> BODY=8BITMIME\n") != std::string::npos, n == 1) << r.out;
        EXPECT_EQ(server.Envelope(n), (n == 1 ? "ann" : "") + std::string("\nann@x.org\nb@y.org\nbob@y.org\nc@z.org\n"))
            << n;
        // The picture travels inside the message, and the text's leading dot survives the transfer.
        const std::string bytes = server.Message(n);
        std::string stored = dir.Write("stored.eml", bytes);
        EXPECT_EQ(bytes.find(forwarded) != std::string::npos, n == 1);
        EXPECT_EQ(std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; }), n == 1);
        EXPECT_EQ(testutil::CheckEml(stored, {"--resource", logo, "--attach", dir.Path() + "notes.txt", "--attach",
                                              dir.Path() + "fwd.eml", "--header", "To: b@y.org, Bob <bob@y.org>", "--text",
                                              dir.Write("text.txt", ".hello\n")}),
                  "");
    }
}

// What is not given comes from the saved settings, but the saved password
// only goes to the server, port and user it was saved for, and a login
// crosses the network in clear text only when the command line says so.
TEST_F(SendCli, TheSavedPasswordGoesOnlyWhereItWasSavedFor) {
    testutil::RealSmtpServer server("saved", "stored pw", {"--oauth-token", "tok-123"});
    testutil::RealSmtpServer other("saved", "other pw");
    const std::string port = std::to_string(server.Port()), otherPort = std::to_string(other.Port());
    std::string out;
    ASSERT_EQ(RunCommand("echo 'stored pw' | " + std::string(QUILLORY_CLI) + " options --server 127.0.0.1 --port " +
                             port + " --auth on --user saved --password-stdin",
                         &out),
              0)
        << out;
    const std::string unset = "-u QUILLORY_SMTP_PASSWORD";
    const std::string saved = "saved at 127.0.0.1 port " + port;
    const struct {
        const char* name;
        std::string args, env;
        int rc;
        std::string shown;  // on standard output or error
    } cases[] = {
        {"the saved account, in clear text as asked", "--security none", unset, 0, "Sent email successfully."},
        {"clear text not asked for here", "", unset, 2, "or --security none to send it in clear text all the same"},
        {"another server name", "--server localhost --security none", unset, 2,
         "no password for saved at localhost port " + port + " (the saved password is for " + saved + ", not for "
         "saved at localhost port " + port + "): give it in QUILLORY_SMTP_PASSWORD or on a terminal\n"},
        {"another port, the environment's password", "--port " + otherPort + " --security none",
         "QUILLORY_SMTP_PASSWORD='other pw'", 0,
         "Note: the saved password is for " + saved + ", not for saved at 127.0.0.1 port " + otherPort +
             "; using QUILLORY_SMTP_PASSWORD.\n"},
        {"no child inherits the environment's password",
         "--security none --auth-method xoauth2 --oauth-token-command \"sh -c 'env >env.txt; echo tok-123'\"",
         "QUILLORY_SMTP_PASSWORD=leaked", 0, ">>> AUTH XOAUTH2 ********\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Result r = Send("page.html --from a@x.org --to b@y.org " + c.args, c.env);
        EXPECT_EQ(r.rc, c.rc) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.shown), std::string::npos) << r.out << r.err;
    }
    EXPECT_EQ(server.Envelope(1), "saved\na@x.org\nb@y.org\n");
    EXPECT_EQ(other.Envelope(1), "saved\na@x.org\nb@y.org\n");
    const std::string childEnv = testutil::ReadFile(dir.Path() + "env.txt");
    EXPECT_NE(childEnv.find("TMPDIR="), std::string::npos) << "the token command did not run";
    EXPECT_EQ(childEnv.find("QUILLORY_SMTP_PASSWORD"), std::string::npos) << childEnv;
}

// The trust store is the system's: OpenSSL's SSL_CERT_FILE stands in for it here.
TEST_F(SendCli, EncryptsAsSavedUnlessToldOtherwise) {
    testutil::TestCertificates certs;
    testutil::TestCertificates::Issued cert = certs.Issue("server", "DNS:localhost,IP:127.0.0.1");
    testutil::RealSmtpServer server("ann", "pa ss", {"--tls", "starttls", "--cert", cert.cert, "--key", cert.key});
    const std::string trusted = "-u SSL_CERT_DIR SSL_CERT_FILE=" + certs.CaFile() + " QUILLORY_SMTP_PASSWORD='pa ss'";
    const std::string fields = "page.html --from a@x.org --to b@y.org --server localhost --auth --user ann --port " +
                               std::to_string(server.Port());
    std::string out;
    ASSERT_EQ(RunCommand(std::string(QUILLORY_CLI) + " options --security starttls", &out), 0) << out;

    Result r = Send(fields, trusted);
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(">>> STARTTLS\n<<< 220 Ready to start TLS\n>>> TLS handshake OK: "), std::string::npos);
    EXPECT_EQ(server.Envelope(1), "ann\na@x.org\nb@y.org\n");
    // The system's own authorities do not know the test's.
    r = Send(fields, "-u SSL_CERT_FILE -u SSL_CERT_DIR QUILLORY_SMTP_PASSWORD=x");
    EXPECT_EQ(r.err, "Failure: Certificate verification failed: unable to get local issuer certificate\n");
    r = Send(fields + " --security none", trusted);
    EXPECT_EQ(r.out.find(">>> STARTTLS"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "Failure: The server refused the login (530 Must issue a STARTTLS command first)\n");
}

// Ctrl-C while the server holds the data: the program ends at once and takes
// its temporary message with it; while it runs, only we can read that file.
TEST_F(SendCli, InterruptRemovesTheTemporaryMessage) {
    dir.Write("big.bin", std::string(4 << 20, 'z'));
    testutil::ScriptedServer server(
        "S: 220 ready\nC: *\nS: 250 hello\nC: MAIL FROM:<a@x>\nS: 250 ok\nC: RCPT TO:<b@y>\nS: 250 ok\n"
        "C: DATA\nS: 354 go\nP: 1500\n",
        4096);
    std::string out;
    RunCommand("cd " + dir.Path() + " && { TMPDIR=" + tmp.Path() + " " + QUILLORY_CLI +
                   " send page.html --from a@x --to b@y --attach big.bin --server 127.0.0.1 --port " +
                   std::to_string(server.Port()) + " </dev/null >log.txt 2>&1 & pid=$!; "
                   "for i in $(seq 100); do grep -q 'Sending message body' log.txt && break; sleep 0.1; done; "
                   "stat -c %a " + tmp.Path() + "EML*; start=$(date +%s%N); kill -INT $pid; wait $pid; "
                   "echo exit $? after $(( ($(date +%s%N) - start) / 1000000 )) ms; }",
               &out);
    int rc = 0, ms = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "600\nexit %d after %d ms", &rc, &ms), 2) << out;
    EXPECT_EQ(rc, 130);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(ListFolder(tmp.Path()).empty());
}

} // namespace
