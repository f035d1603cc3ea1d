// Send Email from the window, headless, against real and scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/MainDlg.h"
#include "smtp/RealSmtpServer.h"
#include "smtp/ScriptedServer.h"
#include "ui/LogEdit.h"
#include "ui/SendProgressDlg.h"

namespace {

using testutil::TempDir;

// Threads of this process that kept its name: ours, not the toolkit's named pool.
std::set<std::string> PlainThreads() {
    std::string name = testutil::ReadFile("/proc/self/comm");
    std::set<std::string> tids;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        if (testutil::ReadFile(e.path().string() + "/comm") == name) tids.insert(e.path().filename().string());
    return tids;
}

std::size_t Added(const std::set<std::string>& before, const std::set<std::string>& now) {
    std::size_t n = 0;
    for (const std::string& t : now) n += !before.count(t);
    return n;
}

struct SendEmail : WindowTest {
    TempDir tmp;  // the temporary folder of the sends, so that leftovers show
    testutil::ScopedEnv tmpdir{"TMPDIR", tmp.Path()};
    std::string page;

    void SetUp() override {
        page = dir.Write("page.html", "<html><body><p>Hello</p><img src=\"logo.png\" alt=\"Logo\"></body></html>\n");
        dir.Write("logo.png", std::string("\x89PNG\r\n\x1a\n", 8));
    }
    void TearDown() override { QApplication::processEvents(); }

    std::unique_ptr<CMainDlg> Open(int port) {
        auto dlg = NewWindow();
        dlg->m_settings.options.SmtpServer = "127.0.0.1";
        dlg->m_settings.options.SmtpPort = port;
        dlg->show();
        dlg->Ui().pHtmlEdit->setText(QString::fromStdString(page));
        dlg->Ui().pSubjectEdit->setText("News");
        dlg->Ui().pFromEdit->setText("Ann <a@x.org>; second@x.org");
        dlg->Ui().pToEdit->setText("b@y.org");
        return dlg;
    }
    // Files left in the temporary folder (a test server keeps its own folder there).
    std::vector<std::string> TempMessages() const {
        std::vector<std::string> found;
        for (const std::string& name : testutil::ListFolder(tmp.Path()))
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
    static CSendProgressDlg* Start(CMainDlg& dlg) {
        QTest::mouseClick(dlg.Ui().pSendEmail, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.IsChecking(); }));  // the page is checked first
        return SendWindow();
    }
    static std::string Log(CSendProgressDlg* s) { return s->LogBox()->toPlainText().toStdString(); }
    static bool WaitForEnd(CSendProgressDlg* s, int ms = 20000) {
        return QTest::qWaitFor([s] { return s->IsFinished(); }, ms);
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
        const char* message;  // the start of it
        QLineEdit* CMainDlg::Widgets::*focus;
        const char* server = "127.0.0.1";
    } cases[] = {
        {"", "a@x.org", "b@y.org", "", "Please choose an HTML file.", &CMainDlg::Widgets::pHtmlEdit},
        {"p.html", "Ann <>", "b@y.org", "", "Please enter mail \"From\".", &CMainDlg::Widgets::pFromEdit},
        {"p.html", "a@x.org", " ; , ;", "", "Please enter mail \"To\".", &CMainDlg::Widgets::pToEdit},
        {"p.html", "a@x.org", "b@y.org", "Cy <c<d@z.org>", "", &CMainDlg::Widgets::pCcEdit},
        {"p.html", "a@x.org", "b@y.org", "", "No SMTP server is set.", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cc + std::string(c.message));
        prompts.messages.clear();
        dlg->Ui().pHtmlEdit->setText(c.html);
        dlg->Ui().pFromEdit->setText(c.from);
        dlg->Ui().pToEdit->setText(c.to);
        dlg->Ui().pCcEdit->setText(c.cc);
        dlg->m_settings.options.SmtpServer = c.server;
        dlg->Ui().pSubjectEdit->setFocus();
        EXPECT_EQ(Start(*dlg), nullptr);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_FALSE(prompts.messages[0].text.isEmpty());
        EXPECT_TRUE(prompts.messages[0].text.startsWith(c.message)) << prompts.messages[0].text.toStdString();
        EXPECT_TRUE(!c.focus || Focused(dlg->Ui().*c.focus));
        EXPECT_FALSE(dlg->IsBusy());
    }
    EXPECT_TRUE(SendWindows().empty());
}

