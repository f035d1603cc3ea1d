// The settings records over the real per-user file (in a private home), over a
// store that fails on purpose, and under programs saving at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "TestUtil.h"
#include "app/AppSettings.h"

namespace {

using testutil::ReadFile;
using testutil::RunCommand;

std::string SettingsPath() { return platform::SettingsFilePath(); }

void WriteSettings(const std::string& text) {
    std::string path = SettingsPath();
    ASSERT_EQ(RunCommand("mkdir -p '" + path.substr(0, path.rfind('/')) + "'"), 0);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

const std::string kHead = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\n";

TEST(AppSettings, DefaultsForWhatIsNotStored) {
    ASSERT_EQ(SettingsPath(), std::string(std::getenv("HOME")) + ".config/quillory/settings.reg");
    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(s.options, AppOptions{});
    EXPECT_EQ(s.options.SmtpPort, 25);
    EXPECT_EQ(s.options.Security, kSecurityNone);  // plain text unless asked otherwise
    EXPECT_EQ(s.mail, MailFields{});
    EXPECT_FALSE(testutil::FileExists(SettingsPath()));  // reading creates nothing

    WriteSettings(kHead + "\"SmtpServer\"=\"mail.example.com\"\n");
    AppSettings one;
    one.LoadSettings(&warnings);
    EXPECT_TRUE(warnings.empty());
    AppOptions expected;
    expected.SmtpServer = "mail.example.com";
    EXPECT_EQ(one.options, expected);

    // Values under another key are not ours: all defaults, and the user is told.
    WriteSettings("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Quillory\\Other]\n\"SmtpServer\"=\"x\"\njunk\n");
    AppSettings other;
    other.LoadSettings(&warnings);
    EXPECT_EQ(other.options, AppOptions{});
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "'" + SettingsPath() + "' has no key [HKEY_CURRENT_USER\\Software\\Quillory\\Options]",
                            SettingsPath() + ":4: line not understood; it is kept but not used"}));
}

TEST(AppSettings, EachGroupWritesItsOwnValuesInOrder) {
    std::string err;
    AppSettings s;
    s.LoadSettings();
    EXPECT_FALSE(s.SaveSettings(0, err));
    EXPECT_FALSE(testutil::FileExists(SettingsPath()));

    s.options = {.SmtpServer = "smtp.example.com", .SmtpPort = 587, .Security = kSecurityTls, .SrvReqAuth = true,
                 .AuthName = "ann", .AuthPass = "p\"a\\ss", .AuthMethod = kAuthAuto, .OAuthTokenCommand = "",
                 .BrowseOutputFolder = false, .OpenEml = true, .PrepareForWebmail = true};
    s.mail = {"Ann <ann@example.com>", "bob@example.com, eve@example.com", "", "Two\nlines"};
    ASSERT_TRUE(s.SaveSettings(SETTINGS_OPTIONS, err)) << err;
    const std::string options = "\"BrowseOutputFolder\"=dword:00000000\n"
                                "\"OpenEml\"=dword:00000001\n"
                                "\"PrepareForWebmail\"=dword:00000001\n"
                                "\"SmtpServer\"=\"smtp.example.com\"\n"
                                "\"SmtpPort\"=dword:0000024b\n"
                                "\"SrvReqAuth\"=dword:00000001\n"
                                "\"AuthName\"=\"ann\"\n"
                                "\"AuthPass\"=\"p\\\"a\\\\ss\"\n"
                                "\"SmtpSecurity\"=dword:00000002\n"
                                "\"AuthMethod\"=dword:00000000\n"
                                "\"OAuthTokenCommand\"=\"\"\n";
    EXPECT_EQ(ReadFile(SettingsPath()), kHead + options + "\n");

    // The mail group goes after the options and leaves them alone.
    ASSERT_TRUE(s.SaveSettings(SETTINGS_MAIL, err)) << err;
    const std::string mail = "\"MailFrom\"=\"Ann <ann@example.com>\"\n"
                             "\"MailTo\"=\"bob@example.com, eve@example.com\"\n"
                             "\"MailCc\"=\"\"\n"
                             "\"MailSubject\"=hex(1):54,77,6f,0a,6c,69,6e,65,73,00\n";
    EXPECT_EQ(ReadFile(SettingsPath()), kHead + options + mail + "\n");

    AppSettings back;
    back.LoadSettings();
    EXPECT_EQ(back.options, s.options);
    EXPECT_EQ(back.mail, s.mail);
}

