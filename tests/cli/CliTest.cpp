// The command line as a user runs it: the real program in a real folder.
#include <gtest/gtest.h>

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
    int rc = RunCommand("cd " + dir.Path() +
                            " && " + Cli() +
                            " compose site/page.html -o out/../msg.eml --subject 'Hi there' --from a@x --to b@y "
                            "--cc c@z --attach files/b.bin --attach files/a.txt",
                        &out);
    // "out/" does not exist: the path is taken literally, so this must fail.
    EXPECT_EQ(rc, 1) << out;
    rc = RunCommand("cd " + dir.Path() + " && " + Cli() +
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

// Arguments are read in the locale's codeset; what a server without SMTPUTF8
// would refuse is written as typed, with a warning; what cannot be a header is refused.
TEST(CommandLine, HeaderTextBeyondAscii) {
    TempDir dir;
    dir.Write("page.html", "<p>hello</p>\n");
    std::string out, run = "cd " + dir.Path() + " && env LC_ALL=C.UTF-8 " + Cli() + " compose page.html -o m.eml ";
    ASSERT_EQ(RunCommand(run + "--subject $(printf 'caf\\351') --from a@x.org --to 'zo\xc3\xab@x.de'", &out), 0) << out;
    EXPECT_EQ(out, "quillory-cli: warning: To: the address \"zo\xc3\xab@x.de\" has a non-ASCII local part, which only "
                   "servers offering SMTPUTF8 accept\n");
    std::string msg = testutil::ReadFile(dir.Path() + "m.eml");
    EXPECT_NE(msg.find("To: zo\xc3\xab@x.de\r\nSubject: =?UTF-8?B?Y2Fmw6k=?=\r\n"), std::string::npos) << msg;
    EXPECT_EQ(RunCommand(run + "--to 'Zo\xc3\xab'", &out), 1);
    EXPECT_EQ(out, "quillory-cli: To: The address \"Zo\xc3\xab\" has no domain.\n");
    EXPECT_EQ(RunCommand(run + "--subject " + std::string(1000, 'x'), &out), 1);
    EXPECT_EQ(out, "quillory-cli: Subject: a word is longer than a header line may be (998 octets)\n");
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

TEST(CommandLine, ParsesAttachmentsInOrderAndMakesPathsAbsolute) {
    CliRequest r = ParseCommandLine({"compose", "p.html", "--attach", "/abs/x", "-o", "o.eml", "--attach", "rel/y"},
                                    "/home/u/");
    ASSERT_EQ(r.kind, CliRequest::Kind::Compose) << r.error;
    EXPECT_EQ(r.job.m_strHtmlPath, "/home/u/p.html");
    EXPECT_EQ(r.job.m_strOutputPath, "/home/u/o.eml");
    EXPECT_EQ(r.job.m_listAttachments, (std::vector<std::string>{"/abs/x", "/home/u/rel/y"}));
}

} // namespace
