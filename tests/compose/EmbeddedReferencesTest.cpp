// Which values of a page become embedded parts and which stay as written.
#include <sys/stat.h>
#include <unistd.h>

#include "ScanFixture.h"

namespace {

using EmbeddedReferences = ScanFixture;

TEST_F(EmbeddedReferences, OnlyTheFiveTagAttributesNamingReadableFilesAreEmbedded) {
    for (const char* f : {"style.css", "doc.pdf", "logo.png", "commented.gif", "cell.gif", "button.gif", "app.js",
                          "alt.gif", "bg.gif", "http:/a.gif", "https:/a.gif", "ftp:/a.gif", "sub/x"})
        File(f);
    ASSERT_EQ(mkfifo((dir.Path() + "fifo").c_str(), 0644), 0);
    Compose(
        "<link rel=stylesheet href=\"style.css\">\n"
        "<a href=\"doc.pdf\">doc</a>\n"
        "<IMG SRC=\"logo.png\">\n"
        "<img src=\"HTTP://a.gif\"><img src='https://a.gif'><img src=Ftp://a.gif>\n"
        "<img src=\"missing.gif\"><img src=\"sub\"><img src=\"fifo\"><img src=\"\">\n"
        "<img alt=\"a>b\" src=\"alt.gif\">\n"
        "<img src=logo.png\twidth=3>\n"
        "<p style=\"background: url(bg.gif)\">\n"
        "<td background=\"cell.gif\">\n"
        "<!-- <img src=\"commented.gif\"> -->\n"
        "<input type=image src=\"button.gif\">\n"
        "<script src=\"app.js\"></script>\n"
        "<img src=\"data:image/gif;base64,R0lG\"><img src=\"#top\"><img src=\"mailto:a@b\">\n"
        "<img src=\"logo.png%00.jpg\">\n");

    // First discovery order: link, script, img, background, input scans.
    EXPECT_EQ(Paths(), (std::vector<std::string>{"style.css", "app.js", "logo.png", "commented.gif", "cell.gif",
                                                 "button.gif"}));
    EXPECT_EQ(c->References().size(), 6u);
    std::string body = Body();
    for (const char* stays :
         {"href=\"doc.pdf\"", "src=\"HTTP://a.gif\"", "src='https://a.gif'", "src=Ftp://a.gif", "src=\"missing.gif\"",
          "src=\"sub\"", "src=\"fifo\"", "src=\"alt.gif\"", "src=logo.png\twidth=3",
          "url(bg.gif)", "src=\"data:image/gif;base64,R0lG\"", "src=\"#top\"", "src=\"mailto:a@b\"", "src=\"\"",
          "src=\"logo.png%00.jpg\""})
        EXPECT_NE(body.find(stays), std::string::npos) << stays;
    EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath,
                                 {"--resource", dir.Path() + "style.css", "--resource", dir.Path() + "app.js",
                                  "--resource", dir.Path() + "logo.png", "--resource", dir.Path() + "commented.gif",
                                  "--resource", dir.Path() + "cell.gif", "--resource", dir.Path() + "button.gif"}),
              "");
}

