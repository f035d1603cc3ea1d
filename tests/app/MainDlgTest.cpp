// The main window driven as a user would, headless.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/ControlIds.h"
#include "app/MainDlg.h"
#include "ui/AttachmentList.h"
#include "ui/CreateProgressDlg.h"
#include "ui/HelpWindow.h"

namespace {

using testutil::TempDir;

struct MainWindow : ::testing::Test {
    TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    testutil::FixedPlatform fixed;
    WatchingClock clock;
    std::unique_ptr<platform::SettingsStore> store = platform::MakeFileSettingsStore(dir.Path() + "settings.reg");

    void SetUp() override {
        // Only the first start opens the guide; most tests are not about that.
        std::unique_ptr<CMainDlg> first = Open();
        first->hide();
        CHelpWindow::CloseHelp();
        QApplication::processEvents();
    }
    void TearDown() override {
        CHelpWindow::CloseHelp();
        QApplication::processEvents();
    }
    std::unique_ptr<CMainDlg> Open() {
        platform::Platform env = fixed.Get();
        env.clock = &clock;
        auto dlg = std::make_unique<CMainDlg>(CMainDlg::Services{&prompts, &shell, env, store.get()});
        dlg->show();
        return dlg;
    }
    static QLineEdit* Edit(CMainDlg& d, int id) { return static_cast<QLineEdit*>(d.Control(id)); }
    static void Click(CMainDlg& d, int id) { QTest::mouseClick(d.Control(id), Qt::LeftButton); }
    static int VisibleProgressWindows() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<CCreateProgressDlg*>(w) && w->isVisible()) ++n;
        return n;
    }
};

TEST_F(MainWindow, CreateEmailNeedsAnHtmlFile) {
    auto dlg = Open();
    Edit(*dlg, IDC_SUBJECT)->setFocus();
    Click(*dlg, IDC_CREATE_EMAIL);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please choose a HTML file.");
    EXPECT_TRUE(prompts.fileFilters.empty()) << "no save dialog without a page";
    EXPECT_EQ(dlg->focusWidget(), dlg->Control(IDC_HTML_FILE));
}

TEST_F(MainWindow, CreateEmailWritesTheMessageThenShowsAndOpensIt) {
    auto dlg = Open();
    std::string page = dir.Write("site/page.html", "<p>Hello</p>\n");
    std::string a1 = dir.Write("b.pdf", "pdf bytes"), a2 = dir.Write("a.txt", "text");
    Edit(*dlg, IDC_HTML_FILE)->setText(QString::fromStdString(page));
    Edit(*dlg, IDC_SUBJECT)->setText("News");
    Edit(*dlg, IDC_FROM)->setText("ann@example.com");
    Edit(*dlg, IDC_TO)->setText("bob@example.com");
    dlg->AddAttachment(a1);
    dlg->AddAttachment(a2);
    std::string out = dir.Path() + "out.eml";
    prompts.fileAnswers.push_back(QString::fromStdString(out));

    int stepsSeen = 0, stepsWithWindow = 0, stepsDisabled = 0;
    clock.onStep = [&] {
        ++stepsSeen;
        stepsWithWindow += VisibleProgressWindows() == 1;
        stepsDisabled += !dlg->isEnabled();
    };
    Click(*dlg, IDC_CREATE_EMAIL);
    QApplication::processEvents();

    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages[0].detail.toStdString();
    EXPECT_EQ(prompts.fileFilters.at(0), "Email File (*.eml)");
    EXPECT_EQ(stepsSeen, 9);
    EXPECT_EQ(stepsWithWindow, stepsSeen) << "the progress window shows while the message is written";
    EXPECT_EQ(stepsDisabled, stepsSeen) << "the main window is disabled meanwhile";
    EXPECT_EQ(VisibleProgressWindows(), 0);
    EXPECT_TRUE(dlg->isEnabled());
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"show " + out, "open " + out}));
    EXPECT_EQ(testutil::CheckEml(out, {"--html", page, "--attach", a1, "--attach", a2}), "");
    EXPECT_EQ(testutil::ReadFile(out).rfind("From: ann@example.com\r\nTo: bob@example.com\r\nSubject: News\r\n", 0), 0u);
}

