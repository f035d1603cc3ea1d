// The commands that leave the program: web links, the About box, the
// hyperlink label and help.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <cerrno>
#include <sys/stat.h>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "platform/qt/DesktopShell.h"
#include "ui/HyperLink.h"

namespace {

using testutil::FakeDesktop;
using testutil::TempDir;
using Calls = std::vector<std::string>;

const std::string kHome = "https://www.quillory.example/";
const std::string kUpdates = "https://www.quillory.example/checkforupdates/?ver=2.0&build=617";
const std::string kSupport = "mailto:support@quillory.example";
const std::string kFriend =
    "mailto:?subject=Quillory%20-%20very%20COOL%20application!!!&body=Download%20from%20https://www.quillory.example/";

struct Links : WindowTest {
    std::unique_ptr<CMainDlg> main;

    void SetUp() override { main = NewWindow(); }
    void Trigger(const QString& menuText) {
        for (QAction* a : main->MorePopup()->actions())
            if (a->text() == menuText) return a->trigger();
        ADD_FAILURE() << "no menu entry " << menuText.toStdString();
    }
};

TEST_F(Links, MenuAndAboutHandTheirTargetsToTheShellAsTheyStand) {
    for (const char* entry : {"&Check for Updates", "&Feedback and Support", "Home&page", "&Tell a Friend"})
        Trigger(entry);
    bool shown = WhileModal<CAboutDlg>([&] { Trigger("&About..."); }, [&](CAboutDlg& about) {
        QStringList texts;
        for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
        EXPECT_TRUE(texts.contains("Quillory v2.0 build 617"));
        EXPECT_EQ(about.HomeLink()->toolTip().toStdString(), kHome);
        EXPECT_TRUE(about.HomeLink()->font().underline()) << "About's links are always underlined";
        for (QWidget* w : {static_cast<QWidget*>(about.CheckUpdatesButton()),
                           static_cast<QWidget*>(about.TellFriendButton()), static_cast<QWidget*>(about.HomeLink()),
                           static_cast<QWidget*>(about.SupportLink())})
            QTest::mouseClick(w, Qt::LeftButton);
        EXPECT_TRUE(about.isVisible()) << "the links and buttons leave the box open";
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(shell.calls, (Calls{"open " + kUpdates, "open " + kSupport, "open " + kHome, "open " + kFriend,
                                  "open " + kUpdates, "open " + kFriend, "open " + kHome, "open " + kSupport}));
    EXPECT_TRUE(prompts.messages.empty());
}

// Without an opener the desktop's HTML program gets the target; when that
// fails too, the link box says why, without holding up the window.
TEST_F(Links, WithoutAnOpenerTheHtmlProgramThenTheLinkBox) {
    shell.openFails = true;
    {
        FakeDesktop none("");
        Trigger("Home&page");
    }
    FakeDesktop desktop;
    desktop.AddProgram("fakebrowser");
    desktop.AddEntry("fakebrowser.desktop", "[Desktop Entry]\nType=Application\nExec=fakebrowser --new-window %u\n");
    Trigger("&Tell a Friend");
    EXPECT_EQ(shell.calls.back(), "start fakebrowser|--new-window|" + kFriend);
    shell.startErrno = ENOENT;
    Trigger("&Check for Updates");
    // The link, then the opener's own words; the whole story behind Show Details.
    const QString prefix = "Unable to open hyperlink:\n\n";
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, prefix + QString::fromStdString(kHome) + "\n\nno opener");
    EXPECT_EQ(prompts.messages[1].text, prefix + QString::fromStdString(kUpdates) + "\n\nno opener");
    EXPECT_TRUE(prompts.messages[1].detail.endsWith("cannot start")) << prompts.messages[1].detail.toStdString();
    for (const auto& m : prompts.messages) EXPECT_FALSE(m.modal);
}

// The desktop's real shell, with openers of our own making first in PATH.
TEST_F(Links, EveryWayAnOpenerFailsIsReported) {
    const std::string page = dir.Write("page.html", "x");
    struct Case {
        const char* name;
        const char* xdgOpen;  // script text; null: no xdg-open
        const char* gio;      // script text; null: no gio
        std::string expected;  // in the message
    } cases[] = {
        {"no opener at all", nullptr, nullptr, "neither xdg-open nor gio is installed"},
        {"exit status", "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n", nullptr,
         "xdg-open: no method available for opening"},
        {"silent failure", "#!/bin/sh\nexit 4\n", nullptr, "xdg-open ended with status 4"},
        {"killed", "#!/bin/sh\nkill -KILL $$\n", nullptr, "xdg-open was stopped by signal 9"},
        {"not runnable", "", nullptr, "Permission denied"},
        {"gio instead", nullptr, "#!/bin/sh\necho \"gio: $2: Operation not supported\" >&2\nexit 1\n",
         "gio: " + page + ": Operation not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir bin;
        testutil::ScopedEnv path("PATH", bin.Path());
        if (c.xdgOpen) ::chmod(bin.Write("xdg-open", c.xdgOpen).c_str(), *c.xdgOpen ? 0755 : 0644);
        if (c.gio) ::chmod(bin.Write("gio", c.gio).c_str(), 0755);
        RecordingPrompts seen;
        CMainDlg dlg(CMainDlg::Services{&seen, &platform::RealShell(), platform::Platform(), store.get()});
        dlg.Ui().pHtmlEdit->setText(QString::fromStdString(page));
        QTest::mouseClick(dlg.Ui().pOpenHtml, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !seen.messages.empty(); }, 5000));
        const auto& m = seen.messages[0];
        EXPECT_TRUE(m.text.startsWith(QString::fromStdString("Unable to open \"" + page + "\":\n\n"))) << m.text.toStdString();
        EXPECT_TRUE((m.text + m.detail).contains(QString::fromStdString(c.expected))) << m.text.toStdString() << "\n" << m.detail.toStdString();
        EXPECT_FALSE(m.modal);
    }
}

// The hyperlink remembers a visit; a failed attempt clears it and says why.
TEST(HyperLink, AVisitIsRememberedUntilAnAttemptFails) {
    RecordingPrompts prompts;
    RecordingShell shell;
    QWidget page;
    auto* link = new CHyperLink(QStringLiteral("Visit Quillory Homepage"), &page, shell, prompts);
    link->SetLinkUrl("https://www.quillory.example/");
    page.show();
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(shell.calls, (Calls{"open https://www.quillory.example/"}));
    EXPECT_TRUE(link->IsVisited());
    FakeDesktop none("");
    shell.openFails = true;
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_FALSE(link->IsVisited());
    ASSERT_EQ(prompts.messages.size(), 1u);
}

} // namespace
