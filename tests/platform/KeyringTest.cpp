// The password in a real Secret Service: gnome-keyring under a private D-Bus
// session, driven through the command line as a user would.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "smtp/RealSmtpServer.h"

namespace {

using testutil::RunCommand;
using testutil::TempDir;

// Runs script in a fresh session with private folders, the keyring unlocked
// with password (the first session sets it).
int InKeyringSession(const TempDir& dir, const std::string& script, std::string& out,
                     const std::string& password = "unlock") {
    std::string run = dir.Write("script.sh", "set -e\necho -n " + password + " | gnome-keyring-daemon --unlock "
                                             "--components=secrets >/dev/null\n" + script);
    std::string env = "env -u DBUS_SESSION_BUS_ADDRESS HOME=" + dir.Path() + " XDG_RUNTIME_DIR=" + dir.Path() +
                      "run XDG_DATA_HOME=" + dir.Path() + "data XDG_CACHE_HOME=" + dir.Path() +
                      "cache XDG_CONFIG_HOME=" + dir.Path() + "cfg CLI=" + QUILLORY_CLI;
    return RunCommand("mkdir -p -m 700 " + dir.Path() + "run && " + env + " timeout 60 dbus-run-session -- sh " +
                          run + " 2>&1 | grep -v 'Failed to set fd limit'",
                      &out);
}

TEST(Keyring, StoresMovesAndUsesThePassword) {
    TempDir dir;
    testutil::RealSmtpServer server("ann", "from-the-keyring");
    const std::string port = std::to_string(server.Port());
    // A password saved in the file by an earlier version moves at the next save.
    dir.Write("cfg/quillory/settings.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quillory\\Options]\r\n"
                                           "\"AuthPass\"=\"old-secret\"\r\n");
    std::string out;
    int rc = InKeyringSession(dir,
                              "$CLI options --server 127.0.0.1 --port " + port + " --user ann\n"
                              "echo \"file after the move: $(grep -c AuthPass $XDG_CONFIG_HOME/quillory/quillory.conf)\"\n"
                              "secret-tool lookup application quillory server 127.0.0.1 port " + port + " user ann\n"
                              "echo\n"
                              "echo from-the-keyring | $CLI options --password-stdin\n"
                              "$CLI options | grep AuthPass\n"
                              "echo '<p>hi</p>' > $HOME/p.html\n"
                              "$CLI send $HOME/p.html --from a@x.org --to b@y.org --auth --security none | tail -1\n",
                              out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("file after the move: 1"), std::string::npos) << out;  // the value stays, empty
    EXPECT_NE(out.find("old-secret"), std::string::npos) << out;              // secret-tool found it
    EXPECT_NE(out.find("The password is kept in the keyring."), std::string::npos) << out;
    EXPECT_NE(out.find("******** (in the keyring)"), std::string::npos) << out;
    EXPECT_NE(out.find("Sent email successfully."), std::string::npos) << out;
    EXPECT_EQ(testutil::ReadFile(dir.Path() + "cfg/quillory/quillory.conf").find("secret"), std::string::npos);
}

// A keyring that is there but stays locked (no prompter here to unlock it) is
// no reason to put the password in the file: nothing is saved, and it says why.
TEST(Keyring, ALockedKeyringIsNotAnAbsentOne) {
    TempDir dir;
    std::string out;
    ASSERT_EQ(InKeyringSession(dir, "echo created\n", out), 0) << out;
    int rc = InKeyringSession(dir,
                              "echo secret | $CLI options --server s.example --user ann --password-stdin || "
                              "echo \"status $?\"\n",
                              out, "wrong");
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("quillory-cli: the options were not saved: the keyring did not take the password: the "
                       "keyring is locked and was not unlocked\nstatus 1\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "cfg/quillory/settings.reg"));
}

} // namespace
