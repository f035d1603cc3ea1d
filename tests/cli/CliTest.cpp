// The command line as a user runs it: the real program in a real folder.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestUtil.h"
#include "core/Base64.h"

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

// An option's value is a value, even when it looks like an option. Every run
// seeds the generator afresh; a fixed seed would give every message the same Content-IDs.
TEST_F(CommandLine, ComposesWithRelativePathsFromTheStartingFolder) {
    dir.Write("site/page.html", "<p>hello</p><img src=\"a.png\">\n");
    dir.Write("site/a.png", "png");
    dir.Write("--version", "first");
    dir.Write("files/b.bin", std::string("\0\1\2", 3));
    const std::string fields = " --subject --help --from a@x --to b@y --cc c@z --attach files/b.bin "
                               "--attach --version";
    std::string out;
    // "out/" does not exist: the path is taken literally, so this must fail.
    EXPECT_EQ(Run("compose site/page.html -o out/../msg.eml" + fields, out), 1) << out;
    std::vector<std::string> ids;
    for (const std::string name : {"msg.eml", "again.eml"}) {
        ASSERT_EQ(Run("compose site/page.html -o " + name + fields, out), 0) << out;
        EXPECT_EQ(out, "");
        std::string msg = ReadFile(dir.Path() + name);
        EXPECT_EQ(msg.rfind("From: a@x\r\nTo: b@y\r\nCc: c@z\r\nSubject: --help\r\n", 0), 0u);
        std::size_t at = msg.find("Content-ID: <");
        ASSERT_NE(at, std::string::npos);
        ids.push_back(msg.substr(at, msg.find('>', at) - at));
    }
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_EQ(testutil::CheckEml(dir.Path() + "msg.eml", {"--resource", dir.Path() + "site/a.png", "--attach",
                                                           dir.Path() + "files/b.bin", "--attach", dir.Path() + "--version"}),
              "");
}

// A look before a list send: --dry-run makes its folder, however deep, and
// writes each row's message there, addressed to that row alone.
TEST_F(CommandLine, ListDryRunWritesEachMessageIntoANewFolder) {
    dir.Write("page.html", "<p>Hello {{name}}</p>\n");
    dir.Write("list.csv", "email,name\nann@x.org,Ann\nbob@y.org,Bob\n");
    std::string out;
    ASSERT_EQ(Run("send-list page.html --list list.csv --from club@z.org --dry-run new/look", out), 0) << out;
    for (const auto& [file, to, hello] : {std::tuple{"00001.eml", "To: \"Ann\" <ann@x.org>\r\n", "<p>Hello Ann</p>"},
                                          std::tuple{"00002.eml", "To: \"Bob\" <bob@y.org>\r\n", "<p>Hello Bob</p>"}}) {
        std::string msg = ReadFile(dir.Path() + "new/look/" + file), html;
        EXPECT_NE(msg.find(to), std::string::npos) << msg;
        const std::size_t body = msg.find("base64\r\n\r\n");
        ASSERT_NE(body, std::string::npos) << msg;
        ASSERT_TRUE(Base64Decode(msg.substr(body + 10, msg.find("\r\n\r\n", body + 10) - body - 10), html));
        EXPECT_EQ(html, std::string(hello) + "\r\n");
    }
}

