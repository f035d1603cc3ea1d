// "Prepare for webmail": data: URIs, CSS url() and linked style sheets become
// parts, read back by two independent parsers (GMime and Python's email).
#include <algorithm>
#include <map>
#include <regex>

#include "ScanFixture.h"
#include "compose/MessageReader.h"

namespace {

struct Want {
    std::string type;  // empty: not checked
    std::string bytes;
};

struct Webmail : ScanFixture {
    Webmail() { webmail = true; }

    // The parts the HTML names by cid:, in order of first mention, hold want:
    // so says GMime, and so says Python's email package.
    void ExpectCidParts(const std::vector<Want>& want) {
        MessageContent view;
        std::string err;
        ASSERT_TRUE(ReadMessageFile(c->m_job.m_strOutputPath, view, err)) << err;
        std::vector<std::string> named;
        static const std::regex kCid("cid:([^\"'\\s>)]+)");
        for (std::sregex_iterator m(view.m_strHtml.begin(), view.m_strHtml.end(), kCid), end; m != end; ++m)
            if (std::find(named.begin(), named.end(), (*m)[1].str()) == named.end()) named.push_back((*m)[1].str());
        ASSERT_EQ(named.size(), want.size()) << view.m_strHtml;
        std::vector<std::string> args;
        for (std::size_t i = 0; i < want.size(); ++i) {
            ASSERT_TRUE(view.m_mapParts.count(named[i])) << named[i];
            const MessagePart& got = view.m_mapParts[named[i]];
            EXPECT_EQ(got.m_strData, want[i].bytes) << i;
            if (!want[i].type.empty()) {
                EXPECT_EQ(got.m_strContentType, want[i].type) << i;
            }
            args.insert(args.end(), {"--cid", dir.Write("want/" + std::to_string(i), want[i].bytes)});
        }
        EXPECT_EQ(view.m_mapParts.size(), want.size());
        EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, args), "");
    }

    void ExpectStays(const std::vector<std::string>& texts) {
        std::string body = Body();
        for (const std::string& t : texts) EXPECT_NE(body.find(t), std::string::npos) << t << "\n" << body;
    }
};

const char kPng[] = "\x89PNG\r\n\x1a\n";

TEST_F(Webmail, DataUrisBecomeOnePartPerTypeAndContent) {
    fixed.random.next = 0;
    Compose("<img src=\"data:image/png;base64,iVBORw0KGgo=\">\n"
            "<input type=image src=\"DATA:image/PNG;base64,iVBO Rw0K\nGgo\">\n"
            "<td background=\"data:image/gif,GIF89a%01%00\">\n"
            "<script src=\"data:,alert(%22hi%22)\"></script>\n"
            "<link rel=icon href=\"data:text/css;charset=utf-8,p%7Bcolor:red%7D\">\n"
            "<img src=\"data:text/plain;charset=US-ASCII,alert(&quot;hi&quot;)\">\n"
            "<img src=\"data:image/gif,alert(%22hi%22)\">\n"
            "<p style=\"background:url(data:image/png;base64,iVBORw0KGgo=)\">\n"
            "<img src=\"data:image/png;base64,@@@@\"><img src=\"data:image/png;base64\">"
            "<img src=\"data:im age/png,x\"><img src=\"data:image/png;x=\x01;base64,AA==\">\n"
            "<img src=\"data:image/svg+xml;utf8,%3Csvg/%3E\">\n");
    ExpectCidParts({{"image/png", std::string(kPng, 8)},
                    {"image/gif", std::string("GIF89a\x01\x00", 8)},
                    {"text/plain", "alert(\"hi\")"},
                    {"text/css", "p{color:red}"},
                    {"image/gif", "alert(\"hi\")"},
                    {"image/svg+xml", "<svg/>"}});
    ExpectStays({"src=\"data:image/png;base64,@@@@\"", "src=\"data:image/png;base64\"", "src=\"data:im age/png,x\"",
                 "src=\"data:image/png;x=\x01;base64,AA==\""});
    // RFC 2397's default type, and a parameter as written.
    EXPECT_NE(eml.find("Content-Type: text/plain;\r\n\tcharset=US-ASCII;\r\n\tname="), std::string::npos);
    EXPECT_NE(eml.find("Content-Type: text/css;\r\n\tcharset=utf-8;\r\n\tname="), std::string::npos);
}

