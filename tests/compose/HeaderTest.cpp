#include <gtest/gtest.h>

#include "TestUtil.h"
#include "compose/HeaderFormat.h"
#include "platform/System.h"

namespace {

std::string DateIn(const char* tz, std::time_t t) {
    testutil::ScopedTz zone(tz);
    std::tm local {};
    long off = 0;
    EXPECT_TRUE(platform::ToLocalTime(t, local, off));
    return FormatRfcDate(local, off);
}

std::string Line(const char* name, const std::string& value) {
    std::string line, error;
    std::vector<std::string> warnings;
    bool ok = std::string(name) == "Subject" ? FormatSubjectHeader(value, line, error)
                                              : FormatAddressHeader(name, value, line, error, warnings);
    EXPECT_TRUE(ok) << error;
    return line;
}

// Address lists keep their pieces as typed; only a ';' between addresses,
// which RFC 5322 readers stop at, becomes ", ".
TEST(HeaderLine, AsciiValuesAreWrittenAsTypedControlsAsSpaces) {
    const struct {
        const char* name;
        std::string value, line;
    } cases[] = {
        {"Subject", "", "Subject: \r\n"},
        {"From", "Ann <ann@example.com>", "From: Ann <ann@example.com>\r\n"},
        {"To", "b@y.org; , Bob <bob@y.org>", "To: b@y.org, Bob <bob@y.org>\r\n"},
        {"Cc", "\"Doe; J\" (w; x) <j@x.org>;Team: a@x.org, b@y.org;;c@z.org;", "Cc: \"Doe; J\" (w; x) <j@x.org>, "
                                                                          "Team: a@x.org, b@y.org;, c@z.org\r\n"},
        {"To", "a@x.org,b@y.org ,  , Team: c@z.org;", "To: a@x.org,b@y.org ,  , Team: c@z.org;\r\n"},
        {"To", "a@x.org; carol at example dot com", "To: a@x.org; carol at example dot com\r\n"},
        {"Subject", "  two  spaces \"quoted\"\ttab", "Subject:   two  spaces \"quoted\"\ttab\r\n"},
        {"Subject", "Hi\r\nBcc: victim@example.com", "Subject: Hi  Bcc: victim@example.com\r\n"},
        {"To", "a@x\nb@y\rc@z", "To: a@x b@y c@z\r\n"},
        {"Subject", "esc\x1b[2J vt\x0b del\x7f nul", "Subject: esc [2J vt  del  nul\r\n"},
        {"Cc", "c@z\x1b]0;title\x07", "Cc: c@z ]0;title \r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Line(c.name, c.value), c.line) << c.value;
}

TEST(HeaderLine, OtherTextIsEncodedWhole) {
    EXPECT_EQ(Line("Subject", "Zo\xc3\xab"), "Subject: =?UTF-8?B?Wm/Dqw==?=\r\n");
    EXPECT_EQ(Line("Subject", "caf\xe9"), "Subject: =?UTF-8?B?Y2Fmw6k=?=\r\n");  // windows-1252 byte
    EXPECT_EQ(Line("From", "Zo\xc3\xab <zoe@ex\xc3\xa4mple.de>"), "From: =?UTF-8?B?Wm/Dqw==?= <zoe@xn--exmple-cua.de>\r\n");
}

TEST(HeaderLine, LongLinesFoldOrFailNeverPass998) {
    std::string words;
    for (int i = 0; i < 400; ++i) words += "word ";  // 2000 characters
    std::string out = Line("Subject", words);
    std::string unfolded;
    for (std::size_t start = 0, end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 998u);
        EXPECT_TRUE(start == 0 || out[start] == ' ');
        unfolded += out.substr(start, end - start);
    }
    EXPECT_EQ(unfolded, "Subject: " + words) << "unfolding gives back the value";
    std::string exact(998 - 9, 'a');
    EXPECT_EQ(Line("Subject", exact), "Subject: " + exact + "\r\n");

    // 20 KB of addresses with nowhere to break: folded between them.
    std::string list;
    for (int i = 0; i < 1000; ++i) list += (i ? "," : "") + std::string("u") + std::to_string(i) + "@e.org";
    out = Line("To", list);
    EXPECT_NE(out.find("To: u0@e.org, u1@e.org,"), std::string::npos);
    for (std::size_t start = 0, end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 78u);

    // One word or address that cannot fit fails, naming the header.
    std::string error, line;
    std::vector<std::string> warnings;
    EXPECT_FALSE(FormatSubjectHeader(std::string(2000, 'b'), line, error));
    EXPECT_EQ(error, "Subject: a word is longer than a header line may be (998 octets)");
    EXPECT_FALSE(FormatAddressHeader("To", "a@b.c, " + std::string(1000, 'x') + "@e.org", line, error, warnings));
    EXPECT_EQ(error, "To: an address is longer than a header line may be (998 octets)");
    EXPECT_FALSE(FormatAddressHeader("Cc", std::string(1000, 'x') + " no list", line, error, warnings));
    EXPECT_EQ(error, "Cc: a word is longer than a header line may be (998 octets)");
}

TEST(HeaderLine, FileNameParameters) {
    EXPECT_EQ(FormatNameParameter("say \"hi\"\\x.txt"), "\tname=\"say \\\"hi\\\"\\\\x.txt\"");
    EXPECT_EQ(FormatFilenameParameter("two\r\nlines.txt"), "\tfilename=\"two  lines.txt\"");
    EXPECT_EQ(FormatNameParameter("\xc3\xbc" "ber.png"), "\tname=\"=?UTF-8?B?w7xiZXIucG5n?=\"");
    EXPECT_EQ(FormatFilenameParameter("\xc3\xbc" "ber.png"), "\tfilename*=UTF-8''%C3%BCber.png");
}

TEST(DateHeader, ZonesAndDaylightTime) {
    const std::time_t winter = 1796514092;  // 2026-12-05 23:41:32 UTC
    const std::time_t summer = 1783252800;  // 2026-07-05 12:00:00 UTC
    EXPECT_EQ(DateIn("UTC", winter), "Sat, 05 Dec 2026 23:41:32 -0000");
    EXPECT_EQ(DateIn("America/New_York", winter), "Sat, 05 Dec 2026 18:41:32 -0500");
    EXPECT_EQ(DateIn("America/New_York", summer), "Sun, 05 Jul 2026 08:00:00 -0400");
    EXPECT_EQ(DateIn("Asia/Kolkata", winter), "Sun, 06 Dec 2026 05:11:32 +0530");
    EXPECT_EQ(DateIn("Pacific/Marquesas", summer), "Sun, 05 Jul 2026 02:30:00 -0930");
}

} // namespace
