// The charset label of the HTML part: the declared content type first, then the
// HTML5 charset attribute, then a byte order mark.
#include <gtest/gtest.h>

#include "compose/CharsetDetect.h"

namespace {

// The page as the composer searches it: its lowered copy.
std::string Lowered(std::string page) {
    for (char& ch : page)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return page;
}

std::string Declared(const std::string& page) {
    std::string cs = "<none>";
    FindDeclaredCharset(Lowered(page), cs);
    return cs;
}

TEST(CharsetDetection, WhatThePageDeclares) {
    const std::string name63(63, 'x'), name64(64, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">", "utf-8"},
        {"<meta http-equiv='Content-Type' content='text/html; charset=UTF-8'>", "utf-8"},
        {"<META CONTENT=\"text/html; CHARSET=Windows-1252\" HTTP-EQUIV=\"Content-Type\">", "windows-1252"},
        {"<meta http-equiv=content-type content=text/html;charset=koi8-r>", "koi8-r"},
        // White space around both '=' signs is allowed.
        {"<meta http-equiv=\"content-type\" content = \"text/html; charset = big5 \">", "big5"},
        // The first tag that yields a charset wins; unusable ones are passed over.
        {"<meta http-equiv=\"content-type\" content=\"text/html\">"
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=\">"
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=euc-jp\">",
         ""},
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8>"
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=euc-jp\">",
         "euc-jp"},
        {"<p>no meta at all</p>", "<none>"},
        // "<meta" followed by a line break is not the prefix searched for.
        {"<meta\nhttp-equiv=\"content-type\" content=\"text/html; charset=utf-8\">", "<none>"},
        // The name ends at white space or a quote (a line break must not reach
        // the part header), and has a limit.
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\r\n\">", "utf-8"},
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\t\">", "utf-8"},
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=" + name63 + "\">", name63},
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=" + name64 + "\">", "<none>"},
        {"<meta charset=\"UTF-8\">", "utf-8"},
        {"<meta name=viewport content=\"width=device-width\"><meta charset=utf-8 />", "utf-8"},
        {"<meta charset='shift_jis'>", "shift_jis"},
        // The content type is searched first, even when it comes later in the page.
        {"<meta charset=\"utf-8\"><meta http-equiv=\"content-type\" content=\"text/html; charset=iso-8859-2\">",
         "iso-8859-2"},
        // "charset" inside another attribute's value is no charset attribute.
        {"<meta name=\"charset\" content=\"charset=x\"><meta charset=\"gbk\">", "gbk"},
        {"\xEF\xBB\xBF<html><p>bom only</p>", "utf-8"},
        {"<p>\xEF\xBB\xBF not at the start</p>", "<none>"},
        {"\xEF\xBB\xBF<meta charset=\"windows-1251\">", "windows-1251"},
        {"<meta charset=\"\">", "<none>"},
    };
    for (const auto& [page, want] : cases) EXPECT_EQ(Declared(page), want) << page;
}

// The label the HTML part carries: a sane declared name stays as found; one
// that is no charset name, or that does not read the page's ASCII markup as
// ASCII, gives way (with a notice) to what the bytes are.
TEST(CharsetDetection, LabelOfTheMessage) {
    const struct {
        std::string page;
        std::string label;
        bool notice;
    } cases[] = {
        {"<meta charset=\"Shift_JIS\"><p>\\~</p>", "shift_jis", false},
        {"<meta charset=\"ANSI_X3.4-1968\">", "ansi_x3.4-1968", false},
        {"<p>none</p>", "iso-8859-1", false},
        // A backslash before the tag end is no part of a name, nor a quote, nor a control.
        {"<meta charset=utf-8\\>", "iso-8859-1", true},
        {"<meta http-equiv=content-type content='text/html; charset=utf-8\"x'>", "utf-8", false},
        {"<meta charset=\"utf\x01-8\">", "iso-8859-1", true},
        // A semicolon straight after the name belongs to it; nothing before the quote is an empty name.
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8;\">", "iso-8859-1", true},
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=\">", "iso-8859-1", true},
        {"<meta charset=\"utf-8//translit\">", "iso-8859-1", true},
        {"<meta charset=\"no-such-charset\">", "iso-8859-1", true},
        // Declared UTF-16 (or UTF-7, EBCDIC) over ASCII markup: labelled by the bytes.
        {"<meta charset=\"utf-16\"><p>caf\xc3\xa9</p>", "utf-8", true},
        {"<meta charset=\"UTF-16LE\"><p>caf\xe9</p>", "iso-8859-1", true},
        {"<meta charset=\"utf-7\"><p>+ADw-script+AD4-</p>", "utf-8", true},
        {"<meta charset=\"ibm037\">", "utf-8", true},
        {"<meta charset=\"utf-16\"><p>\xed\xa0\x80</p>", "iso-8859-1", true},
    };
    for (const auto& c : cases) {
        std::string notice;
        EXPECT_EQ(ChoosePageCharset(Lowered(c.page), notice), c.label) << c.page;
        EXPECT_EQ(!notice.empty(), c.notice) << c.page << ": " << notice;
    }
}

} // namespace
