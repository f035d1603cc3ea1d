// The charset label of the HTML part: the declared content type first, then the
// HTML5 charset attribute, then a byte order mark.
#include <gtest/gtest.h>

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

TEST(CharsetDetection, WhatThePageDeclares) {
    const std::string name63(63, 'x'), name64(64, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">", "utf-8"},
        {"<meta http-equiv='Content-Type' content='text/html; charset=UTF-8'>", "utf-8"},
        {"<META CONTENT=\"text/html; CHARSET=Windows-1252\" HTTP-EQUIV=\"Content-Type\">", "windows-1252"},
        {"<meta http-equiv=content-type content=text/html;charset=koi8-r>", "koi8-r"},
        // White space around both '=' signs is allowed.
        {"<meta http-equiv=\"content-type\" content = \"text/html; charset = big5 \">", "big5"},
        // A semicolon straight after the name belongs to it.
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8;\">", "utf-8;"},
        // Nothing between '=' and the closing quote: an empty name, still a declaration.
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=\">", ""},
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
        {"<meta http-equiv=content-type content='text/html; charset=utf-8\"x'>", "utf-8"},
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

} // namespace
