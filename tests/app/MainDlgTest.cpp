// The main window driven as a user would, headless.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/MainDlg.h"
#include "platform/FileInfo.h"
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
    std::unique_ptr<platform::SettingsStore> store = platform::MakeFileSettingsStore(dir.Path() + "settings.reg");

    void SetUp() override {
        // Only the first start opens the guide; most tests are not about that.
        AppSettings(*store).TestAndClearFirstRun();
    }
    void TearDown() override {
        CHelpWindow::CloseHelp();
        QApplication::processEvents();
    }
    std::unique_ptr<CMainDlg> Open() {
        auto dlg = std::make_unique<CMainDlg>(CMainDlg::Services{&prompts, &shell, fixed.Get(), store.get()});
        dlg->show();
        return dlg;
    }
    static CCreateProgressDlg* ProgressWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<CCreateProgressDlg*>(w); p && p->isVisible()) return p;
        return nullptr;
    }
    // Clicks Create Email with the page and the answer of the save dialog.
    void Create(CMainDlg& dlg, const std::string& page, const std::string& out) {
        dlg.Ui().pHtmlEdit->setText(QString::fromStdString(page));
        prompts.fileAnswers.push_back(QString::fromStdString(out));
        QTest::mouseClick(dlg.Ui().pCreateEmail, Qt::LeftButton);
    }
    static bool WaitIdle(CMainDlg& dlg, int ms = 60000) {
        return QTest::qWaitFor([&] { return !dlg.IsBusy(); }, ms);
    }
    std::string Sparse(const std::string& name, off_t size) {
        std::string path = dir.Path() + name;
        int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        EXPECT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        return path;
    }
};

TEST_F(MainWindow, CreateEmailAsksForAPageThenSuggestsItsNameBesideIt) {
    auto dlg = Open();
    dlg->Ui().pSubjectEdit->setFocus();
    QTest::mouseClick(dlg->Ui().pCreateEmail, Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please choose an HTML file.");
    EXPECT_TRUE(prompts.fileFilters.empty()) << "no save dialog without a page";
    EXPECT_TRUE(Focused(dlg->Ui().pHtmlEdit));

    std::string page = dir.Write("site/news.html", "x");
    Create(*dlg, page, "");  // cancelled
    EXPECT_EQ(prompts.fileFilters.back(), "Email File (*.eml)");
    EXPECT_EQ(prompts.fileSuggestions.back().toStdString(), dir.Path() + "site/news.eml");
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(dlg->IsBusy());

    ::mkdir((dir.Path() + "out").c_str(), 0755);
    Create(*dlg, page, dir.Path() + "out/first.eml");
    ASSERT_TRUE(WaitIdle(*dlg));
    Create(*dlg, page, "");
    EXPECT_EQ(prompts.fileSuggestions.back().toStdString(), dir.Path() + "out/news.eml") << "the last folder used";
}

TEST_F(MainWindow, CreateEmailWritesInTheBackgroundThenSaysSoAndActsAsTheOptionsSay) {
    std::string page = dir.Write("site/page.html", "<p>Hello</p>\n");
    std::string a1 = dir.Write("b.pdf", "pdf bytes"), a2 = dir.Write("a.txt", "text");
    struct Case {
        int browse, open;
        std::vector<std::string> calls;
    } cases[] = {{1, 1, {"show ", "open "}}, {0, 1, {"open "}}, {0, 0, {}}};
    for (const Case& c : cases) {
        auto dlg = Open();
        dlg->Ui().pSubjectEdit->setText("News");
        dlg->Ui().pFromEdit->setText("ann@example.com");
        dlg->Ui().pToEdit->setText("bob@example.com");
        dlg->AddAttachment(a1);
        dlg->AddAttachment(a2);
        dlg->m_settings.options.BrowseOutputFolder = c.browse;
        dlg->m_settings.options.OpenEml = c.open;
        shell.calls.clear();
        std::string out = dir.Path() + "out" + std::to_string(c.browse + c.open) + ".eml";
        Create(*dlg, page, out);
        EXPECT_TRUE(dlg->IsBusy());
        EXPECT_NE(ProgressWindow(), nullptr);
        EXPECT_FALSE(dlg->Ui().pCreateEmail->isEnabled()) << "one piece of work at a time";
        ASSERT_TRUE(WaitIdle(*dlg));
        QApplication::processEvents();
        EXPECT_EQ(ProgressWindow(), nullptr);
        EXPECT_TRUE(prompts.messages.empty()) << prompts.messages[0].text.toStdString();
        std::vector<std::string> expected;
        for (const std::string& call : c.calls) expected.push_back(call + out);
        EXPECT_EQ(shell.calls, expected);
        EXPECT_TRUE(dlg->Ui().pStatusLine->isVisible());
        EXPECT_EQ(dlg->Ui().pStatusText->text().toStdString(), "Saved " + out.substr(dir.Path().size()));
        EXPECT_EQ(testutil::CheckEml(out, {"--html", page, "--attach", a1, "--attach", a2}), "");
        EXPECT_EQ(testutil::ReadFile(out).rfind("From: ann@example.com\r\nTo: bob@example.com\r\nSubject: News\r\n", 0),
                  0u);
        shell.calls.clear();
        QTest::mouseClick(dlg->Ui().pStatusShow, Qt::LeftButton);
        QTest::mouseClick(dlg->Ui().pStatusOpen, Qt::LeftButton);
        EXPECT_EQ(shell.calls, (std::vector<std::string>{"show " + out, "open " + out}));
    }
}

TEST_F(MainWindow, FailedCreationSaysWhyInTheBoxAndKeepsTheOldFile) {
    auto dlg = Open();
    std::string missing = dir.Path() + "gone.zip";
    dlg->AddAttachment(missing);
    std::string out = dir.Write("old.eml", "old message");
    Create(*dlg, dir.Write("p.html", "x"), out);
    ASSERT_TRUE(WaitIdle(*dlg));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text.toStdString(),
              "Failed to create HTML email.\n\ncannot open attachment '" + missing + "': No such file or directory");
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_EQ(testutil::ReadFile(out), "old message");
    EXPECT_FALSE(dlg->Ui().pStatusLine->isVisible());
}

