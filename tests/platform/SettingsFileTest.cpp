// The settings file on a real disk: where it lives, who may read it, saves that
// fail without harm, and programs saving at the same time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestUtil.h"
#include "app/AppSettings.h"

namespace {

using testutil::ReadFile;
using testutil::ScopedEnv;
using testutil::TempDir;

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// Runs body in a child process; its answer comes back through a pipe:
// "" for success, "SKIP ..." when the system cannot stage the case, else what failed.
struct Child {
    pid_t pid = -1;
    int fd = -1;
};

Child StartChild(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string answer = body();
        if (::write(fds[1], answer.data(), answer.size()) < 0) _exit(2);
        _exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

std::string Finish(Child c) {
    if (c.pid <= 0) return "cannot start a child process";
    std::string answer;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(c.fd, buf, sizeof buf)) > 0) answer.append(buf, static_cast<std::size_t>(n));
    ::close(c.fd);
    int status = 0;
    ::waitpid(c.pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child died: " + answer;
    return answer;
}

std::string InChild(const std::function<std::string()>& body) { return Finish(StartChild(body)); }

std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> names = testutil::ListFolder(folder);
    std::erase(names, "settings.reg");
    return names;
}

TEST(SettingsFile, OnlyItsOwnerMayReadIt) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.Path() + "new/conf");
    AppSettings s;
    s.options.AuthPass = "secret";
    std::string err;
    ASSERT_TRUE(s.SaveSettings(SETTINGS_OPTIONS, err)) << err;
    EXPECT_EQ(ModeOf(dir.Path() + "new/conf"), 0700u);
    EXPECT_EQ(ModeOf(dir.Path() + "new/conf/quillory"), 0700u);
    EXPECT_EQ(ModeOf(dir.Path() + "new/conf/quillory/settings.reg"), 0600u);

    // A file that others can read is tightened by the next save.
    std::string path = dir.Path() + "new/conf/quillory/settings.reg";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_TRUE(s.SaveSettings(SETTINGS_MAIL, err)) << err;
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_TRUE(Leftovers(dir.Path() + "new/conf/quillory").empty());

    // A settings file kept elsewhere behind a link stays linked.
    std::string real = dir.Write("dotfiles/settings.reg", ReadFile(path));
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::symlink(real.c_str(), path.c_str()), 0);
    s.mail.MailTo = "via link";
    ASSERT_TRUE(s.SaveSettings(SETTINGS_MAIL, err)) << err;
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(ReadFile(real).find("\"MailTo\"=\"via link\""), std::string::npos);
}

// Each failing save reports why and leaves the earlier file exactly as it was.
class FailedSave : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = m_dir.Path() + "conf/quillory";
        m_env = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_dir.Path() + "conf");
        AppSettings s;
        s.options.SmtpServer = "before";
        std::string err;
        ASSERT_TRUE(s.SaveSettings(SETTINGS_OPTIONS, err)) << err;
        m_before = ReadFile(Path());
    }
    std::string Path() const { return m_folder + "/settings.reg"; }
    // Saves a record far larger than the old file, in the child.
    static std::string SaveMustFail(const std::string& mention) {
        AppSettings s;
        s.mail.MailSubject = std::string(200000, 'x');
        std::string err;
        if (s.SaveSettings(SETTINGS_MAIL, err)) return "the save succeeded";
        if (err.find(mention) == std::string::npos) return "unexpected reason: " + err;
        return "";
    }
    void ExpectUnchanged() {
        EXPECT_EQ(ReadFile(Path()), m_before);
        EXPECT_TRUE(Leftovers(m_folder).empty());
    }

    TempDir m_dir;
    std::string m_folder;
    std::string m_before;
    std::unique_ptr<ScopedEnv> m_env;
};

TEST_F(FailedSave, ReadOnlyFolder) {
    std::string answer = InChild([&] {
        // root ignores permissions: drop to an ordinary user for the attempt.
        if (::geteuid() == 0) {
            if (::chmod(m_dir.Path().c_str(), 0755) != 0 || ::chmod((m_dir.Path() + "conf").c_str(), 0755) != 0 ||
                ::chmod(m_folder.c_str(), 0755) != 0 || ::chmod(Path().c_str(), 0644) != 0 ||
                ::setgid(65534) != 0 || ::setuid(65534) != 0)
                return std::string("SKIP cannot become an ordinary user");
        } else if (::chmod(m_folder.c_str(), 0500) != 0) {
            return std::string("chmod failed");
        }
        return SaveMustFail("cannot save settings in '" + m_folder + "': Permission denied");
    });
    ::chmod(m_folder.c_str(), 0700);
    if (answer.rfind("SKIP", 0) == 0) GTEST_SKIP() << answer;
    EXPECT_EQ(answer, "");
    ExpectUnchanged();
}

