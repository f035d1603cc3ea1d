// The HTML part byte for byte: only the value text between its quotes becomes
// "cid:" and the Content-ID; everything around it stays.
#include <climits>

#include "ScanFixture.h"

namespace {

using RewrittenHtml = ScanFixture;

// Replaces the values at the given positions, in increasing order.
std::string Splice(const std::string& page, const std::vector<std::tuple<std::size_t, std::size_t, std::string>>& refs) {
    std::string out;
    std::size_t at = 0;
    for (const auto& [pos, len, cid] : refs) {
        out += page.substr(at, pos - at) + "cid:" + cid;
        at = pos + len;
    }
    return out + page.substr(at);
}

TEST_F(RewrittenHtml, QuotingSpacingAndLetterCaseAroundEachValue) {
    File("A.gif");
    File("a.gif");
    File("b.gif");
    const std::string page =
        "<IMG SRC=\"A.gif\" ALT=\"x\"><img src = 'b.gif' ><img src=a.gif>"
        "<img alt=1 src=b.gif width=3><BODY BACKGROUND=A.gif><img src=\t\"./a.gif\"\t>";
    Compose(page);
    std::size_t p1 = page.find("A.gif"), p2 = page.find("b.gif"), p3 = page.find("a.gif>");
    std::size_t p4 = page.find("b.gif width"), p5 = page.find("A.gif><img"), p6 = page.find("./a.gif");
    std::string c0 = Cid(p1, 0), c1 = Cid(p2, 1), c2 = Cid(p3, 2), c3 = Cid(p6, 3);
    EXPECT_EQ(Body(), Splice(page, {{p1, 5, c0}, {p2, 5, c1}, {p3, 5, c2}, {p4, 5, c1}, {p5, 5, c0}, {p6, 7, c3}}));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"A.gif", "b.gif", "a.gif", "./a.gif"}));
    // The parts carry the Content-ID, the file name and the table's type.
    EXPECT_EQ(testutil::PartHeaderOf(eml, c0),
              "--" + c->Boundary() + "\r\nContent-Type: image/gif;\r\n\tname=\"A.gif\"\r\n"
              "Content-Transfer-Encoding: base64\r\nContent-ID: <" + c0 + ">");
    EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, {}), "");
}

TEST_F(RewrittenHtml, ReferencesFromAllScansInterleaveInPageOrder) {
    for (const char* f : {"s.css", "j.js", "i.png", "b.gif", "in.png"}) File(f);
    // The page order differs from the scan order; the rewriting follows the page.
    const std::string page =
        "<input src=in.png><table background=b.gif><img src=i.png><script src=j.js></script><link href=s.css>";
    Compose(page);
    ASSERT_EQ(c->References().size(), 5u);
    for (std::size_t i = 1; i < c->References().size(); ++i)
        EXPECT_LT(c->References()[i - 1].m_nPosition, c->References()[i].m_nPosition);
    // Content-IDs were drawn in scan order: link, script, img, background, input.
    std::size_t ps = page.find("s.css"), pj = page.find("j.js"), pi = page.find("i.png"), pb = page.find("b.gif"),
                pn = page.find("in.png");
    EXPECT_EQ(Body(), Splice(page, {{pn, 6, Cid(pn, 4)}, {pb, 5, Cid(pb, 3)}, {pi, 5, Cid(pi, 2)},
                                    {pj, 4, Cid(pj, 1)}, {ps, 5, Cid(ps, 0)}}));
}

TEST_F(RewrittenHtml, OverlappingValuesKeepTheOneThatStartsFirst) {
    File("x background='a.gif'");
    File("a.gif");
    // The img value holds text that the background scan reads as a value of its own.
    const std::string page = "<img src=\"x background='a.gif'\">";
    Compose(page);
    EXPECT_EQ(Body(), Splice(page, {{10, 20, Cid(10, 0)}}));
    // a.gif lost its only reference, so it gets no part.
    EXPECT_EQ(Paths(), (std::vector<std::string>{"x background='a.gif'"}));
    EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, {"--resource", dir.Path() + "x background='a.gif'"}), "");

    // Named elsewhere too, the file keeps its part for that reference.
    const std::string page2 = page + "<img src=a.gif>";
    Compose(page2);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"x background='a.gif'", "a.gif"}));
    EXPECT_EQ(Body(), Splice(page2, {{10, 20, Cid(10, 0)}, {41, 5, Cid(41, 1)}}));
}

TEST_F(RewrittenHtml, MalformedPagesKeepEveryWellFormedReference) {
    File("a.gif", "A");
    File("b.gif", "B");
    File("c.gif", "C");
    std::string page;
    page += "<img src=\"a.gif>";                   // unclosed quote: that tag is left
    page += std::string("<p>\0\0</p>", 9);        // NUL bytes are ordinary text
    page += "<img src=\"b.gif\">";
    page += "<img src=\"" + std::string(2 << 20, 'v') + "\">";  // 2 MB value
    page += "<img src=c.gif";                      // no '>' before the end
    Compose(page);
    std::size_t pb = page.find("b.gif\"");
    EXPECT_EQ(Paths(), (std::vector<std::string>{"b.gif"}));
    EXPECT_EQ(Body(), Splice(page, {{pb, 5, Cid(pb, 0)}}));
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
