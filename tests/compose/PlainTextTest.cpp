// The text/plain alternative: the rendering of real page shapes, the
// quoted-printable filter fed in any piece size, and the messages that carry
// it as an independent parser reads them.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "compose/HtmlToText.h"
#include "compose/MimeComposer.h"
#include "core/QuotedPrintable.h"

namespace {

struct Row {
    const char* name;
    std::string html;
    std::string text;
};

const Row kRows[] = {
    {"paragraphs and breaks", "<p>One\n  two</p><p>Three<br>four</p>", "One two\n\nThree\nfour\n"},
    {"headings", "<h1>News  of the week</h1><h2>Sub</h2><h3>Small</h3><p>x</p>",
     "News of the week\n================\n\nSub\n---\n\nSmall\n\nx\n"},
    {"lists, nested and numbered", "<ul><li>a</li><li>b<ol><li>c</li><li>d</li></ol></li></ul><p>end</p>",
     " * a\n * b\n   1. c\n   2. d\n\nend\n"},
    {"links", "<p><a href=\"https://x.example/a\">Read more</a> or <a href=\"https://x.example/b\">"
              "https://x.example/b</a>, <a href=\"mailto:me@x.example\">me@x.example</a>, "
              "<a href=\"#top\">top</a>, <a href=\"cid:logo@x\">cid</a>, <a href=\"page2.html\">next</a></p>",
     "Read more <https://x.example/a> or https://x.example/b, me@x.example, top,\ncid, next\n"},
    {"a heading that is a link", "<h2><a href=\"https://x.example/s\">Story</a></h2>",
     "Story <https://x.example/s>\n---------------------------\n"},
    {"a long address stays whole", "<p>See <a href=\"https://x.example/" + std::string(80, 'u') + "\">this</a>.</p>",
     "See this\n<https://x.example/" + std::string(80, 'u') + ">.\n"},
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

// The title a new page gives the Subject field.
TEST(PlainText, TheTitleAsABrowserShowsIt) {
    const Row rows[] = {
        {"folded, entities decoded", "<TITLE lang=en>\n  Fish &amp;\tchips &lt;now&gt; </TITLE>", "Fish & chips <now>"},
        {"markup inside is text", "<title>a <b>bold</b> move</title>", "a <b>bold</b> move"},
        {"the first only, never a drawing's", "<svg><title>Logo</title></svg><title>Real</title><title>No</title>",
         "Real"},
        {"not in a comment or script", "<!-- <title>old</title> --><script>'<title>x</title>'</script><p>no title",
         ""},
        {"UTF-8 and windows-1252 bytes", "<title>caf\xC3\xA9 \x93q\x94</title>", "caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D"},
        {"none", "<p>Hello</p>", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(PageTitle(r.html), r.text) << r.name;
}

TEST(PlainText, QuotedPrintableIsTheSameInAnyPieceSizeAndDecodesBack) {
    std::string text = "Caf\xC3\xA9 = 100%\r\ntrailing space \nlone\rCR\t\nFrom me\n" + std::string(200, 'x') +
                       "\n.\n" + std::string(75, 'y') + "From \n" + std::string(90, ' ') + "end";
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
        EXPECT_NE(whole.compare(p, 5, "From "), 0) << "mailbox files would change it";
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

// Real newsletters composed with the text alternative: the message has the
// alternative's shape and its text reads as the reviewed golden file in
// Python's email package, and the dry run counts every byte.
TEST(PlainTextAlternative, NewslettersInEveryShape) {
    const std::string src = QUILLORY_SOURCE_DIR, pages = src + "/tests/compose/pages/";
    struct Case {
        std::string page, golden;
        bool attach;
    } cases[] = {
        {src + "/examples/newsletter/index.html", "newsletter", false},
        {pages + "bakery.html", "bakery", true},
        {pages + "digest.html", "digest", false},
        {pages + "meetup.html", "meetup", true},  // declared ISO-8859-1
    };
    testutil::TempDir dir;
    const std::string notes = dir.Write("notes.txt", "ab");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.golden);
        testutil::FixedPlatform fixed, again;  // the dry run draws what the composition drew
        ComposeJob job;
        job.m_strHtmlPath = c.page;
        job.m_strFrom = job.m_strTo = "ann@example.com";
        if (c.attach) job.m_listAttachments = {notes};
        job.m_bPrepareForWebmail = true;
        job.m_strOutputPath = dir.Path() + c.golden + ".eml";
        CMimeComposer composer(job, fixed.Get());
        ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
        const std::string eml = job.m_strOutputPath, golden = pages + c.golden + ".txt";

        std::vector<std::string> args = {"--text", golden};
        if (c.attach) args.insert(args.end(), {"--attach", notes});
        EXPECT_EQ(testutil::CheckEml(eml, args), "");

        CMimeComposer planner(job, again.Get());
        MessagePlan plan;
        std::uint64_t size = 0;
        ASSERT_TRUE(planner.Plan(plan, size)) << planner.GetLastError();
        EXPECT_EQ(size, testutil::ReadFile(eml).size());
    }
}

// A page too large to parse whole in memory, or nested too deep to parse in
// reasonable time, goes without the text, and says so; what the parser's own
// rules keep shallow is parsed.
TEST(PlainTextAlternative, PagesTooLargeOrTooDeepGoWithoutIt) {
    testutil::TempDir dir;
    auto times = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    std::string huge = "<html><body>";
    while (huge.size() <= (32u << 20)) huge += std::string(1023, 'x') + "\n";
    const std::string deep = ": the message carries no plain-text alternative.";
    const struct {
        std::string page;
        std::string warning;  // empty: the text goes with the message
    } cases[] = {
        {huge, "The page is over 32 MB" + deep},
        {times("<div>", 1000) + "x", ""},
        {times("<div>", 1001) + "x", "The page nests elements more than 1000 deep" + deep},
        {times("<div>x</div>", 5000) + times("<p>x", 5000) + times("<li>x", 3000) + "<br/>", ""},
        {times("<table><tr><td>", 1001), "The page nests elements more than 1000 deep" + deep},
        {"<svg>" + times("<path d=M0/>", 3000) + "</svg><script>" + times("<div>", 3000) + "</script>", ""},
        {"<svg>" + times("<div/>", 1001), "The page nests elements more than 1000 deep" + deep},
        {"<svg><style>" + times("<b>", 1001), "The page nests elements more than 1000 deep" + deep},
        {times("<a href=x>x", 3000) + times("<span></i>", 1001), "The page nests elements more than 1000 deep" + deep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page.substr(0, 40));
        ComposeJob job;
        job.m_strHtmlPath = dir.Write("page.html", c.page);
        job.m_strFrom = job.m_strTo = "ann@example.com";
        job.m_strOutputPath = dir.Path() + "page.eml";
        job.m_bPrepareForWebmail = true;
        CMimeComposer composer(job, platform::Platform());
        ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
        EXPECT_EQ(testutil::ReadFile(job.m_strOutputPath).find("multipart/alternative") == std::string::npos,
                  !c.warning.empty());
        EXPECT_EQ(composer.Warnings(), c.warning.empty() ? std::vector<std::string>() : std::vector<std::string>{c.warning});
    }
}

} // namespace
