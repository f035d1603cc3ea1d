// Opening links: the desktop's opener, the HTML program as fallback, and the
// failures as the link box names them.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <sys/stat.h>
#include <thread>

#include "TestUtil.h"
#include "platform/DesktopEntry.h"
#include "platform/OpenUrl.h"
#include "platform/Process.h"
#include "platform/Socket.h"

namespace {

using testutil::FakeDesktop;
using testutil::TempDir;
using Args = std::vector<std::string>;

// Answers every hand-off at once.
struct FakeShell : platform::Shell {
    bool openWorks = false;
    std::vector<Args> started;
    void Open(const std::string&, platform::HandOffDone done) override {
        platform::HandOff r;
        r.bOk = openWorks;
        if (!openWorks) r.strReason = "xdg-open is missing";
        done(r);
    }
    void ShowInFolder(const std::string&, platform::HandOffDone done) override { done({}); }
    void Start(const Args& argv, platform::HandOffDone done) override {
        started.push_back(argv);
        platform::HandOff r;
        r.bOk = true;
        done(r);
    }
};

platform::LinkResult Open(FakeShell& shell, const std::string& target) {
    std::optional<platform::LinkResult> got;
    platform::OpenUrl(shell, target, [&](const platform::LinkResult& r) { got = r; });
    EXPECT_TRUE(got) << "the outcome was never reported";
    return got.value_or(platform::LinkResult{});
}

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

TEST(HtmlProgram, TheDefaultEntryAndItsMainExecLine) {
    std::string exec, err;
    {
        FakeDesktop none("");
        EXPECT_FALSE(platform::DefaultHtmlCommand(exec, err));
        EXPECT_NE(err.find("no program is set"), std::string::npos) << err;
    }
    FakeDesktop desktop("fakebrowser.desktop");
    desktop.AddProgram("fakebrowser");
    desktop.AddProgram("other");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Action new-window]\nExec=other --action %u\n\n"
                                            "[Desktop Entry]\nName=Fake\nExec = fakebrowser\\s--new %u\n");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nExec=other --system %u\n", true);
    ASSERT_TRUE(platform::DefaultHtmlCommand(exec, err)) << err;
    EXPECT_EQ(exec, "fakebrowser --new %u") << "the user's folder comes first; escapes undone";

    desktop.AddEntry("sysbrowser.desktop", "[Desktop Entry]\nExec=sysbrowser %U\n", true);
    desktop.AddEntry("broken.desktop", "[Desktop Entry]\nName=Broken\n[Other]\nExec=not-this %u\n");
    desktop.AddEntry("acme/viewer.desktop", "[Desktop Entry]\nExec=acme-viewer %U\n", true);
    const struct {
        const char* id;
        bool ok;
        const char* found;  // the Exec line, or a piece of the reason
    } cases[] = {
        {"sysbrowser.desktop", true, "sysbrowser %U"},
        {"acme-viewer.desktop", true, "acme-viewer %U"},  // a vendor prefix may be a folder
        {"gone.desktop", false, "gone.desktop"},
        {"broken.desktop", false, "no Exec line"},
        {"../broken.desktop", false, ""},  // ids are names, not paths
    };
    for (const auto& c : cases) {
        exec.clear();
        EXPECT_EQ(platform::FindDesktopEntryExec(c.id, exec, err), c.ok) << c.id;
        if (c.ok) {
            EXPECT_EQ(exec, c.found);
        } else {
            EXPECT_NE(err.find(c.found), std::string::npos) << err;
        }
    }
}

// An Exec line that cannot be read starts nothing, and says why after the
// opener's reason. (The window's link test reads the reasons of both attempts.)
TEST(OpenUrl, AnUnreadableExecLineStartsNothing) {
    FakeDesktop desktop;
    desktop.AddProgram("fakebrowser");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nExec=fakebrowser \"--profile %u\n");
    FakeShell shell;
    platform::LinkResult r = Open(shell, kTarget);
    EXPECT_FALSE(r.bOpened);
    EXPECT_EQ(r.strReason.rfind("xdg-open is missing\n", 0), 0u) << r.strReason;
    EXPECT_NE(r.strReason.find("quote"), std::string::npos) << r.strReason;
    EXPECT_TRUE(shell.started.empty());
    shell.openWorks = true;
    EXPECT_TRUE(Open(shell, kTarget).bOpened);
}

