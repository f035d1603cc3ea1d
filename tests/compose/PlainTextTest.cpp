// The text/plain alternative: the rendering of real page shapes, the
// quoted-printable filter fed in any piece size, and the messages that carry
// it as two independent parsers read them.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <set>
#include <gmime/gmime.h>

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

// GMime's view of a message: the tree of content types, and the decoded
// text/plain part.
struct GMimeReading {
    std::string tree, text;
};

void Walk(GMimeObject* o, GMimeReading& r) {
    GMimeContentType* type = g_mime_object_get_content_type(o);
    r.tree += std::string(g_mime_content_type_get_media_type(type)) + "/" + g_mime_content_type_get_media_subtype(type);
    if (GMIME_IS_MULTIPART(o)) {
        r.tree += "[";
        for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(o)); ++i) {
            if (i) r.tree += " ";
            Walk(g_mime_multipart_get_part(GMIME_MULTIPART(o), i), r);
        }
        r.tree += "]";
    } else if (GMIME_IS_PART(o) && g_mime_content_type_is_type(type, "text", "plain") && r.text.empty() &&
               !g_mime_part_get_filename(GMIME_PART(o))) {
        GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(o));
        GByteArray* bytes = g_byte_array_new();
        GMimeStream* mem = g_mime_stream_mem_new_with_byte_array(bytes);
        g_mime_data_wrapper_write_to_stream(content, mem);  // decoded
        r.text.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
        g_object_unref(mem);  // frees the array it owns
        for (std::size_t at; (at = r.text.find("\r\n")) != std::string::npos;) r.text.erase(at, 1);
    }
}

GMimeReading ReadWithGMime(const std::string& path) {
    g_mime_init();
    GMimeStream* stream = g_mime_stream_fs_open(path.c_str(), O_RDONLY, 0, nullptr);
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    GMimeReading r;
    if (msg) Walk(g_mime_message_get_mime_part(msg), r), g_object_unref(msg);
    g_object_unref(parser);
    g_object_unref(stream);
    return r;
}

// Real newsletters composed with the text alternative: the text reads as the
// reviewed golden file in Python's email package and in GMime, and the dry run
// counts every byte.
TEST(PlainTextAlternative, NewslettersInEveryShape) {
    const std::string src = QUILLORY_SOURCE_DIR, pages = src + "/tests/compose/pages/";
    const std::string related = "multipart/related[text/html]";
    struct Case {
        std::string page, golden;
        bool attach;
        std::string tree;
    } cases[] = {
        {src + "/examples/newsletter/index.html", "newsletter", false,
         "multipart/alternative[text/plain multipart/related[text/html image/png]]"},
        {pages + "bakery.html", "bakery", true,
         "multipart/mixed[multipart/alternative[text/plain " + related + "] text/plain]"},
        {pages + "digest.html", "digest", false, "multipart/alternative[text/plain " + related + "]"},
        {pages + "meetup.html", "meetup", true,  // declared ISO-8859-1
         "multipart/mixed[multipart/alternative[text/plain " + related + "] text/plain]"},
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
        GMimeReading gmime = ReadWithGMime(eml);
        EXPECT_EQ(gmime.tree, c.tree);
        EXPECT_EQ(gmime.text, testutil::ReadFile(golden));
        std::set<std::string> boundaries = {composer.Boundary(), composer.RelatedBoundary(),
                                            composer.AlternativeBoundary()};
        EXPECT_EQ(boundaries.size(), 3u - (c.attach ? 0 : 1));

        CMimeComposer planner(job, again.Get());
        ComposePlan plan;
        ASSERT_TRUE(planner.Plan(plan)) << planner.GetLastError();
        EXPECT_EQ(plan.nMessageSize, testutil::ReadFile(eml).size());
    }
}

} // namespace

namespace {

// A page too large to parse whole in memory goes without the text, and says so.
TEST(PlainTextAlternative, HugePagesGoWithoutIt) {
    testutil::TempDir dir;
    std::string page = "<html><body>";
    while (page.size() <= (32u << 20)) page += std::string(1023, 'x') + "\n";
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("huge.html", page + "</body></html>");
    job.m_strFrom = job.m_strTo = "ann@example.com";
    job.m_strOutputPath = dir.Path() + "huge.eml";
    job.m_bPrepareForWebmail = true;
    CMimeComposer composer(job, platform::Platform());
    ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
    EXPECT_EQ(ReadWithGMime(job.m_strOutputPath).tree, "multipart/related[text/html]");
    ASSERT_EQ(composer.Warnings().size(), 1u);
    EXPECT_NE(composer.Warnings()[0].find("no plain-text alternative"), std::string::npos);
}

} // namespace
