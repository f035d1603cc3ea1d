// Resolving through the per-folder cache gives what a full resolution gives,
// whatever links lie on the way, and still looks up each folder only once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

#include "TestUtil.h"
#include "platform/ResolveCache.h"

namespace {

void ExpectUncached(platform::ResolveCache& cache, const std::string& path) {
    SCOPED_TRACE(path);
    platform::ResolvedPath want, got;
    bool found = platform::RealFileSystem().Resolve(path, want);
    ASSERT_EQ(cache.Resolve(path, got), found);
    if (!found) return;
    EXPECT_EQ(got.strPath, want.strPath);
    EXPECT_TRUE(got.SameFile(want));
}

void Link(const std::string& target, const std::string& link) {
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
}

struct ResolveCacheTest : ::testing::Test {
    testutil::TempDir t;
    std::string page = t.Path() + "page/", out = t.Path() + "out/";
    void SetUp() override {
        t.Write("page/pic.gif", "pic");
        t.Write("page/sub/a.gif", "a");
        t.Write("out/secret.png", "secret");
        t.Write("out/d/x.png", "x");
        Link("../out", page + "linked");         // a folder link in the middle
        Link(out, page + "sub/abs");             // the same, absolute, one level down
        Link("../out/secret.png", page + "leaf.png");
        Link("nowhere", page + "dangling.png");
        Link("loop", page + "loop");
    }
};

TEST_F(ResolveCacheTest, SameAnswerAsAFullResolution) {
    platform::ResolveCache cache(platform::RealFileSystem());
    const std::string root = t.Path().substr(0, t.Path().find('/', 1));
    for (int pass = 0; pass < 2; ++pass)  // the second from the folders remembered
        for (const std::string& p : std::vector<std::string>
             {page + "pic.gif", page + "sub/a.gif", page + "linked/secret.png", page + "linked/d/x.png",
              page + "sub/abs/d/x.png", page + "sub/abs/../page/pic.gif", page + "linked/../page/pic.gif",
              page + "sub/../pic.gif", page + "leaf.png", page + "dangling.png", page + "loop", page + "loop/x",
              page + "missing/x.gif", page + "pic.gif/x", page + "sub/..", page + "sub/.", page + "sub/",
              page + "linked", page + "./pic.gif", page + "sub//a.gif", root, root + "/", "/", "/proc/self/status"})
            ExpectUncached(cache, p);
}

// A file is looked up each time: one that becomes a link, or whose link now
// points elsewhere, is seen at once. A folder relinked is seen by the next cache.
TEST_F(ResolveCacheTest, ChangesBetweenLookups) {
    platform::ResolveCache cache(platform::RealFileSystem());
    ExpectUncached(cache, page + "leaf.png");
    Link("../out/d/x.png", page + "leaf.png");
    ExpectUncached(cache, page + "leaf.png");
    ExpectUncached(cache, page + "pic.gif");
    Link("../out/secret.png", page + "pic.gif");
    ExpectUncached(cache, page + "pic.gif");

    ExpectUncached(cache, page + "linked/secret.png");
    t.Write("page/sub/secret.png", "inside");
    Link("sub", page + "linked");
    platform::ResolveCache next(platform::RealFileSystem());
    ExpectUncached(next, page + "linked/secret.png");
}

// Each folder is resolved once, however many of its files are looked up.
TEST_F(ResolveCacheTest, EachFolderOnce) {
    struct Counting : testutil::PassThroughFiles {
        int resolves = 0;
        bool Resolve(const std::string& p, platform::ResolvedPath& o) override { return ++resolves, real.Resolve(p, o); }
    } files;
    platform::ResolveCache cache(files);
    for (int i = 0; i < 50; ++i) t.Write("page/many/f" + std::to_string(i), "f");
    for (int i = 0; i < 50; ++i) ExpectUncached(cache, page + "many/f" + std::to_string(i));
    ExpectUncached(cache, page + "linked/secret.png");
    ExpectUncached(cache, page + "linked/d/x.png");
    EXPECT_EQ(files.resolves, 3);  // many/, linked/ and linked/d/
}

} // namespace
