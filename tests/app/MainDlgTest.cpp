// The main window driven as a user would, headless.
#include <gtest/gtest.h>

#include <fstream>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/CheckDlg.h"
#include "app/ComposeTask.h"
#include "app/MainApp.h"
#include "app/MainDlg.h"
#include "ui/AttachmentList.h"
#include "ui/CreateProgressDlg.h"
#include "ui/HelpWindow.h"

namespace {

struct MainWindow : WindowTest {
    void TearDown() override {
        CHelpWindow::CloseHelp();
        QApplication::processEvents();
    }
    std::unique_ptr<CMainDlg> Open() {
        auto dlg = NewWindow();
        dlg->show();
        return dlg;
    }
    static CCreateProgressDlg* ProgressWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<CCreateProgressDlg*>(w); p && p->isVisible()) return p;
        return nullptr;
    }
    // Clicks Create Email with the page and the answer of the save dialog,
    // which comes once the page has been checked: past the report, when one
    // is expected (a report that comes otherwise is cancelled).
    void Create(CMainDlg& dlg, const std::string& page, const std::string& out, bool report = false) {
        dlg.Ui().pHtmlEdit->setText(QString::fromStdString(page));
        prompts.fileAnswers.push_back(QString::fromStdString(out));
        ModalWatch<CCheckDlg> watch([&](CCheckDlg& d) {
            if (report) d.GoOnButton()->click();
        });
        QTest::mouseClick(dlg.Ui().pCreateEmail, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsChecking(); }, 120000));
        QApplication::processEvents();
        EXPECT_EQ(watch.bCame, report);
    }
    static bool WaitIdle(CMainDlg& dlg, int ms = 60000) {
        return QTest::qWaitFor([&] { return !dlg.IsBusy(); }, ms);
    }
    // The title of the modal window that pressing key in w shows.
    static QString ModalTitle(QWidget* w, Qt::Key key) {
        QString title;
        WhileModal<QDialog>([&] { QTest::keyClick(w, key); }, [&](QDialog& d) { title = d.windowTitle(); });
        return title;
    }
};