// The window keeps painting while a 1 GiB attachment is encoded: a timer on
// the GUI thread keeps firing, and the largest gap between its ticks is measured.
TEST_F(MainWindow, StaysResponsiveDuringALargeCompositionAndCancelLeavesNothing) {
    auto dlg = Open();
    dlg->AddAttachment(Sparse("big.bin", 1ll << 30));
    std::string out = dir.Path() + "big.eml";
    QElapsedTimer clock;
    qint64 last = -1, largestGap = 0;
    int ticks = 0, progressSeen = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        qint64 now = clock.elapsed();
        if (last >= 0) largestGap = std::max(largestGap, now - last);
        last = now;
        ++ticks;
        if (CCreateProgressDlg* p = ProgressWindow()) progressSeen = std::max(progressSeen, p->ProgressBar()->value());
    });
    clock.start();
    timer.start();
    Create(*dlg, dir.Write("p.html", "<p>big</p>"), out);
    ASSERT_TRUE(WaitIdle(*dlg, 120000));
    timer.stop();
    std::printf("1 GiB Create Email: %lld ms, %d ticks, largest gap between ticks %lld ms\n",
                static_cast<long long>(clock.elapsed()), ticks, static_cast<long long>(largestGap));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_GT(progressSeen, 500) << "the bar followed the bytes";
    // Composing on the GUI thread makes one gap of nearly the whole run; a
    // shared machine may stall any thread for a moment, so no fixed bound.
    EXPECT_LT(largestGap * 4, clock.elapsed()) << "the GUI thread was held up";
    std::uint64_t written = 0;
    EXPECT_TRUE(platform::GetFileSize64(out, written));
    EXPECT_GT(written, (1ull << 30) * 4 / 3) << "the whole attachment, in base64";

    // Cancel in the middle: no message, no output, no temporary file.
    std::vector<std::string> before = testutil::ListFolder(dir.Path());
    Create(*dlg, dir.Path() + "p.html", dir.Path() + "cancelled.eml");
    ASSERT_TRUE(QTest::qWaitFor([&] { return ProgressWindow() && ProgressWindow()->ProgressBar()->value() > 50; }));
    QTest::mouseClick(ProgressWindow()->CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(*dlg));
    EXPECT_EQ(testutil::ListFolder(dir.Path()), before);
    EXPECT_TRUE(prompts.messages.empty());

    // Closing the window mid-composition asks first; stopping removes the file too.
    Create(*dlg, dir.Path() + "p.html", dir.Path() + "closed.eml");
    prompts.answerYes = false;
    dlg->close();
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(dlg->isVisible());
    prompts.answerYes = true;
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->IsBusy());
    for (const std::string& name : testutil::ListFolder(dir.Path()))
        EXPECT_EQ(name.find("closed"), std::string::npos) << name << " was left behind";
}

