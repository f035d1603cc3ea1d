// The settings records over the real per-user key file (in a private home):
// every option through the file and the command line, hand-edited files, the
// import of the old file, and programs saving at the same time.
#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

#include "TestUtil.h"
#include "app/AppSettings.h"
#include "app/WindowState.h"
#include "cli/CommandLine.h"

namespace {

using testutil::ReadFile;
using testutil::RunCommand;

std::string SettingsPath() { return platform::SettingsFilePath(); }
std::string Folder() { return SettingsPath().substr(0, SettingsPath().rfind('/') + 1); }

void WriteSettings(const std::string& text, const std::string& name = "quillory.conf") {
    ASSERT_EQ(RunCommand("mkdir -p '" + Folder() + "'"), 0);
    FILE* f = std::fopen((Folder() + name).c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// Each option with a value other than its default: as the command line takes
// it and as the file then holds it. A new row of the table must add a case.
TEST(AppSettings, EveryOptionRoundTripsThroughTheCommandLineAndTheFile) {
    const std::map<std::string, std::pair<std::string, std::string>> cases = {
        {"SmtpServer", {"mail.example.com", "mail.example.com"}},
        {"SmtpPort", {"587", "587"}},
        {"SmtpSecurity", {"starttls", "starttls"}},
        {"SrvReqAuth", {"on", "true"}},
        {"AuthName", {"Ann B", "Ann B"}},
        {"AuthPass", {"", "p;a\\ss"}},  // not on the command line
        {"AuthMethod", {"xoauth2", "xoauth2"}},
        {"OAuthTokenCommand", {"get-token --for ann", "get-token --for ann"}},
        {"BrowseOutputFolder", {"off", "false"}},
        {"OpenEml", {"off", "false"}},
        {"PrepareForWebmail", {"on", "true"}},
    };
    ASSERT_EQ(cases.size(), OptionRows().size());
    for (const OptionRow& row : OptionRows()) {
        SCOPED_TRACE(row.key);
        ASSERT_TRUE(cases.count(row.key));
        const auto& [given, stored] = cases.at(row.key);
        ASSERT_EQ(RunCommand("rm -f '" + SettingsPath() + "'"), 0);
        AppSettings s;
        s.LoadSettings();
        if (*row.flag) {
            CliRequest r = ParseCommandLine({"options", row.flag, given}, "/");
            ASSERT_EQ(r.kind, CliRequest::Kind::Options) << r.error;
            r.options.ApplyTo(s.options);
        } else {
            std::string why;
            ASSERT_TRUE(ParseOption(row, stored, s.options, why));
        }
        ASSERT_NE(s.options, AppOptions{});
        std::string err;
        ASSERT_TRUE(s.SaveSettings(SETTINGS_OPTIONS, err)) << err;
        // Only what changed is written, in its group, in the desktop's key-file form.
        std::string escaped = std::regex_replace(stored, std::regex(R"(\\)"), R"(\\)");
        EXPECT_EQ(ReadFile(SettingsPath()), "[" + std::string(row.group) + "]\n" + row.key + "=" + escaped + "\n");
        AppSettings back;
        std::vector<std::string> warnings;
        back.LoadSettings(&warnings);
        EXPECT_TRUE(warnings.empty()) << warnings[0];
        EXPECT_EQ(back.options, s.options);
    }
    // The header fields: their own group, saved only with it; line breaks survive.
    ASSERT_EQ(RunCommand("rm -f '" + SettingsPath() + "'"), 0);
    AppSettings s;
    s.LoadSettings();
    s.mail = {"Ann <ann@example.com>", "bob@example.com; eve@example.com", "", "Two\nlines"};
    std::string err;
    ASSERT_TRUE(s.SaveSettings(SETTINGS_MAIL, err)) << err;
    EXPECT_EQ(ReadFile(SettingsPath()), "[Message]\nMailFrom=Ann <ann@example.com>\n"
                                        "MailTo=bob@example.com; eve@example.com\nMailSubject=Two\\nlines\n");
    AppSettings back;
    back.LoadSettings();
    EXPECT_EQ(back.mail, s.mail);
    EXPECT_FALSE(s.SaveSettings(0, err));
}

// Files as people write them by hand: what the program does not know stays,
// what it cannot use is reported and kept, what it cannot parse is never saved over.
TEST(AppSettings, HandEditedFiles) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> warnings;  // after "path: "
        bool saves;                         // a save of SmtpServer=new succeeds
        std::string after;                  // the file after that save ("": unchanged)
    } cases[] = {
        {"comments and unknown keys and groups",
         "# mine\n[SMTP]\n# the relay\nSmtpPort=2525\nColour=blue\n\n# next\n[Other]\nx=1\n", {}, true,
         // GLib counts a comment above a group as the end of the group before it.
         "# mine\n\n[SMTP]\n# the relay\nSmtpPort=2525\nColour=blue\n\n# next\nSmtpServer=new\n\n[Other]\nx=1\n"},
        {"values of the wrong type",
         "[SMTP]\nSmtpPort=0x19\nSmtpSecurity=ssl\nSrvReqAuth=yes\nAuthName=ann\n",
         {"[SMTP] SmtpPort: takes a port number from 1 to 65535, not '0x19'; '25' is used instead, and the file "
          "keeps its value",
          "[SMTP] SmtpSecurity: takes none, starttls or tls, not 'ssl'; 'none' is used instead, and the file keeps "
          "its value",
          "[SMTP] SrvReqAuth: takes on or off (true or false), not 'yes'; 'false' is used instead, and the file "
          "keeps its value"},
         true, "[SMTP]\nSmtpPort=0x19\nSmtpSecurity=ssl\nSrvReqAuth=yes\nAuthName=ann\nSmtpServer=new\n"},
        {"a text that is not UTF-8", "[Message]\nMailTo=\xff\n",
         {"[Message] MailTo: the value cannot be read (it is not UTF-8 text); it is not used"}, true,
         "[Message]\nMailTo=\xff\n\n[SMTP]\nSmtpServer=new\n"},
        {"a line that is not a key file's", "[SMTP]\nSmtpServer old\n", {}, false, ""},
        {"registry text under the new name", "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"b\"\n", {}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(c.text);
        AppSettings s;
        std::vector<std::string> warnings;
        s.LoadSettings(&warnings);
        if (c.saves) {
            std::vector<std::string> expected;
            for (const std::string& w : c.warnings) expected.push_back(SettingsPath() + ": " + w);
            EXPECT_EQ(warnings, expected);
            EXPECT_EQ(s.options.SmtpPort, c.text.find("2525") != std::string::npos ? 2525 : 25);
        } else {
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_EQ(warnings[0].rfind("'" + SettingsPath() + "' cannot be read: ", 0), 0u) << warnings[0];
        }
        s.options.SmtpServer = "new";
        std::string err;
        EXPECT_EQ(s.SaveSettings(SETTINGS_OPTIONS, err), c.saves) << err;
        if (!c.saves) {
            EXPECT_NE(err.find("it is left as it is"), std::string::npos) << err;
        }
        EXPECT_EQ(ReadFile(SettingsPath()), c.after.empty() ? c.text : c.after);
        EXPECT_TRUE(s.TestAndClearFirstRun());
    }
    // Set on purpose, a value replaces the damaged one even where it equals what was used instead.
    WriteSettings("[SMTP]\nSmtpPort=0x19\n");
    ASSERT_EQ(RunCommand(std::string(QUILLORY_CLI) + " options --port 25 2>/dev/null"), 0);
    EXPECT_EQ(ReadFile(SettingsPath()), "[SMTP]\nSmtpPort=25\n");
}

TEST(AppSettings, FirstRun) {
    AppSettings s;
    EXPECT_TRUE(s.TestAndClearFirstRun());  // missing
    EXPECT_EQ(ReadFile(SettingsPath()), "[Window]\nFirstRun=false\n");
    EXPECT_FALSE(s.TestAndClearFirstRun());
    // Where nothing can be recorded, every start is the first.
    ASSERT_EQ(RunCommand("rm '" + SettingsPath() + "' && mkdir '" + SettingsPath() + "'"), 0);
    EXPECT_TRUE(s.TestAndClearFirstRun());
    EXPECT_TRUE(s.TestAndClearFirstRun());
}

std::string Utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

// The settings file of earlier versions is carried over once, every value
// arriving; it is kept under another name; a second start does nothing.
TEST(AppSettings, TheOldFileIsImportedOnce) {
    // In the UTF-16 form a hex(1) string holds UTF-16 too.
    auto values = [](const std::string& subject) {
        return "\"SmtpServer\"=\"smtp.example.com\"\r\n\"SmtpPort\"=dword:0000024b\r\n\"SmtpSecurity\"=dword:00000001\r\n"
        "\"SrvReqAuth\"=dword:00000001\r\n\"AuthName\"=\"ann\"\r\n\"AuthPass\"=\"se\\\"cret\"\r\n"
        "\"AuthMethod\"=dword:00000002\r\n\"OAuthTokenCommand\"=\"tok\"\r\n\"BrowseOutputFolder\"=dword:00000000\r\n"
        "\"OpenEml\"=dword:00000000\r\n\"PrepareForWebmail\"=dword:00000001\r\n"
        "\"MailFrom\"=\"Ann <ann@example.com>\"\r\n\"MailTo\"=\"bob@example.com\"\r\n\"MailCc\"=\"cc@example.com\"\r\n"
        "\"MailSubject\"=hex(1):" + subject + "\r\n"
        "\"WindowX\"=dword:ffffffec\r\n\"WindowWidth\"=dword:00000320\r\n\"WindowMaximized\"=dword:00000001\r\n"
        "\"HtmlFile\"=\"/p/a;b.html\"\r\n\"RecentPageCount\"=dword:00000002\r\n\"RecentPage1\"=\"/p/a;b.html\"\r\n"
        "\"RecentPage2\"=\"/q.html\"\r\n\"AttachmentCount\"=dword:00000001\r\n\"Attachment1\"=\"/f.pdf\"\r\n"
        "\"HiddenWarningCount\"=dword:00000001\r\n\"HiddenWarning1\"=\"aeb21701,84634d0b,00000003,8457c4a8 /p/a;b.html\"\r\n"
        "\"FirstRun\"=dword:00000000\r\n";
    };
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\r\n";
    for (const std::string& old :
         {"REGEDIT4\r\n\r\n" + key + values("54,77,6f,0a,6c,69,6e,65,73,00"),
          Utf16("Windows Registry Editor Version 5.00\r\n\r\n" + key +
                values("54,00,77,00,6f,00,0a,00,6c,00,69,00,6e,00,65,00,73,00,00,00"))}) {
        ASSERT_EQ(RunCommand("rm -rf '" + Folder() + "'"), 0);
        WriteSettings(old, "settings.reg");
        AppSettings s;
        std::vector<std::string> warnings;
        s.LoadSettings(&warnings);
        EXPECT_EQ(warnings, std::vector<std::string>{"the settings of '" + Folder() + "settings.reg' now live in '" +
                                                     SettingsPath() + "'; the old file is kept as '" + Folder() +
                                                     "settings.reg.imported'"});
        EXPECT_EQ(s.options, (AppOptions{"smtp.example.com", 587, kSecurityStartTls, true, "ann", "se\"cret",
                                         kAuthPlain, "tok", false, false, true}));
        EXPECT_EQ(s.mail, (MailFields{"Ann <ann@example.com>", "bob@example.com", "cc@example.com", "Two\nlines"}));
        WindowState state(platform::RealSettingsStore());
        state.Load();
        EXPECT_EQ(state.WindowX, -20);
        EXPECT_EQ(state.WindowWidth, 800);
        EXPECT_TRUE(state.WindowMaximized);
        EXPECT_EQ(state.HtmlFile, "/p/a;b.html");
        EXPECT_EQ(state.RecentPages, (std::vector<std::string>{"/p/a;b.html", "/q.html"}));
        EXPECT_EQ(state.Attachments, std::vector<std::string>{"/f.pdf"});
        // Hidden warnings were hashes of their sentences: srcset's, a remote SVG image's, Gmail's clipping's,
        // and 3, of no sentence. They become ids in the file, once.
        EXPECT_EQ(state.HiddenWarnings.at(0).listKinds,
                  (std::vector<std::string>{"srcset", "svg", "html-part-clipped"}));
        EXPECT_NE(ReadFile(SettingsPath()).find("HiddenWarnings=srcset,svg,html-part-clipped /p/a"),
                  std::string::npos) << ReadFile(SettingsPath());
        EXPECT_FALSE(s.TestAndClearFirstRun());
        EXPECT_EQ(ReadFile(Folder() + "settings.reg.imported"), old);
        EXPECT_FALSE(testutil::FileExists(Folder() + "settings.reg"));

        const std::string now = ReadFile(SettingsPath());
        WriteSettings(old, "settings.reg");  // put back by hand: the key file is what counts now
        AppSettings again;
        warnings.clear();
        again.LoadSettings(&warnings);
        EXPECT_TRUE(warnings.empty());
        EXPECT_EQ(ReadFile(SettingsPath()), now);
    }
    // An old file that cannot be read is left alone, and the user is told why.
    ASSERT_EQ(RunCommand("rm -rf '" + Folder() + "'"), 0);
    WriteSettings("\xFE\xFF", "settings.reg");
    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    EXPECT_EQ(warnings, std::vector<std::string>{"'" + Folder() + "settings.reg' cannot be imported (it is UTF-16 "
                                                 "big-endian text); it is left as it is"});
    EXPECT_EQ(testutil::ListFolder(Folder()), std::vector<std::string>{"settings.reg"});
}

// Two programs saving different options at once, from a file that lacks them
// and from no file at all: each save writes only its own change, read afresh
// under the lock, so neither ever undoes the other's.
TEST(AppSettings, ConcurrentSavesNeverLoseAValue) {
    const std::string cli = QUILLORY_CLI;
    for (const char* start : {"", "[SMTP]\nSmtpServer=mail.example.com\n"}) {
        std::string lost;
        for (int trial = 0; trial < 20; ++trial) {
            ASSERT_EQ(RunCommand("rm -f '" + SettingsPath() + "'"), 0);
            if (*start) WriteSettings(start);
            std::string out;
            ASSERT_EQ(RunCommand(cli + " options --security starttls & " + cli + " options --open-eml off & wait", &out),
                      0)
                << out;
            std::string text = ReadFile(SettingsPath());
            if (text.find("SmtpSecurity=starttls\n") == std::string::npos || text.find("OpenEml=false\n") == std::string::npos)
                lost += text + "--\n";
        }
        EXPECT_EQ(lost, "") << "starting from '" << start << "'";
    }
}

// Another program holds the lock while it edits the file: a save that waits
// for it must keep that edit.
TEST(AppSettings, ASaveKeepsAnEditMadeUnderTheLock) {
    WriteSettings("[SMTP]\nSmtpServer=OLD\n");
    const std::string path = SettingsPath(), folder = Folder();
    std::string out;
    ASSERT_EQ(RunCommand("flock '" + folder + "' -c \"sleep 1; sed -i s/OLD/NEW/ '" + path + "'; sleep 1\" & "
                         "sleep 0.3; " + QUILLORY_CLI + " options --user u1 && wait",
                         &out),
              0)
        << out;
    EXPECT_EQ(ReadFile(path), "[SMTP]\nSmtpServer=NEW\nAuthName=u1\n");
}

} // namespace
