// The REGEDIT4 reader and writer: Windows exports, exact round trips, keeping
// what it does not know, and never failing on damaged text.
#include <gtest/gtest.h>

#include <random>

#include "platform/RegDocument.h"

namespace {

using platform::RegDocument;

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Quillory\\Options";

std::string Dword(std::uint32_t v) {
    std::string d;
    for (int i = 0; i < 4; ++i) d += static_cast<char>((v >> (8 * i)) & 0xFF);
    return d;
}

// What a string value reads back as; "<none>" when missing or not a string.
std::string StringOf(const RegDocument& doc, const std::string& name, const std::string& key = kKey) {
    RegDocument::Found f;
    if (!doc.Find(key, name, f) || f.kind != platform::REG_SZ || f.data.empty() || f.data.back() != '\0')
        return "<none>";
    return f.data.substr(0, f.data.size() - 1);
}

// As regedit on Windows writes it: CR LF, a long value continued over lines.
const std::string kWindowsExport =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Quillory]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\r\n"
    "\"BrowseOutputFolder\"=dword:00000000\r\n"
    "\"SmtpServer\"=\"mail.example.com\"\r\n"
    "\"SmtpPort\"=dword:0000024B\r\n"
    "\"AuthPass\"=\"a\\\\b\\\"c\"\r\n"
    "\"MailTo\"=\"J\xF6rg <j@example.de>\"\r\n"
    "\"MailSubject\"=hex(1):4c,69,6e,65,20,31,0d,0a,4c,69,6e,65,20,32,20,2d,2d,2d,2d,2d,2d,\\\r\n"
    "  2d,2d,2d,2d,2d,2d,2d,2d,2d,2d,2d,2d,2d,2d,2d,21,00\r\n"
    "\"Window\"=hex:2c,00,00,00\r\n"
    "\r\n";

TEST(RegDocument, ReadsAWindowsExportAndWritesItBackUnchanged) {
    RegDocument doc;
    doc.Parse(kWindowsExport, "s.reg");
    EXPECT_TRUE(doc.Warnings().empty()) << doc.Warnings()[0];
    EXPECT_TRUE(doc.HasKey("hkey_current_user\\software\\QUILLORY\\options"));
    RegDocument::Found f;
    ASSERT_TRUE(doc.Find(kKey, "smtpport", f));
    EXPECT_EQ(f.kind, platform::REG_DWORD);
    EXPECT_EQ(f.data, Dword(0x24B));
    EXPECT_EQ(f.line, 8);
    EXPECT_EQ(StringOf(doc, "SmtpServer"), "mail.example.com");
    EXPECT_EQ(StringOf(doc, "AuthPass"), "a\\b\"c");
    EXPECT_EQ(StringOf(doc, "MailTo"), "J\xF6rg <j@example.de>");
    EXPECT_EQ(StringOf(doc, "MailSubject"), "Line 1\r\nLine 2 ---------------------!");
    ASSERT_TRUE(doc.Find(kKey, "Window", f));
    EXPECT_EQ(f.kind, platform::REG_BINARY);
    EXPECT_EQ(f.data, std::string("\x2c\0\0\0", 4));
    EXPECT_FALSE(doc.Find(kKey, "OpenEml", f));
    EXPECT_FALSE(doc.Find("HKEY_CURRENT_USER\\Software\\Quillory", "SmtpServer", f));
    EXPECT_EQ(doc.Serialize(), kWindowsExport);
}

TEST(RegDocument, SettingValuesTouchesNothingElse) {
    RegDocument doc;
    doc.Parse(kWindowsExport, "s.reg");
    doc.SetDword(kKey, "SmtpPort", 25);
    doc.SetString(kKey, "MailSubject", "short");
    doc.SetString(kKey, "OpenEml", "new");
    std::string expected = kWindowsExport;
    expected.replace(expected.find("0000024B"), 8, "00000019");
    std::size_t from = expected.find("\"MailSubject\"");
    std::size_t to = expected.find("\"Window\"");
    expected.replace(from, to - from, "\"MailSubject\"=\"short\"\r\n");
    expected.insert(expected.find("\r\n\r\n", expected.find("\"Window\"")) + 2, "\"OpenEml\"=\"new\"\r\n");
    EXPECT_EQ(doc.Serialize(), expected);

    // A key that is not there yet is added at the end, in the file's own line ends.
    doc.SetDword("HKEY_CURRENT_USER\\Software\\Other", "X", 1);
    EXPECT_EQ(doc.Serialize(), expected + "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"X\"=dword:00000001\r\n\r\n");

    // A file without a final line end, comments and foreign keys stay as they were.
    doc.Parse("REGEDIT4\n; mine\n[HKEY_LOCAL_MACHINE\\X]\n\"A\"=\"1\"\n[" + kKey + "]\n\"B\"=\"2\"", "t.reg");
    doc.SetString(kKey, "C", "3");
    EXPECT_EQ(doc.Serialize(),
              "REGEDIT4\n; mine\n[HKEY_LOCAL_MACHINE\\X]\n\"A\"=\"1\"\n[" + kKey + "]\n\"B\"=\"2\"\n\"C\"=\"3\"\n");
    RegDocument empty;
    empty.Parse("", "e.reg");
    empty.SetString(kKey, "", "default value");
    EXPECT_EQ(empty.Serialize(), "REGEDIT4\n\n[" + kKey + "]\n@=\"default value\"\n\n");
}