TEST_F(MainWindow, CreateEmailAsksForAPageSuggestsANameAndSaysWhyItFailed) {
    auto dlg = Open();
    dlg->Ui().pSubjectEdit->setFocus();
    QTest::mouseClick(dlg->Ui().pCreateEmail, Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please choose an HTML file.");
    EXPECT_TRUE(prompts.fileFilters.empty()) << "no save dialog without a page";
    EXPECT_TRUE(Focused(dlg->Ui().pHtmlEdit));

    std::string page = dir.Write("site/news.html", "x");
    Create(*dlg, page, "");  // cancelled
    EXPECT_EQ(prompts.fileSuggestions.back().toStdString(), dir.Path() + "site/news.eml");
    EXPECT_FALSE(dlg->IsBusy());
    ::mkdir((dir.Path() + "out").c_str(), 0755);
    Create(*dlg, page, dir.Path() + "out/first.eml");
    ASSERT_TRUE(WaitIdle(*dlg));
    Create(*dlg, page, "");
    EXPECT_EQ(prompts.fileSuggestions.back().toStdString(), dir.Path() + "out/news.eml") << "the last folder used";
    EXPECT_EQ(prompts.messages.size(), 1u);

    // A failure the check cannot foresee says why.
    std::string out = dir.Path() + "gone/news.eml";
    shell.calls.clear();
    Create(*dlg, page, out);
    ASSERT_TRUE(WaitIdle(*dlg));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(prompts.messages[1].text.startsWith("Failed to create HTML email.\n\n"));
    EXPECT_TRUE(prompts.messages[1].text.endsWith("\n\nTo get help, please contact support@quillory.example."));
    EXPECT_TRUE(prompts.messages[1].text.contains(QString::fromStdString(dir.Path() + "gone"))) << prompts.messages[1].text.toStdString();
    EXPECT_TRUE(shell.calls.empty());

    // A read-only message is replaced only when the user says so.
    std::string kept = dir.Write("out/kept.eml", "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0444), 0);
    for (bool yes : {false, true}) {
        prompts.answerYes = yes;
        Create(*dlg, page, kept);
        ASSERT_TRUE(WaitIdle(*dlg));
        ASSERT_EQ(prompts.questions.size(), 1u + yes);
        EXPECT_EQ(prompts.questions.back(), "'kept.eml' is read-only. Replace it anyway?");
        EXPECT_EQ(testutil::ReadFile(kept) == "old", !yes);
    }
    EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(MainWindow, CreateEmailWritesInTheBackgroundThenActsAsTheOptionsSay) {
    std::string page = dir.Write("site/page.html", "<p>Hello</p>\n");
    std::string a1 = dir.Write("b.pdf", "pdf bytes"), a2 = dir.Write("a.txt", "text");
    struct Case {
        bool browse, open;
        std::vector<std::string> calls;
        bool noOpener = false;  // both hand-offs fail: one box says so
    } cases[] = {{true, true, {"show ", "open "}}, {false, true, {"open "}}, {false, false, {}},
                 {true, true, {"show ", "open "}, true}};
    for (const Case& c : cases) {
        shell.openFails = c.noOpener;
        prompts.messages.clear();
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
        fixed.random.next = 0;
        Create(*dlg, page, out);
        // A small message may be written before this looks; while it is not, its
        // window shows and no second piece of work can start.
        if (dlg->IsBusy()) {
            EXPECT_NE(ProgressWindow(), nullptr);
            EXPECT_FALSE(dlg->Ui().pCreateEmail->isEnabled()) << "one piece of work at a time";
        }
        ASSERT_TRUE(WaitIdle(*dlg));
        QApplication::processEvents();
        EXPECT_EQ(ProgressWindow(), nullptr);
        ASSERT_EQ(prompts.messages.size(), c.noOpener ? 1u : 0u);
        if (c.noOpener) {
            EXPECT_TRUE(prompts.messages[0].text.contains("in its folder") && prompts.messages[0].text.contains("Unable to open"));
        }
        std::vector<std::string> expected;
        for (const std::string& call : c.calls) expected.push_back(call + out);
        EXPECT_EQ(shell.calls, expected);
        EXPECT_TRUE(dlg->Ui().pStatusLine->isVisible());
        // The message is written from the check's plan: its random draws are made once.
        auto [draws, size] = PlanAfresh(dlg->MakeComposeJob(out));
        EXPECT_EQ(fixed.random.next, draws);
        EXPECT_EQ(testutil::ReadFile(out).size(), size);
        EXPECT_EQ(testutil::CheckEml(out, {"--html", page, "--attach", a1, "--attach", a2}), "");
        EXPECT_EQ(testutil::ReadFile(out).rfind("From: ann@example.com\r\nTo: bob@example.com\r\nSubject: News\r\n", 0),
                  0u);
        shell.calls.clear();
        QTest::mouseClick(dlg->Ui().pStatusShow, Qt::LeftButton);
        QTest::mouseClick(dlg->Ui().pStatusOpen, Qt::LeftButton);
        EXPECT_EQ(shell.calls, (std::vector<std::string>{"show " + out, "open " + out}));
        shell.openFails = false;
    }
}

// The window keeps painting while a large attachment is encoded: a timer on
// the GUI thread keeps firing, and the largest gap between its ticks is measured.
TEST_F(MainWindow, StaysResponsiveDuringALargeCompositionAndStoppingLeavesNothing) {
    auto dlg = Open();
    std::string big = dir.Write("big.bin", "");
    std::filesystem::resize_file(big, 1024ull << 20);  // sparse
    dlg->AddAttachment(big);
    std::string page = dir.Write("p.html", "<p>big</p>"), out = dir.Path() + "big.eml";
    QElapsedTimer clock;
    qint64 last = -1, largestGap = 0;
    int progressSeen = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        qint64 now = clock.elapsed();
        if (last >= 0) largestGap = std::max(largestGap, now - last);
        last = now;
        if (CCreateProgressDlg* p = ProgressWindow()) progressSeen = std::max(progressSeen, p->ProgressBar()->value());
    });
    clock.start();
    timer.start();
    Create(*dlg, page, out, true);  // over the 25 MB most mail services accept
    ASSERT_TRUE(WaitIdle(*dlg, 120000));
    timer.stop();
    std::printf("1 GiB Create Email: %lld ms, largest gap between ticks %lld ms\n",
                static_cast<long long>(clock.elapsed()), static_cast<long long>(largestGap));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_GT(progressSeen, 500) << "the bar followed the bytes";
    // Composing on the GUI thread makes one gap of nearly the whole run; a
    // shared machine may stall any thread for a moment, so no fixed bound.
    EXPECT_LT(largestGap * 4, clock.elapsed()) << "the GUI thread was held up";
    EXPECT_GT(std::filesystem::file_size(out), (1024ull << 20) * 4 / 3) << "the whole attachment, in base64";

    EXPECT_TRUE(dlg->Ui().pStatusLine->isVisible());
    // Cancel in the middle, or close the window (which asks first): no output, no temporary file.
    std::vector<std::string> before = testutil::ListFolder(dir.Path());
    Create(*dlg, page, dir.Path() + "cancelled.eml", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ProgressWindow() && ProgressWindow()->ProgressBar()->value() > 50; }));
    QTest::mouseClick(ProgressWindow()->CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(*dlg));
    EXPECT_EQ(testutil::ListFolder(dir.Path()), before);
    EXPECT_FALSE(dlg->Ui().pStatusLine->isVisible()) << "the line about the earlier message goes";
    Create(*dlg, page, dir.Path() + "closed.eml", true);
    dlg->close();
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(dlg->isVisible());
    prompts.answerYes = true;
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->IsBusy());
    EXPECT_EQ(testutil::ListFolder(dir.Path()), before);
    EXPECT_TRUE(prompts.messages.empty());
}