TEST_F(FailedSave, FileSizeLimit) {
    std::string answer = InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return std::string("setrlimit failed");
        return SaveMustFail("cannot save settings to '" + Path() + "': File too large");
    });
    EXPECT_EQ(answer, "");
    ExpectUnchanged();
}

TEST_F(FailedSave, FullDisk) {
    std::string answer = InChild([&] {
        // A small tmpfs over the folder, seen only by this child.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", m_folder.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
            return std::string("SKIP cannot mount a tmpfs here");
        int fd = ::open(Path().c_str(), O_WRONLY | O_CREAT, 0600);
        bool ok = fd >= 0 && ::write(fd, m_before.data(), m_before.size()) == static_cast<ssize_t>(m_before.size());
        if (fd >= 0) ::close(fd);
        std::string filler = m_folder + "/filler";
        fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
        char block[4096] = {};
        while (fd >= 0 && ::write(fd, block, sizeof block) > 0) {
        }
        if (!ok || fd < 0) return std::string("cannot stage the full disk");
        ::close(fd);
        std::string answer = SaveMustFail("cannot save settings to '" + Path() + "': No space left on device");
        ::unlink(filler.c_str());
        if (answer.empty() && ReadFile(Path()) != m_before) answer = "the old file changed";
        if (answer.empty() && !Leftovers(m_folder).empty()) answer = "a temporary file was left";
        return answer;
    });
    if (answer.rfind("SKIP", 0) == 0) GTEST_SKIP() << answer;
    EXPECT_EQ(answer, "");
    ExpectUnchanged();
}

TEST_F(FailedSave, UnreadableFileIsNotOverwritten) {
    ASSERT_EQ(::rename(Path().c_str(), (m_folder + "/old").c_str()), 0);
    ASSERT_EQ(::mkdir(Path().c_str(), 0700), 0);
    EXPECT_EQ(SaveMustFail("cannot read '" + Path() + "': Is a directory"), "");
    ASSERT_EQ(::rmdir(Path().c_str()), 0);
    ASSERT_EQ(::rename((m_folder + "/old").c_str(), Path().c_str()), 0);
    ExpectUnchanged();
}

// Two programs saving different groups over and over: neither group is lost,
// because each save reads the file afresh under the lock.
TEST(SettingsFile, ConcurrentSavesKeepBothGroups) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.Path() + "conf");
    const int rounds = 150;
    auto saver = [&](unsigned group) {
        return [group, rounds] {
            for (int i = 0; i < rounds; ++i) {
                AppSettings s;
                s.options.SmtpServer = "server" + std::to_string(i);
                s.mail.MailFrom = "from" + std::to_string(i);
                std::string err;
                if (!s.SaveSettings(group, err)) return "save failed: " + err;
                AppSettings back;
                back.LoadSettings();
                const std::string& mine = group == SETTINGS_OPTIONS ? back.options.SmtpServer : back.mail.MailFrom;
                if (mine != (group == SETTINGS_OPTIONS ? s.options.SmtpServer : s.mail.MailFrom))
                    return "round " + std::to_string(i) + ": my value was lost, found '" + mine + "'";
            }
            return std::string();
        };
    };
    Child ca = StartChild(saver(SETTINGS_OPTIONS));
    Child cb = StartChild(saver(SETTINGS_MAIL));
    std::string a = Finish(ca), b = Finish(cb);
    EXPECT_EQ(a, "");
    EXPECT_EQ(b, "");
    AppSettings end;
    std::vector<std::string> warnings;
    end.LoadSettings(&warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(end.options.SmtpServer, "server" + std::to_string(rounds - 1));
    EXPECT_EQ(end.mail.MailFrom, "from" + std::to_string(rounds - 1));
    EXPECT_TRUE(Leftovers(dir.Path() + "conf/quillory").empty());
}

TEST(SettingsFile, ReadingADamagedFileChangesNothing) {
    std::string path = platform::SettingsFilePath();
    std::string folder = path.substr(0, path.rfind('/'));
    ASSERT_EQ(testutil::RunCommand("mkdir -p '" + folder + "'"), 0);
    const std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\n\"SmtpPort\"=dword:\n"
                             "\"SmtpServer\"=\"ok\"\n" + std::string("\0\1\2\n", 4) +
                             "\"MailTo\"=\"a\"\n\"MailTo\"=\"b\"";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    EXPECT_EQ(s.options.SmtpServer, "ok");
    EXPECT_EQ(s.options.SmtpPort, 25);
    EXPECT_EQ(s.mail.MailTo, "b");
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            path + ":3: the data of value \"SmtpPort\" is not understood; it is kept but not used",
                            path + ":5: line not understood; it is kept but not used",
                            path + ":7: value \"MailTo\" appears again (first on line 6); this one counts"}));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(path), text);

    // The first save keeps every line it could not use.
    EXPECT_TRUE(s.TestAndClearFirstRun());
    EXPECT_EQ(ReadFile(path), text + "\n\"FirstRun\"=dword:00000000\n");
}

} // namespace