TEST(RegDocument, AwkwardStringsComeBackExactly) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const std::vector<std::string> cases = {
        "", "\"", "\\", "ends in backslash\\", "\\\"\\\\\"", "line\nbreak", "cr\rlf\r\n", std::string("nul\0inside", 10),
        "tab\there", "  spaces  ", "; not a comment", "=\"x\"=dword:1", "Gr\xFC\xDF" "e \xC3\xA4 \xFF", all,
        std::string(5000, 'x'), std::string(300, '\n'),
    };
    for (const std::string& eol : {std::string("\n"), std::string("\r\n")}) {
        RegDocument doc;
        doc.Parse("REGEDIT4" + eol, "a.reg");
        for (std::size_t i = 0; i < cases.size(); ++i) doc.SetString(kKey, "v" + std::to_string(i), cases[i]);
        RegDocument back;
        back.Parse(doc.Serialize(), "a.reg");
        EXPECT_TRUE(back.Warnings().empty()) << back.Warnings()[0];
        for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(StringOf(back, "v" + std::to_string(i)), cases[i]) << i;
        EXPECT_EQ(back.Serialize(), doc.Serialize());
    }
}

TEST(RegDocument, DamagedTextIsReportedAndKept) {
    struct Case {
        std::string text;
        std::string warning;  // "" when none is due
    };
    const std::string head = "REGEDIT4\n[" + kKey + "]\n";
    const std::vector<Case> cases = {
        {"REGEDIT5\n[" + kKey + "]\n\"OK\"=\"1\"\n", "x.reg:1: the file does not start with REGEDIT4"},
        {head + "\"OK\"=\"1\"\n\"Bad\"=dword:1234567890\n", "x.reg:4: the data of value \"Bad\" is not understood"},
        {head + "\"OK\"=\"1\"\n\"Bad\"=\"open\n", "x.reg:4: the data of value \"Bad\""},
        {head + "\"OK\"=\"1\"\n\"Bad\"=hex:1,2,zz\n", "x.reg:4: the data of value \"Bad\""},
        {head + "\"OK\"=\"1\"\n\"Bad\"=hex(x):01\n", "x.reg:4: the data of value \"Bad\""},
        {head + "\"OK\"=\"1\"\n\"Bad\"=hex:01,\\\n", "x.reg:4: the value is cut short"},
        {head + "\"OK\"=\"1\"\n\"Bad\"=hex:01,\\\n02\n", "x.reg:4: the value is cut short"},
        {head + "\"OK\"=\"0\"\n\"OK\"=\"1\"\n", "x.reg:4: value \"OK\" appears again (first on line 3); this one counts"},
        {head + "\"OK\"=\"1\"\n[HKEY_LOCAL_MACHINE\\Software\\Quillory\\Options]\n\"OK\"=\"2\"\n",
         "x.reg:4: key [HKEY_LOCAL_MACHINE\\Software\\Quillory\\Options] is not under HKEY_CURRENT_USER"},
        {head + "\"OK\"=\"1\"\n[-" + kKey + "]\n\"OK\"=\"2\"\n", "x.reg:4: removing a key is not supported"},
        {head + "\"OK\"=\"1\"\n[" + kKey + "\n\"OK\"=\"2\"\n", "x.reg:4: a key line without ']' is ignored"},
        {std::string("REGEDIT4\n\x01\xFF") + '\0' + "junk\n[" + kKey + "]\n\"OK\"=\"1\"\n", "x.reg:2: line not understood"},
        {"\"OK\"=\"1\"\n[" + kKey + "]\n\"OK\"=\"1\"\n", "x.reg:1: value \"OK\" belongs to no usable key"},
        {head + "\"OK\"=\"1\"\n\"Gone\"=-\n", ""},
        {"\xEF\xBB\xBFREGEDIT4\r\n[" + kKey + "]\r\n\"OK\"  =  \"1\"  \r\n", ""},
    };
    for (const Case& c : cases) {
        RegDocument doc;
        doc.Parse(c.text, "x.reg");
        EXPECT_EQ(StringOf(doc, "OK"), "1") << c.text;
        EXPECT_EQ(StringOf(doc, "Bad"), "<none>") << c.text;
        EXPECT_EQ(StringOf(doc, "Gone"), "<none>") << c.text;
        if (c.warning.empty()) {
            EXPECT_TRUE(doc.Warnings().empty()) << c.text << doc.Warnings()[0];
        } else {
            bool found = false;
            for (const std::string& w : doc.Warnings()) found = found || w.rfind(c.warning, 0) == 0;
            EXPECT_TRUE(found) << c.warning;
        }
        EXPECT_EQ(doc.Serialize(), c.text);
    }
}

