// The text/plain alternative: the rendering of real page shapes, and the
// quoted-printable filter fed in any piece size.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "compose/HtmlToText.h"
#include "core/QuotedPrintable.h"

namespace {

struct Row {
    const char* name;
    const char* html;
    const char* text;
};

const Row kRows[] = {
    {"paragraphs and breaks", "<p>One\n  two</p><p>Three<br>four</p>", "One two\n\nThree\nfour\n"},
    {"headings", "<h1>News  of the week</h1><h2>Sub</h2><h3>Small</h3><p>x</p>",
     "News of the week\n================\n\nSub\n---\n\nSmall\n\nx\n"},
    {"lists, nested and numbered", "<ul><li>a</li><li>b<ol><li>c</li><li>d</li></ol></li></ul><p>end</p>",
     " * a\n * b\n   1. c\n   2. d\n\nend\n"},
    {"links", "<p><a href=\"https://x.example/a\">Read more</a> or <a href=\"https://x.example/b\">"
              "https://x.example/b</a>, <a href=\"mailto:me@x.example\">me@x.example</a>, "
              "<a href=\"#top\">top</a></p>",
     "Read more <https://x.example/a> or https://x.example/b, me@x.example, top\n"},
    {"script, style, head and entities", "<html><head><title>T</title><style>p{}</style></head><body>"
                                         "<script>var a = 1;</script><p>Fish &amp; chips &eacute;&#233; &lt;ok&gt;</p>",
     "Fish & chips \xC3\xA9\xC3\xA9 <ok>\n"},
    {"images by their alt text", "<p><img src=a.png alt=\"Logo\"> <img src=b.png></p>", "Logo\n"},
    {"tables row by row", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a b\nc\n"},
    {"wrapping at 76", "<p>aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll mmmm nnnn oooo pppp qqqq</p>",
     "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll mmmm nnnn oooo\npppp qqqq\n"},
    {"preformatted text as it stands", "<pre>a   b\n  c</pre>", "a   b\n  c\n"},
};

TEST(PlainText, RendersPagesInReadingOrder) {
    for (const Row& r : kRows) EXPECT_EQ(HtmlToText(r.html), r.text) << r.name;
}

TEST(PlainText, QuotedPrintableIsTheSameInAnyPieceSizeAndDecodesBack) {
    std::string text = "Caf\xC3\xA9 = 100%\r\ntrailing space \nlone\rCR\t\n" + std::string(200, 'x') + "\n.\n" +
                       std::string(90, ' ') + "end";
    std::string whole;
    CQuotedPrintableEncoder one;
    one.Feed(text, whole);
    one.Finish(whole);
    std::string bytewise;
    CQuotedPrintableEncoder each;
    for (char c : text) each.Feed(std::string_view(&c, 1), bytewise);
    each.Finish(bytewise);
    EXPECT_EQ(whole, bytewise);
    for (std::size_t p = 0, nl; p < whole.size(); p = nl + 2) {
        nl = whole.find("\r\n", p);
        ASSERT_NE(nl, std::string::npos);
        EXPECT_LE(nl - p, 76u) << whole.substr(p, nl - p);
        EXPECT_NE(whole[nl - 1], ' ');
    }
    // Python's decoder, with the line ends as the encoder made them, gives the text back.
    testutil::TempDir dir;
    std::string in = dir.Write("qp.txt", whole);
    std::string out;
    ASSERT_EQ(testutil::RunCommand(std::string(QUILLORY_PYTHON) +
                                       " -c \"import quopri,sys; sys.stdout.buffer.write(quopri.decodestring("
                                       "open(sys.argv[1],'rb').read()))\" " + in + " > " + dir.Path() + "back",
                                   &out),
              0)
        << out;
    std::string expected = text;
    for (std::size_t p; (p = expected.find("\r\n")) != std::string::npos;) expected.replace(p, 2, "\n");
    std::string back = testutil::ReadFile(dir.Path() + "back");
    for (std::size_t p; (p = back.find("\r\n")) != std::string::npos;) back.replace(p, 2, "\n");
    EXPECT_EQ(back, expected + "\n");
}

} // namespace
