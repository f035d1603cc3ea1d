// The commands that leave the program: web links, the About box, the
// hyperlink label and help.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <sys/stat.h>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "platform/qt/DesktopShell.h"
#include "ui/HelpWindow.h"
#include "ui/HyperLink.h"

namespace {

using testutil::FakeDesktop;
using testutil::TempDir;
using Calls = std::vector<std::string>;

const std::string kHome = "https://www.quillory.example/";
const std::string kUpdates = "https://www.quillory.example/checkforupdates/?ver=2.0&build=617";
const std::string kSupport = "mailto:support@quillory.example";
const std::string kFriend =
    "mailto:?subject=Quillory - very COOL application!!!&body=Download from https://www.quillory.example/";

struct Links : ::testing::Test {
    TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    std::unique_ptr<platform::SettingsStore> store = platform::MakeFileSettingsStore(dir.Path() + "settings.reg");
    std::unique_ptr<CMainDlg> main;

    void SetUp() override {
        AppSettings(*store).TestAndClearFirstRun();  // no guide
        main = std::make_unique<CMainDlg>(CMainDlg::Services{&prompts, &shell, platform::Platform(), store.get()});
    }
    void TearDown() override { CHelpWindow::CloseHelp(); }
    void Trigger(const QString& menuText) {
        for (QAction* a : main->MorePopup()->actions())
            if (a->text() == menuText) return a->trigger();
        ADD_FAILURE() << "no menu entry " << menuText.toStdString();
    }
    // Runs About from the menu; act gets the open box.
    void RunAbout(std::function<void(CAboutDlg&)> act) {
        bool reached = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            reached = d != nullptr;
            if (d) act(*d);
            if (d && d->isVisible()) d->reject();
        });
        Trigger("&About...");
        ASSERT_TRUE(reached) << "About runs modally";
    }
};

