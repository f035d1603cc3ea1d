// The command line as a user runs it: the real program in a real folder.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "cli/CommandLine.h"

namespace {

using testutil::ReadFile;
using testutil::RunCommand;
using testutil::TempDir;

struct CommandLine : ::testing::Test {
    TempDir dir;
    int Run(const std::string& args, std::string& out) {
        return RunCommand("cd " + dir.Path() + " && " + QUILLORY_CLI + " " + args, &out);
    }
};

TEST_F(CommandLine, ComposesWithRelativePathsFromTheStartingFolder) {
    dir.Write("site/page.html", "<p>hello</p>\n");
    dir.Write("files/a.txt", "first");
    dir.Write("files/b.bin", std::string("\0\1\2", 3));
    const std::string fields = " --subject 'Hi there' --from a@x --to b@y --cc c@z --attach files/b.bin "
                               "--attach files/a.txt";
    std::string out;
    // "out/" does not exist: the path is taken literally, so this must fail.
    EXPECT_EQ(Run("compose site/page.html -o out/../msg.eml" + fields, out), 1) << out;
    ASSERT_EQ(Run("compose site/page.html -o msg.eml" + fields, out), 0) << out;
    EXPECT_EQ(out, "");
    std::string msg = ReadFile(dir.Path() + "msg.eml");
    EXPECT_EQ(msg.rfind("From: a@x\r\nTo: b@y\r\nCc: c@z\r\nSubject: Hi there\r\n", 0), 0u);
    EXPECT_EQ(testutil::CheckEml(dir.Path() + "msg.eml", {"--html", dir.Path() + "site/page.html", "--attach",
                                                           dir.Path() + "files/b.bin", "--attach",
                                                           dir.Path() + "files/a.txt"}),
              "");
}

// Every run seeds the generator afresh; a fixed seed would give every message
// the same Content-IDs.
TEST_F(CommandLine, ContentIdsDifferFromRunToRun) {
    dir.Write("page.html", "<img src=\"a.png\">");
    dir.Write("a.png", "png");
    std::vector<std::string> ids;
    for (const char* name : {"one.eml", "two.eml"}) {
        std::string out;
        ASSERT_EQ(Run(std::string("compose page.html -o ") + name, out), 0) << out;
        std::string msg = ReadFile(dir.Path() + name);
        std::size_t at = msg.find("Content-ID: <");
        ASSERT_NE(at, std::string::npos);
        ids.push_back(msg.substr(at, msg.find('>', at) - at));
    }
    EXPECT_NE(ids[0], ids[1]);
}

TEST_F(CommandLine, ExitStatusAndWhatIsPrinted) {
    dir.Write("p.html", "<p>hi</p>");
    const std::string usage = "Usage: quillory-cli compose";
    const struct {
        std::string args;
        int rc;
        std::string outHas;
    } cases[] = {
        {"compose x.html -o y.eml", 1, "quillory-cli: cannot open HTML file '" + dir.Path() +
                                           "x.html': No such file or directory\n"},
        {"", 2, usage},
        {"compose p.html", 2, "no output file"},
        {"compose p.html -o", 2, "option '-o' needs a value"},
        {"compose a.html b.html -o c.eml", 2, "more than one HTML file"},
        {"compose a.html -o c.eml --bogus", 2, "unknown option '--bogus'"},
        {"--help", 0, "--attach FILE"},
        {"compose p.html --help", 0, usage},
        {"--version", 0, "quillory-cli 2.0.617\n"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(Run(c.args, out), c.rc) << c.args;
        EXPECT_NE(out.find(c.outHas), std::string::npos) << c.args << "\n" << out;
    }
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "y.eml"));
}

// An option's value is a value, even when it looks like an option.
TEST_F(CommandLine, ValuesThatLookLikeOptionsAreValues) {
    dir.Write("p.html", "<p>hi</p>");
    std::string out;
    ASSERT_EQ(Run("compose p.html -o x.eml --subject --help --to --version", out), 0) << out;
    EXPECT_EQ(out, "");
    EXPECT_NE(ReadFile(dir.Path() + "x.eml").find("To: --version\r\nSubject: --help\r\n"), std::string::npos);
}

TEST(CommandLineParse, AttachmentsInOrderAndPathsAbsolute) {
    CliRequest r = ParseCommandLine({"compose", "p.html", "--attach", "/abs/x", "-o", "o.eml", "--attach", "rel/y"},
                                    "/home/u/");
    ASSERT_EQ(r.kind, CliRequest::Kind::Compose) << r.error;
    EXPECT_EQ(r.job.m_strHtmlPath, "/home/u/p.html");
    EXPECT_EQ(r.job.m_strOutputPath, "/home/u/o.eml");
    EXPECT_EQ(r.job.m_listAttachments, (std::vector<std::string>{"/abs/x", "/home/u/rel/y"}));
}

} // namespace