// A tag name counts when any HTML white space follows it, in any case; a name
// that merely starts alike is another tag. The webmail scan reads <link> alike.
TEST_F(EmbeddedReferences, TagNameFollowedByAnyWhiteSpace) {
    File("a.png");
    File("s.css", "p{color:red}");
    File("app.js");
    const struct {
        const char* html;
        bool webmail;
        std::vector<std::string> paths;
        const char* body;  // in the HTML part; the page itself when it stays as written
    } cases[] = {
        {"<img\n src=\"a.png\">", false, {"a.png"}, "<img\r\n src=\"cid:"},
        {"<img\r\n\tsrc=\"a.png\">", false, {"a.png"}, "<img\r\n\tsrc=\"cid:"},
        {"<IMG\tSRC=a.png>", false, {"a.png"}, "<IMG\tSRC=cid:"},
        {"<img\f alt=x src=a.png>", false, {"a.png"}, "src=cid:"},
        {"<link\n rel=\"stylesheet\" href=\"s.css\">", false, {"s.css"}, "href=\"cid:"},
        {"<link\f rel=\"stylesheet\" href=\"s.css\">", true, {}, "p{color:red}"},
        {"<script\tsrc=\"app.js\"></script>", false, {"app.js"}, "src=\"cid:"},
        {"<input\n type=\"image\" src=\"a.png\">", false, {"a.png"}, "src=\"cid:"},
        {"<imgsrc=\"a.png\">", false, {}, nullptr},
        {"<img>src=\"a.png\">", false, {}, nullptr},
        {"<image src=\"a.png\">", false, {}, nullptr},
        {"<img", false, {}, nullptr},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(testing::PrintToString(t.html));
        webmail = t.webmail;
        Compose(t.html);
        EXPECT_EQ(Paths(), t.paths);
        if (t.body) EXPECT_NE(Body().find(t.body), std::string::npos) << Body();
        else EXPECT_EQ(Body(), t.html);
    }
}

// A page as a responsive-e-mail framework writes it: each <img on a line of its
// own, its attributes on the next.
TEST_F(EmbeddedReferences, FrameworkTemplateKeepsEveryPicture) {
    const std::vector<std::string> pictures = {"images/logo.png", "images/001-tomato.png", "images/002-beans.png",
                                               "images/003-basil.png"};
    for (const std::string& p : pictures) File(p);
    Compose(testutil::ReadFile(QUILLORY_SOURCE_DIR "/tests/compose/pages/greenhouse.html"));
    EXPECT_EQ(Paths(), pictures);
    EXPECT_EQ(Body().find("src=\"images/"), std::string::npos);
}

// Outside the page's folder tree only what the tag can use travels; the
// settings file and the home folder's hidden folders never do.
TEST_F(EmbeddedReferences, FilesOutsideThePageAreLeftOutForSafety) {
    testutil::TempDir home, elsewhere;
    fixed.environment.vars = {{"HOME", home.Path()}, {"XDG_CONFIG_HOME", elsewhere.Path() + "conf"}};
    std::string settings = elsewhere.Write("conf/quillory/quillory.conf", "[SMTP]\n");
    std::string imported = elsewhere.Write("conf/quillory/settings.reg.imported", "AuthPass");
    std::string key = home.Write(".ssh/id.png", "key");
    std::string secret = elsewhere.Write("shadow", "secret");
    std::string pic = elsewhere.Write("pic.png", "png");
    std::string css = elsewhere.Write("style.css", "css");
    std::string js = elsewhere.Write("app.js", "js");
    File("sub/data.bin");
    ASSERT_EQ(symlink(secret.c_str(), (dir.Path() + "link.png").c_str()), 0);
    const std::string& e = elsewhere.Path();
    ASSERT_EQ(symlink(e.c_str(), (dir.Path() + "linked").c_str()), 0);
    std::string up = "../" + e.substr(e.rfind('/', e.size() - 2) + 1) + "shadow";  // both folders share a parent
    Compose("<img src=\"file://" + settings + "\"><img src=\"" + key + "\"><link href=\"" + secret + "\">"
            "<img src=\"" + pic + "\"><link href=\"" + css + "\"><img src=\"" + js + "\"><img src=\"sub/data.bin\">"
            "<img src=\"link.png\"><img src=\"" + up + "\"><img src=\"" + imported + "\"><img src=\"linked/shadow\">");
    const std::string outside = "it lies outside the page's folder and its type (application/octet-stream) is not";
    std::vector<std::pair<std::string, std::string>> want = {
        {secret, outside},
        {settings, "it is the program's settings file"},
        {key, "it lies in a hidden folder of the home folder"},
        {js, "it lies outside the page's folder and its type (application/x-javascript) is not"},
        {"link.png", outside},
        {up, outside},
        {imported, "it lies in the program's settings folder"},
        {"linked/shadow", outside},
    };
    ASSERT_EQ(c->LeftOut().size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(c->LeftOut()[i].m_strPath, want[i].first);
        EXPECT_EQ(c->LeftOut()[i].m_strReason.rfind(want[i].second, 0), 0u) << c->LeftOut()[i].m_strReason;
    }
    EXPECT_EQ(Paths(), (std::vector<std::string>{css, pic, "sub/data.bin"}));
    EXPECT_EQ(eml.find("secret"), std::string::npos);
    // The same composer again, once the folder link leads into the page.
    File("sub/shadow");
    ASSERT_EQ(unlink((dir.Path() + "linked").c_str()) | symlink("sub", (dir.Path() + "linked").c_str()), 0);
    ASSERT_TRUE(c->Compose());
    EXPECT_EQ(c->LeftOut().size(), want.size() - 1);
    EXPECT_EQ(Paths().back(), "linked/shadow");
}