// Arguments are read in the locale's codeset; what a server without SMTPUTF8
// would refuse is written as typed, with a warning; what cannot be a header is refused.
TEST(ComposeCli, HeaderTextBeyondAscii) {
    TempDir dir;
    dir.Write("page.html", "<p>hello</p>\n");
    std::string out, run = "cd " + dir.Path() + " && env LC_ALL=C.UTF-8 " + std::string(QUILLORY_CLI) + " compose page.html -o m.eml ";
    ASSERT_EQ(RunCommand(run + "--subject $(printf 'caf\\351') --from a@x.org --to 'zo\xc3\xab@x.de'", &out), 0) << out;
    EXPECT_EQ(out, "quillory-cli: warning: To: the address \"zo\xc3\xab@x.de\" has a non-ASCII local part, which only "
                   "servers offering SMTPUTF8 accept\n");
    std::string msg = testutil::ReadFile(dir.Path() + "m.eml");
    EXPECT_NE(msg.find("To: zo\xc3\xab@x.de\r\nSubject: =?UTF-8?B?Y2Fmw6k=?=\r\n"), std::string::npos) << msg;
    EXPECT_EQ(RunCommand(run + "--to 'Zo\xc3\xab'", &out), 1);
    EXPECT_EQ(out, "quillory-cli: To: The address \"Zo\xc3\xab\" has no domain.\n");
}

TEST_F(CommandLine, ExitStatusAndWhatIsPrinted) {
    dir.Write("p.html", "<p>hi</p>");
    std::string readOnly = dir.Write("ro.eml", "old"), forced = dir.Write("forced.eml", "old");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444) | ::chmod(forced.c_str(), 0444), 0);
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
        {"compose p.html -o ro.eml", 1, "quillory-cli: cannot create output file '" + readOnly + "': it is read-only\n"},
        {"compose p.html -o forced.eml --force", 0, ""},
        {"--help", 0, "--attach FILE"},
        {"compose p.html --help", 0, usage},
        {"--version", 0, "quillory-cli 2.0.617\n"},
        // send: bad usage and unsafe fields are refused before the network.
        {"send --from a@x --to b@y --server 127.0.0.1", 2, "quillory-cli: Please choose an HTML file."},
        {"send p.html --from a@x --to ' ;; , ' --server 127.0.0.1", 2, "quillory-cli: Please enter mail \"To\"."},
        {"send p.html --from a@x --to b@y --cc \"$(printf 'c@z\\r\\nRSET')\" --server 127.0.0.1", 2,
         "The address \"c@z\\r\\nRSET\" contains a control character."},
        {"send p.html --from a@x --to b@y --port 99999 --server 127.0.0.1", 2, "not '99999'"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(Run(c.args, out), c.rc) << c.args;
        EXPECT_NE(out.find(c.outHas), std::string::npos) << c.args << "\n" << out;
    }
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "y.eml"));
    EXPECT_EQ(ReadFile(readOnly), "old");
    EXPECT_NE(ReadFile(forced), "old");
}

// "-o -" writes the message to standard output; files left out for safety
// are named on standard error, one line each, with no byte that acts on a terminal.
TEST(ComposeCli, StandardOutputAndLeftOutFiles) {
    TempDir dir, elsewhere;
    elsewhere.Write("secret\x1b[2J", "key");
    const std::string secret = elsewhere.Path() + "secret\\x1b[2J";
    dir.Write("page.html", "<img src=\"a.png\"><link href=\"" + elsewhere.Path() + "secret%1b[2J\">");
    dir.Write("a.png", "png");
    std::string out;
    ASSERT_EQ(RunCommand("cd " + dir.Path() + " && (" + std::string(QUILLORY_CLI) + " compose page.html -o - >msg.eml)", &out), 0) << out;
    EXPECT_EQ(out, "quillory-cli: warning: '" + secret +
                       "' is left out: it lies outside the page's folder and its type (application/octet-stream) is "
                       "not one the page can use there\n");
    EXPECT_EQ(testutil::CheckEml(dir.Path() + "msg.eml", {"--resource", dir.Path() + "a.png"}), "");
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "-"));
}

