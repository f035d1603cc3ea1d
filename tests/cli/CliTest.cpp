// The command line as a user runs it: the real program in a real folder.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestUtil.h"
#include "cli/CommandLine.h"

namespace {

using testutil::RunCommand;
using testutil::TempDir;

std::string Cli() { return QUILLORY_CLI; }

TEST(CommandLine, ComposesWithRelativePathsFromTheStartingFolder) {
    TempDir dir;
    dir.Write("site/page.html", "<p>hello</p>\n");
    dir.Write("files/a.txt", "first");
    dir.Write("files/b.bin", std::string("\0\1\2", 3));
    std::string out;
    int rc = RunCommand("cd " + dir.Path() + " && " + Cli() +
                        " compose site/page.html -o msg.eml --subject 'Hi there' --from a@x --to b@y "
                        "--cc c@z --attach files/b.bin --attach files/a.txt",
                    &out);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(out, "");
    std::string msg = testutil::ReadFile(dir.Path() + "msg.eml");
    EXPECT_EQ(msg.rfind("From: a@x\r\nTo: b@y\r\nCc: c@z\r\nSubject: Hi there\r\n", 0), 0u);
    EXPECT_EQ(testutil::CheckEml(dir.Path() + "msg.eml", {"--html", dir.Path() + "site/page.html", "--attach",
                                                           dir.Path() + "files/b.bin", "--attach",
                                                           dir.Path() + "files/a.txt"}),
              "");
}

TEST(CommandLine, ContentIdsDifferFromRunToRun) {
    // Every run seeds the generator afresh; a fixed seed would give every
    // message the same Content-IDs.
    TempDir dir;
    dir.Write("page.html", "<img src=\"a.png\">");
    dir.Write("a.png", "png");
    std::string ids;
    for (const char* out : {"one.eml", "two.eml"}) {
        std::string text;
        ASSERT_EQ(RunCommand("cd " + dir.Path() + " && " + Cli() + " compose page.html -o " + out, &text), 0) << text;
        std::string msg = testutil::ReadFile(dir.Path() + out);
        std::size_t at = msg.find("Content-ID: <");
        ASSERT_NE(at, std::string::npos);
        ids += msg.substr(at, msg.find('>', at) - at) + "\n";
    }
    std::size_t nl = ids.find('\n');
    EXPECT_NE(ids.substr(0, nl), ids.substr(nl + 1, ids.size() - nl - 2)) << ids;
}

TEST(CommandLine, FailuresAndUsage) {
    TempDir dir;
    std::string out;
    EXPECT_EQ(RunCommand("cd " + dir.Path() + " && " + Cli() + " compose x.html -o y.eml", &out), 1);
    EXPECT_EQ(out, "quillory-cli: cannot open HTML file '" + dir.Path() + "x.html': No such file or directory\n");
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "y.eml"));

    EXPECT_EQ(RunCommand(Cli(), &out), 2);
    EXPECT_NE(out.find("Usage: quillory-cli compose"), std::string::npos);
    EXPECT_EQ(RunCommand(Cli() + " compose page.html", &out), 2);
    EXPECT_NE(out.find("no output file"), std::string::npos);
    EXPECT_EQ(RunCommand(Cli() + " compose page.html -o", &out), 2);
    EXPECT_EQ(RunCommand(Cli() + " compose a.html b.html -o c.eml", &out), 2);
    EXPECT_EQ(RunCommand(Cli() + " compose a.html -o c.eml --bogus", &out), 2);
    EXPECT_EQ(RunCommand(Cli() + " send a.html", &out), 2);

    EXPECT_EQ(RunCommand(Cli() + " --help", &out), 0);
    EXPECT_NE(out.find("--attach FILE"), std::string::npos);
    EXPECT_EQ(RunCommand(Cli() + " --version", &out), 0);
    EXPECT_EQ(out, "quillory-cli 2.0.617\n");
}

// "-o -" writes the message to standard output; files left out for safety
// are named on standard error, one line each.
TEST(CommandLine, StandardOutputAndLeftOutFiles) {
    TempDir dir, elsewhere;
    std::string secret = elsewhere.Write("secret", "key");
    dir.Write("page.html", "<img src=\"a.png\"><link href=\"" + secret + "\">");
    dir.Write("a.png", "png");
    std::string out;
    ASSERT_EQ(RunCommand("cd " + dir.Path() + " && (" + Cli() + " compose page.html -o - >msg.eml)", &out), 0) << out;
    EXPECT_EQ(out, "quillory-cli: warning: '" + secret +
                       "' is left out: it lies outside the page's folder and its type (application/octet-stream) is "
                       "not one the page can use there\n");
    EXPECT_EQ(testutil::CheckEml(dir.Path() + "msg.eml", {"--resource", dir.Path() + "a.png"}), "");
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "-"));
}

// A signal in the middle of a composition leaves no partial file behind and
// ends the program with 128 + the signal's number.
TEST(CommandLine, SignalsDuringComposeRemoveThePartialMessage) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        TempDir dir;
        std::string page = dir.Write("page.html", "<p>x</p>");
        std::string big = dir.Path() + "big.bin";
        ASSERT_EQ(::truncate(dir.Write("big.bin", "").c_str(), 4LL << 30), 0);  // sparse: costs no disk
        std::string output = dir.Path() + "out.eml";
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(QUILLORY_CLI, "quillory-cli", "compose", page.c_str(), "-o", output.c_str(), "--attach",
                    big.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait until the temporary message has content, then interrupt.
        bool writing = false;
        for (int i = 0; i < 10000 && !writing; ++i) {
            for (const std::string& name : testutil::ListFolder(dir.Path())) {
                struct stat st {};
                writing = writing || (name.rfind(".out.eml.", 0) == 0 && ::stat((dir.Path() + name).c_str(), &st) == 0 &&
                                      st.st_size > 0);
            }
            if (!writing) ::usleep(1000);
        }
        EXPECT_TRUE(writing);
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << sig << " killed the program";
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        EXPECT_EQ(testutil::ListFolder(dir.Path()).size(), 2u) << "left behind beside page.html and big.bin";
    }
}

TEST(CommandLine, ParsesAttachmentsInOrderAndMakesPathsAbsolute) {
    CliRequest r = ParseCommandLine({"compose", "p.html", "--attach", "/abs/x", "-o", "o.eml", "--attach", "rel/y"},
                                    "/home/u/");
    ASSERT_EQ(r.kind, CliRequest::Kind::Compose) << r.error;
    EXPECT_EQ(r.job.m_strHtmlPath, "/home/u/p.html");
    EXPECT_EQ(r.job.m_strOutputPath, "/home/u/o.eml");
    EXPECT_EQ(r.job.m_listAttachments, (std::vector<std::string>{"/abs/x", "/home/u/rel/y"}));
    EXPECT_EQ(ParseCommandLine({"compose", "p.html", "-o", "-"}, "/home/u/").job.m_strOutputPath, "-");
}

} // namespace
