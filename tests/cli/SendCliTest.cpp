// "quillory-cli send" as a user runs it: the real program, a real server, the
// temporary message in its own folder so that leftovers show.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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
    std::string page;
    void SetUp() override {
        page = dir.Write("page.html", "<html><body><p>.hello</p><img src=\"logo.png\"></body></html>\n");
        dir.Write("logo.png", std::string("\x89PNG\r\n\x1a\n", 8));
    }
    std::string Cli(const std::string& args) {
        return "cd " + dir.Path() + " && exec env TMPDIR=" + tmp.Path() + " QUILLORY_SMTP_PASSWORD='pa ss' " +
               QUILLORY_CLI + " send " + args + " </dev/null";
    }
};

TEST_F(SendCli, SendsWithLoginAndPrintsTheDialogue) {
    testutil::RealSmtpServer server("ann", "pa ss");
    dir.Write("notes.txt", "attached\n");
    std::string out;
    int rc = RunCommand(Cli("page.html --from 'Ann <ann@x.org>' --to 'b@y.org; Bob <bob@y.org>' --cc c@z.org "
                            "--subject Hi --attach notes.txt --server localhost --port " +
                            std::to_string(server.Port()) + " --auth --user ann"),
                        &out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.rfind(">>> Initiating...\n>>> Connecting to localhost:" + std::to_string(server.Port()) +
                            "...\n>>> OK\n<<< 220 ",
                        0),
              0u)
        << out;
    // The window's log shows the end mark as the prefix line and the dot line.
    EXPECT_NE(out.find(">>> ********\n<<< 235 "), std::string::npos) << out;
    EXPECT_NE(out.find(">>> RCPT TO: <bob@y.org>\n<<< 250 OK\n>>> RCPT TO: <c@z.org>\n"), std::string::npos);
    EXPECT_NE(out.find(">>> Done\n>>> \n.\n<<< 250 OK stored\n"), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with(">>> QUIT\n<<< 221 Bye\n\nSent email successfully.\n")) << out;
    EXPECT_EQ(out.find("cGEgc3M="), std::string::npos) << "the password's base64 was printed";
    EXPECT_EQ(server.Envelope(1), "ann\nann@x.org\nb@y.org\nbob@y.org\nc@z.org\n");
    std::string msg = server.Message(1);
    EXPECT_EQ(msg.rfind("From: Ann <ann@x.org>\r\nTo: b@y.org; Bob <bob@y.org>\r\nCc: c@z.org\r\nSubject: Hi\r\n", 0),
              0u);
    std::string stored = dir.Path() + "stored.eml";
    dir.Write("stored.eml", msg);
    // The picture travels inside the message.
    EXPECT_EQ(testutil::CheckEml(stored, {"--resource", dir.Path() + "logo.png", "--attach", dir.Path() + "notes.txt",
                                          "--typed", "To"}),
              "");
    EXPECT_TRUE(ListFolder(tmp.Path()).empty());
}

TEST_F(SendCli, TakesWhatIsNotGivenFromTheSavedSettings) {
    testutil::RealSmtpServer server("saved", "stored pw");
    std::string out;
    ASSERT_EQ(RunCommand("echo 'stored pw' | " + std::string(QUILLORY_CLI) + " options --server 127.0.0.1 --port " +
                             std::to_string(server.Port()) + " --auth on --user saved --password-stdin",
                         &out),
              0)
        << out;
    // No server, port, account or password on the command line, and none in the environment.
    int rc = RunCommand("cd " + dir.Path() + " && exec env -u QUILLORY_SMTP_PASSWORD TMPDIR=" + tmp.Path() + " " +
                            QUILLORY_CLI + " send page.html --from a@x.org --to b@y.org </dev/null",
                        &out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find(">>> Connecting to 127.0.0.1:" + std::to_string(server.Port())), std::string::npos) << out;
    EXPECT_EQ(server.Envelope(1), "saved\na@x.org\nb@y.org\n");
}