std::string Utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

// A UTF-16 export reads as REGEDIT4; text nothing can read is marked so.
TEST(RegDocument, Utf16ExportsAndUnreadableText) {
    const std::string body = "[" + kKey + "]\r\n\"SmtpServer\"=\"m\"\r\n\"Other\"=\"x\"\r\n"
                             "\"MailSubject\"=hex(1):61,00,0a,00,e9,00,00,00\r\n";
    std::string jorg = Utf16("\"MailTo\"=\"J") + "\xF6" + std::string("\0", 1) + Utf16("rg\"\r\n").substr(2);
    struct Case {
        std::string text, unreadable, serialized;
    } cases[] = {
        {Utf16("Windows Registry Editor Version 5.00\r\n\r\n" + body) + jorg.substr(2), "",
         "REGEDIT4\r\n\r\n[" + kKey + "]\r\n\"SmtpServer\"=\"m\"\r\n\"Other\"=\"x\"\r\n"
         "\"MailSubject\"=hex(1):61,0a,c3,a9,00\r\n\"MailTo\"=\"J\xC3\xB6rg\"\r\n"},
        {Utf16("RE\n"), "nothing in it reads as a registry file", ""},
        {"R\0E\0G\0E\0D\0I\0T\0" "4\0\n\0", "nothing in it reads as a registry file", ""},
        {"\xFE\xFF\0R", "it is UTF-16 big-endian text", ""},
        {Utf16("REGEDIT4") + std::string("\x00\xDC", 2), "it is not valid UTF-16 text", ""},
        {"\x7F" "ELF\1\1\0\0binary", "nothing in it reads as a registry file", ""},
    };
    for (const Case& c : cases) {
        RegDocument doc;
        doc.Parse(c.text, "w.reg");
        EXPECT_EQ(doc.Unreadable(), c.unreadable) << c.text;
        EXPECT_EQ(doc.Serialize(), c.serialized.empty() ? c.text : c.serialized);
        if (c.unreadable.empty()) {
            EXPECT_TRUE(doc.Warnings().empty()) << doc.Warnings()[0];
            EXPECT_EQ(StringOf(doc, "MailSubject"), "a\n\xC3\xA9");
        }
    }
}

// Random damage to a valid file: reading never fails, writes back what it read,
// and a value set afterwards reads back without disturbing the others.
TEST(RegDocument, SurvivesRandomDamage) {
    const std::string seed = kWindowsExport + "; comment\n[" + kKey + "]\n\"MailFrom\"=\"a@b\"\n\"N\"=dword:7\n";
    const std::string alphabet = "[]\"\\=@:,;-()\r\n \t0aFxhexdword\xFF";
    const std::vector<std::string> names = {"SmtpServer", "SmtpPort", "MailSubject", "MailFrom", "N", "Window"};
    std::mt19937 rng(617);
    for (int round = 0; round < 3000; ++round) {
        std::string text = seed;
        int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            std::size_t at = rng() % text.size();
            switch (rng() % 4) {
            case 0: text[at] = alphabet[rng() % alphabet.size()]; break;
            case 1: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
            case 2: text.erase(at, 1 + rng() % 20); break;
            default: text.resize(at); break;
            }
        }
        RegDocument doc;
        doc.Parse(text, "f.reg");
        ASSERT_EQ(doc.Serialize(), text);

        const std::string& name = names[rng() % names.size()];
        std::vector<RegDocument::Found> before(names.size());
        std::vector<bool> had(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) had[i] = doc.Find(kKey, names[i], before[i]);
        std::string value = text.empty() ? "v" : text.substr(rng() % text.size() / 2, rng() % 40);
        doc.SetString(kKey, name, value);
        RegDocument back;
        back.Parse(doc.Serialize(), "f.reg");
        ASSERT_EQ(StringOf(back, name), value) << text;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) continue;
            RegDocument::Found now;
            ASSERT_EQ(back.Find(kKey, names[i], now), had[i]) << names[i] << " after setting " << name << " in\n"
                                                                  << text << "\n---\n" << doc.Serialize();
            if (had[i]) {
                EXPECT_EQ(now.kind, before[i].kind);
                EXPECT_EQ(now.data, before[i].data);
            }
        }
    }
}

} // namespace