TEST_F(SendEmail, SendsWhatTheWindowHolds) {
    testutil::RealSmtpServer server("ann", "secret");
    auto dlg = Open(server.Port());
    dlg->m_settings.options.SrvReqAuth = true;
    dlg->m_settings.options.AuthName = "ann";
    dlg->m_settings.options.AuthPass = "secret";
    dlg->Ui().pToEdit->setText("b@y.org; , Bob <bob@y.org>");
    dlg->Ui().pCcEdit->setText("c@z.org");
    std::string notes = dir.Write("notes.txt", "attached\n");
    dlg->AddAttachment(notes);

    // The fields are read and checked once, at the click: what was checked is what is sent.
    fixed.random.next = 0;
    QTest::mouseClick(dlg->Ui().pSendEmail, Qt::LeftButton);
    dlg->m_settings.mail.MailTo.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->IsChecking(); }));
    CSendProgressDlg* s = SendWindow();
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Button()->text(), "Cancel");
    ASSERT_TRUE(WaitForEnd(s)) << Log(s);
    std::string log = Log(s);
    EXPECT_NE(log.find(">>> QUIT\n<<< 221 "), std::string::npos) << "the dialogue is shown as it goes\n" << log;
    EXPECT_TRUE(log.ends_with("\nSent email successfully.\n")) << log;
    EXPECT_EQ(dlg->Ui().pStatusText->text(),
              "Sent to 3 recipients at " + QDateTime::fromSecsSinceEpoch(fixed.clock.now).toString("HH:mm"));
    EXPECT_FALSE(dlg->Ui().pStatusOpen->isVisible()) << "nothing was saved to open";
    EXPECT_EQ(s->Status(), "Sending email...OK");
    EXPECT_TRUE(s->BytesLabel()->text().contains(" of ")) << "the bytes of the body were counted";
    EXPECT_EQ(s->Button()->text(), "Close");
    EXPECT_TRUE(dlg->IsBusy()) << "the main window waits for Close";
    EXPECT_TRUE(TempMessages().empty()) << "the temporary message goes when the send ends";
    // The message is written from the check's plan: its random draws are made once.
    EXPECT_EQ(fixed.random.next, PlanAfresh(dlg->MakeComposeJob("")).first);

    EXPECT_EQ(server.Envelope(1), "ann\na@x.org\nb@y.org\nbob@y.org\nc@z.org\n");
    EXPECT_EQ(server.Message(1).rfind(
                  "From: Ann <a@x.org>, second@x.org\r\nTo: b@y.org, Bob <bob@y.org>\r\nCc: c@z.org\r\nSubject: News\r\n",
                  0),
              0u);
    EXPECT_EQ(testutil::CheckEml(dir.Write("stored.eml", server.Message(1)),
                                 {"--resource", dir.Path() + "logo.png", "--attach", notes}),
              "");

    PressButton(s);
    EXPECT_FALSE(dlg->IsBusy());
    EXPECT_TRUE(QTest::qWaitFor([] { return SendWindows().empty(); }, 2000)) << "the closed window deletes itself";
}

// Each way a send can end, as the send window reports it.
TEST_F(SendEmail, TheWindowSaysHowTheSendEnded) {
    const std::string greet = "S: 220 ready\nC: *\n";
    const std::string help = "Failed to send email. Please check SMTP settings or contact us at support@quillory.example.";
    // What a failure says is the outcome's own text (see the command line's
    // table); here, one failure of each kind the window handles apart.
    struct Case {
        const char* name;
        std::string script;  // empty: no server, nothing may connect
        std::string to;
        std::string tmpdir;  // a temporary folder that is not there
        bool ok;
        std::string outcome;  // the last lines of the log
    } cases[] = {
        {"one of two recipients refused",
         greet + "S: 250 hi\nC: *\nS: 250 ok\nC: *\nS: 250 ok\nC: *\nS: 550 5.1.1 no such user\nC: DATA\n"
                 "S: 354 go\nD:\nS: 250 queued\nC: QUIT\nS: 221 bye\n",
         "b@y.org, c@z.org", "", true, "Sent email successfully.\nNot delivered to: c@z.org"},
        {"server closes the connection", greet, "b@y.org", "", false,
         "The server closed the connection (EHLO/HELO).\n" + help},
        {"message cannot be written", "", "b@y.org", dir.Path() + "gone/", false,
         "The message could not be created: cannot create a temporary file: No such file or directory.\n" + help},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<testutil::ScriptedServer> server;
        if (!c.script.empty()) server = std::make_unique<testutil::ScriptedServer>(c.script);
        auto dlg = Open(server ? server->Port() : 1);
        dlg->Ui().pToEdit->setText(QString::fromStdString(c.to));
        std::optional<testutil::ScopedEnv> tmpdirGone;
        if (!c.tmpdir.empty()) tmpdirGone.emplace("TMPDIR", c.tmpdir);
        CSendProgressDlg* s = Start(*dlg);
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(WaitForEnd(s)) << Log(s);
        std::string log = Log(s);
        EXPECT_TRUE(log.ends_with("\n" + c.outcome + "\n")) << log;
        std::string firstLine = c.outcome.substr(0, c.outcome.find('\n'));
        EXPECT_EQ(log.find(firstLine), log.rfind(firstLine)) << "said once\n" << log;
        EXPECT_EQ(s->Status().toStdString(), c.ok ? "Sending email...OK" : "Sending email...Failure");
        EXPECT_EQ(s->IsFailed(), !c.ok);
        EXPECT_FALSE(s->BytesLabel()->text().startsWith("0 B of 0 B")) << "nothing counted, nothing said";
        EXPECT_EQ(s->LogBox()->horizontalScrollBar()->maximum(), 0) << "long lines wrap";
        QProgressBar* bar = s->ProgressBar();
        EXPECT_EQ(bar->value(), bar->maximum());
        EXPECT_EQ(s->Button()->text(), "Close");
        EXPECT_TRUE(TempMessages().empty());
        if (server) {
            EXPECT_EQ(server->Finish(), "");
        }
        PressButton(s);
        EXPECT_FALSE(dlg->IsBusy());
        EXPECT_TRUE(prompts.messages.empty());
    }
}