TEST_F(EmbeddedReferences, UnreadableFileStaysAsWritten) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    std::string locked = File("locked.gif");
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    Compose("<img src=\"locked.gif\">");
    EXPECT_TRUE(c->Resources().empty());
    EXPECT_EQ(Body(), "<img src=\"locked.gif\">");
}

TEST_F(EmbeddedReferences, PathsAreDecodedAndResolvedFromThePageFolder) {
    testutil::TempDir elsewhere;
    std::string abs = elsewhere.Write("Abs Pic.gif", "abs");
    File("my pic.gif");
    File("a&b.gif");
    File("win/dir/pic.gif");
    File("caf\xC3\xA9.gif");
    File("raw\xE9.gif");
    Compose("<img src=\"my%20pic.gif\"><img src=\"a&amp;b.gif\"><img src=\"win\\dir\\pic.gif\">"
            "<img src=\"FILE://" + abs.substr(0, abs.size() - 11) + "Abs%20Pic.gif\">"
            "<img src=\"caf%C3%A9.gif\"><img src=\"raw\xE9.gif\"><img src=\"win/../a%26b.gif\">");
    EXPECT_EQ(Paths(), (std::vector<std::string>{"my pic.gif", "a&b.gif", "win/dir/pic.gif",
                                                 abs.substr(0, abs.size() - 11) + "Abs Pic.gif", "caf\xC3\xA9.gif",
                                                 "raw\xE9.gif", "win/../a&b.gif"}));
    std::vector<std::string> args;
    for (const std::string& p : Paths()) args.insert(args.end(), {"--resource", p[0] == '/' ? p : dir.Path() + p});
    EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, args), "");
}

TEST_F(EmbeddedReferences, FileSchemeNeedsThreeSlashesAndKeepsTheThird) {
    std::string abs = File("x/a.gif");
    // file://host/... is no local path here, and the drive-letter rule of
    // another system does not apply.
    Compose("<img src=\"file://" + abs + "\"><img src=\"file://x/a.gif\"><img src=\"file:///C|/a.gif\">");
    EXPECT_EQ(Paths(), (std::vector<std::string>{abs}));
    EXPECT_EQ(c->References().size(), 1u);
}

TEST_F(EmbeddedReferences, CaseAndDotSlashMakeDifferentFiles) {
    File("a.gif", "lower");
    File("A.GIF", "upper");
    Compose("<img src=a.gif><img src=A.GIF><img src=./a.gif><body background=a.gif>");
    EXPECT_EQ(Paths(), (std::vector<std::string>{"a.gif", "A.GIF", "./a.gif"}));
    ASSERT_EQ(c->References().size(), 4u);
    // The background names the first file again and shares its Content-ID.
    EXPECT_EQ(c->References()[3].m_strContentId, c->Resources()[0].strContentId);
    EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, {"--resource", dir.Path() + "a.gif", "--resource",
                                                      dir.Path() + "A.GIF", "--resource", dir.Path() + "a.gif"}),
              "");
}

} // namespace