TEST(AppSettings, FirstRun) {
    AppSettings s;
    EXPECT_TRUE(s.TestAndClearFirstRun());  // missing
    EXPECT_EQ(ReadFile(SettingsPath()), kHead + "\"FirstRun\"=dword:00000000\n\n");
    EXPECT_FALSE(s.TestAndClearFirstRun());

    WriteSettings(kHead + "\"FirstRun\"=dword:00000005\n\"Other\"=\"kept\"\n");
    EXPECT_TRUE(s.TestAndClearFirstRun());
    EXPECT_EQ(ReadFile(SettingsPath()), kHead + "\"FirstRun\"=dword:00000000\n\"Other\"=\"kept\"\n");
    EXPECT_FALSE(s.TestAndClearFirstRun());

    // Where nothing can be recorded, every start is the first.
    ASSERT_EQ(RunCommand("rm '" + SettingsPath() + "' && mkdir '" + SettingsPath() + "'"), 0);
    EXPECT_TRUE(s.TestAndClearFirstRun());
    EXPECT_TRUE(s.TestAndClearFirstRun());
}

// Numbers are taken as stored; values of the wrong kind keep their defaults,
// are reported, and are replaced by the first save that sets them.
TEST(AppSettings, ValuesAreTakenAsStoredAndRepairedWhenSet) {
    const std::string longSubject(1000, 's');
    WriteSettings("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\r\n"
                  "\"SmtpPort\"=dword:00011170\r\n"
                  "\"MailSubject\"=\"" + longSubject + "\"\r\n"
                  "\"SmtpServer\"=dword:00000001\r\n"
                  "\"SrvReqAuth\"=\"yes\"\r\n");
    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    EXPECT_EQ(s.options.SmtpPort, 70000);
    EXPECT_EQ(s.mail.MailSubject, longSubject);
    EXPECT_EQ(s.options.SmtpServer, "");
    EXPECT_FALSE(s.options.SrvReqAuth);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            SettingsPath() + ":6: value \"SmtpServer\" is not a string; it is not used",
                            SettingsPath() + ":7: value \"SrvReqAuth\" is not a dword; it is not used"}));

    // Set to what the broken values stood for: they must be written all the same.
    std::string err;
    ASSERT_TRUE(s.SaveSettings(SETTINGS_OPTIONS, err)) << err;
    AppSettings back;
    warnings.clear();
    back.LoadSettings(&warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
}

// Two programs saving different options over and over: each save writes only
// its own change, read afresh under the lock, so no value ever goes back.
TEST(AppSettings, ConcurrentSavesNeverLoseAValue) {
    const std::string cli = QUILLORY_CLI;
    ASSERT_EQ(RunCommand(cli + " options --server host0 --user user0"), 0);
    std::atomic<bool> done{false};
    std::string backwards;
    std::thread watcher([&] {
        static const std::regex server("\"SmtpServer\"=\"host(\\d+)\""), user("\"AuthName\"=\"user(\\d+)\"");
        int lastServer = 0, lastUser = 0;
        while (!done) {
            std::string text = ReadFile(SettingsPath());
            std::smatch m;
            for (auto [re, last] : {std::pair{&server, &lastServer}, std::pair{&user, &lastUser}}) {
                if (!std::regex_search(text, m, *re)) {
                    backwards += "value missing from:\n" + text;
                    continue;
                }
                if (std::stoi(m[1]) < *last) backwards += m[0].str() + " after " + std::to_string(*last) + "\n";
                *last = std::stoi(m[1]);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::string out;
    int rc = RunCommand("for i in $(seq 1 200); do " + cli + " options --server host$i || exit 1; done & a=$!; "
                        "for i in $(seq 1 200); do " + cli + " options --user user$i || exit 1; done & b=$!; "
                        "wait $a && wait $b",
                        &out);
    done = true;
    watcher.join();
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(backwards.substr(0, 2000), "");
    std::string text = ReadFile(SettingsPath());
    EXPECT_NE(text.find("\"SmtpServer\"=\"host200\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"AuthName\"=\"user200\""), std::string::npos) << text;
}

// Another program holds the lock while it edits the file: a save that waits
// for it must keep that edit.
TEST(AppSettings, ASaveKeepsAnEditMadeUnderTheLock) {
    WriteSettings(kHead + "\"SmtpServer\"=\"OLD\"\n");
    const std::string path = SettingsPath(), folder = path.substr(0, path.rfind('/'));
    std::string out;
    ASSERT_EQ(RunCommand("flock '" + folder + "' -c \"sleep 1; sed -i s/OLD/NEW/ '" + path + "'; sleep 1\" & "
                         "sleep 0.3; " + QUILLORY_CLI + " options --user u1 && wait",
                         &out),
              0)
        << out;
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("\"SmtpServer\"=\"NEW\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"AuthName\"=\"u1\"\n"), std::string::npos) << text;
}

} // namespace