// A press of Cancel while the disk catches up still drops the message; once it
// is being put in place the press is refused, so the window says "Finishing...".
TEST(ComposeTask, ACancelCountsUntilTheMessageIsPutInPlace) {
    struct PressingFiles : testutil::PassThroughFiles {
        std::function<void()> onSync, onCommit;
        struct Output : platform::OutputFile {
            std::unique_ptr<platform::OutputFile> inner;
            PressingFiles* owner;
            bool Write(const void* d, std::size_t n, std::string& err) override { return inner->Write(d, n, err); }
            bool Sync(std::string& err) override { return owner->onSync(), inner->Sync(err); }
            bool Commit(std::string& err) override { return owner->onCommit(), inner->Commit(err); }
        };
        std::unique_ptr<platform::OutputFile> CreateOutput(const std::string& t, platform::ReadOnlyTarget r,
                                                           std::string& e) override {
            auto out = std::make_unique<Output>();
            out->inner = real.CreateOutput(t, r, e);
            out->owner = this;
            return out->inner ? std::move(out) : nullptr;
        }
    };
    testutil::TempDir dir;
    testutil::FixedPlatform fixed;
    struct Case {
        bool duringSync;  // else while it is put in place
        bool cancelTakes;
        CComposeTask::End end;
    } cases[] = {{true, true, CComposeTask::End::Cancelled}, {false, false, CComposeTask::End::Written}};
    for (const Case& c : cases) {
        PressingFiles files;
        ComposeJob job;
        job.m_strHtmlPath = dir.Write("p.html", "<p>x</p>");
        job.m_strOutputPath = dir.Path() + "out.eml";
        ::unlink(job.m_strOutputPath.c_str());
        CComposeTask task(job, MessagePlan(), fixed.Get(&files));
        std::optional<bool> taken;
        auto press = [&] { taken = task.Cancel(); };
        (c.duringSync ? files.onSync : files.onCommit) = press;
        (c.duringSync ? files.onCommit : files.onSync) = [] {};
        std::optional<CComposeTask::End> end;
        bool finishing = false;
        QObject::connect(&task, &CComposeTask::Finished, [&](CComposeTask::End e, const QString&) { end = e; });
        QObject::connect(&task, &CComposeTask::Finishing, [&] { finishing = true; });
        task.Start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return end.has_value(); }));
        EXPECT_EQ(taken, c.cancelTakes);
        EXPECT_EQ(*end, c.end);
        EXPECT_EQ(finishing, !c.cancelTakes);
        EXPECT_EQ(std::filesystem::exists(job.m_strOutputPath), c.end == CComposeTask::End::Written);
        EXPECT_EQ(testutil::ListFolder(dir.Path()).size(), 1u + (c.end == CComposeTask::End::Written));
    }
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
    EXPECT_EQ(again->geometry().size(), QSize(700, 520));
    EXPECT_EQ(again->pos(), placed);
    CAttachmentList* list = again->AttachList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(2).toStdString(), gone) << "a missing file is kept";
    EXPECT_NE(list->topLevelItem(1)->foreground(0), list->topLevelItem(0)->foreground(0)) << "greyed";

    // A page on the command line starts a new message: its files replace the last run's.
    again->Ui().pSubjectEdit->clear();
    std::string other = dir.Write("other.txt", "o");
    again->StartWithPage(pages[4], {other, kept, other});
    EXPECT_EQ(again->Ui().pHtmlEdit->text().toStdString(), pages[4]);
    EXPECT_EQ(again->Ui().pSubjectEdit->text(), "Page 4");
    EXPECT_EQ(recent->itemText(0).toStdString(), pages[4]);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(2).toStdString(), other);
    EXPECT_EQ(list->topLevelItem(1)->text(2).toStdString(), kept);
}

