// What the scan decides for each value, read straight from the plan; and the
// size the plan measures, against the file written from the same draws.
#include <gtest/gtest.h>

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
    std::string page;
    // "value verdict", then the part's path when it has one, in the order the scans found them.
    std::vector<std::string> references;
};

const PlanCase kCases[] = {
    {"TagScans", false, {{"a.png", "A"}, {"s.css", "p{}"}, {"j.js", "1"}}, {},
     "<img src=a.png><link href=\"s.css\" rel=stylesheet><script src='j.js'></script>\n"
     "<td background=a.png><input type=image src=gone.png><img src=HTTP://x/y.png><img src=\"\">"
     "<img src=\"data:,x\"><img src=\"%00\"><img src=\"/etc/hostname\">",
     {"s.css embedded s.css", "j.js embedded j.js", "a.png embedded a.png", "HTTP://x/y.png remote",
      " not-found", "data:,x data", "%00 not-found", "/etc/hostname safety", "a.png embedded a.png",
      "gone.png not-found"}},
    // The background scan reads inside the img value: that reference and its
    // part go, and the parts after it move up.
    {"OverlappingValues", false, {{"a.gif background=b.gif", "a"}, {"b.gif\"", "b"}, {"c.gif", "c"}}, {},
     "<img src=\"a.gif background=b.gif\"><input type=image src=c.gif>",
     {"a.gif background=b.gif embedded a.gif background=b.gif", "b.gif\" overlapped", "c.gif embedded c.gif"}},
    {"Webmail", true,
     {{"s.css", "@import 't.css';\nb{background:url(a.png)}"}, {"t.css", "i{}"}, {"a.png", "A"}}, {},
     "<meta charset=utf-8><link rel=stylesheet href=s.css><img src=\"data:image/gif;base64,R0lG\">"
     "<img src=\"data:image/gif;base64,@\"><p style=\"background:url(a.png)\"><style>q{background:url(//x/y)}</style>"
     "<p style=\"background:url(\\)\">",
     {"s.css inlined", "data:image/gif;base64,R0lG embedded image1.gif", "data:image/gif;base64,@ data",
      "a.png embedded a.png", "//x/y remote", "\\) not-found"}},
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
    for (const auto& [name, content] : c.files) dir.Write(name, content);
    ComposeJob job;
    job.m_strHtmlPath = dir.Write("page.html", c.page);
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
        EXPECT_EQ(r.nPageOffset, c.page.find(s.substr(0, s.find(' ')), r.nPageOffset)) << s;
        refs.push_back(s);
    }
    EXPECT_EQ(refs, c.references);

    testutil::FixedPlatform written;
    CMimeComposer composer(job, written.Get());
    ASSERT_TRUE(composer.Compose()) << composer.GetLastError();
    const std::string eml = testutil::ReadFile(job.m_strOutputPath);
    EXPECT_EQ(size, eml.size());
    EXPECT_EQ(plan.RewrittenSize(), testutil::HtmlPartOf(eml).size());
    EXPECT_EQ(composer.HasEightBitData(), planner.HasEightBitData());
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
