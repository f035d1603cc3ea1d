// Send Email from the window, headless, against real and scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/MainDlg.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/ScriptedServer.h"
#include "ui/LogEdit.h"
#include "ui/SendProgressDlg.h"

namespace {

using testutil::ListFolder;
using testutil::TempDir;

const char kFailureEnd[] =
    "\nFailed to sent email. Please check SMTP settings or contact us at <support@quillory.example>.\n";

// Threads of this process that kept its name: ours, not the toolkit's named pool.
std::set<std::string> PlainThreads() {
    std::string name = testutil::ReadFile("/proc/self/comm");
    std::set<std::string> tids;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        if (testutil::ReadFile(e.path().string() + "/comm") == name) tids.insert(e.path().filename().string());
    return tids;
}

// The threads of `now` that were not in `before`.
std::set<std::string> Added(const std::set<std::string>& before, const std::set<std::string>& now) {
    std::set<std::string> added;
    for (const std::string& t : now)
        if (!before.count(t)) added.insert(t);
    return added;
}

struct SendEmail : ::testing::Test {
    TempDir dir;
    TempDir tmp;  // the temporary folder of the sends, so that leftovers show
    testutil::ScopedEnv tmpdir{"TMPDIR", tmp.Path()};
    RecordingPrompts prompts;
    RecordingShell shell;
    testutil::FixedPlatform fixed;
    std::unique_ptr<platform::SettingsStore> store = platform::MakeFileSettingsStore(dir.Path() + "settings.reg");
    std::string page;

    void SetUp() override {
        AppSettings(*store).TestAndClearFirstRun();  // no guide
        page = dir.Write("page.html", "<html><body><p>Hello</p><img src=\"logo.png\"></body></html>\n");
        dir.Write("logo.png", std::string("\x89PNG\r\n\x1a\n", 8));
    }
    void TearDown() override { QApplication::processEvents(); }

    std::unique_ptr<CMainDlg> Open(int port) {
        auto dlg = std::make_unique<CMainDlg>(CMainDlg::Services{&prompts, &shell, fixed.Get(), store.get()});
        dlg->m_settings.SmtpServer = "127.0.0.1";
        dlg->m_settings.SmtpPort = port;
        dlg->m_settings.SrvReqAuth = 0;
        dlg->show();
        dlg->Ui().pHtmlEdit->setText(QString::fromStdString(page));
        dlg->Ui().pSubjectEdit->setText("News");
        dlg->Ui().pFromEdit->setText("Ann <a@x.org>; second@x.org");
        dlg->Ui().pToEdit->setText("b@y.org");
        return dlg;
    }
    // The messages waiting in the temporary folder (a test server keeps its own folder there).
    std::vector<std::string> TempMessages() const {
        std::vector<std::string> found;
        for (const std::string& name : ListFolder(tmp.Path()))
            if (name.rfind("EML", 0) == 0) found.push_back(name);
        return found;
    }

    // The send progress windows that exist, shown or not, before their deferred deletion.
    static std::vector<CSendProgressDlg*> SendWindows() {
        std::vector<CSendProgressDlg*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* s = qobject_cast<CSendProgressDlg*>(w)) found.push_back(s);
        return found;
    }
    static CSendProgressDlg* SendWindow() {
        for (CSendProgressDlg* s : SendWindows())
            if (s->isVisible()) return s;
        return nullptr;
    }
    static std::string Log(CSendProgressDlg* s) { return s->LogBox()->toPlainText().toStdString(); }
    static bool WaitForEnd(CSendProgressDlg* s, int ms = 20000) {
        return QTest::qWaitFor([s] { return s->Status().endsWith("OK") || s->Status().endsWith("Failure"); }, ms);
    }
    static void PressButton(CSendProgressDlg* s) {
        QTest::mouseClick(s->Button(), Qt::LeftButton);
        QApplication::processEvents();  // the press reaches the main window queued
    }
};