TEST_F(Links, MenuCommandsHandTheirTargetsToTheShellAsTheyStand) {
    Trigger("&Check for Updates");
    Trigger("&Feedback and Support");
    Trigger("Home&page");
    Trigger("&Tell A Friend");
    EXPECT_EQ(shell.calls, (Calls{"open " + kUpdates, "open " + kSupport, "open " + kHome, "open " + kFriend}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(Links, AboutBoxShowsTheBuildAndOpensItsLinks) {
    RunAbout([&](CAboutDlg& about) {
        EXPECT_EQ(about.windowTitle(), "About Quillory");
        QStringList texts;
        for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
        EXPECT_TRUE(texts.contains("Quillory v2.0 build 617"));
        EXPECT_EQ(about.CheckUpdatesButton()->text(), "&Check Updates");
        EXPECT_EQ(about.TellFriendButton()->text(), "Tell a Friend");
        EXPECT_EQ(about.HomeLink()->text(), "Visit Quillory Homepage");
        EXPECT_EQ(about.SupportLink()->text(), "Feedback and Support");
        EXPECT_EQ(about.HomeLink()->toolTip().toStdString(), kHome);
        EXPECT_EQ(about.SupportLink()->toolTip().toStdString(), kSupport);
        EXPECT_TRUE(about.HomeLink()->font().underline()) << "About's links are always underlined";

        QTest::mouseClick(about.CheckUpdatesButton(), Qt::LeftButton);
        QTest::mouseClick(about.TellFriendButton(), Qt::LeftButton);
        QTest::mouseClick(about.HomeLink(), Qt::LeftButton);
        QTest::mouseClick(about.SupportLink(), Qt::LeftButton);
        EXPECT_TRUE(about.isVisible()) << "the links and buttons leave the box open";
        EXPECT_TRUE(about.HomeLink()->IsVisited());
    });
    EXPECT_EQ(shell.calls, (Calls{"open " + kUpdates, "open " + kFriend, "open " + kHome, "open " + kSupport}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(Links, WithoutAnOpenerTheDesktopsHtmlProgramGetsTheTarget) {
    FakeDesktop desktop;
    desktop.AddProgram("fakebrowser");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nType=Application\nExec=fakebrowser --new-window %u\n");
    shell.openFails = true;
    Trigger("&Tell A Friend");
    EXPECT_EQ(shell.calls, (Calls{"open " + kFriend, "start fakebrowser|--new-window|" + kFriend}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(Links, FailuresShowTheLinkBoxWithTheReason) {
    shell.openFails = true;
    {
        FakeDesktop none("");
        Trigger("Home&page");
    }
    FakeDesktop desktop;
    desktop.AddProgram("fakebrowser");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nExec=fakebrowser %u\n");
    for (int e : {ENOENT, EACCES, ELOOP}) {
        shell.startErrno = e;
        Trigger("Home&page");
    }
    const QString prefix = "Unable to open hyperlink:\n\n";
    ASSERT_EQ(prompts.messages.size(), 4u);
    EXPECT_EQ(prompts.messages[0].text,
              prefix + "There is no application associated\nwith the given filename extension.\n\nno opener");
    EXPECT_TRUE(prompts.messages[1].text.startsWith(prefix + "The specified file was not found."));
    EXPECT_TRUE(prompts.messages[1].detail.endsWith("cannot start")) << "the whole story behind Show Details";
    EXPECT_TRUE(prompts.messages[2].text.startsWith(prefix + "The operating system denied\naccess"));
    EXPECT_TRUE(prompts.messages[3].text.startsWith(prefix + QString("Unknown Error (%1) occurred.").arg(-ELOOP)));
    for (const auto& m : prompts.messages) EXPECT_FALSE(m.modal) << "the window is not held up";
}

// The desktop's real shell, with openers of our own making first in PATH.
TEST_F(Links, EveryWayAnOpenerFailsIsReported) {
    struct Case {
        const char* name;
        const char* xdgOpen;  // script text; null: no xdg-open
        const char* gio;      // script text; null: no gio
        const char* expected;  // in the message
    } cases[] = {
        {"no opener at all", nullptr, nullptr, "neither xdg-open nor gio is installed"},
        {"exit status", "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n", nullptr,
         "xdg-open: no method available for opening"},
        {"silent failure", "#!/bin/sh\nexit 4\n", nullptr, "xdg-open ended with status 4"},
        {"killed", "#!/bin/sh\nkill -KILL $$\n", nullptr, "xdg-open was stopped by signal 9"},
        {"not runnable", "", nullptr, "Permission denied"},
        {"gio instead", nullptr, "#!/bin/sh\necho \"gio: $2: Operation not supported\" >&2\nexit 1\n",
         "gio: /nowhere/page.html: Operation not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir bin;
        testutil::ScopedEnv path("PATH", bin.Path());
        if (c.xdgOpen) ::chmod(bin.Write("xdg-open", c.xdgOpen).c_str(), *c.xdgOpen ? 0755 : 0644);
        if (c.gio) ::chmod(bin.Write("gio", c.gio).c_str(), 0755);
        RecordingPrompts seen;
        auto dlg = std::make_unique<CMainDlg>(CMainDlg::Services{&seen, &platform::RealShell(), platform::Platform(),
                                                                  store.get()});
        dlg->Ui().pHtmlEdit->setText("/nowhere/page.html");
        QTest::mouseClick(dlg->Ui().pOpenHtml, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !seen.messages.empty(); }, 5000));
        EXPECT_TRUE(seen.messages[0].text.startsWith("Unable to open \"/nowhere/page.html\":\n\n"))
            << seen.messages[0].text.toStdString();
        EXPECT_TRUE((seen.messages[0].text + seen.messages[0].detail).contains(c.expected))
            << seen.messages[0].text.toStdString() << "\n" << seen.messages[0].detail.toStdString();
        EXPECT_FALSE(seen.messages[0].modal);
    }
    TempDir bin;
    testutil::ScopedEnv path("PATH", bin.Path());
    ::chmod(bin.Write("xdg-open", "#!/bin/sh\nexit 0\n").c_str(), 0755);
    RecordingPrompts seen;
    CMainDlg dlg(CMainDlg::Services{&seen, &platform::RealShell(), platform::Platform(), store.get()});
    dlg.Ui().pHtmlEdit->setText("/nowhere/page.html");
    QTest::mouseClick(dlg.Ui().pOpenHtml, Qt::LeftButton);
    QTest::qWait(400);
    EXPECT_TRUE(seen.messages.empty()) << "an opener that succeeds is not reported";
}

TEST_F(Links, HelpComesBackFromTheTaskbar) {
    main->OnShowHelp();
    ASSERT_TRUE(CHelpWindow::IsShown());
    CHelpWindow::Instance()->showMinimized();
    ASSERT_TRUE(CHelpWindow::Instance()->isMinimized());
    main->OnShowHelp();
    EXPECT_FALSE(CHelpWindow::Instance()->isMinimized());
    EXPECT_TRUE(CHelpWindow::IsShown());
}

// The hyperlink's look: the colour it is drawn in and its underline, by state.
TEST(HyperLinkLook, BlueThenRedUnderThePointerPurpleOnceOpenedAndBlueAgainAfterAFailure) {
    RecordingPrompts prompts;
    RecordingShell shell;
    QWidget page;
    auto* link = new CHyperLink(QStringLiteral("Visit Quillory Homepage"), &page, shell, prompts);
    link->SetLinkUrl("https://www.quillory.example/");
    page.show();
    auto look = [&] {
        return std::pair{link->palette().color(QPalette::WindowText), link->font().underline()};
    };
    auto hover = [&](bool in) {
        if (in) {
            QEnterEvent e(QPointF(2, 2), QPointF(12, 12), QPointF(12, 12));
            QApplication::sendEvent(link, &e);
        } else {
            QEvent e(QEvent::Leave);
            QApplication::sendEvent(link, &e);
        }
    };
    const QColor blue(0, 0, 238), purple(85, 26, 139), red(255, 0, 0);
    EXPECT_EQ(look(), std::pair(blue, false)) << "underlined only under the pointer";
    EXPECT_EQ(link->toolTip(), "https://www.quillory.example/");
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    hover(true);
    EXPECT_EQ(look(), std::pair(red, true));
    hover(false);
    EXPECT_EQ(look(), std::pair(blue, false));
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(shell.calls, (Calls{"open https://www.quillory.example/"}));
    EXPECT_EQ(look(), std::pair(purple, false));

    link->SetUnderlineMode(1);
    hover(true);
    hover(false);
    EXPECT_TRUE(look().second) << "mode 1: always underlined";
    FakeDesktop none("");
    shell.openFails = true;
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_FALSE(link->IsVisited());
    EXPECT_EQ(look().first, blue);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith(
        "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension."));
}

} // namespace