// The trust store is the system's: OpenSSL's SSL_CERT_FILE stands in for it here.
TEST_F(SendCli, EncryptsAsAskedOrAsSaved) {
    testutil::TestCertificates certs;
    testutil::TestCertificates::Issued cert = certs.Issue("server", "DNS:localhost,IP:127.0.0.1");
    testutil::RealSmtpServer implicit("ann", "pa ss", {"--tls", "implicit", "--cert", cert.cert, "--key", cert.key});
    const std::string trust = "unset SSL_CERT_DIR; export SSL_CERT_FILE=" + certs.CaFile() + "; ";
    const std::string fields = "page.html --from a@x.org --to b@y.org --server localhost --auth --user ann --port ";
    std::string out;
    EXPECT_EQ(RunCommand(trust + Cli(fields + std::to_string(implicit.Port()) + " --security tls"), &out), 0) << out;
    EXPECT_NE(out.find("...\n>>> OK\n>>> TLS handshake OK: TLSv1.3, TLS_"), std::string::npos) << out;
    EXPECT_EQ(implicit.Envelope(1), "ann\na@x.org\nb@y.org\n");

    // The system's own authorities do not know the test's.
    EXPECT_EQ(RunCommand("unset SSL_CERT_FILE SSL_CERT_DIR; " +
                             Cli(fields + std::to_string(implicit.Port()) + " --security tls"),
                         &out),
              1);
    EXPECT_NE(out.find(">>> OK\n>>> Certificate verification failed: unable to get local issuer certificate.\n\n"
                       "Failed to sent email."),
              std::string::npos)
        << out;

    // Saved as STARTTLS; a "none" on the command line wins over it.
    testutil::RealSmtpServer starttls("ann", "pa ss", {"--tls", "starttls", "--cert", cert.cert, "--key", cert.key});
    ASSERT_EQ(RunCommand(std::string(QUILLORY_CLI) + " options --security starttls", &out), 0) << out;
    EXPECT_EQ(RunCommand(trust + Cli(fields + std::to_string(starttls.Port())), &out), 0) << out;
    EXPECT_NE(out.find(">>> STARTTLS\n<<< 220 Ready to start TLS\n>>> TLS handshake OK: "), std::string::npos) << out;
    EXPECT_EQ(RunCommand(trust + Cli(fields + std::to_string(starttls.Port()) + " --security none"), &out), 1);
    EXPECT_EQ(out.find(">>> STARTTLS"), std::string::npos) << out;
    EXPECT_NE(out.find("<<< 250 HELP\n>>> AUTH LOGIN\n<<< 530 Must issue a STARTTLS command first\n"), std::string::npos)
        << out;

    EXPECT_EQ(RunCommand(Cli(fields + "25 --security ssl"), &out), 2);
    EXPECT_NE(out.find("--security takes none, starttls or tls, not 'ssl'"), std::string::npos) << out;
}

TEST_F(SendCli, FailedDeliveryEndsWithTheFailureText) {
    testutil::ScriptedServer server("S: 554 not today\n");
    std::string out;
    EXPECT_EQ(RunCommand(Cli("page.html --from a@x --to b@y --server 127.0.0.1 --port " + std::to_string(server.Port())),
                         &out),
              1);
    EXPECT_EQ(out, ">>> Initiating...\n>>> Connecting to 127.0.0.1:" + std::to_string(server.Port()) +
                       "...\n>>> OK\n<<< 554 not today\n\nFailed to sent email. Please check SMTP settings or contact "
                       "us at <support@quillory.example>.\n");
    EXPECT_EQ(server.Finish(), "");
    EXPECT_TRUE(ListFolder(tmp.Path()).empty());

    // No server given: the worker refuses the job.
    EXPECT_EQ(RunCommand(Cli("page.html --from a@x --to b@y"), &out), 1);
    EXPECT_EQ(out.rfind(">>> Initiating...\n>>> Parameters error. Please check SMTP settings.\n\nFailed to sent", 0), 0u);
    // A composition failure: nothing is sent, the temporary file is gone.
    EXPECT_EQ(RunCommand(Cli("missing.html --from a@x --to b@y --server 127.0.0.1"), &out), 1);
    EXPECT_NE(out.find("cannot open HTML file"), std::string::npos) << out;
    EXPECT_TRUE(ListFolder(tmp.Path()).empty());
}