TEST_F(MainWindow, OptionsDecideWhatHappensAfterwards) {
    auto dlg = Open();
    dlg->m_settings.BrowseOutputFolder = 0;
    dlg->m_settings.OpenEml = 1;
    Edit(*dlg, IDC_HTML_FILE)->setText(QString::fromStdString(dir.Write("p.html", "x")));
    std::string out = dir.Path() + "only-open.eml";
    prompts.fileAnswers.push_back(QString::fromStdString(out));
    Click(*dlg, IDC_CREATE_EMAIL);
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"open " + out}));

    shell.calls.clear();
    dlg->m_settings.OpenEml = 0;
    prompts.fileAnswers.push_back(QString::fromStdString(dir.Path() + "quiet.eml"));
    Click(*dlg, IDC_CREATE_EMAIL);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(testutil::FileExists(dir.Path() + "quiet.eml"));
}

TEST_F(MainWindow, FailedCreationExplainsWhyAndKeepsTheOldFile) {
    auto dlg = Open();
    Edit(*dlg, IDC_HTML_FILE)->setText(QString::fromStdString(dir.Write("p.html", "x")));
    std::string missing = dir.Path() + "gone.zip";
    dlg->AddAttachment(missing);
    std::string out = dir.Write("old.eml", "old message");
    prompts.fileAnswers.push_back(QString::fromStdString(out));
    bool enabledAtMessage = false;
    int windowsAtMessage = -1;
    prompts.onMessage = [&] {
        enabledAtMessage = dlg->isEnabled();
        windowsAtMessage = VisibleProgressWindows();
    };
    Click(*dlg, IDC_CREATE_EMAIL);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text.toStdString(),
              "Failed to create HTML email.\n\nTo get help, please contact <support@quillory.example>.");
    EXPECT_EQ(prompts.messages[0].detail.toStdString(),
              "cannot open attachment '" + missing + "': No such file or directory");
    EXPECT_TRUE(enabledAtMessage);
    EXPECT_EQ(windowsAtMessage, 0);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_EQ(testutil::ReadFile(out), "old message");
}

TEST_F(MainWindow, CancelledSaveDialogDoesNothing) {
    auto dlg = Open();
    Edit(*dlg, IDC_HTML_FILE)->setText(QString::fromStdString(dir.Write("p.html", "x")));
    prompts.fileAnswers.push_back(QString());
    Click(*dlg, IDC_CREATE_EMAIL);
    EXPECT_EQ(prompts.fileFilters.size(), 1u);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(MainWindow, HeaderFieldsComeBackAtTheNextStart) {
    {
        auto dlg = Open();
        Edit(*dlg, IDC_HTML_FILE)->setText("/tmp/x.html");
        Edit(*dlg, IDC_SUBJECT)->setText(QString::fromUtf8("Caf\xc3\xa9 news"));
        Edit(*dlg, IDC_FROM)->setText("ann@example.com");
        Edit(*dlg, IDC_TO)->setText("bob@example.com; cy@example.com");
        Edit(*dlg, IDC_CC)->setText("");
        dlg->close();
        EXPECT_FALSE(dlg->isVisible());
    }
    auto again = Open();
    EXPECT_EQ(Edit(*again, IDC_HTML_FILE)->text(), "");
    EXPECT_EQ(Edit(*again, IDC_SUBJECT)->text(), QString::fromUtf8("Caf\xc3\xa9 news"));
    EXPECT_EQ(Edit(*again, IDC_FROM)->text(), "ann@example.com");
    EXPECT_EQ(Edit(*again, IDC_TO)->text(), "bob@example.com; cy@example.com");
}

TEST_F(MainWindow, EnterAndEscLeaveTheWindowOpen) {
    auto dlg = Open();
    Edit(*dlg, IDC_HTML_FILE)->setText(QString::fromStdString(dir.Write("p.html", "x")));
    for (int id : {IDC_HTML_FILE, IDC_SUBJECT, IDC_TO}) {
        QTest::keyClick(dlg->Control(id), Qt::Key_Return);
        QTest::keyClick(dlg->Control(id), Qt::Key_Enter);
        QTest::keyClick(dlg->Control(id), Qt::Key_Escape);
    }
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(prompts.fileFilters.empty()) << "Enter must not press Create Email";
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MainWindow, OpenFollowsTheHtmlField) {
    auto dlg = Open();
    QWidget* open = dlg->Control(IDC_OPEN_HTML);
    EXPECT_FALSE(open->isEnabled());
    QTest::keyClicks(Edit(*dlg, IDC_HTML_FILE), "/");
    EXPECT_TRUE(open->isEnabled());
    Edit(*dlg, IDC_HTML_FILE)->setText("/srv/page.html");
    Click(*dlg, IDC_OPEN_HTML);
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"open /srv/page.html"}));
    Edit(*dlg, IDC_HTML_FILE)->clear();
    EXPECT_FALSE(open->isEnabled());

    prompts.fileAnswers.push_back("/srv/chosen.html");
    Click(*dlg, IDC_BROWSE_HTML);
    EXPECT_EQ(Edit(*dlg, IDC_HTML_FILE)->text(), "/srv/chosen.html");
    EXPECT_TRUE(open->isEnabled());
}

