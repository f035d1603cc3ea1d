// The pre-send report: its rows for real-looking and synthetic pages, and its
// figures against a real composition of the same job.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <algorithm>
#include <utility>

#include "TestUtil.h"
#include "check/LinkCheck.h"
#include "check/PageReport.h"
#include "compose/MimeComposer.h"

namespace {

using check::Row;

// "line:column tag attribute=value verdict (kinds)", the source file's name
// first when the row is not in the page, the part's file name last.
std::string Summary(const check::Report& report, const Row& row) {
    std::string s;
    if (!row.strSource.empty()) s = row.strSource.substr(row.strSource.rfind('/') + 1) + " ";
    s += std::to_string(row.nLine) + ":" + std::to_string(row.nColumn);
    if (!row.strTag.empty()) s += " " + row.strTag;
    if (!row.strAttribute.empty()) s += " " + row.strAttribute + "=" + row.strValue;
    s += std::string(" ") + check::VerdictName(row.verdict);
    const char* sep = " (";
    for (check::Reason kind : check::RowKinds(row)) s += std::exchange(sep, "+") + std::string(check::KindName(kind));
    if (*sep == '+') s += ")";
    if (row.nPart >= 0) {
        const std::string& file = report.listParts.at(static_cast<std::size_t>(row.nPart)).strFile;
        s += " " + file.substr(file.rfind('/') + 1);
    }
    return s;
}

struct PageCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // beside the page
    std::string page;
    std::vector<std::string> rows;
    unsigned errors, warnings, remoteImages, withoutAlt;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

class PageRows : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageRows, EveryReferenceGetsItsRow) {
    const PageCase& c = GetParam();
    testutil::TempDir dir;
    for (const auto& [name, content] : c.files) dir.Write(name, content);
    mkdir((dir.Path() + "folder").c_str(), 0755);
    mkfifo((dir.Path() + "fifo").c_str(), 0644);
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("page.html", c.page);
    testutil::FixedPlatform fixed;
    check::Report report = check::CheckPage(job, 0, fixed.Get());

    std::vector<std::string> rows;
    for (const Row& row : report.listRows) rows.push_back(Summary(report, row));
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(report.Count(check::Severity::Error), c.errors);
    EXPECT_EQ(report.Count(check::Severity::Warning), c.warnings);
    EXPECT_EQ(report.figures.nRemoteImages, c.remoteImages);
    EXPECT_EQ(report.figures.listImagesWithoutAlt.size(), c.withoutAlt);
    EXPECT_TRUE(report.figures.bSizeKnown);
}

