// "quillory-cli options" and the saved settings used by "compose", run as a
// user runs them, against the private home of the test.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "TestUtil.h"
#include "platform/SettingsFile.h"

namespace {

using testutil::ReadFile;
using testutil::RunCommand;
using testutil::TempDir;

std::string Cli() { return QUILLORY_CLI; }

TEST(OptionsCommand, ListsChangesAndSavesTheOptions) {
    std::string out;
    ASSERT_EQ(RunCommand(Cli() + " options", &out), 0) << out;
    EXPECT_NE(out.find("SmtpServer\nSmtpPort            25\n"), std::string::npos) << out;
    std::string path = platform::SettingsFilePath();
    EXPECT_FALSE(testutil::FileExists(path));

    ASSERT_EQ(RunCommand("printf '%s\\r\\nnext line' 'se cr\"et' | " + Cli() +
                             " options --server mail.example.com --port 587 --auth on --user 'Ann B' "
                             "--password-stdin --browse-folder off --open-eml off --webmail on --security starttls",
                         &out),
              0)
        << out;
    // No keyring in the tests: the file keeps the password, and says so.
    EXPECT_EQ(out.rfind("The password is kept in the settings file", 0), 0u) << out;
    // The password is the first line of the input, as it was typed.
    EXPECT_NE(ReadFile(path).find("\nAuthPass=se cr\"et\n"), std::string::npos) << ReadFile(path);

    // Only the named options change; the password is never shown.
    ASSERT_EQ(RunCommand(Cli() + " options --port 25 --auth off --security tls", &out), 0) << out;
    ASSERT_EQ(RunCommand(Cli() + " options", &out), 0) << out;
    EXPECT_EQ(out, "SmtpServer          mail.example.com\n"
                   "SmtpPort            25\n"
                   "SmtpSecurity        tls\n"
                   "SrvReqAuth          off\n"
                   "AuthName            Ann B\n"
                   "AuthPass            ******** (in the settings file)\n"
                   "AuthMethod          auto\n"
                   "OAuthTokenCommand\n"
                   "BrowseOutputFolder  off\n"
                   "OpenEml             off\n"
                   "PrepareForWebmail   on\n"
                   "MailFrom\n"
                   "MailTo\n"
                   "MailCc\n"
                   "MailSubject\n");
}

TEST(OptionsCommand, RefusesBadValuesAndWritesNothing) {
    std::string path = platform::SettingsFilePath();
    std::string out;
    ASSERT_EQ(RunCommand(Cli() + " options --server before", &out), 0) << out;
    const std::string before = ReadFile(path);
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"--server after --port 70000", "--port takes a port number from 1 to 65535, not '70000'"},
        {"--server after --port 0", "not '0'"},
        {"--server after --port 25x", "not '25x'"},
        {"--server after --auth yes", "--auth takes on or off (true or false), not 'yes'"},
        {"--server after --open-eml", "option '--open-eml' needs a value"},
        {"--server after --color red", "unknown option '--color' for options"},
        {"--server after --security ssl", "--security takes none, starttls or tls, not 'ssl'"},
        {"--server after --security 2", "--security takes none, starttls or tls, not '2'"},
    };
    for (const auto& [args, message] : bad) {
        EXPECT_EQ(RunCommand(Cli() + " options " + args, &out), 2) << args;
        EXPECT_NE(out.find(message), std::string::npos) << out;
        EXPECT_EQ(ReadFile(path), before) << args;
    }
    ASSERT_EQ(RunCommand(Cli() + " options --port 65535", &out), 0) << out;
    EXPECT_NE(ReadFile(path).find("\nSmtpPort=65535\n"), std::string::npos);
}

// A folder or a FIFO where a configuration file belongs is reported, and a
// FIFO is never waited on (it would hold every command until a writer came).
TEST(OptionsCommand, ConfigurationFilesThatAreNoFilesAreRefused) {
    const std::string path = platform::SettingsFilePath();
    TempDir dir;
    dir.Write("p.html", "<img src=\"a.png\">");  // its type is looked up
    dir.Write("a.png", "png");
    ASSERT_EQ(RunCommand("mkfifo \"$HOME/.mime.types\" && mkdir -p \"$(dirname '" + path + "')\""), 0);
    const struct {
        const char* make;
        std::string why;
    } cases[] = {
        {"mkdir", "cannot read '" + path + "': Is a directory"},
        {"mkfifo", "'" + path + "' is not a regular file; it is not a settings file"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(RunCommand("rm -rf '" + path + "' && " + c.make + " '" + path + "'"), 0);
        std::string out;
        EXPECT_EQ(RunCommand("timeout -s KILL 10 " + Cli() + " options --server x", &out), 1);
        EXPECT_EQ(out, "quillory-cli: warning: " + c.why + "\nquillory-cli: the options were not saved: " + c.why +
                           "; it is left as it is\n");
        EXPECT_EQ(RunCommand("cd " + dir.Path() + " && timeout -s KILL 10 " + Cli() + " compose p.html -o p.eml", &out),
                  0);
        EXPECT_EQ(out, "quillory-cli: warning: " + c.why + "\n");
    }
}

TEST(ComposeWithSettings, AbsentHeaderFieldsComeFromTheSavedSettings) {
    TempDir dir;
    dir.Write("page.html", "<p>hi</p>\n");
    std::string path = platform::SettingsFilePath();
    // Written by hand.
    std::string reg = "[Message]\r\nMailFrom=Saved <saved@example.com>\r\nMailTo=to@example.com\r\n"
                      "MailCc=cc@example.com\r\nMailSubject=Saved subject\r\n";
    ASSERT_EQ(RunCommand("mkdir -p \"$(dirname '" + path + "')\" && printf '%s' '" + reg + "' >'" + path + "'"), 0);

    std::string out;
    ASSERT_EQ(RunCommand("cd " + dir.Path() + " && " + Cli() + " compose page.html -o a.eml --cc '' --subject Given",
                         &out),
              0)
        << out;
    EXPECT_EQ(out, "");
    std::string msg = ReadFile(dir.Path() + "a.eml");
    EXPECT_EQ(msg.rfind("From: Saved <saved@example.com>\r\nTo: to@example.com\r\nSubject: Given\r\n", 0), 0u) << msg;
    EXPECT_EQ(ReadFile(path), reg);  // composing only reads the settings
}

TEST(ComposeWithSettings, WebmailIsTheSavedChoiceUnlessOneRunAsks) {
    TempDir dir;
    dir.Write("page.html", "<p>hi</p>\n");
    struct {
        const char* save;  // options --webmail first, unless null
        const char* args;
        bool alternative;
    } steps[] = {{nullptr, "", false}, {nullptr, " --webmail", true}, {nullptr, "", false},
                 {"on", "", true},     {"off", "", false}};
    for (const auto& s : steps) {
        std::string out;
        if (s.save) {
            ASSERT_EQ(RunCommand(Cli() + " options --webmail " + s.save, &out), 0) << out;
        }
        ASSERT_EQ(RunCommand("cd " + dir.Path() + " && " + Cli() + " compose page.html -o a.eml" + s.args, &out), 0)
            << out;
        EXPECT_EQ(ReadFile(dir.Path() + "a.eml").find("multipart/alternative") != std::string::npos, s.alternative)
            << (s.save ? s.save : "") << s.args;
    }
}

} // namespace
