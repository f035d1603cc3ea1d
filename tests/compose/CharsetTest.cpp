// The charset label of the HTML part: the declared content type first, then the
// HTML5 charset attribute, then a byte order mark, else iso-8859-1.
#include <gtest/gtest.h>

#include "ScanFixture.h"
#include "compose/CharsetDetect.h"

namespace {

// What the page declares, searched as the composer does: in its lowered copy.
std::string Declared(std::string page) {
    for (char& ch : page)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    std::string cs = "<none>";
    FindDeclaredCharset(page, cs);
    return cs;
}

TEST(CharsetDetection, ContentTypeMetaTags) {
    EXPECT_EQ(Declared("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"), "utf-8");
    EXPECT_EQ(Declared("<meta http-equiv='Content-Type' content='text/html; charset=UTF-8'>"), "utf-8");
    EXPECT_EQ(Declared("<META CONTENT=\"text/html; CHARSET=Windows-1252\" HTTP-EQUIV=\"Content-Type\">"),
              "windows-1252");
    EXPECT_EQ(Declared("<meta http-equiv=content-type content=text/html;charset=koi8-r>"), "koi8-r");
    // White space around both '=' signs is allowed.
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content = \"text/html; charset = big5 \">"), "big5");
    // A semicolon straight after the name belongs to it.
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8;\">"), "utf-8;");
    // Nothing between '=' and the closing quote: an empty name, still a declaration.
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html; charset=\">"), "");
    // The first tag that yields a charset wins; unusable ones are passed over.
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html\">"
                       "<meta http-equiv=\"content-type\" content=\"text/html; charset=\">"
                       "<meta http-equiv=\"content-type\" content=\"text/html; charset=euc-jp\">"),
              "");
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8>"
                       "<meta http-equiv=\"content-type\" content=\"text/html; charset=euc-jp\">"),
              "euc-jp");
    EXPECT_EQ(Declared("<p>no meta at all</p>"), "<none>");
    // "<meta" followed by a line break is not the prefix searched for.
    EXPECT_EQ(Declared("<meta\nhttp-equiv=\"content-type\" content=\"text/html; charset=utf-8\">"), "<none>");
}

TEST(CharsetDetection, NameEndsAtWhiteSpaceOrQuoteAndHasALimit) {
    // A line break inside the value must not reach the part header.
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\r\n\">"), "utf-8");
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\t\">"), "utf-8");
    EXPECT_EQ(Declared("<meta http-equiv=content-type content='text/html; charset=utf-8\"x'>"), "utf-8");
    std::string name63(63, 'x'), name64(64, 'x');
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html; charset=" + name63 + "\">"), name63);
    EXPECT_EQ(Declared("<meta http-equiv=\"content-type\" content=\"text/html; charset=" + name64 + "\">"),
              "<none>");
}

TEST(CharsetDetection, Html5AttributeAndByteOrderMarkComeAfterTheContentType) {
    EXPECT_EQ(Declared("<meta charset=\"UTF-8\">"), "utf-8");
    EXPECT_EQ(Declared("<meta name=viewport content=\"width=device-width\"><meta charset=utf-8 />"), "utf-8");
    EXPECT_EQ(Declared("<meta charset='shift_jis'>"), "shift_jis");
    // The content type is searched first, even when it comes later in the page.
    EXPECT_EQ(Declared("<meta charset=\"utf-8\"><meta http-equiv=\"content-type\" "
                       "content=\"text/html; charset=iso-8859-2\">"),
              "iso-8859-2");
    // "charset" inside another attribute's value is no charset attribute.
    EXPECT_EQ(Declared("<meta name=\"charset\" content=\"charset=x\"><meta charset=\"gbk\">"), "gbk");
    EXPECT_EQ(Declared("\xEF\xBB\xBF<html><p>bom only</p>"), "utf-8");
    EXPECT_EQ(Declared("<p>\xEF\xBB\xBF not at the start</p>"), "<none>");
    EXPECT_EQ(Declared("\xEF\xBB\xBF<meta charset=\"windows-1251\">"), "windows-1251");
    EXPECT_EQ(Declared("<meta charset=\"\">"), "<none>");
}

using CharsetLabel = ScanFixture;

TEST_F(CharsetLabel, TheHtmlPartCarriesTheDeclaredCharset) {
    Compose("<html><head>\n<meta http-equiv=\"Content-Type\"\n content=\"text/html; charset=UTF-8\n\">");
    EXPECT_NE(eml.find("Content-Type: text/html;\r\n\tcharset=\"utf-8\"\r\n"), std::string::npos);
    Compose("<!doctype html><meta charset=utf-8><p>caf\xC3\xA9</p>");
    EXPECT_NE(eml.find("\tcharset=\"utf-8\"\r\n"), std::string::npos);
    Compose("<p>nothing declared</p>");
    EXPECT_NE(eml.find("\tcharset=\"iso-8859-1\"\r\n"), std::string::npos);
    EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, {}), "");
}

} // namespace