TEST_F(Webmail, LinkedStyleSheetsAreInlinedWithTheirFilesAndImports) {
    File("css/main.css", "@import \"more.css\" screen;\n@import url(http://remote/x.css);\n"
                         "body{background:url(../img/bg.png)}\n.f{src:url('fonts/f.woff')}\n.s:after{content:\"</style>\"}\n");
    File("css/more.css", "@import 'main.css';\n.m{background:url(m.gif)}");
    File("img/bg.png", "BG");
    File("css/fonts/f.woff", "WOFF");
    File("css/m.gif", "M");
    File("latin.css", "@charset \"iso-8859-1\";\n.l:after{content:\"\xE9\"}");
    Compose("<meta charset=utf-8><link rel=stylesheet href=\"css/main.css\" media=\"print\">"
            "<link rel=\"Stylesheet\" href=\"https://cdn.example/x.css\"><img src=\"img/bg.png\">"
            "<link rel=stylesheet href=latin.css><link rel=\"alternate stylesheet\" href=\"css/m.gif\">");
    // The sheets' files and the page's tags share parts: the alternate sheet's
    // link is a plain reference to m.gif.
    ExpectCidParts({{"image/gif", "M"}, {"image/png", "BG"}, {"", "WOFF"}});
    std::string body = Body();
    EXPECT_EQ(body.find("href=\"css/main.css\""), std::string::npos);
    EXPECT_EQ(body.find("href=latin.css"), std::string::npos);
    // The cycle back to main.css stays as written; the imported sheet keeps its media.
    ExpectStays({"<style media=\"screen\">@import 'main.css';\r\n.m{background:url(cid:",
                 "<style media=\"print\">\r\n@import url(http://remote/x.css);\r\nbody{background:url(cid:",
                 "content:\"<\\/style>\"}\r\n</style>", "<link rel=\"Stylesheet\" href=\"https://cdn.example/x.css\">",
                 "<style>\r\n.l:after{content:\"\xC3\xA9\"}</style>"});
    EXPECT_EQ(body.find("@charset"), std::string::npos);
}

// Sheets that import the next four times each: every sheet goes in once per
// link, however often it is imported, and imports stop at sixteen levels.
TEST_F(Webmail, FanOutImportsAreInlinedOncePerLinkSixteenLevelsDeep) {
    for (int i = 0; i < 20; ++i) {
        std::string next = "@import \"s" + std::to_string(i + 1) + ".css\";";
        File("s" + std::to_string(i) + ".css", (i < 19 ? next + next + next + next : "") + ".c" + std::to_string(i) + "{}");
    }
    Compose("<link rel=stylesheet href=s0.css><p><link rel=stylesheet href=s12.css>");
    std::string body = Body();
    auto count = [&](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = body.find(text, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(count(".c" + std::to_string(i) + "{}"), i >= 12 && i <= 16 ? 2u : 1u) << i;
    // Only the first link's seventeenth level stays as written.
    EXPECT_EQ(count("@import"), 4u);
    EXPECT_EQ(count("@import \"s17.css\""), 4u);
    EXPECT_LT(body.size(), 2000u);
    EXPECT_TRUE(c->Warnings().empty());
}

// The sheets of one message together stay within 16 MiB; the sheet that would
// go past it, and every one after, stays linked (as a part).
TEST_F(Webmail, InlinedSheetsAreCapped) {
    const std::string big(6u << 20, ' ');
    File("a.css", ".a{}" + big);
    File("b.css", ".b{}" + big);
    File("c.css", ".c{}" + big);
    File("d.css", ".d{}");
    Compose("<link rel=stylesheet href=a.css><link rel=stylesheet href=b.css><link rel=stylesheet href=c.css>"
            "<link rel=stylesheet href=d.css>");
    // Linked as parts, as without the option.
    ExpectStays({"<style>.a{}", "<style>.b{}", "</style><link rel=stylesheet href=cid:"});
    EXPECT_EQ(Body().find(".d{}"), std::string::npos);
    EXPECT_EQ(c->Warnings(), std::vector<std::string>{"The style sheets to inline exceed 16 MiB: '" + dir.Path() +
                                                      "c.css' and the sheets after it stay linked."});
}

TEST_F(Webmail, TheSafetyRuleHoldsForSheetsAndWhatTheyLoad) {
    testutil::TempDir elsewhere;
    std::string secret = elsewhere.Write("secret.txt", "secret");
    std::string shadow = elsewhere.Write("shadow", "shadow");
    std::string pic = elsewhere.Write("pic.png", "PIC");
    File("site.css", "a{background:url(" + shadow + ")} b{background:url(" + pic + ")}");
    Compose("<link rel=stylesheet href=\"" + secret + "\"><link rel=stylesheet href=site.css>"
            "<p style=\"background:url(" + shadow + ")\">");
    ExpectCidParts({{"image/png", "PIC"}});
    ExpectStays({"<link rel=stylesheet href=\"" + secret + "\">", "a{background:url(" + shadow + ")}",
                 "style=\"background:url(" + shadow + ")\""});
    EXPECT_EQ(eml.find("secret"), std::string::npos);
    ASSERT_EQ(c->LeftOut().size(), 2u);
}

} // namespace
