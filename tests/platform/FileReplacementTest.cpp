// Replacing a file: what is at the target decides what happens to it.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "TestUtil.h"
#include "platform/FileSystem.h"

namespace {

enum class Mode { KeepExisting, Private, Force };

// Through the file systems the composer writes its messages with.
bool Replace(const std::string& path, Mode mode, std::string& err) {
    platform::FileSystem& fs = mode == Mode::Private ? platform::PrivateFileSystem() : platform::RealFileSystem();
    auto f = fs.CreateOutput(path, mode == Mode::Force ? platform::ReadOnlyTarget::Replace : platform::ReadOnlyTarget::Refuse, err);
    return f && f->Write("new", 3, err) && f->Commit(err);
}

struct stat Lstat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

TEST(FileReplacement, TargetsOfEveryKind) {
    testutil::TempDir dir;
    // A group this process belongs to besides its own, when there is one.
    gid_t groups[64];
    int n = ::getgroups(64, groups);
    gid_t other = ::getegid();
    for (int i = 0; i < n; ++i)
        if (groups[i] != ::getegid()) other = groups[i];
    if (::geteuid() == 0) other = 12345;  // root may give any group

    std::string kept = dir.Write("kept.eml", "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    ASSERT_EQ(::chown(kept.c_str(), static_cast<uid_t>(-1), other), 0);
    std::string target = dir.Write("real/target.eml", "old");
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink("real/target.eml", (dir.Path() + "link.eml").c_str()), 0);
    ASSERT_EQ(::symlink("link.eml", (dir.Path() + "link2.eml").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir.Path() + "fifo").c_str(), 0644), 0);
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::string sockPath = dir.Path() + "sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    bool device = ::mknod((dir.Path() + "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    ::mkdir((dir.Path() + "folder").c_str(), 0755);
    std::string readOnly = dir.Write("read-only.eml", "old"), forced = dir.Write("forced.eml", "old");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444) | ::chmod(forced.c_str(), 0444), 0);

    struct Case {
        std::string path;
        std::string written;  // where the new content lands
        Mode mode;
        const char* error;  // null when it is replaced
        unsigned wantMode;  // of the file written, when replaced
    } cases[] = {
        {dir.Path() + "new.eml", dir.Path() + "new.eml", Mode::KeepExisting, nullptr, 0640},  // umask 027 below
        {kept, kept, Mode::KeepExisting, nullptr, 0640},
        {dir.Write("private.eml", "old"), dir.Path() + "private.eml", Mode::Private, nullptr, 0600},
        {dir.Path() + "link2.eml", target, Mode::KeepExisting, nullptr, 0644},
        {dir.Path() + "fifo", dir.Path() + "fifo", Mode::KeepExisting, "not a regular file", 0},
        {sockPath, sockPath, Mode::KeepExisting, "not a regular file", 0},
        {dir.Path() + "folder", dir.Path() + "folder", Mode::KeepExisting, "not a regular file", 0},
        {device ? dir.Path() + "null" : dir.Path() + "fifo", "", Mode::Private, "not a regular file", 0},
        {readOnly, readOnly, Mode::KeepExisting, "it is read-only", 0},
        {forced, forced, Mode::Force, nullptr, 0444},
    };
    mode_t oldMask = ::umask(027);
    for (const Case& c : cases) {
        struct stat before = Lstat(c.path);
        std::string err;
        EXPECT_EQ(Replace(c.path, c.mode, err), !c.error) << c.path << ": " << err;
        struct stat after = Lstat(c.error ? c.path : c.written);
        if (!c.error) {
            EXPECT_EQ(testutil::ReadFile(c.written), "new") << c.path;
            EXPECT_EQ(after.st_mode & 07777, c.wantMode) << c.path;
        } else {
            EXPECT_EQ(err, c.error) << c.path;
            EXPECT_EQ(after.st_mode, before.st_mode) << c.path;
            EXPECT_EQ(after.st_rdev, before.st_rdev) << c.path;
            EXPECT_EQ(after.st_ino, before.st_ino) << c.path;
        }
    }
    ::umask(oldMask);
    ::close(sock);
    // The group stays when only the mode was to be kept; the links stay links.
    EXPECT_EQ(Lstat(kept).st_gid, ::geteuid() == 0 || other != ::getegid() ? other : ::getegid());
    EXPECT_TRUE(S_ISLNK(Lstat(dir.Path() + "link.eml").st_mode));
    EXPECT_TRUE(S_ISLNK(Lstat(dir.Path() + "link2.eml").st_mode));
    // Nothing is left beside the targets.
    for (const std::string& name : testutil::ListFolder(dir.Path())) EXPECT_NE(name[0], '.') << name;
    for (const std::string& name : testutil::ListFolder(dir.Path() + "real")) EXPECT_NE(name[0], '.') << name;
}

} // namespace
