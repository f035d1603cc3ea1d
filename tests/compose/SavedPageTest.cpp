// Pages as browsers and editors save them, composed and then read back by
// Python's email package: every "cid:" names a part, every part is its file.
#include <gtest/gtest.h>

#include "ScanFixture.h"

namespace {

using testutil::RandomBytes;

using SavedPages = ScanFixture;

TEST_F(SavedPages, BrowserSavedPageWithItsFilesFolderAndAttachments) {
    std::string css = File("Shop Page_files/main.css", "body{background:url(bg.png)}");
    std::string js = File("Shop Page_files/jquery.min.js", "var x=1;");
    std::string hero = File("Shop Page_files/hero image.jpg", RandomBytes(70000, 1));
    std::string icon = File("Shop Page_files/icon.png", RandomBytes(3648, 2));
    std::string tile = File("Shop Page_files/tile.gif", RandomBytes(1, 3));
    std::string pdf = File("terms.pdf", RandomBytes(5000, 4));
    Compose(
        "<!DOCTYPE html>\n<html lang=\"en\"><head>\n<meta charset=\"utf-8\">\n"
        "<link rel=\"stylesheet\" href=\"Shop%20Page_files/main.css\" media=\"all\">\n"
        "<link rel=\"icon\" href=\"Shop%20Page_files/icon.png\">\n"
        "<link rel=\"canonical\" href=\"https://shop.example/\">\n"
        "<script src=\"Shop%20Page_files/jquery.min.js\"></script>\n"
        "<script>var s = '<img src=\"Shop%20Page_files/icon.png\">';</script>\n"
        "</head>\n<body background=\"Shop%20Page_files/tile.gif\">\n"
        "<img src=\"Shop%20Page_files/hero%20image.jpg\" alt=\"Hero\" width=\"600\">\n"
        "<a href=\"terms.pdf\"><img src=\"Shop%20Page_files/icon.png\" alt=\"\"></a>\n"
        "<img src=\"https://cdn.example/pixel.gif\">\n</body></html>\n");
    c->m_job.m_listAttachments = {pdf};
    // Compose again with the attachment, from the same page.
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    EXPECT_EQ(testutil::CheckEml(c->m_job.m_strOutputPath, {"--resource", css, "--resource", icon, "--resource", js,
                                                      "--resource", hero, "--resource", tile, "--attach", pdf}),
              "");
    std::string msg = testutil::ReadFile(c->m_job.m_strOutputPath);
    EXPECT_NE(msg.find("\tcharset=\"utf-8\""), std::string::npos);
    EXPECT_NE(msg.find("Content-Type: text/css;\r\n\tname=\"main.css\""), std::string::npos);
    EXPECT_NE(msg.find("Content-Type: image/jpeg;\r\n\tname=\"hero image.jpg\""), std::string::npos);
    EXPECT_NE(msg.find("Content-Type: application/x-javascript;\r\n\tname=\"jquery.min.js\""), std::string::npos);
    EXPECT_NE(msg.find("Content-Type: application/pdf;\r\n\tname=\"terms.pdf\""), std::string::npos);
    std::string body = testutil::HtmlPartOf(msg);
    EXPECT_EQ(body.find("Shop%20Page_files"), std::string::npos);  // every local reference rewritten
    EXPECT_NE(body.find("href=\"terms.pdf\""), std::string::npos);
    EXPECT_NE(body.find("src=\"https://cdn.example/pixel.gif\""), std::string::npos);
}

} // namespace