TEST(WindowCommandLine, PageFilesHelpAndVersion) {
    using K = WindowCommandLine::Kind;
    struct {
        std::vector<std::string> args;
        K kind;
        std::string page;
        std::vector<std::string> files;
    } cases[] = {
        {{}, K::Run, "", {}},
        {{"p.html", "a.pdf", "/x/b.png"}, K::Run, "/cwd/p.html", {"/cwd/a.pdf", "/x/b.png"}},
        {{"-h"}, K::Help, "", {}},
        {{"p.html", "--version"}, K::Version, "", {}},
        {{"--bogus", "--help"}, K::Help, "", {}},  // help needs no display, whatever else is there
        {{"p.html", "--bogus"}, K::Usage, "", {}},
        {{"--", "--help", "-x"}, K::Run, "/cwd/--help", {"/cwd/-x"}},
        {{"/p.html", "--webEngineArgs", "--no-sandbox", "x"}, K::Run, "/p.html", {}},
    };
    for (const auto& c : cases) {
        WindowCommandLine r = ParseWindowCommandLine(c.args, "/cwd/");
        std::string line = c.args.empty() ? "(none)" : c.args[0] + "...";
        EXPECT_EQ(r.kind, c.kind) << line;
        EXPECT_EQ(r.page, c.page) << line;
        EXPECT_EQ(r.files, c.files) << line;
    }
}

// A placement remembered from a larger screen, or partly off this one, comes back within it.
TEST_F(MainWindow, ARememberedPlacementIsBroughtWithinTheScreen) {
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QSize fits = Open()->minimumSize() + QSize(10, 10);
    struct Case {
        QRect stored;
        bool keepsSize;
    } cases[] = {{QRect(area.topLeft(), area.size() * 2), false},
                 {QRect(area.bottomRight() - QPoint(50, 50), fits), true},
                 {QRect(area.topLeft() - QPoint(300, 200), fits), true}};
    for (const Case& c : cases) {
        WindowState state(*store);
        state.WindowX = c.stored.x(), state.WindowY = c.stored.y();
        state.WindowWidth = c.stored.width(), state.WindowHeight = c.stored.height();
        std::string err;
        ASSERT_TRUE(state.Save(err)) << err;
        auto dlg = Open();
        QApplication::processEvents();
        QRect at = dlg->frameGeometry();
        EXPECT_TRUE(area.contains(at)) << c.stored.x() << "," << c.stored.y() << " -> " << at.x() << "," << at.y() << " "
                                       << at.width() << "x" << at.height() << " in " << area.width() << "x" << area.height();
        EXPECT_EQ(dlg->size() == c.stored.size(), c.keepsSize);
    }
}

