// The HTML part byte for byte: only the value text between its quotes becomes
// "cid:" and the Content-ID; everything around it stays.
#include <climits>
#include <map>
#include <tuple>

#include "ScanFixture.h"

namespace {

using RewrittenHtml = ScanFixture;

struct Rewrite {
    const char* name;
    std::vector<std::string> files;  // beside the page
    std::string page;
    // Each value that becomes "cid:": the text it starts, its length, and which
    // new file (in the order of the scans) it names.
    std::vector<std::tuple<std::string, std::size_t, int>> values;
    std::vector<std::string> paths;  // the parts, in the order they were drawn
};

TEST_F(RewrittenHtml, OnlyEachValueBecomesItsContentId) {
    const std::string twoMb(2 << 20, 'v');
    const Rewrite cases[] = {
        {"quoting, spacing and letter case around each value", {"A.gif", "a.gif", "b.gif"},
         "<IMG SRC=\"A.gif\" ALT=\"x\"><img src = 'b.gif' ><img src=a.gif>"
         "<img alt=1 src=b.gif width=3><BODY BACKGROUND=A.gif><img src=\t\"./a.gif\"\t>",
         {{"A.gif\" ALT", 5, 0}, {"b.gif' ", 5, 1}, {"a.gif>", 5, 2}, {"b.gif width", 5, 1}, {"A.gif><img", 5, 0},
          {"./a.gif", 7, 3}},
         {"A.gif", "b.gif", "a.gif", "./a.gif"}},
        // The page order differs from the scan order (link, script, img,
        // background, input); the rewriting follows the page.
        {"all scans interleaved in page order", {"s.css", "j.js", "i.png", "b.gif", "in.png"},
         "<input src=in.png><table background=b.gif><img src=i.png><script src=j.js></script><link href=s.css>",
         {{"in.png", 6, 4}, {"b.gif", 5, 3}, {"i.png", 5, 2}, {"j.js", 4, 1}, {"s.css", 5, 0}},
         {"s.css", "j.js", "i.png", "b.gif", "in.png"}},
        // The background scan reads a value inside the img value: the one that
        // starts first stays, and a.gif, named nowhere else, gets no part...
        {"overlapping values", {"x background='a.gif'", "a.gif"}, "<img src=\"x background='a.gif'\">",
         {{"x background", 20, 0}}, {"x background='a.gif'"}},
        // ...while named elsewhere too, it keeps its part for that reference.
        {"overlapping values, one named again", {"x background='a.gif'", "a.gif"},
         "<img src=\"x background='a.gif'\"><img src=a.gif>", {{"x background", 20, 0}, {"a.gif>", 5, 1}},
         {"x background='a.gif'", "a.gif"}},
        // An unclosed quote leaves its tag; NUL bytes are ordinary text; a 2 MB
        // value and a tag cut off by the end are no references.
        {"malformed pages", {"a.gif", "b.gif", "c.gif"},
         "<img src=\"a.gif>" + std::string("<p>\0\0</p>", 9) + "<img src=\"b.gif\"><img src=\"" + twoMb + "\"><img src=c.gif",
         {{"b.gif\"", 5, 0}}, {"b.gif"}},
    };
    for (const Rewrite& r : cases) {
        SCOPED_TRACE(r.name);
        for (const std::string& f : r.files) File(f);
        Compose(r.page);
        std::string want;
        std::size_t at = 0;
        std::map<int, std::string> cids;  // drawn at the file's first value in the page
        for (const auto& [text, length, n] : r.values) {
            std::size_t pos = r.page.find(text);
            cids.emplace(n, Cid(pos, n));
            want += r.page.substr(at, pos - at) + "cid:" + cids[n];
            at = pos + length;
        }
        EXPECT_EQ(Body(), want + r.page.substr(at));
        EXPECT_EQ(Paths(), r.paths);
        EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, {}), "");
        // The parts carry the Content-ID, the file name and the table's type.
        if (&r == &cases[0]) {
            EXPECT_EQ(testutil::PartHeaderOf(eml, cids[0]),
                      "--" + c->Boundary() + "\r\nContent-Type: image/gif;\r\n\tname=\"A.gif\"\r\n"
                      "Content-Transfer-Encoding: base64\r\nContent-ID: <" + cids[0] + ">");
        }
    }
}

TEST_F(RewrittenHtml, ValuesLongerThanAPathStayAsWritten) {
    File("a.gif");
    // Each "%2E/" decodes to "./", so the resolved path is short enough for
    // the system while the value itself is not.
    auto value = [](int n) {
        std::string v;
        for (int i = 0; i < n; ++i) v += "%2E/";
        return v + "a.gif";
    };
    std::string fits = value((PATH_MAX - 1 - 5) / 4), tooLong = value((PATH_MAX - 1 - 5) / 4 + 1);
    ASSERT_LE(fits.size(), static_cast<std::size_t>(PATH_MAX - 1));
    ASSERT_GT(tooLong.size(), static_cast<std::size_t>(PATH_MAX - 1));
    Compose("<img src=\"" + fits + "\"><img src=\"" + tooLong + "\">");
    ASSERT_EQ(c->References().size(), 1u);
    EXPECT_EQ(c->References()[0].m_nPosition, 10);
}

} // namespace