TEST_F(SendEmail, RefusesFieldsWithoutAnAddress) {
    auto dlg = Open(25);
    struct Case {
        const char *html, *from, *to, *cc;
        const char* message;
        QLineEdit* CMainDlg::Widgets::*focus;
    } cases[] = {
        {"", "a@x.org", "b@y.org", "", "Please choose a HTML file.", &CMainDlg::Widgets::pHtmlEdit},
        {"p.html", "", "b@y.org", "", "Please enter mail \"From\".", &CMainDlg::Widgets::pFromEdit},
        {"p.html", "a@x.org", "", "", "Please enter mail \"To\".", &CMainDlg::Widgets::pToEdit},
        {"p.html", "Ann <>", "b@y.org", "", "Please enter mail \"From\".", &CMainDlg::Widgets::pFromEdit},
        {"p.html", "a@x.org", " ; , ;", "", "Please enter mail \"To\".", &CMainDlg::Widgets::pToEdit},
        {"p.html", "a@x.org", "b@y.org", "Cy <c<d@z.org>", "The address \"Cy <c<d@z.org>\" is not valid.",
         &CMainDlg::Widgets::pCcEdit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        prompts.messages.clear();
        dlg->Ui().pHtmlEdit->setText(c.html);
        dlg->Ui().pFromEdit->setText(c.from);
        dlg->Ui().pToEdit->setText(c.to);
        dlg->Ui().pCcEdit->setText(c.cc);
        dlg->Ui().pSubjectEdit->setFocus();
        QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text.toStdString(), c.message);
        EXPECT_TRUE(Focused(dlg->Ui().*c.focus));
        EXPECT_TRUE(SendWindows().empty());
        EXPECT_TRUE(!dlg->IsBusy());
    }
    EXPECT_TRUE(TempMessages().empty());
}

TEST_F(SendEmail, FailedCompositionLeavesNothingBehind) {
    auto dlg = Open(25);
    std::string missing = dir.Path() + "gone.zip";
    dlg->AddAttachment(missing);
    int windowsAtMessage = -1;
    prompts.onMessage = [&] { windowsAtMessage = SendWindow() != nullptr; };
    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text.toStdString(),
              "Failed to create HTML email.\n\ncannot open attachment '" + missing + "': No such file or directory");
    EXPECT_EQ(windowsAtMessage, 0);
    EXPECT_TRUE(!dlg->IsBusy());
    EXPECT_TRUE(TempMessages().empty());
}

TEST_F(SendEmail, SendsWhatTheWindowHoldsAndShowsTheDialogue) {
    testutil::RealSmtpServer server("ann", "secret");
    auto dlg = Open(server.Port());
    dlg->m_settings.SrvReqAuth = 1;
    dlg->m_settings.AuthName = "ann";
    dlg->m_settings.AuthPass = "secret";
    dlg->Ui().pToEdit->setText("b@y.org; , Bob <bob@y.org>");
    dlg->Ui().pCcEdit->setText("c@z.org");
    std::string notes = dir.Write("notes.txt", "attached\n");
    dlg->AddAttachment(notes);

    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    EXPECT_TRUE(prompts.messages.empty());
    CSendProgressDlg* s = SendWindow();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Status(), "Sending email...");
    EXPECT_EQ(s->Button()->text(), "Cancel");
    ASSERT_TRUE(WaitForEnd(s)) << Log(s);

    std::string port = std::to_string(server.Port());
    std::string log = Log(s);
    EXPECT_EQ(log.rfind(">>> Initiating...\n>>> Connecting to 127.0.0.1:" + port + "...\n>>> OK\n<<< 220 ", 0), 0u)
        << log;
    for (const char* part : {">>> EHLO host\n<<< 250-", ">>> AUTH LOGIN\n<<< 334 ", ">>> MAIL FROM: <a@x.org>\n<<< 250 OK\n"
                             ">>> RCPT TO: <b@y.org>\n<<< 250 OK\n>>> RCPT TO: <bob@y.org>\n<<< 250 OK\n"
                             ">>> RCPT TO: <c@z.org>\n<<< 250 OK\n>>> DATA\n<<< 354 ",
                             ">>> Sending message body...\n>>> Done\n>>> \n.\n<<< 250 OK stored\n"})
        EXPECT_NE(log.find(part), std::string::npos) << part << "\n--- in ---\n" << log;
    EXPECT_TRUE(log.ends_with(">>> QUIT\n<<< 221 Bye\n\nSent email successfully.\n")) << log;
    EXPECT_EQ(s->Status(), "Sending email...OK");
    EXPECT_EQ(s->Button()->text(), "Close");
    EXPECT_FALSE(!dlg->IsBusy()) << "the main window waits for Close";
    EXPECT_TRUE(TempMessages().empty()) << "the temporary message goes when the send ends";

    EXPECT_EQ(server.Envelope(1), "ann\na@x.org\nb@y.org\nbob@y.org\nc@z.org\n");
    std::string stored = dir.Write("stored.eml", server.Message(1));
    EXPECT_EQ(server.Message(1).rfind(
                  "From: Ann <a@x.org>; second@x.org\r\nTo: b@y.org; , Bob <bob@y.org>\r\nCc: c@z.org\r\nSubject: News\r\n",
                  0),
              0u);
    EXPECT_EQ(testutil::CheckEml(stored, {"--resource", dir.Path() + "logo.png", "--attach", notes, "--typed", "From",
                                          "--typed", "To"}),
              "");

    PressButton(s);
    EXPECT_TRUE(!dlg->IsBusy());
    EXPECT_EQ(SendWindow(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([] { return SendWindows().empty(); }, 2000)) << "the closed window deletes itself";
}

