// Opening links: the desktop's opener, the HTML program as fallback, and the
// failures as the link box names them.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <thread>

#include "TestUtil.h"
#include "platform/DesktopEntry.h"
#include "platform/OpenUrl.h"
#include "platform/Process.h"

namespace {

using testutil::FakeDesktop;
using testutil::TempDir;
using Args = std::vector<std::string>;

struct FakeShell : platform::Shell {
    bool openWorks = false;
    int startErrno = 0;
    std::vector<Args> started;
    int opens = 0;
    bool Open(const std::string&, std::string& err) override {
        ++opens;
        if (!openWorks) err = "xdg-open is missing";
        return openWorks;
    }
    bool ShowInFolder(const std::string&, std::string&) override { return false; }
    bool Start(const Args& argv, int& errNo, std::string& err) override {
        started.push_back(argv);
        errNo = startErrno;
        if (errNo) err = "start failed";
        return errNo == 0;
    }
};

const std::string kTarget = "mailto:?subject=A very COOL thing!!!&body=Download from http://x.example/";

Args Built(const std::string& exec) {
    Args argv;
    std::string err;
    EXPECT_TRUE(platform::BuildHtmlCommand(exec, kTarget, argv, err)) << exec << ": " << err;
    return argv;
}

TEST(HtmlProgram, ExecLineIsCutAtThePlaceholderAndGetsTheTargetAsOneArgument) {
    EXPECT_EQ(Built("firefox-esr %u"), (Args{"firefox-esr", kTarget}));
    EXPECT_EQ(Built("chromium --new-window %U --incognito"), (Args{"chromium", "--new-window", kTarget}));
    EXPECT_EQ(Built("\"/opt/My Browser/run\" --profile \"a \\\"b\\\" \\\\c\" %f"),
              (Args{"/opt/My Browser/run", "--profile", "a \"b\" \\c", kTarget}));
    EXPECT_EQ(Built("  viewer   %F  "), (Args{"viewer", kTarget}));
    // Without a placeholder the whole line stays; codes we cannot fill go, %% is a percent sign.
    EXPECT_EQ(Built("browser %i --zoom=50%% %c"), (Args{"browser", "--zoom=50%", kTarget}));

    Args argv;
    std::string err;
    EXPECT_FALSE(platform::BuildHtmlCommand("\"/opt/browser %u", kTarget, argv, err));
    EXPECT_NE(err.find("quote"), std::string::npos) << err;
    EXPECT_FALSE(platform::BuildHtmlCommand("%u --new", kTarget, argv, err)) << "no program before the placeholder";
}

TEST(HtmlProgram, XdgMimeNamesTheEntryWhoseMainExecLineIsTaken) {
    FakeDesktop desktop("fakebrowser.desktop");
    desktop.AddProgram("fakebrowser");
    desktop.AddProgram("other");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Action new-window]\nExec=other --action %u\n\n"
                                            "[Desktop Entry]\nName=Fake\nExec = fakebrowser\\s--new %u\n");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nExec=other --system %u\n", true);
    std::string exec, err;
    ASSERT_TRUE(platform::DefaultHtmlCommand(exec, err)) << err;
    EXPECT_EQ(exec, "fakebrowser --new %u") << "the user's folder comes first; escapes undone";
}

TEST(HtmlProgram, EntryInTheSystemFolderIsFound) {
    FakeDesktop desktop("sysbrowser.desktop");
    desktop.AddProgram("sysbrowser");
    desktop.AddEntry("sysbrowser.desktop", "[Desktop Entry]\nExec=sysbrowser %U\n", true);
    std::string exec, err;
    ASSERT_TRUE(platform::DefaultHtmlCommand(exec, err)) << err;
    EXPECT_EQ(exec, "sysbrowser %U");
}

TEST(HtmlProgram, MissingDefaultEntryOrExecLineIsAFailureWithItsReason) {
    std::string exec, err;
    {
        FakeDesktop none("");
        EXPECT_FALSE(platform::DefaultHtmlCommand(exec, err));
        EXPECT_NE(err.find("no program is set"), std::string::npos) << err;
    }
    FakeDesktop desktop;
    EXPECT_FALSE(platform::FindDesktopEntryExec("gone.desktop", exec, err));
    EXPECT_NE(err.find("gone.desktop"), std::string::npos) << err;
    desktop.AddEntry("broken.desktop", "[Desktop Entry]\nName=Broken\n[Other]\nExec=not-this %u\n");
    EXPECT_FALSE(platform::FindDesktopEntryExec("broken.desktop", exec, err));
    EXPECT_NE(err.find("no Exec line"), std::string::npos) << err;
    EXPECT_FALSE(platform::FindDesktopEntryExec("../broken.desktop", exec, err)) << "ids are names, not paths";
    desktop.AddEntry("acme/viewer.desktop", "[Desktop Entry]\nExec=acme-viewer %U\n", true);
    EXPECT_TRUE(platform::FindDesktopEntryExec("acme-viewer.desktop", exec, err)) << err;
    EXPECT_EQ(exec, "acme-viewer %U") << "a vendor prefix may be a folder";
}

