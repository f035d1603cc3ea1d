// Which values of a page become embedded parts and which stay as written.
#include <sys/stat.h>
#include <unistd.h>

#include "ScanFixture.h"

namespace {

using EmbeddedReferences = ScanFixture;

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

} // namespace