TEST(StartProcess, ReportsWhyAProgramCouldNotStart) {
    TempDir dir;
    std::string junk = dir.Write("junk", std::string("\x7f" "ELF garbage", 12));
    ::chmod(junk.c_str(), 0755);
    struct {
        std::string program;
        int errNo;
    } cases[] = {{"quillory-no-such-program-here", ENOENT}, {junk, ENOEXEC}};  // EACCES: the window's link test
    for (const auto& c : cases) {
        platform::ChildProcess child;
        int errNo = 0;
        std::string err;
        EXPECT_FALSE(platform::StartProcess({c.program, "x"}, child, errNo, err));
        EXPECT_EQ(errNo, c.errNo) << c.program;
        EXPECT_NE(err.find(c.program), std::string::npos) << err;
    }
}

platform::ChildEnd WatchToTheEnd(platform::ChildProcess& child) {
    platform::ChildEnd end;
    for (int i = 0; i < 500 && !platform::PollProcess(child, end); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(child.pid, -1) << "still running";
    return end;
}

TEST(StartProcess, TheEndIsWatchedWithoutWaiting) {
    TempDir dir;
    std::string out = dir.Path() + "args.txt";
    std::string script = dir.Write("record", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + out + "\"\n");
    ::chmod(script.c_str(), 0755);
    platform::ChildProcess child, slow;
    int errNo = 0;
    std::string err;
    ASSERT_TRUE(platform::StartProcess({script, kTarget, "two words"}, child, errNo, err)) << err;
    EXPECT_EQ(WatchToTheEnd(child).nExitCode, 0);
    EXPECT_EQ(testutil::ReadFile(out), kTarget + "\ntwo words\n") << "arguments arrive untouched";

    ASSERT_TRUE(platform::StartProcess({"sleep", "5"}, slow, errNo, err));
    platform::ChildEnd end;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::PollProcess(slow, end));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100)) << "polling never blocks";
    ::kill(slow.pid, SIGKILL);
    EXPECT_EQ(WatchToTheEnd(slow).nSignal, SIGKILL);
}

TEST(RunForOutput, CollectsStandardOutputAndReportsAFailedExit) {
    std::string out, err;
    ASSERT_TRUE(platform::RunForOutput({"sh", "-c", "echo first; echo noise >&2; echo second"}, out, err)) << err;
    EXPECT_EQ(out, "first\nsecond\n");
    EXPECT_FALSE(platform::RunForOutput({"sh", "-c", "exit 3"}, out, err));
    EXPECT_NE(err.find("status 3"), std::string::npos) << err;
    EXPECT_FALSE(platform::RunForOutput({"quillory-no-such-program-here"}, out, err));
}

// Input larger than a pipe holds while output comes back; a reader that stops
// early; a run cut by its time-out or a stop, with what it started.
TEST(RunWithInput, FeedsInputAndEndsTheWholeGroup) {
    using State = platform::RunResult::State;
    const std::string big(1 << 20, 'q');
    const struct {
        std::vector<std::string> argv;
        const std::string& input;
        std::size_t maxOutput;
        int timeoutMs, stopAfterMs;
        State state;
        std::string output;  // what it begins with
    } runs[] = {
        {{"cat"}, big, 1000, 10000, -1, State::Exited, std::string(1000, 'q')},
        {{"sh", "-c", "head -c 10; exit 4"}, big, 100, 10000, -1, State::Exited, std::string(10, 'q')},
        {{"sh", "-c", "echo $QUILLORY_RUN_TEST"}, big, 100, 10000, -1, State::Exited, "set\n"},
        {{"sh", "-c", "sleep 31.7 & echo started; wait"}, big, 100, 300, -1, State::TimedOut, "started\n"},
        {{"sh", "-c", "sleep 31.7 & echo started; wait"}, big, 100, 10000, 300, State::Stopped, "started\n"},
        {{"quillory-no-such-program-here"}, big, 100, 10000, -1, State::CannotStart, ""},
    };
    for (const auto& run : runs) {
        platform::StopSignal stop;
        std::thread stopper([&] {
            if (run.stopAfterMs < 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(run.stopAfterMs));
            stop.Request();
        });
        auto started = std::chrono::steady_clock::now();
        platform::RunResult r =
            platform::RunWithInput(run.argv, run.input, run.maxOutput, run.timeoutMs, &stop, {"QUILLORY_RUN_TEST=set"});
        stopper.join();
        EXPECT_EQ(r.state, run.state) << run.argv.back() << ": " << r.strError;
        EXPECT_EQ(r.strOutput.substr(0, run.output.size()), run.output) << run.argv.back();
        EXPECT_LE(r.strOutput.size(), run.maxOutput);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << run.argv.back();
        if (run.state == State::Exited) {
            EXPECT_EQ(r.nExitCode, run.argv.back()[0] == 'h' ? 4 : 0) << run.argv.back();
        }
    }
    // The sleeps the shells started went with them.
    EXPECT_NE(testutil::RunCommand("pgrep -f '^sleep 31.7$' >/dev/null"), 0);
}

} // namespace