TEST_F(MainWindow, KeysMenusAndTheHtmlField) {
    auto dlg = Open();
    const CMainDlg::Widgets& ui = dlg->Ui();
    for (QWidget* w : {static_cast<QWidget*>(ui.pHtmlEdit), static_cast<QWidget*>(ui.pSubjectEdit)})
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(w, key);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(prompts.fileFilters.empty()) << "Enter must not press Create Email";

    std::string page = dir.Write("page.html", "x");
    ui.pHtmlEdit->setText(QString::fromStdString(page));
    QTest::mouseClick(ui.pOpenHtml, Qt::LeftButton);
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"open " + page}));

    auto entries = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions()) {
            EXPECT_TRUE(a->isSeparator() || !a->icon().isNull()) << a->text().toStdString();
            out << (a->isSeparator() ? "-" : a->text() + (a->shortcut().isEmpty() ? "" : "\t" + a->shortcut().toString()));
        }
        return out;
    };
    EXPECT_EQ(entries(dlg->MorePopup()),
              (QStringList{"Send to &List...", "-", "&Options...\tF5", "Chec&k Page...\tCtrl+K", "Pre&view...\tCtrl+P", "-", "&Tell a Friend", "&Feedback and Support", "Home&page",
                           "&Check for Updates", "-", "&Help\tF1", "&About..."}));
    EXPECT_EQ(entries(dlg->AttachPopup()),
              (QStringList{"&Open", "Show in &Folder", "-", "&Add...\tIns", "&Remove\tDel", "Re&move All"}));
    dlg->OnMore();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg->MorePopup()));
    EXPECT_EQ(ModalTitle(dlg->MorePopup(), Qt::Key_A), "About Quillory") << "the mnemonic of About";

    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    ui.pToEdit->setFocus();
    prompts.filesAnswers.push_back({QString::fromStdString(dir.Write("att.txt", "12345"))});
    QTest::keyClick(ui.pToEdit, Qt::Key_Insert);
    EXPECT_EQ(dlg->AttachList()->topLevelItemCount(), 1) << "Insert adds attachments";
    EXPECT_EQ(ModalTitle(ui.pToEdit, Qt::Key_F5), "Options");
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(ui.pToEdit, Qt::Key_F1);
    ASSERT_TRUE(CHelpWindow::IsShown()) << "F1 opens the guide";
    dlg->close();
    EXPECT_FALSE(CHelpWindow::IsShown()) << "closing the main window closes the guide";
}

