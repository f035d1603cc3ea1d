// The settings file on a real disk: where it lives, who may read it, saves that
// fail without harm, and programs saving at the same time.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <signal.h>
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

// Runs body in a child process and returns its answer: "" for success,
// "SKIP ..." when the system cannot stage the case, else what failed.
std::string InChild(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "cannot make a pipe";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string answer = body();
        if (::write(fds[1], answer.data(), answer.size()) < 0) _exit(2);
        _exit(0);
    }
    ::close(fds[1]);
    std::string answer;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) answer.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child died: " + answer;
    return answer;
}

std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> names = testutil::ListFolder(folder);
    std::erase(names, "quillory.conf");
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
    EXPECT_EQ(ModeOf(dir.Path() + "new/conf/quillory/quillory.conf"), 0600u);

    // A file that others can read is tightened by the next save.
    std::string path = dir.Path() + "new/conf/quillory/quillory.conf";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    s.mail.MailFrom = "ann@example.com";
    ASSERT_TRUE(s.SaveSettings(SETTINGS_MAIL, err)) << err;
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_TRUE(Leftovers(dir.Path() + "new/conf/quillory").empty());

    // A settings file kept elsewhere behind a link stays linked.
    std::string real = dir.Write("dotfiles/quillory.conf", ReadFile(path));
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::symlink(real.c_str(), path.c_str()), 0);
    s.mail.MailTo = "via link";
    ASSERT_TRUE(s.SaveSettings(SETTINGS_MAIL, err)) << err;
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(ReadFile(real).find("\nMailTo=via link\n"), std::string::npos);
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
    std::string Path() const { return m_folder + "/quillory.conf"; }
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

} // namespace