TEST_F(SendCli, MissingFieldsAndUnsafeAddressesAreRefusedFirst) {
    struct Case {
        std::string args, message;
    } cases[] = {
        {"--from a@x --to b@y", "Please choose a HTML file."},
        {"page.html --to b@y", "Please enter mail \"From\"."},
        {"page.html --from ' ; , <>' --to b@y", "Please enter mail \"From\"."},
        {"page.html --from a@x", "Please enter mail \"To\"."},
        {"page.html --from a@x --to ' ;; , '", "Please enter mail \"To\"."},
        {"page.html --from a@x --to 'b@y' --cc \"$(printf 'c@z\\r\\nRSET')\"",
         "The address \"c@z\\r\\nRSET\" contains a control character."},
        {"page.html --from \"$(printf 'Ann\\nB <a@x>')\" --to b@y", "The address \"Ann\\nB <a@x>\" contains a control character."},
        {"page.html --from 'a@x <b@y>>' --to b@y", "The address \"a@x <b@y>>\" has '>' without '<'."},
        {"page.html --from 'Ann <a@x<evil>' --to b@y", "The address \"Ann <a@x<evil>\" is not valid."},
        {"page.html --from a@x --to '\"Doe, John\" <j@y>'", ""},  // accepted, then the connection fails
    };
    for (const Case& c : cases) {
        std::string out;
        int rc = RunCommand(Cli(c.args + " --server 127.0.0.1 --port 0"), &out);
        if (c.message.empty()) {
            EXPECT_EQ(rc, 1) << c.args << "\n" << out;  // accepted, then the connection fails
            continue;
        }
        EXPECT_EQ(rc, 2) << c.args;
        EXPECT_EQ(out, "quillory-cli: " + c.message + "\n") << c.args;
    }
    EXPECT_TRUE(ListFolder(tmp.Path()).empty());
    std::string out;
    EXPECT_EQ(RunCommand(Cli("page.html --from a@x --to b@y --port twenty-five"), &out), 2);
    EXPECT_NE(out.find("--port needs a number"), std::string::npos);
}

// Ctrl-C while the server holds the data: the program ends at once and takes
// its temporary message with it; while it runs, only we can read that file.
TEST_F(SendCli, InterruptRemovesTheTemporaryMessage) {
    dir.Write("big.bin", std::string(4 << 20, 'z'));
    testutil::ScriptedServer server(
        "S: 220 ready\nC: HELO host\nS: 250 hello\nC: MAIL FROM: <a@x>\nS: 250 ok\nC: RCPT TO: <b@y>\nS: 250 ok\n"
        "C: DATA\nS: 354 go\nP: 1500\n",
        4096);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        std::string cmd = Cli("page.html --from a@x --to b@y --attach big.bin --server 127.0.0.1 --port " +
                              std::to_string(server.Port()));
        ::execl("/bin/sh", "sh", "-c", cmd.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (text.find(">>> Sending message body...") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ASSERT_NE(text.find(">>> Sending message body..."), std::string::npos) << text;
    std::vector<std::string> names = ListFolder(tmp.Path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("EML", 0), 0u) << names[0];
    struct stat st {};
    ASSERT_EQ(::stat((tmp.Path() + names[0]).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    auto took = std::chrono::steady_clock::now() - start;
    ::close(out[0]);
    EXPECT_LT(took, std::chrono::seconds(1));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal: the program did not clean up";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(ListFolder(tmp.Path()).empty());
}

} // namespace