// A server that stops reading in the middle of a large message, so the send
// hangs in its body until it is stopped: by Cancel, or by closing the program.
TEST_F(SendEmail, StoppingAStalledSendGivesTheWindowBackAtOnce) {
    dir.Write("big.bin", std::string(16 << 20, 'x'));
    for (bool closeProgram : {false, true}) {
        SCOPED_TRACE(closeProgram ? "closing the program" : "Cancel");
        testutil::ScriptedServer server("S: 220 ready\nC: *\nS: 250 hi\nC: *\nS: 250 ok\nC: *\nS: 250 ok\n"
                                        "C: DATA\nS: 354 go\nP: 4000\n",
                                        4096);
        auto dlg = Open(server.Port());
        dlg->AddAttachment(dir.Path() + "big.bin");
        dlg->Ui().pSubjectEdit->setText("Kept");
        std::set<std::string> threadsBefore = PlainThreads();
        CSendProgressDlg* s = Start(*dlg);
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Log(s).find("Sending message body...") != std::string::npos; }, 10000))
            << Log(s);
        ASSERT_EQ(Added(threadsBefore, PlainThreads()), 1u) << "the worker thread is not told apart";
        ASSERT_EQ(TempMessages().size(), 1u);

        auto started = std::chrono::steady_clock::now();
        if (closeProgram) {
            dlg->close();
            EXPECT_EQ(prompts.questions.size(), 1u) << "closing mid-send asks first";
            EXPECT_TRUE(dlg->isVisible());
            prompts.answerYes = true;
            dlg->close();
            EXPECT_FALSE(dlg->isVisible());
        } else {
            PressButton(s);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500))
                << "Cancel must not wait";
            EXPECT_FALSE(dlg->IsBusy());
        }
        EXPECT_EQ(SendWindow(), nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return TempMessages().empty(); }, 2000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return Added(threadsBefore, PlainThreads()) == 0; }, 2000))
            << "the stopped worker is still running";
        dlg.reset();
        EXPECT_TRUE(QTest::qWaitFor([] { return SendWindows().empty(); }, 2000));
        EXPECT_TRUE(prompts.messages.empty());
    }
    EXPECT_EQ(NewWindow()->m_settings.mail.MailSubject, "Kept") << "the header fields are still saved on the way out";
}

TEST_F(SendEmail, NoticesOfACancelledSendNeverReachTheNextOne) {
    testutil::ScriptedServer first("S: 220 first server\nC: *\nS: 250 hi\nC: *\nS: 250 ok\nC: *\nP: 3000\n");
    testutil::RealSmtpServer second;
    auto dlg = Open(first.Port());
    ASSERT_NE(Start(*dlg), nullptr);
    // The worker talks while the GUI thread is busy: its lines wait in the queue.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    dlg->OnSendClose();  // what the Cancel button does, before the queue is served
    EXPECT_FALSE(dlg->IsBusy());

    dlg->m_settings.options.SmtpPort = second.Port();
    dlg->OnSendEmail();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg->IsChecking(); }));
    CSendProgressDlg* s = SendWindow();
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(WaitForEnd(s)) << Log(s);
    std::string log = Log(s);
    EXPECT_EQ(log.find("first server"), std::string::npos) << log;
    EXPECT_NE(log.find(":" + std::to_string(second.Port()) + "..."), std::string::npos) << log;
    EXPECT_FALSE(s->IsFailed()) << log;
}

TEST_F(SendEmail, TheLogKeepsItsTextAndEnterOrEscCloseOnlyAfterTheEnd) {
    testutil::ScriptedServer server("P: 1000\nS: 554 no service here\n");
    auto dlg = Open(server.Port());
    CSendProgressDlg* s = Start(*dlg);
    ASSERT_NE(s, nullptr);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(s, key);
    QApplication::processEvents();
    EXPECT_EQ(SendWindow(), s) << "keys do not cancel a running send";
    // Closing the program asks while the send runs; the question goes when the send ends.
    prompts.answerYes = true;  // were it still up, the answer would quit
    prompts.whileAsking = [&] { EXPECT_TRUE(WaitForEnd(s)) << Log(s); };
    dlg->close();
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(dlg->isVisible()) << "the question closed itself";
    prompts.whileAsking = nullptr;
    ASSERT_TRUE(s->IsFinished());
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
    EXPECT_EQ(box.toPlainText().toStdString(), ">>> QUIT\n\n.\n");

    for (int i = 0; i < 100; ++i) box.AppendLog("<<< 250-line " + std::to_string(i));
    QApplication::processEvents();
    QScrollBar* bar = box.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(3);
    box.AppendLog("<<< more");
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 3) << "a user reading further up is not pulled down";
}

} // namespace