TEST_F(MainWindow, ResizingGivesTheListTheHeightAndFullPathTheWidth) {
    auto dlg = Open();
    QApplication::processEvents();
    EXPECT_LE(dlg->minimumWidth(), dlg->width());
    CAttachmentList* list = dlg->AttachList();
    QSize list0 = list->size();
    int path0 = list->header()->sectionSize(2), size0 = list->header()->sectionSize(1);
    int name0 = dlg->Ui().pSubjectEdit->height();
    dlg->resize(dlg->width() + 300, dlg->height() + 200);
    QApplication::processEvents();
    EXPECT_GE(list->height(), list0.height() + 200) << "all the new height, and what the wrapped note gave back";
    EXPECT_EQ(list->header()->sectionSize(2), path0 + 300);
    EXPECT_EQ(list->header()->sectionSize(1), size0);
    EXPECT_EQ(dlg->Ui().pSubjectEdit->height(), name0);
    EXPECT_GE(size0, list->fontMetrics().horizontalAdvance("1000.0 KB")) << "sizes are never cut";
}

TEST_F(MainWindow, PlacementPagesAndAttachmentsComeBackAtTheNextStart) {
    std::string kept = dir.Write("kept.txt", "k"), gone = dir.Write("gone.txt", "g");
    std::vector<std::string> pages;
    QPoint placed;
    {
        auto dlg = Open();
        for (int i = 0; i < 12; ++i) {
            pages.push_back(dir.Write("p" + std::to_string(i) + ".html", "<title>Page " + std::to_string(i) + "</title>"));
            prompts.fileAnswers.push_back(QString::fromStdString(pages.back()));
            dlg->OnBrowseHtml();
            Create(*dlg, pages.back(), "");  // a page used counts as recent
        }
        EXPECT_EQ(dlg->Ui().pSubjectEdit->text(), "Page 0") << "Subject from the first page's title, then kept";
        dlg->Ui().pSubjectEdit->setText(QString::fromUtf8("Caf\xc3\xa9 news"));
        dlg->AddAttachment(kept);
        dlg->AddAttachment(gone);
        dlg->setGeometry(40, 50, 700, 520);
        placed = dlg->pos();
        dlg->close();
    }
    ::unlink(gone.c_str());
    auto again = Open();
    QApplication::processEvents();
    EXPECT_EQ(again->Ui().pHtmlEdit->text().toStdString(), pages[11]);
    EXPECT_EQ(again->Ui().pSubjectEdit->text(), QString::fromUtf8("Caf\xc3\xa9 news"));
    QComboBox* recent = again->Ui().pHtmlCombo;
    ASSERT_EQ(recent->count(), 10);
    EXPECT_EQ(recent->itemText(0).toStdString(), pages[11]);
    EXPECT_EQ(recent->itemText(9).toStdString(), pages[2]);
    EXPECT_EQ(again->size(), QSize(700, 520));
    EXPECT_EQ(again->pos(), placed);
    CAttachmentList* list = again->AttachList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(2).toStdString(), gone) << "a missing file is kept";
    EXPECT_TRUE(list->topLevelItem(1)->toolTip(0).contains("missing"));
    EXPECT_NE(list->topLevelItem(1)->foreground(0), list->topLevelItem(0)->foreground(0)) << "greyed";
}

TEST_F(MainWindow, KeysAndTheHtmlField) {
    auto dlg = Open();
    const CMainDlg::Widgets& ui = dlg->Ui();
    for (QWidget* w : {static_cast<QWidget*>(ui.pHtmlEdit), static_cast<QWidget*>(ui.pSubjectEdit)})
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(w, key);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(prompts.fileFilters.empty()) << "Enter must not press Create Email";

    EXPECT_FALSE(ui.pOpenHtml->isEnabled());
    ui.pHtmlEdit->setText("/srv/page.html");
    EXPECT_TRUE(ui.pOpenHtml->isEnabled());
    QTest::mouseClick(ui.pOpenHtml, Qt::LeftButton);
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"open /srv/page.html"}));

    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    ui.pToEdit->setFocus();
    prompts.filesAnswers.push_back({QString::fromStdString(dir.Write("att.txt", "12345"))});
    QTest::keyClick(ui.pToEdit, Qt::Key_Insert);
    EXPECT_EQ(dlg->AttachList()->topLevelItemCount(), 1) << "Insert adds attachments";
    QString modalTitle;
    QTimer::singleShot(0, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            modalTitle = w->windowTitle();
            w->close();
        }
    });
    QTest::keyClick(ui.pToEdit, Qt::Key_F5);
    EXPECT_EQ(modalTitle, "Options") << "F5 reaches Options";
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(ui.pToEdit, Qt::Key_F1);
    ASSERT_TRUE(CHelpWindow::IsShown()) << "F1 opens the guide";
    dlg->close();
    EXPECT_FALSE(CHelpWindow::IsShown()) << "closing the main window closes the guide";
}