TEST(OpenUrl, DesktopOpenerFirstThenTheHtmlProgram) {
    FakeDesktop desktop;
    desktop.AddProgram("fakebrowser");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nExec=fakebrowser --new-window %u\n");
    FakeShell shell;
    shell.openWorks = true;
    EXPECT_TRUE(platform::OpenUrl(shell, kTarget).bOpened);
    EXPECT_TRUE(shell.started.empty()) << "no fallback when the opener works";

    shell.openWorks = false;
    platform::LinkResult r = platform::OpenUrl(shell, kTarget);
    EXPECT_TRUE(r.bOpened) << r.strReason;
    ASSERT_EQ(shell.started.size(), 1u);
    EXPECT_EQ(shell.started[0], (Args{"fakebrowser", "--new-window", kTarget}));
}

TEST(OpenUrl, FailuresCarryTheCodeOfTheLinkBox) {
    FakeDesktop desktop;
    desktop.AddProgram("fakebrowser");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nExec=fakebrowser %u\n");
    FakeShell shell;
    struct {
        int errNo, code;
    } cases[] = {{ENOENT, 2}, {ENOTDIR, 3}, {EACCES, 5}, {ENOMEM, 8}, {EAGAIN, 0},
                 {ENOEXEC, 11}, {ETXTBSY, 26}, {ELIBBAD, 32}, {ELOOP, -ELOOP}};
    for (const auto& c : cases) {
        shell.startErrno = c.errNo;
        platform::LinkResult r = platform::OpenUrl(shell, kTarget);
        EXPECT_FALSE(r.bOpened);
        EXPECT_EQ(r.nCode, c.code) << "errno " << c.errNo;
        EXPECT_NE(r.strReason.find("xdg-open is missing"), std::string::npos) << r.strReason;
        EXPECT_NE(r.strReason.find("start failed"), std::string::npos) << r.strReason;
    }
}

TEST(OpenUrl, WithoutAnHtmlProgramTheOpenersFailureStands) {
    FakeShell shell;
    {
        FakeDesktop none("");
        platform::LinkResult r = platform::OpenUrl(shell, kTarget);
        EXPECT_FALSE(r.bOpened);
        EXPECT_EQ(r.nCode, platform::kLinkNoAssoc);
        EXPECT_EQ(r.strReason.rfind("xdg-open is missing\n", 0), 0u) << r.strReason;
    }
    {
        FakeDesktop broken;
        broken.AddProgram("fakebrowser");
        broken.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nExec=fakebrowser \"--profile %u\n");
        platform::LinkResult r = platform::OpenUrl(shell, kTarget);
        EXPECT_EQ(r.nCode, platform::kLinkAssocIncomplete);
    }
    EXPECT_TRUE(shell.started.empty());
}

TEST(StartDetached, ReportsWhyAProgramCouldNotStart) {
    TempDir dir;
    int errNo = 0;
    std::string err;
    EXPECT_FALSE(platform::StartDetached({"quillory-no-such-program-here", "x"}, errNo, err));
    EXPECT_EQ(errNo, ENOENT);
    EXPECT_NE(err.find("quillory-no-such-program-here"), std::string::npos) << err;

    std::string plain = dir.Write("plain", "#!/bin/sh\nexit 0\n");
    EXPECT_FALSE(platform::StartDetached({plain}, errNo, err));
    EXPECT_EQ(errNo, EACCES) << "a file that may not be run";

    std::string junk = dir.Write("junk", std::string("\x7f" "ELF garbage", 12));
    ::chmod(junk.c_str(), 0755);
    EXPECT_FALSE(platform::StartDetached({junk}, errNo, err));
    EXPECT_EQ(errNo, ENOEXEC) << "a file that is no program";
}

TEST(StartDetached, RunsTheProgramWithItsArgumentsUntouched) {
    TempDir dir;
    std::string out = dir.Path() + "args.txt";
    std::string script = dir.Write("record", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + out + ".part\"\nmv \"" + out +
                                                 ".part\" \"" + out + "\"\n");
    ::chmod(script.c_str(), 0755);
    int errNo = -1;
    std::string err;
    ASSERT_TRUE(platform::StartDetached({script, kTarget, "two words"}, errNo, err)) << err;
    for (int i = 0; i < 200 && !testutil::FileExists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(testutil::ReadFile(out), kTarget + "\ntwo words\n");
}

TEST(RunForOutput, CollectsStandardOutputAndReportsAFailedExit) {
    std::string out, err;
    ASSERT_TRUE(platform::RunForOutput({"sh", "-c", "echo first; echo noise >&2; echo second"}, out, err)) << err;
    EXPECT_EQ(out, "first\nsecond\n");
    EXPECT_FALSE(platform::RunForOutput({"sh", "-c", "exit 3"}, out, err));
    EXPECT_NE(err.find("status 3"), std::string::npos) << err;
    EXPECT_FALSE(platform::RunForOutput({"quillory-no-such-program-here"}, out, err));
}

} // namespace