const PageCase kPages[] = {
    {"BrowserSavedPage",
     {{"Shop Page_files/main.css", "body{background:url(bg.png)}\n@import \"print.css\";\n.x{background:url(data:image/gif;base64,R0)}"},
      {"Shop Page_files/jquery.min.js", "var x;"},
      {"Shop Page_files/hero image.jpg", "jpg"},
      {"Shop Page_files/icon.png", "png"},
      {"Shop Page_files/hero-2x.jpg", "jpg"}},
     "<!DOCTYPE html>\n<html lang=\"en\"><head>\n"
     "<link rel=\"stylesheet\" href=\"Shop%20Page_files/main.css\">\n"
     "<link rel=\"icon\" href=\"Shop%20Page_files/icon.png\">\n"
     "<link rel=\"canonical\" href=\"https://shop.example/\">\n"
     "<script src=\"Shop%20Page_files/jquery.min.js\"></script>\n"
     "</head><body>\n"
     "<img src=\"Shop%20Page_files/hero%20image.jpg\" srcset=\"Shop%20Page_files/hero-2x.jpg 2x\" alt=\"Hero\">\n"
     "<div style=\"background-image: url('Shop%20Page_files/icon.png')\"><img src=\"Shop%20Page_files/icon.png\"></div>\n"
     "<img src=\"https://cdn.example/pixel.gif\" width=1>\n</body></html>\n",
     {"3:30 link href=Shop%20Page_files/main.css embedded main.css",
      "main.css 1:21 url()=bg.png not-embedded (css-url)",
      "main.css 2:10 @import=print.css not-embedded (css-import)",
      "main.css 3:19 url()=data:image/gif;base64,R0 not-embedded (data-image)",
      "4:24 link href=Shop%20Page_files/icon.png embedded icon.png",
      "5:29 link href=https://shop.example/ remote (remote)",
      "6:14 script src=Shop%20Page_files/jquery.min.js embedded jquery.min.js",
      "8:11 img src=Shop%20Page_files/hero%20image.jpg embedded hero image.jpg",
      "8:55 img srcset=Shop%20Page_files/hero-2x.jpg not-embedded (srcset)",
      "9:36 div style=Shop%20Page_files/icon.png not-embedded (css-url)",
      "9:76 img src=Shop%20Page_files/icon.png same-part icon.png",
      "10:11 img src=https://cdn.example/pixel.gif remote (remote-image)"},
     0, 6, 1, 2},
    {"WindowsEditorPageWithBackslashes",
     {{"Images/back.jpg", "jpg"}, {"Images/Logo.GIF", "gif"}},
     "<HTML>\r\n<HEAD>\r\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">\r\n"
     "</HEAD>\r\n<BODY BACKGROUND=\"Images\\back.jpg\">\r\n<IMG SRC=\"Images\\Logo.GIF\" ALT=\"Caf\xE9\">\r\n"
     "<IMG SRC=\"images\\logo.gif\" ALT=\"\">\r\n</BODY>\r\n</HTML>\r\n",
     {"5:19 body background=Images\\back.jpg embedded back.jpg",
      "6:11 img src=Images\\Logo.GIF embedded Logo.GIF",
      "7:11 img src=images\\logo.gif missing (missing-file)"},
     1, 0, 0, 0},
    {"EveryKindOfVerdict",
     {{"a.png", "png"}, {"pic.svg", "<svg/>"}},
     // Lone LFs: the composer sees CR LF, the rows keep the page's places.
     "<body background=\"a.png\">\n"
     "<img src=\"a.png\" alt=\"\"><img\nsrc=\"a.png\" alt=\"\"><img alt=\"a>b\" src=\"a.png\">\n"
     "<img src=\"missing.gif\" alt=\"\"><img src=\"folder\" alt=\"\"><img src=fifo alt=\"\"><img src=\"\" alt=\"\">\n"
     "<img src=\"data:image/png;base64,AA\" alt=\"\"><img src=\"pic.svg\" alt=\"\"><svg></svg>\n"
     "<img src=\"#top\" alt=\"\"><img src=\"//cdn.example/x.png\" alt=\"\"><img src=\"mailto:a@b\" alt=\"\">\n"
     "<video src=\"v.mp4\" poster=\"https://x.example/p.jpg\"></video><iframe src=\"https://x.example/\"></iframe>"
     "<object data=\"o.swf\"></object><embed src=\"e.swf\"><audio src=\"a.ogg\"></audio>\n"
     "<style>p { background: url(\"bg.png\") } @import url(https://x.example/s.css);</style>"
     "<p style=\"background: url(&quot;b2.png&quot;)\"></p><input type=image src=\"a.png\">\n",
     {"1:19 body background=a.png same-part a.png",
      "2:11 img src=a.png embedded a.png",
      "3:6 img src=a.png same-part a.png",
      "3:40 img src=a.png not-embedded (not-found-by-composer)",
      "4:11 img src=missing.gif missing (missing-file)",
      "4:41 img src=folder not-regular-file (not-regular-file)",
      "4:65 img src=fifo not-regular-file (not-regular-file)",
      "4:87 img src= not-a-file (empty-value)",
      "5:11 img src=data:image/png;base64,AA not-embedded (data-image)",
      "5:54 img src=pic.svg embedded (svg) pic.svg",
      "5:70 svg not-embedded (svg)",
      "6:11 img src=#top not-a-file (not-a-file)",
      "6:34 img src=//cdn.example/x.png not-a-file (no-scheme)",
      "6:72 img src=mailto:a@b not-a-file (not-a-file)",
      "7:13 video src=v.mp4 not-embedded (media)",
      "7:28 video poster=https://x.example/p.jpg remote (remote-image)",
      "7:74 iframe src=https://x.example/ not-embedded (frame)",
      "7:117 object data=o.swf not-embedded (object-or-embed)",
      "7:145 embed src=e.swf not-embedded (object-or-embed)",
      "7:164 audio src=a.ogg not-embedded (media)",
      "8:29 style url()=bg.png not-embedded (css-url)",
      "8:52 style @import=https://x.example/s.css remote (remote)",
      "8:117 p style=b2.png not-embedded (css-url)",
      "8:159 input src=a.png same-part a.png"},
     3, 13, 1, 0},
    {"OverlappingValues",
     // The background scan reads inside the img value; that reference and its
     // part go, and the parts after it move up.
     {{"a.gif background=b.gif", "a"}, {"b.gif\"", "b"}, {"c.gif", "c"}},
     "<img src=\"a.gif background=b.gif\"><input type=image src=c.gif alt=x>",
     {"1:11 img src=a.gif background=b.gif embedded a.gif background=b.gif",
      "1:28 img background=b.gif\" not-embedded (inside-another-value)",
      "1:57 input src=c.gif embedded c.gif"},
     0, 2, 0, 1},
    // Over Gmail's clipping: a warning only.
    {"OverGmailClip", {}, "<p>" + std::string(check::kGmailClipSize, 'x') + "</p>", {}, 0, 1, 0, 0},
    // Too deep to parse: the composer's rows only, and a warning that says so.
    {"NestedTooDeep",
     {{"a.png", "a"}},
     "<img src=a.png>" + [] { std::string s; for (int i = 0; i < 1001; ++i) s += "<div>"; return s; }() +
         "<img srcset=b.png>",
     {"1:10 img src=a.png embedded a.png"},
     0, 1, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Pages, PageRows, ::testing::ValuesIn(kPages),
                         [](const ::testing::TestParamInfo<PageCase>& info) { return info.param.name; });

// The reported sizes are those of the file a composition of the same job,
// with the same random draws, writes.
TEST(MessageFigures, SizesEqualTheComposedMessage) {
    testutil::TempDir dir;
    std::string page = dir.Write("page.html", "<link rel=stylesheet href=s.css>\n<img src=\"a b.png\" alt=x>"
                                              "<img src='a%20b.png' alt=x>\n<img src=https://x.example/r.png>\n"
                                              "<p style=\"background:url('a b.png')\"><img src=\"data:,x\" alt=x>\n");
    dir.Write("s.css", std::string(1000, 'c'));
    dir.Write("a b.png", std::string(58, 'p'));
    std::string attachment = dir.Write("notes \xC3\xA9t\xC3\xA9.txt", std::string(3649, 't'));
    struct {
        std::vector<std::string> attachments;
        const char* subject;
        const char* cc;
        bool webmail = false;
    } jobs[] = {{{}, "Plain", ""},
                {{attachment}, "Webmail", "", true},
                {{attachment, attachment}, "Caf\xC3\xA9 news, with a subject long enough to need folding or encoding "
                                           "when the writer does either, and then some more words",
                 "Zo\xC3\xAB <z@example.com>, b@example.com"}};
    for (const auto& j : jobs) {
        ComposeJob job;
        job.m_strHtmlPath = page;
        job.m_listAttachments = j.attachments;
        job.m_strSubject = j.subject;
        job.m_strFrom = "Ann <a@example.com>";
        job.m_strTo = "b@example.com";
        job.m_strCc = j.cc;
        job.m_bPrepareForWebmail = j.webmail;
        testutil::FixedPlatform fixed;
        check::Report report = check::CheckPage(job, 1000, fixed.Get());

        testutil::FixedPlatform again;
        CMimeComposer composer(again.Get());
        composer.m_job = job;
        composer.m_job.m_strOutputPath = dir.Path() + "out.eml";
        ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
        std::string eml = testutil::ReadFile(composer.m_job.m_strOutputPath);
        ASSERT_TRUE(report.figures.bSizeKnown);
        EXPECT_EQ(report.figures.nMessageSize, eml.size()) << j.subject;
        EXPECT_EQ(report.figures.nHtmlPartSize, testutil::HtmlPartOf(eml).size()) << j.subject;
        // Over the SIZE the server announced: an error.
        EXPECT_TRUE(report.HasErrors());
    }
}

// With the option off, the rows it would fix say so; on, they say what it did.
TEST(WebmailRows, TheOptionSaysWhatItFixes) {
    testutil::TempDir dir;
    dir.Write("s.css", "@import \"t.css\";\nb{background:url(a.png)} c{background:url(gone.png)}");
    dir.Write("t.css", "i{background:url(data:image/png;base64,iVBORw0KGgo=)}");
    dir.Write("a.png", "png");
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("page.html",
                                  "<link rel=stylesheet href=s.css><link rel=stylesheet href=\"https://cdn.example/r.css\">\n"
                                  "<img src=\"data:image/gif;base64,R0lGODlh\" alt=x><img src=\"data:image/gif;base64,@\" alt=x>\n"
                                  "<p style=\"background:url(a.png)\"><p style=\"background:url(gone.png)\">\n");
    const std::vector<std::string> off = {
        "1:27 link href=s.css embedded s.css fixed",
        "s.css 1:10 @import=t.css not-embedded (css-import) fixed",
        "s.css 2:18 url()=a.png not-embedded (css-url) fixed",
        "s.css 2:43 url()=gone.png not-embedded (css-url)",
        "1:60 link href=https://cdn.example/r.css remote (remote-style-sheet)",
        "2:11 img src=data:image/gif;base64,R0lGODlh not-embedded (data-image) fixed",
        "2:59 img src=data:image/gif;base64,@ not-embedded (data-image)",
        "3:26 p style=a.png not-embedded (css-url) fixed",
        "3:59 p style=gone.png not-embedded (css-url)"};
    const std::vector<std::string> on = {
        "1:27 link href=s.css inlined (inlined-style-sheet) fixed",
        "s.css 1:10 @import=t.css inlined (inlined-style-sheet) fixed",
        "t.css 1:18 url()=data:image/png;base64,iVBORw0KGgo= embedded image2.png fixed",
        "s.css 2:18 url()=a.png same-part a.png fixed",
        "s.css 2:43 url()=gone.png not-embedded (sheet-file-not-embedded)",
        "1:60 link href=https://cdn.example/r.css remote (remote-style-sheet)",
        "2:11 img src=data:image/gif;base64,R0lGODlh embedded image1.gif fixed",
        "2:59 img src=data:image/gif;base64,@ not-embedded (malformed-data-address)",
        "3:26 p style=a.png embedded a.png fixed",
        "3:59 p style=gone.png missing (missing-file)"};
    for (bool webmail : {false, true}) {
        job.m_bPrepareForWebmail = webmail;
        testutil::FixedPlatform fixed;
        check::Report report = check::CheckPage(job, 0, fixed.Get());
        std::vector<std::string> rows;
        for (const Row& row : report.listRows)
            rows.push_back(Summary(report, row) + (row.bFixedByWebmail ? " fixed" : ""));
        EXPECT_EQ(rows, webmail ? on : off);
    }
}

// Features at their places, in the page and in the style sheet it links, and
// each client's support as an independent reader of the data file finds it.
TEST(ClientSupport, FeaturesAtTheirPlacesWithTheDataSupport) {
    testutil::TempDir dir;
    dir.Write("s.css", "/* hover */\na:hover, b:hover { color: red }");
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("page.html",
                                  "<html><head><link rel=stylesheet href=s.css><style>\n"
                                  "@media (prefers-color-scheme: dark) { .x { color: #fff } }\n"
                                  "</style></head><body>\n"
                                  "<div style=\"display:flex;position:absolute;top:0\">\n"
                                  "<video src=v.mp4></video></div></body></html>\n");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"css-display-flex", "1 4:13"},
        {"html-video", "1 5:1"},
        {"css-position", "1 4:26"},
        {"css-at-media-prefers-color-scheme", "1 2:9"},
        {"css-pseudo-class-hover", "2 s.css 2:2 s.css 2:11"},
        {"css-at-media", "1 2:1"},
        {"css-left-right-top-bottom", "1 4:44"},
        {"css-selector-grouping", "1 s.css 2:8"},
        {"css-comments", "1 s.css 1:1"},
    };
    std::string slugs;
    for (const auto& [slug, places] : expected) slugs += (slugs.empty() ? "" : ",") + slug;
    std::string table;
    ASSERT_EQ(testutil::RunCommand(std::string(QUILLORY_PYTHON) + " " + QUILLORY_SOURCE_DIR +
                                       "/tests/tools/caniemail_support.py " + QUILLORY_SOURCE_DIR +
                                       "/third_party/caniemail/caniemail.json " + slugs,
                                   &table),
              0)
        << table;
    std::vector<std::string> clients, want;
    for (std::size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = table.substr(at, end - at);
        std::string client = line.substr(0, line.find('\t'));
        if (clients.empty() || clients.back() != client) clients.push_back(client);
        want.push_back(line);
    }
    ASSERT_EQ(clients.size(), 2u) << table;

    testutil::FixedPlatform fixed;
    check::Report report = check::CheckPage(job, 0, fixed.Get(), &clients);
    const check::SupportReport& support = report.clientSupport;
    ASSERT_EQ(support.listClients.size(), 2u);
    std::vector<std::string> got;
    for (std::size_t c = 0; c < 2; ++c)
        for (const auto& [slug, places] : expected) {
            auto row = std::find_if(support.listFeatures.begin(), support.listFeatures.end(),
                                    [&](const check::FeatureRow& f) { return f.strSlug == slug; });
            if (row == support.listFeatures.end()) {
                ADD_FAILURE() << slug << " not found";
                continue;
            }
            std::string at = std::to_string(row->nCount);
            for (const check::FeaturePlace& p : row->listPlaces)
                at += " " + (p.strSource.empty() ? "" : p.strSource.substr(p.strSource.rfind('/') + 1) + " ") +
                      std::to_string(p.nLine) + ":" + std::to_string(p.nColumn);
            EXPECT_EQ(at, places) << slug;
            const check::ClientVerdict& v = row->listSupport.at(c);
            std::string notes;
            for (const std::string& n : v.listNotes) notes += (notes.empty() ? "" : "|") + n;
            got.push_back(clients[c] + "\t" + slug + "\t" + v.strVersion + "\t" + check::SupportName(v.support) + "\t" + notes);
        }
    EXPECT_EQ(got, want);
    // Client support has no say in the message's counts.
    EXPECT_EQ(report.Count(check::Severity::Warning), 1u);  // the video row

    // Prepare for webmail sends the linked sheet as a <style> element; its
    // features keep their places in the sheet.
    job.m_bPrepareForWebmail = true;
    check::Report inlined = check::CheckPage(job, 0, fixed.Get(), &clients);
    std::string seen;
    for (const check::FeatureRow& f : inlined.clientSupport.listFeatures)
        if (f.strSlug == "html-link" || f.strSlug == "html-style" || f.strSlug == "css-pseudo-class-hover")
            seen += f.strSlug + " " + std::to_string(f.nCount) + " " +
                    f.listPlaces[0].strSource.substr(f.listPlaces[0].strSource.rfind('/') + 1) + ";";
    EXPECT_EQ(seen, "html-style 2 ;css-pseudo-class-hover 2 s.css;");

    // Data that cannot serve is an error value, never an exception; the real
    // data serves.
    const struct {
        const char* json;
        bool serves;
    } data[] = {{"{", false}, {"[]", false}, {"{\"data\": 5}", false}, {"{\"data\": [7, null]}", true}};
    for (const auto& d : data) EXPECT_EQ(check::ClientDataError(d.json).empty(), d.serves) << d.json;
    EXPECT_EQ(support.strError, "");
}