TEST_F(MainWindow, MenusShowTheToolbarIconsShortcutsAndMnemonics) {
    auto dlg = Open();
    auto entries = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions()) {
            if (a->isSeparator()) {
                out << "-";
                continue;
            }
            EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
            out << a->text() + (a->shortcut().isEmpty() ? "" : "\t" + a->shortcut().toString());
        }
        return out;
    };
    EXPECT_EQ(entries(dlg->MorePopup()),
              (QStringList{"&Options...\tF5", "-", "&Tell A Friend", "&Feedback and Support", "Home&page",
                           "&Check for Updates", "-", "&Help\tF1", "&About..."}));
    EXPECT_EQ(entries(dlg->AttachPopup()),
              (QStringList{"&Open", "Show in &Folder", "-", "&Add...\tIns", "&Remove\tDel", "Re&move All"}));

    dlg->OnMore();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg->MorePopup()));
    QString title;
    QTimer::singleShot(0, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            title = w->windowTitle();
            w->close();
        }
    });
    QTest::keyClick(dlg->MorePopup(), Qt::Key_A);  // the mnemonic of About
    EXPECT_EQ(title, "About Quillory");
}

TEST_F(MainWindow, AddressFieldsAreMarkedWhileTheyAreWrong) {
    auto dlg = Open();
    QLineEdit* cc = dlg->Ui().pCcEdit;
    struct {
        const char* text;
        bool bad;
        const char* piece;
    } cases[] = {{"", false, ""}, {"ann@example.com; Bob <bob@example.org>", false, ""},
                 {"ann@example.com, not an address", true, "not an address"}, {"a@b.c", false, ""}};
    for (const auto& c : cases) {
        QTest::keyClicks(cc, "");
        cc->setText(c.text);
        EXPECT_EQ(cc->property("invalid").toBool(), c.bad) << c.text;
        EXPECT_EQ(cc->toolTip().contains(c.piece), true) << cc->toolTip().toStdString();
        EXPECT_EQ(cc->toolTip().isEmpty(), !c.bad);
    }
    // The check itself can be replaced.
    dlg->SetAddressCheck([](const std::string& text, std::string& bad) {
        bad = "x";
        return text.empty();
    });
    cc->setText("a@b.c");
    EXPECT_TRUE(cc->property("invalid").toBool());
}

TEST(MainWindowFirstRun, OnlyTheFirstStartOpensTheGuideBesideTheWindow) {
    TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    auto store = platform::MakeFileSettingsStore(dir.Path() + "settings.reg");
    CMainDlg::Services services{&prompts, &shell, platform::Platform(), store.get()};
    {
        CHelpWindow::CloseHelp();
        CMainDlg first(services);
        first.move(0, 0);
        first.show();
        ASSERT_TRUE(QTest::qWaitFor([] { return CHelpWindow::IsShown(); }));
        CHelpWindow* help = CHelpWindow::Instance();
        EXPECT_FALSE(help->isMaximized());
        bool room = first.screen()->availableGeometry().width() >=
                    first.frameGeometry().width() + 40 * help->fontMetrics().averageCharWidth();
        if (room) {
            EXPECT_FALSE(help->frameGeometry().intersects(first.frameGeometry())) << "not over the main window";
        }
        ASSERT_TRUE(QTest::qWaitForWindowActive(help));
        QTest::keyClick(help, Qt::Key_Escape);
        EXPECT_FALSE(CHelpWindow::IsShown()) << "Esc closes the guide";
        CHelpWindow::ShowHelp();
        ASSERT_TRUE(QTest::qWaitForWindowActive(help));
        QTest::keyClick(help, Qt::Key_W, Qt::ControlModifier);
        EXPECT_FALSE(CHelpWindow::IsShown()) << "so does Ctrl+W";
    }
    CMainDlg second(services);
    second.show();
    QApplication::processEvents();
    EXPECT_FALSE(CHelpWindow::IsShown());
}

} // namespace