TEST_F(MainWindow, KeysReachTheirCommands) {
    auto dlg = Open();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    Edit(*dlg, IDC_TO)->setFocus();
    prompts.filesAnswers.push_back({QString::fromStdString(dir.Write("att.txt", "12345"))});
    QTest::keyClick(Edit(*dlg, IDC_TO), Qt::Key_Insert);
    ASSERT_EQ(dlg->AttachList()->topLevelItemCount(), 1) << "Insert adds attachments";
    EXPECT_EQ(dlg->AttachList()->topLevelItem(0)->text(0), "att.txt");

    QString modalTitle;
    QTimer::singleShot(0, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            modalTitle = w->windowTitle();
            w->close();
        }
    });
    QTest::keyClick(Edit(*dlg, IDC_TO), Qt::Key_F5);
    ASSERT_EQ(modalTitle, "Options") << "F5 reaches Options";
    dlg->activateWindow();  // the closed dialog leaves no window active offscreen
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));

    QTest::keyClick(Edit(*dlg, IDC_TO), Qt::Key_F1);
    ASSERT_TRUE(CHelpWindow::IsShown()) << "F1 opens the guide";
    EXPECT_EQ(CHelpWindow::Instance()->windowTitle(), "Quillory Help");
    dlg->close();
    EXPECT_FALSE(CHelpWindow::IsShown()) << "closing the main window closes the guide";
}

TEST_F(MainWindow, MenusListTheirEntries) {
    auto dlg = Open();
    QStringList more;
    for (QAction* a : dlg->MorePopup()->actions()) more << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(more, (QStringList{"&Options...", "-", "&Tell A Friend", "&Feedback and Support", "Home&page",
                                 "&Check for Updates", "-", "&Help", "&About..."}));
    EXPECT_EQ(dlg->AttachPopup()->actions().size(), 6);
}

TEST(MainWindowFirstRun, OnlyTheFirstStartOpensTheGuideMaximised) {
    TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    auto store = platform::MakeFileSettingsStore(dir.Path() + "settings.reg");
    CMainDlg::Services services{&prompts, &shell, platform::Platform(), store.get()};
    {
        CHelpWindow::CloseHelp();
        CMainDlg first(services);
        ASSERT_TRUE(CHelpWindow::IsShown());
        EXPECT_TRUE(CHelpWindow::Instance()->isMaximized());
        CHelpWindow::CloseHelp();
    }
    CMainDlg second(services);
    EXPECT_FALSE(CHelpWindow::IsShown());
}

} // namespace