TEST_F(SendEmail, ServerFailuresEndWithTheFailureText) {
    struct Case {
        const char* name;
        std::string script;
        std::string logEnd;
    } cases[] = {
        {"greeting refused", "S: 554 no service here\n", "<<< 554 no service here\n"},
        {"every recipient refused",
         "S: 220 ready\nC: HELO host\nS: 250 hi\nC: MAIL FROM: <a@x.org>\nS: 250 ok\nC: RCPT TO: <b@y.org>\n"
         "S: 550 no relay\n",
         ">>> RCPT TO: <b@y.org>\n<<< 550 no relay\n<<< SMTP Server doesn't relay emails.\n"},
        {"dropped before the reply", "S: 220 ready\nC: HELO host\n", ">>> HELO host\n<<< Time out.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testutil::ScriptedServer server(c.script);
        auto dlg = Open(server.Port());
        QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
        CSendProgressDlg* s = SendWindow();
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(WaitForEnd(s)) << Log(s);
        EXPECT_TRUE(Log(s).ends_with(c.logEnd + kFailureEnd)) << Log(s);
        EXPECT_EQ(s->Status(), "Sending email...Failure");
        EXPECT_TRUE(s->IsFailed()) << "the bar shows the failure too";
        EXPECT_EQ(s->Button()->text(), "Close");
        EXPECT_TRUE(TempMessages().empty());
        EXPECT_EQ(server.Finish(), "");
        PressButton(s);
        EXPECT_TRUE(!dlg->IsBusy());
    }

    // Nobody listening: the connect step itself fails.
    int port;
    {
        testutil::ScriptedServer gone("");
        port = gone.Port();
    }
    auto dlg = Open(port);
    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    CSendProgressDlg* s = SendWindow();
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(WaitForEnd(s)) << Log(s);
    EXPECT_EQ(Log(s), ">>> Initiating...\n>>> Connecting to 127.0.0.1:" + std::to_string(port) +
                          "...\n>>> Failure\n" + kFailureEnd);
}

// A server that stops reading in the middle of a large message, so the send
// hangs in its body until it is cancelled.
struct StalledSend : SendEmail {
    testutil::ScriptedServer server{"S: 220 ready\nC: HELO host\nS: 250 hi\nC: *\nS: 250 ok\nC: *\nS: 250 ok\n"
                                    "C: DATA\nS: 354 go\nP: 4000\n",
                                    4096};
    void AttachLargeFile(CMainDlg& dlg) {
        std::string big(16 << 20, 'x');
        dlg.AddAttachment(dir.Write("big.bin", big));
    }
    static bool InBody(CSendProgressDlg* s) {
        return QTest::qWaitFor([s] { return Log(s).find("Sending message body...") != std::string::npos; }, 10000);
    }
};

TEST_F(StalledSend, CancelGivesTheWindowBackAtOnce) {
    auto dlg = Open(server.Port());
    AttachLargeFile(*dlg);
    std::set<std::string> threadsBefore = PlainThreads();
    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    CSendProgressDlg* s = SendWindow();
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(InBody(s)) << Log(s);
    std::set<std::string> worker = Added(threadsBefore, PlainThreads());
    ASSERT_EQ(worker.size(), 1u) << "the worker thread is not told apart";
    std::vector<std::string> temp = TempMessages();
    ASSERT_EQ(temp.size(), 1u);
    EXPECT_EQ(temp[0].rfind("EML", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat((tmp.Path() + temp[0]).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "only the sender may read the waiting message";
    EXPECT_EQ(s->Button()->text(), "Cancel");

    auto started = std::chrono::steady_clock::now();
    PressButton(s);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500)) << "Cancel must not wait";
    EXPECT_TRUE(!dlg->IsBusy());
    EXPECT_EQ(SendWindow(), nullptr);
    EXPECT_TRUE(TempMessages().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Added(threadsBefore, PlainThreads()).empty(); }, 2000))
        << "the stopped worker is still running";
    EXPECT_TRUE(QTest::qWaitFor([] { return SendWindows().empty(); }, 2000));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(StalledSend, ClosingTheProgramCancelsTheSend) {
    auto dlg = Open(server.Port());
    AttachLargeFile(*dlg);
    std::set<std::string> threadsBefore = PlainThreads();
    dlg->Ui().pSubjectEdit->setText("Kept");
    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    CSendProgressDlg* s = SendWindow();
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(InBody(s)) << Log(s);
    std::set<std::string> worker = Added(threadsBefore, PlainThreads());
    ASSERT_EQ(worker.size(), 1u) << "the worker thread is not told apart";
    ASSERT_EQ(TempMessages().size(), 1u);

    dlg->close();
    EXPECT_EQ(prompts.questions.size(), 1u) << "closing mid-send asks first";
    EXPECT_TRUE(dlg->isVisible());
    prompts.answerYes = true;
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(SendWindow(), nullptr);
    EXPECT_TRUE(TempMessages().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Added(threadsBefore, PlainThreads()).empty(); }, 2000));
    dlg.reset();
    EXPECT_TRUE(QTest::qWaitFor([] { return SendWindows().empty(); }, 2000));
    CMainDlg again(CMainDlg::Services{&prompts, &shell, fixed.Get(), store.get()});
    EXPECT_EQ(again.m_settings.MailSubject, "Kept") << "the header fields are still saved on the way out";
}

