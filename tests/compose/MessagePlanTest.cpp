// What the scan decides for each value, read straight from the plan; and the
// size the plan measures, against the file written from the same draws.
#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

#include "TestUtil.h"
#include "compose/MimeComposer.h"

namespace {

const char* VerdictText(RefVerdict v) {
    switch (v) {
    case RefVerdict::Embedded: return "embedded";
    case RefVerdict::Inlined: return "inlined";
    case RefVerdict::Remote: return "remote";
    case RefVerdict::Overlapped: return "overlapped";
    case RefVerdict::LeftOutForSafety: return "safety";
    case RefVerdict::NotFound: return "not-found";
    case RefVerdict::DataUri: return "data";
    case RefVerdict::Unusable: return "unusable";
    }
    return "";
}

struct PlanCase {
    const char* name;
    bool webmail;
    std::vector<std::pair<std::string, std::string>> files;  // beside the page
    std::vector<std::string> attachments;                    // of those files
    std::string page;  // "{dir}" stands for the page's folder, here and below
    // "value verdict", then the part's path when it has one, in the order the scans found them.
    std::vector<std::string> references;
    std::vector<std::string> fifos = {};  // beside the page
};

const PlanCase kCases[] = {
    {"TagScans", false, {{"a.png", "A"}, {"s.css", "p{}"}, {"j.js", "1"}}, {},
     "<img src=a.png><link href=\"s.css\" rel=stylesheet><script src='j.js'></script>\n"
     "<td background=a.png><input type=image src=gone.png><img src=HTTP://x/y.png><img src=\"\">"
     "<img src=\"data:,x\"><img src=\"%00\"><img src=\"/etc/hostname\">",
     {"s.css embedded s.css", "j.js embedded j.js", "a.png embedded a.png", "HTTP://x/y.png remote",
      " not-found", "data:,x data", "%00 not-found", "/etc/hostname safety", "a.png embedded a.png",
      "gone.png not-found"}},
    // Only the five tag attributes count; links, comments, quotes and CSS are not read.
    {"FiveTagAttributes", false,
     {{"style.css", "s"}, {"doc.pdf", "d"}, {"logo.png", "l"}, {"commented.gif", "c"}, {"cell.gif", "ce"},
      {"button.gif", "b"}, {"app.js", "j"}, {"alt.gif", "a"}, {"bg.gif", "bg"}, {"http:/a.gif", "h"},
      {"https:/a.gif", "hs"}, {"ftp:/a.gif", "f"}, {"sub/x", "x"}}, {},
     "<link rel=stylesheet href=\"style.css\">\n<a href=\"doc.pdf\">doc</a>\n<IMG SRC=\"logo.png\">\n"
     "<img src=\"HTTP://a.gif\"><img src='https://a.gif'><img src=Ftp://a.gif>\n"
     "<img src=\"missing.gif\"><img src=\"sub\"><img src=\"fifo\">\n<img alt=\"a>b\" src=\"alt.gif\">\n"
     "<img src=logo.png\twidth=3>\n<p style=\"background: url(bg.gif)\">\n<td background=\"cell.gif\">\n"
     "<!-- <img src=\"commented.gif\"> -->\n<input type=image src=\"button.gif\">\n<script src=\"app.js\"></script>\n"
     "<img src=\"#top\"><img src=\"mailto:a@b\">\n<img src=\"logo.png%00.jpg\">\n",
     {"style.css embedded style.css", "app.js embedded app.js", "logo.png embedded logo.png", "HTTP://a.gif remote",
      "https://a.gif remote", "Ftp://a.gif remote", "missing.gif not-found", "sub not-found", "fifo not-found",
      "logo.png\twidth=3 not-found", "commented.gif embedded commented.gif", "#top not-found", "mailto:a@b not-found",
      "logo.png%00.jpg not-found", "cell.gif embedded cell.gif", "button.gif embedded button.gif"},
     {"fifo"}},
    // A tag name counts when any HTML white space follows it, in any case; a
    // name that merely starts alike is another tag. Two scans that reach one
    // value record it once.
    {"TagNames", false, {{"a.png", "A"}, {"s.css", "p{}"}, {"app.js", "1"}}, {},
     "<img\n src=\"a.png\"><img\r\n\tsrc=\"a.png\"><IMG\tSRC=a.png><img\f alt=x src=a.png>"
     "<link\n rel=\"stylesheet\" href=\"s.css\"><script\tsrc=\"app.js\"></script><input\n type=\"image\" src=\"a.png\">"
     "<imgsrc=\"a.png\"><img>src=\"a.png\"><image src=\"a.png\"><img <input src=a.png><img",
     {"s.css embedded s.css", "app.js embedded app.js", "a.png embedded a.png", "a.png embedded a.png",
      "a.png embedded a.png", "a.png embedded a.png", "a.png embedded a.png", "a.png embedded a.png"}},
    // Paths are decoded and resolved from the page's folder; file: needs three
    // slashes; letter case and "./" make other files, one file one part.
    {"Paths", false,
     {{"my pic.gif", "m"}, {"a&b.gif", "ab"}, {"win/dir/pic.gif", "w"}, {"Abs Pic.gif", "abs"}, {"caf\xC3\xA9.gif", "c"},
      {"raw\xE9.gif", "r"}, {"x/a.gif", "x"}, {"a.gif", "lower"}, {"A.GIF", "upper"}}, {},
     "<img src=\"my%20pic.gif\"><img src=\"a&amp;b.gif\"><img src=\"win\\dir\\pic.gif\">"
     "<img src=\"FILE://{dir}Abs%20Pic.gif\"><img src=\"caf%C3%A9.gif\"><img src=\"raw\xE9.gif\">"
     "<img src=\"win/../a%26b.gif\"><img src=\"file://{dir}x/a.gif\"><img src=\"file://x/a.gif\">"
     "<img src=\"file:///C|/a.gif\"><img src=a.gif><img src=A.GIF><img src=./a.gif><body background=a.gif>",
     {"my%20pic.gif embedded my pic.gif", "a&amp;b.gif embedded a&b.gif", "win\\dir\\pic.gif embedded win/dir/pic.gif",
      "FILE://{dir}Abs%20Pic.gif embedded {dir}Abs Pic.gif", "caf%C3%A9.gif embedded caf\xC3\xA9.gif",
      "raw\xE9.gif embedded raw\xE9.gif", "win/../a%26b.gif embedded win/../a&b.gif",
      "file://{dir}x/a.gif embedded {dir}x/a.gif", "file://x/a.gif not-found", "file:///C|/a.gif not-found",
      "a.gif embedded a.gif", "A.GIF embedded A.GIF", "./a.gif embedded ./a.gif", "a.gif embedded a.gif"}},
    // The background scan reads inside the img value: that reference and its
    // part go, and the parts after it move up.
    {"OverlappingValues", false, {{"a.gif background=b.gif", "a"}, {"b.gif\"", "b"}, {"c.gif", "c"}}, {},
     "<img src=\"a.gif background=b.gif\"><input type=image src=c.gif>",
     {"a.gif background=b.gif embedded a.gif background=b.gif", "b.gif\" overlapped", "c.gif embedded c.gif"}},
    {"Webmail", true,
     {{"s.css", "@import 't.css';\nb{background:url(a.png)}"}, {"t.css", "i{}"}, {"a.png", "A"}}, {},
     "<meta charset=utf-8><link rel=stylesheet href=s.css><img src=\"data:image/gif;base64,R0lG\">"
     "<img src=\"data:image/gif;base64,@\"><p style=\"background:url(a.png)\"><style>q{background:url(//x/y)}</style>"
     "<p style=\"background:url(\\)\"><link\f rel=stylesheet href=t.css><link rel=icon href=\"data:text/css;charset=utf-8,p\">",
     {"s.css inlined", "t.css inlined", "data:text/css;charset=utf-8,p embedded text1.css",
      "data:image/gif;base64,R0lG embedded image2.gif", "data:image/gif;base64,@ data",
      "a.png embedded a.png", "//x/y remote", "\\) not-found"}},
    // CSS addresses: quoted, spaced, escaped, in comments; the tag and the CSS,
    // or two spellings of one path, share a part.
    {"CssUrls", true, {{"a.png", "A"}, {"b c.png", "B C"}, {"a)b.png", "A)B"}, {"sub/d.gif", "D"}}, {},
     "<p style=\"color:red; background:url(a.png)\">\n<div class=x style='background-image: url(\"b c.png\")'>\n"
     "<style>.x{background:url( 'sub/d.gif' )} .y{background:url(a\\)b.png)}\n"
     ".z{background:url(http://x/y.png)} .w{background:url(missing.png)} /* url(a.png) */</style>\n"
     "<img src=\"a.png\"><p style=\"background:url(sub/%64.gif)\">",
     {"a.png embedded a.png", "a.png embedded a.png", "b c.png embedded b c.png", "sub/d.gif embedded sub/d.gif",
      "a\\)b.png embedded a)b.png", "http://x/y.png remote", "missing.png not-found", "sub/%64.gif embedded sub/d.gif"}},
    {"Attachments", true,
     {{"a.png", "A"}, {"big.bin", testutil::RandomBytes(300001, 7)}, {"note.eml", "Subject: x\r\n\r\nb\xC3\xA9\r\n"},
      {"bad.eml", "no line end"}, {"t\xC3\xA9.txt", "caf\xC3\xA9"}},
     {"big.bin", "note.eml", "bad.eml", "t\xC3\xA9.txt"},
     "<p>text alternative <img src=a.png alt=x></p>",
     {"a.png embedded a.png"}},
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class Plans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plans, VerdictsAndSize) {
    const PlanCase& c = GetParam();
    testutil::TempDir dir;
    auto placed = [&dir](std::string s) {
        for (std::size_t at; (at = s.find("{dir}")) != std::string::npos;) s.replace(at, 5, dir.Path());
        return s;
    };
    for (const auto& [name, content] : c.files) dir.Write(name, content);
    for (const std::string& f : c.fifos) ASSERT_EQ(mkfifo((dir.Path() + f).c_str(), 0644), 0);
    const std::string page = placed(c.page);
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("page.html", page);
    job.m_strFrom = "Ann <a@example.com>";
    job.m_strTo = "b@example.com";
    job.m_bPrepareForWebmail = c.webmail;
    for (const std::string& a : c.attachments) job.m_listAttachments.push_back(dir.Path() + a);
    job.m_strOutputPath = dir.Path() + "out.eml";

    testutil::FixedPlatform planned;
    CMimeComposer planner(job, planned.Get());
    MessagePlan plan;
    std::uint64_t size = 0;
    ASSERT_TRUE(planner.Plan(plan, size)) << planner.GetLastError();
    std::vector<std::string> refs;
    for (const PlannedReference& r : plan.listReferences) {
        std::string s = plan.strPage.substr(static_cast<std::size_t>(r.nPosition), static_cast<std::size_t>(r.nLength)) +
                        " " + VerdictText(r.verdict);
        if (r.nPart >= 0) s += " " + plan.listParts.at(static_cast<std::size_t>(r.nPart)).strPath;
        // The page file's own extent holds the same text.
        EXPECT_EQ(r.nPageOffset, page.find(s.substr(0, s.find(' ')), r.nPageOffset)) << s;
        refs.push_back(s);
    }
    std::vector<std::string> want;
    for (const std::string& r : c.references) want.push_back(placed(r));
    EXPECT_EQ(refs, want);
    // One part per file or data, each holding what the plan says.
    std::set<std::string> paths;
    std::vector<std::string> args;
    for (std::size_t i = 0; i < plan.listParts.size(); ++i) {
        const PlannedPart& p = plan.listParts[i];
        EXPECT_TRUE(paths.insert(p.strPath).second) << "two parts for " << p.strPath;
        args.insert(args.end(), {"--resource", p.bData ? dir.Write("data" + std::to_string(i), p.strData) : p.strFullPath});
    }
    for (const std::string& a : job.m_listAttachments) args.insert(args.end(), {"--attach", a});

    testutil::FixedPlatform written;
    CMimeComposer composer(job, written.Get());
    ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
    const std::string eml = testutil::ReadFile(job.m_strOutputPath);
    EXPECT_EQ(size, eml.size());
    EXPECT_EQ(plan.RewrittenSize(), testutil::HtmlPartOf(eml).size());
    EXPECT_EQ(composer.HasEightBitData(), planner.HasEightBitData());
    EXPECT_EQ(testutil::CheckEml(job.m_strOutputPath, args), "");
}

INSTANTIATE_TEST_SUITE_P(Pages, Plans, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PlanCase>& info) { return info.param.name; });