// A signal ends a composition within moments whatever it is doing, leaves no
// partial file behind, and the exit status is 128 + the signal's number.
TEST(ComposeCli, SignalsEndComposeAtOnceWithoutLeftovers) {
    enum class Ready { TempHasContent, TempExists, After300ms };
    const struct {
        const char* doing;
        int sig;
        const char* paragraph;  // the page repeats it
        const char* options;
        Ready ready;
    } cases[] = {
        {"writing an attachment", SIGINT, "<p>x</p>\n", "--attach big.bin", Ready::TempHasContent},
        // Each missing file is looked up.
        {"scanning", SIGTERM, "<p><img src=\"n/%d.png\">x</p>\n", "", Ready::After300ms},
        {"building the text alternative", SIGHUP, "<p>x</p>\n", "--webmail", Ready::TempExists},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string text;
        const int copies = c.ready == Ready::TempHasContent ? 1 : 400000;
        for (int i = 0; i < copies; ++i) {
            std::string p = c.paragraph;
            if (std::size_t at = p.find("%d"); at != std::string::npos) p.replace(at, 2, std::to_string(i));
            text += p;
        }
        dir.Write("page.html", text);
        ASSERT_EQ(::truncate(dir.Write("big.bin", "").c_str(), 4LL << 30), 0);  // sparse: costs no disk
        std::string command = "cd " + dir.Path() + " && exec " + QUILLORY_CLI + " compose page.html -o out.eml " + c.options;
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        bool ready = false;
        for (int i = 0; i < 60000 && !ready; ++i) {
            for (const std::string& name : testutil::ListFolder(dir.Path())) {
                struct stat st {};
                ready = ready || (name.rfind(".out.eml.", 0) == 0 && ::stat((dir.Path() + name).c_str(), &st) == 0 &&
                                  (st.st_size > 0 || c.ready == Ready::TempExists));
            }
            if (c.ready == Ready::After300ms) ready = !ready && i >= 300;
            if (!ready) ::usleep(1000);
        }
        EXPECT_TRUE(ready) << c.doing;
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, WNOHANG), 0) << c.doing << ": ended before the signal";
        auto sent = std::chrono::steady_clock::now();
        ::kill(pid, c.sig);
        ::waitpid(pid, &status, 0);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count();
        EXPECT_LT(ms, 500) << c.doing;
        ASSERT_TRUE(WIFEXITED(status)) << c.doing << ": signal " << c.sig << " killed the program";
        EXPECT_EQ(WEXITSTATUS(status), 128 + c.sig) << c.doing;
        EXPECT_EQ(testutil::ListFolder(dir.Path()).size(), 2u) << c.doing << ": left beside page.html and big.bin";
    }
}

// Relative names from a working folder deeper than PATH_MAX, or from one
// that was removed, are never followed to another file, and the page's files
// are never dropped without a word.
TEST(ComposeCli, WorkingFolderWithoutAUsablePath) {
    TempDir dir;
    const std::string step(200, 'd');
    const std::string deep = "mkdir deep && cd deep && for i in $(seq 25); do mkdir " + step + " && cd " + step +
                             "; done && printf '<img src=a.png>' >index.html && printf png >a.png && ";
    const std::string gone = "mkdir gone && cd gone && rmdir ../gone && ";
    const struct {
        std::string setup;
        const char* page;
        const char* says;
    } cases[] = {
        {deep, "index.html", "File name too long"},
        {deep, "./index.html", "File name too long"},
        {gone, "index.html", "the working folder's path cannot be read"},
    };
    for (const auto& c : cases) {
        // bash, whose cd goes down step by step where the path has grown too long.
        dir.Write("run.sh", "cd " + dir.Path() + " && " + c.setup + QUILLORY_CLI + " compose " + c.page +
                                " -o out.eml; echo \"rc=$?\"; test -e out.eml && echo written; cd " + dir.Path() +
                                " && rm -rf deep");
        std::string out;
        testutil::RunCommand("bash " + dir.Path() + "run.sh", &out);
        EXPECT_NE(out.find(c.says), std::string::npos) << c.page << "\n" << out;
        EXPECT_NE(out.find("rc=1\n"), std::string::npos) << c.page << "\n" << out;
        EXPECT_EQ(out.find("written"), std::string::npos) << c.page;
    }
}

} // namespace