// tests/tools/http_server.py on 127.0.0.1: it prints its port, and stops when
// its input, our pipe, is closed.
struct WebServer {
    testutil::TempDir dir;
    FILE* input = ::popen((std::string(QUILLORY_PYTHON) + " " + QUILLORY_SOURCE_DIR + "/tests/tools/http_server.py >" +
                           dir.Path() + "port").c_str(), "we");
    ~WebServer() { if (input) ::pclose(input); }
    int Port() {
        int port = 0;
        for (int i = 0; i < 200 && std::sscanf(testutil::ReadFile(dir.Path() + "port").c_str(), "PORT %d", &port) != 1; ++i)
            ::usleep(25000);
        return port;
    }
};

// Each address once, at its first place, with what the server answered.
TEST(LinkCheck, AnswersOfALoopbackServer) {
    WebServer server;
    ASSERT_NE(server.Port(), 0) << "the test web server did not start";
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    using P = check::LinkProblem;
    using S = check::Severity;
    const struct {
        const char* html;  // %s: the server's address
        const char* path;
        int status;
        P problem;
        const char* redirectTo;
        bool getAfterHead;
        S severity;
    } links[] = {
        {"<a href='%s/ok'>ok</a>", "/ok", 200, P::None, "", false, S::Ok},
        {"<img alt=x src='%s/moved'>", "/moved", 200, P::None, "/ok", false, S::Ok},
        {"<a href=\"%s/gone\">gone</a>", "/gone", 404, P::HttpError, "", false, S::Warning},
        {"<area href='%s/nohead'>", "/nohead", 200, P::None, "", true, S::Ok},
        {"<p style='background:url(%s/never)'>", "/never", 0, P::TimedOut, "", false, S::Warning},
    };
    std::string page;
    for (const auto& link : links) {
        std::string html = link.html;
        page += html.replace(html.find("%s"), 2, base) + "\n";
    }
    page += "<a href='" + base + "/ok'>the same address again</a><a href='ftp://x.example/'>not asked</a>\n";
    testutil::TempDir dir;
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("page.html", page);
    check::Report report = check::CheckPage(job);
    check::LinkOptions options;
    options.nTimeoutMs = 1500;
    check::LinkReport result = check::CheckLinks(report, options);
    ASSERT_EQ(result.listLinks.size(), std::size(links));
    for (std::size_t i = 0; i < std::size(links); ++i) {
        const check::LinkResult& got = result.listLinks[i];
        SCOPED_TRACE(links[i].path);
        EXPECT_EQ(got.strUrl, base + links[i].path);
        EXPECT_EQ(got.nLine, i + 1);
        EXPECT_EQ(got.kind, links[i].html[1] == 'a' ? check::LinkKind::Link : check::LinkKind::Image);
        EXPECT_EQ(got.nStatus, links[i].status);
        EXPECT_EQ(got.problem, links[i].problem) << got.strError;
        EXPECT_EQ(got.bGetAfterHead, links[i].getAfterHead);
        EXPECT_EQ(got.severity, links[i].severity);
        std::string redirects;
        for (const check::LinkRedirect& hop : got.listRedirects) redirects += std::to_string(hop.nStatus) + " " + hop.strLocation;
        EXPECT_EQ(redirects, *links[i].redirectTo ? "301 " + base + links[i].redirectTo : "");
    }
    EXPECT_EQ(result.Warnings(), 2u);
}

} // namespace
