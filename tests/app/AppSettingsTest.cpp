// The settings record over the real per-user file (in a private home), and over
// a store that fails on purpose.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "app/AppSettings.h"

namespace {

using testutil::ReadFile;

std::string SettingsPath() { return platform::SettingsFilePath(); }

void WriteSettings(const std::string& text) {
    std::string path = SettingsPath();
    std::string folder = path.substr(0, path.rfind('/'));
    ASSERT_EQ(testutil::RunCommand("mkdir -p '" + folder + "'"), 0);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

const std::string kHead = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\n";

TEST(AppSettings, DefaultsWhenNothingIsStored) {
    ASSERT_EQ(SettingsPath(), std::string(std::getenv("HOME")) + ".config/quillory/settings.reg");
    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(s.BrowseOutputFolder, 1);
    EXPECT_EQ(s.OpenEml, 1);
    EXPECT_EQ(s.SmtpServer, "");
    EXPECT_EQ(s.SmtpPort, 25);
    EXPECT_EQ(s.SrvReqAuth, 0);
    EXPECT_EQ(s.SmtpSecurity, 0);  // plain text unless asked otherwise
    EXPECT_EQ(s.AuthName + s.AuthPass + s.MailFrom + s.MailTo + s.MailCc + s.MailSubject, "");
    EXPECT_FALSE(testutil::FileExists(SettingsPath()));  // reading creates nothing

    // A key that holds only SmtpServer gives that one value.
    WriteSettings(kHead + "\"SmtpServer\"=\"mail.example.com\"\n");
    AppSettings one;
    one.LoadSettings(&warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(one.SmtpServer, "mail.example.com");
    EXPECT_EQ(one.SmtpPort, 25);
    EXPECT_EQ(one.OpenEml, 1);
    EXPECT_EQ(one.MailFrom, "");

    // Values under another key are not ours: all defaults, and the user is told.
    WriteSettings("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Quillory\\Other]\n\"SmtpServer\"=\"x\"\njunk\n");
    AppSettings other;
    other.LoadSettings(&warnings);
    EXPECT_EQ(other.SmtpServer, "");
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "'" + SettingsPath() + "' has no key [HKEY_CURRENT_USER\\Software\\Quillory\\Options]",
                            SettingsPath() + ":4: line not understood; it is kept but not used"}));
}

AppSettings KnownRecord() {
    AppSettings s;
    s.BrowseOutputFolder = 0;
    s.OpenEml = 1;
    s.SmtpServer = "smtp.example.com";
    s.SmtpPort = 587;
    s.SrvReqAuth = 1;
    s.AuthName = "ann";
    s.AuthPass = "p\"a\\ss";
    s.SmtpSecurity = 2;
    s.MailFrom = "Ann <ann@example.com>";
    s.MailTo = "bob@example.com, eve@example.com";
    s.MailCc = "";
    s.MailSubject = "Two\nlines";
    return s;
}

TEST(AppSettings, EachGroupWritesItsOwnValuesInOrder) {
    std::string err;
    AppSettings s = KnownRecord();
    EXPECT_FALSE(s.SaveSettings(0, err));
    EXPECT_FALSE(testutil::FileExists(SettingsPath()));

    ASSERT_TRUE(s.SaveSettings(SETTINGS_OPTIONS, err)) << err;
    const std::string options = "\"BrowseOutputFolder\"=dword:00000000\n"
                                "\"OpenEml\"=dword:00000001\n"
                                "\"SmtpServer\"=\"smtp.example.com\"\n"
                                "\"SmtpPort\"=dword:0000024b\n"
                                "\"SrvReqAuth\"=dword:00000001\n"
                                "\"AuthName\"=\"ann\"\n"
                                "\"AuthPass\"=\"p\\\"a\\\\ss\"\n"
                                "\"SmtpSecurity\"=dword:00000002\n";
    EXPECT_EQ(ReadFile(SettingsPath()), kHead + options + "\n");

    // The mail group goes after the options and leaves them alone.
    AppSettings other;
    other.MailFrom = s.MailFrom;
    other.MailTo = s.MailTo;
    other.MailSubject = s.MailSubject;
    ASSERT_TRUE(other.SaveSettings(SETTINGS_MAIL, err)) << err;
    const std::string mail = "\"MailFrom\"=\"Ann <ann@example.com>\"\n"
                             "\"MailTo\"=\"bob@example.com, eve@example.com\"\n"
                             "\"MailCc\"=\"\"\n"
                             "\"MailSubject\"=hex(1):54,77,6f,0a,6c,69,6e,65,73,00\n";
    EXPECT_EQ(ReadFile(SettingsPath()), kHead + options + mail + "\n");

    AppSettings back;
    back.LoadSettings();
    EXPECT_EQ(back.BrowseOutputFolder, 0);
    EXPECT_EQ(back.SmtpServer, s.SmtpServer);
    EXPECT_EQ(back.SmtpPort, 587);
    EXPECT_EQ(back.SrvReqAuth, 1);
    EXPECT_EQ(back.AuthPass, s.AuthPass);
    EXPECT_EQ(back.SmtpSecurity, 2);
    EXPECT_EQ(back.MailTo, s.MailTo);
    EXPECT_EQ(back.MailSubject, s.MailSubject);

    // Both groups at once rewrite the values in place.
    back.SmtpPort = 25;
    back.MailCc = "c@x";
    ASSERT_TRUE(back.SaveSettings(SETTINGS_OPTIONS | SETTINGS_MAIL, err)) << err;
    std::string expected = kHead + options + mail + "\n";
    expected.replace(expected.find("0000024b"), 8, "00000019");
    expected.replace(expected.find("\"MailCc\"=\"\""), 11, "\"MailCc\"=\"c@x\"");
    EXPECT_EQ(ReadFile(SettingsPath()), expected);
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
}