// Each field says under itself why it cannot be used; Open needs a page that is there.
TEST_F(MainWindow, FieldsAreMarkedWithTheirReasonWhileTheyAreWrong) {
    auto dlg = Open();
    const CMainDlg::Widgets& ui = dlg->Ui();
    std::string page = dir.Write("page.html", "<p>x</p>");
    struct {
        QLineEdit* edit;
        QLabel* reason;
        std::string text;
        const char* piece;  // null: acceptable
    } cases[] = {{ui.pCcEdit, ui.pCcProblem, "", nullptr},
                 {ui.pCcEdit, ui.pCcProblem, "ann@example.com; Bob <bob@example.org>", nullptr},
                 {ui.pCcEdit, ui.pCcProblem, "ann@example.com, not an address", "not an address"},
                 {ui.pToEdit, ui.pToProblem, "carol at example dot com", "carol at example dot com"},
                 {ui.pHtmlEdit, ui.pHtmlProblem, dir.Path() + "gone.html", "no such file"},
                 {ui.pHtmlEdit, ui.pHtmlProblem, dir.Path(), "not a file"},
                 {ui.pHtmlEdit, ui.pHtmlProblem, "", nullptr},
                 {ui.pHtmlEdit, ui.pHtmlProblem, page, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        c.edit->setText(QString::fromStdString(c.text));
        EXPECT_EQ(c.edit->property("invalid").toBool(), c.piece != nullptr);
        EXPECT_EQ(c.reason->isVisible(), c.piece != nullptr);
        if (c.piece) {
            EXPECT_TRUE(c.reason->text().contains(c.piece)) << c.reason->text().toStdString();
        }
        if (c.edit == ui.pHtmlEdit) {
            EXPECT_EQ(ui.pOpenHtml->isEnabled(), !c.text.empty() && !c.piece);
        }
    }

    // Create Email asks once for all the wrong fields; No writes nothing and goes to the first of them.
    ui.pCcEdit->setText("dave@exa mple.com");
    std::string out = dir.Path() + "bad.eml";
    for (bool yes : {false, true}) {
        prompts.answerYes = yes;
        prompts.questions.clear();
        prompts.fileAnswers.clear();
        ui.pSubjectEdit->setFocus();
        Create(*dlg, page, yes ? out : "");
        ASSERT_TRUE(WaitIdle(*dlg));
        ASSERT_EQ(prompts.questions.size(), 1u);
        EXPECT_TRUE(prompts.questions[0].contains("To: ") && prompts.questions[0].contains("Cc: "))
            << prompts.questions[0].toStdString();
        EXPECT_EQ(prompts.fileSuggestions.size(), yes ? 1u : 0u) << "no save dialog after No";
        EXPECT_EQ(Focused(ui.pToEdit), !yes);
    }
    EXPECT_TRUE(std::filesystem::exists(out));
}

// A notice holds its window's input until it is read (no command starts behind
// it), but not the code that showed it.
TEST(Prompts, ANoticeIsModalToItsWindowWithoutHoldingUpTheCaller) {
    QWidget owner;
    owner.show();
    QtPrompts().Notify(&owner, "Unable to open");
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Unable to open");
    box->close();
}

TEST(MainWindowFirstRun, OnlyTheFirstStartOpensTheGuideBesideTheWindow) {
    testutil::TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    auto store = platform::MakeFileSettingsStore(dir.Path() + "quillory.conf");
    CMainDlg::Services services{&prompts, &shell, platform::Platform(), store.get()};
    {
        CHelpWindow::CloseHelp();
        CMainDlg first(services);
        first.move(0, 0);
        first.show();
        ASSERT_TRUE(QTest::qWaitFor([] { return CHelpWindow::IsShown(); }));
        CHelpWindow* help = CHelpWindow::Instance();
        QApplication::processEvents();
        EXPECT_TRUE(first.screen()->availableGeometry().contains(help->frameGeometry()));
        if (first.screen()->availableGeometry().width() >=
            first.frameGeometry().width() + 40 * help->fontMetrics().averageCharWidth()) {
            EXPECT_FALSE(help->frameGeometry().intersects(first.frameGeometry())) << "not over the main window";
        }
        for (auto [key, mod] : {std::pair{Qt::Key_Escape, Qt::NoModifier}, std::pair{Qt::Key_W, Qt::ControlModifier}}) {
            CHelpWindow::ShowHelp();
            ASSERT_TRUE(QTest::qWaitForWindowActive(help));
            QTest::keyClick(help, key, mod);
            EXPECT_FALSE(CHelpWindow::IsShown()) << "Esc and Ctrl+W close the guide";
        }
        // The guide comes back from the taskbar.
        CHelpWindow::ShowHelp();
        help->showMinimized();
        first.OnShowHelp();
        EXPECT_FALSE(help->isMinimized());
        CHelpWindow::CloseHelp();
    }
    // A value written by hand that cannot be used is told once the window shows, without holding it up.
    std::ofstream(dir.Path() + "quillory.conf", std::ios::app) << "\n[SMTP]\nSmtpPort=none\n";
    prompts.messages.clear();
    CMainDlg second(services);
    second.show();
    QApplication::processEvents();
    EXPECT_FALSE(CHelpWindow::IsShown());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(prompts.messages[0].modal);
    EXPECT_TRUE(prompts.messages[0].detail.contains("[SMTP] SmtpPort: takes a port number")) << prompts.messages[0].detail.toStdString();
}

} // namespace