// A plan made before is written as it is, while its page and files are unchanged.
TEST(Plans, ComposeFromAnEarlierPlan) {
    testutil::TempDir dir;
    dir.Write("a.png", "A");
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("page.html", "<img src=a.png>");
    job.m_strFrom = job.m_strTo = "a@example.com";
    job.m_strOutputPath = dir.Path() + "out.eml";
    testutil::FixedPlatform planned, written;
    CMimeComposer planner(job, planned.Get());
    MessagePlan plan;
    std::uint64_t size = 0;
    ASSERT_TRUE(planner.Plan(plan, size));
    EXPECT_TRUE(plan.StillFits(job));
    // Written from the plan, the page is not read again.
    const std::string moved = dir.Path() + "moved.html";
    ASSERT_EQ(std::rename(job.m_strHtmlPath.c_str(), moved.c_str()), 0);
    EXPECT_FALSE(plan.StillFits(job));
    ASSERT_EQ(std::rename(moved.c_str(), job.m_strHtmlPath.c_str()), 0);
    {
        written.random.rnd = 100;  // a scan now would draw other Content-IDs
        CMimeComposer composer(job, written.Get());
        composer.UsePlan(plan);
        ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
        const std::string eml = testutil::ReadFile(job.m_strOutputPath);
        EXPECT_EQ(eml.size(), size);
        EXPECT_NE(testutil::HtmlPartOf(eml).find("<img src=cid:" + plan.listParts.at(0).strContentId),
                  std::string::npos);
    }
    // A changed page, or another job, is scanned again.
    dir.Write("page.html", "<p>changed</p>");
    EXPECT_FALSE(plan.StillFits(job));
    ComposeJob other = job;
    other.m_bPrepareForWebmail = true;
    dir.Write("page.html", "<img src=a.png>");
    testutil::FixedPlatform again;
    CMimeComposer composer(other, again.Get());
    composer.UsePlan(plan);
    ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
    EXPECT_TRUE(composer.LastPlan().bPrepareForWebmail);
}

} // namespace