TEST(AppSettings, ValuesAreTakenAsStored) {
    const std::string longSubject(1000, 's');
    WriteSettings("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\r\n"
                  "\"SmtpPort\"=dword:00011170\r\n"
                  "\"OpenEml\"=dword:ffffffff\r\n"
                  "\"MailSubject\"=\"" + longSubject + "\"\r\n"
                  "\"SmtpServer\"=dword:00000001\r\n"
                  "\"SrvReqAuth\"=\"yes\"\r\n");
    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    EXPECT_EQ(s.SmtpPort, 70000);
    EXPECT_EQ(s.OpenEml, -1);
    EXPECT_EQ(s.MailSubject, longSubject);
    EXPECT_EQ(s.SmtpServer, "");  // wrong kinds keep their defaults and are reported
    EXPECT_EQ(s.SrvReqAuth, 0);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], SettingsPath() + ":7: value \"SmtpServer\" is not a string; it is not used");
    EXPECT_EQ(warnings[1], SettingsPath() + ":8: value \"SrvReqAuth\" is not a dword; it is not used");
}

// A store that fails where it is told to.
class FailingStore : public platform::SettingsStore {
public:
    bool failOpen = false;
    bool failClose = false;
    int closes = 0;

    class Key : public platform::SettingsKey {
    public:
        explicit Key(FailingStore& s) : m_s(s) {}
        bool QueryString(const std::string&, std::string&) override { return false; }
        bool QueryDword(const std::string& name, std::uint32_t& v) override {
            v = 7;
            return name == "FirstRun";
        }
        void SetString(const std::string& name, const std::string&) override { m_s.set.push_back(name); }
        void SetDword(const std::string& name, std::uint32_t) override { m_s.set.push_back(name); }
        bool Close(std::string& err) override {
            ++m_s.closes;
            if (m_s.failClose) err = "disk on fire";
            return !m_s.failClose;
        }
        std::vector<std::string> Warnings() const override { return {}; }

    private:
        FailingStore& m_s;
    };
    std::vector<std::string> set;

    std::unique_ptr<platform::SettingsKey> OpenForQuery(const std::string&, std::string& err) override {
        err = "no store";
        return nullptr;
    }
    std::unique_ptr<platform::SettingsKey> CreateForSetting(const std::string& key, std::string& err) override {
        EXPECT_EQ(key, "Software\\Quillory\\Options");
        if (failOpen) {
            err = "cannot create key";
            return nullptr;
        }
        return std::make_unique<Key>(*this);
    }
};

TEST(AppSettings, StoreFailuresAreReported) {
    FailingStore store;
    AppSettings s(store);
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    EXPECT_EQ(warnings, std::vector<std::string>{"no store"});
    EXPECT_EQ(s.SmtpPort, 25);

    std::string err;
    EXPECT_TRUE(s.SaveSettings(SETTINGS_MAIL, err));
    EXPECT_EQ(store.set, (std::vector<std::string>{"MailFrom", "MailTo", "MailCc", "MailSubject"}));
    store.failClose = true;
    EXPECT_FALSE(s.SaveSettings(SETTINGS_OPTIONS, err));
    EXPECT_EQ(err, "disk on fire");
    store.failOpen = true;
    EXPECT_FALSE(s.SaveSettings(SETTINGS_OPTIONS | SETTINGS_MAIL, err));
    EXPECT_EQ(err, "cannot create key");
    EXPECT_TRUE(s.TestAndClearFirstRun());  // no store: every start is the first

    store.failOpen = false;
    store.set.clear();
    EXPECT_TRUE(s.TestAndClearFirstRun());  // FirstRun 7 read from the store
    EXPECT_EQ(store.set, std::vector<std::string>{"FirstRun"});
}

} // namespace