TEST_F(SendEmail, NoticesOfACancelledSendNeverReachTheNextOne) {
    testutil::ScriptedServer first("S: 220 first server\nC: HELO host\nS: 250 hi\nC: MAIL FROM: <a@x.org>\n"
                                   "S: 250 ok\nC: RCPT TO: <b@y.org>\nP: 3000\n");
    testutil::RealSmtpServer second;
    auto dlg = Open(first.Port());
    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    ASSERT_NE(SendWindow(), nullptr);
    // The worker talks while the GUI thread is busy: its lines wait in the queue.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    dlg->OnSendClose();  // what the Cancel button does, before the queue is served
    EXPECT_TRUE(!dlg->IsBusy());

    dlg->m_settings.SmtpPort = second.Port();
    dlg->OnSendEmail();  // called directly: a click might serve the queue first
    CSendProgressDlg* s = SendWindow();
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(WaitForEnd(s)) << Log(s);
    std::string log = Log(s);
    EXPECT_EQ(log.find("first server"), std::string::npos) << log;
    EXPECT_EQ(log.rfind(">>> Initiating...\n>>> Connecting to 127.0.0.1:" + std::to_string(second.Port()) +
                            "...\n>>> OK\n",
                        0),
              0u)
        << log;
    EXPECT_TRUE(log.ends_with("\nSent email successfully.\n")) << log;
}

TEST_F(SendEmail, TheLogKeepsItsTextAndEnterOrEscCloseOnlyAfterTheEnd) {
    testutil::ScriptedServer server("P: 1000\nS: 554 no service here\n");
    auto dlg = Open(server.Port());
    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    CSendProgressDlg* s = SendWindow();
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->windowTitle().isEmpty()) << "a normal window with a title";
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(s, key);
    QApplication::processEvents();
    EXPECT_EQ(SendWindow(), s) << "keys do not cancel a running send";
    ASSERT_TRUE(WaitForEnd(s)) << Log(s);
    std::string log = Log(s);

    CLogEdit* box = s->LogBox();
    box->setFocus();
    QTest::keyClicks(box, "typed");
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Log(s), log);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), log) << "the whole log can be copied";
    EXPECT_TRUE(dlg->IsBusy()) << "the main window waits for Close";

    QTest::keyClick(s, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(SendWindow(), nullptr);
    EXPECT_FALSE(dlg->IsBusy());
    EXPECT_EQ(server.Finish(), "");
}

TEST(LogEdit, FollowsTheLastLineUnlessScrolledUp) {
    CLogEdit box;
    box.resize(300, 120);
    box.show();
    box.AppendLog(">>> QUIT\r\n");
    box.AppendLog("\r\n.\r\n");
    box.AppendLog("\r\nSent email successfully.");
    EXPECT_EQ(box.toPlainText().toStdString(), ">>> QUIT\n\n.\n\nSent email successfully.\n");

    for (int i = 0; i < 100; ++i) box.AppendLog("<<< 250-line " + std::to_string(i));
    QApplication::processEvents();
    QScrollBar* bar = box.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(3);
    box.AppendLog("<<< more");
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 3) << "a user reading further up is not pulled down";
    EXPECT_TRUE(box.toPlainText().endsWith("<<< more\n"));
}

} // namespace
