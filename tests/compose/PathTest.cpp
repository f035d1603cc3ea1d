#include <gtest/gtest.h>

#include "compose/PathUtil.h"

TEST(PathFunctions, FolderNameAndExtension) {
    std::string folder;
    EXPECT_TRUE(GetFolderOfPath("/srv/site/index.html", folder));
    EXPECT_EQ(folder, "/srv/site/");
    EXPECT_TRUE(GetFolderOfPath("/index.html", folder));
    EXPECT_EQ(folder, "/");
    EXPECT_FALSE(GetFolderOfPath("index.html", folder));

    EXPECT_EQ(GetFileNamePart("/a/b/logo.gif"), "logo.gif");
    EXPECT_EQ(GetFileNamePart("logo.gif"), "logo.gif");
    EXPECT_EQ(GetFileNamePart("/a/b/"), "");

    EXPECT_EQ(GetFileExtension("/a/b/logo.gif"), ".gif");
    EXPECT_EQ(GetFileExtension("/a/b/archive.tar.gz"), ".gz");
    EXPECT_EQ(GetFileExtension("/a.d/README"), "");
    EXPECT_EQ(GetFileExtension("/a/b/.gif"), ".gif");
    // Without a folder a leading dot does not start an extension.
    EXPECT_EQ(GetFileExtension(".gif"), "");
    EXPECT_EQ(GetFileExtension("x.gif"), ".gif");
    EXPECT_EQ(GetFileExtension("/a/b/name."), ".");
}
