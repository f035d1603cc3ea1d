// Send to List from the window, headless, against a real aiosmtpd on 127.0.0.1.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <map>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/ListSendDlg.h"
#include "app/MainDlg.h"
#include "app/WindowState.h"
#include "smtp/RealSmtpServer.h"

namespace {

struct ListSend : WindowTest {
    std::string page = dir.Write("page.html", "<html><body><p>Dear {{name|friend}},</p><p>news.</p></body></html>\n");

    std::unique_ptr<CMainDlg> Open(int port, const std::string& subject = "News for {{name|you}}") {
        auto dlg = NewWindow();
        dlg->m_settings.options.SmtpServer = "127.0.0.1";
        dlg->m_settings.options.SmtpPort = port;
        dlg->show();
        dlg->Ui().pHtmlEdit->setText(QString::fromStdString(page));
        dlg->Ui().pSubjectEdit->setText(QString::fromStdString(subject));
        dlg->Ui().pFromEdit->setText("Club <club@x.org>");
        return dlg;
    }
    // Send to List with the list chosen in its file dialog.
    CListSendDlg* OpenList(CMainDlg& dlg, const std::string& list) {
        prompts.fileAnswers.push_back(QString::fromStdString(list));
        dlg.Commands().pSendToList->trigger();
        CListSendDlg* l = dlg.ListSendWindow();
        EXPECT_TRUE(l && QTest::qWaitFor([&] { return !l->Ui().pListEdit->text().isEmpty(); }, 2000));
        return l;
    }
    static QStringList Column(QTableWidget* t, int col) {
        QStringList texts;
        for (int r = 0; r < t->rowCount(); ++r) texts << (t->item(r, col) ? t->item(r, col)->text() : QString());
        return texts;
    }
    std::string SavedList() {
        WindowState saved(*store);
        saved.Load();
        return saved.ListSendFile;
    }
    static int Received(const testutil::RealSmtpServer& server) {
        int n = 0;
        while (!server.Envelope(n + 1).empty()) ++n;
        return n;
    }
};

TEST_F(ListSend, ShowsTheListAndTheFirstMessagesBeforeSending) {
    const std::string good = "email,name\r\nann@x.org,Ann\r\nnot an address,Bob\r\nANN@x.org,Ann again\r\ncy@x.org,\r\n";
    struct Case {
        const char* name;
        std::string csv, subject;
        const char* chooseColumn;  // picked in the combo after the list is read, or null
        QString problem;           // a part of it; empty: none shown, Send enabled
        QString columns;
        QStringList leftOutLines, to, subjects;
    } cases[] = {
        {"bad and duplicate rows", good, "News for {{name|you}}", nullptr, "", "email, name", {"3", "4"},
         {"\"Ann\" <ann@x.org>", "cy@x.org"}, {"News for Ann", "News for you"}},
        {"an unknown field", good, "News for {{town}}", nullptr, "town", "email, name", {"3", "4"}, {}, {}},
        {"no email column", "mail,name\nann@x.org,Ann\n", "Hi", nullptr, "email", "mail, name", {}, {}, {}},
        {"the column chosen", "mail,name\nann@x.org,Ann\n", "Hi", "mail", "", "mail, name", {}, {"\"Ann\" <ann@x.org>"},
         {"Hi"}},
        {"no CSV", "email\n\"ann@x.org\n", "Hi", nullptr, "quote", "", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto dlg = Open(25, c.subject);
        CListSendDlg* l = OpenList(*dlg, dir.Write("list.csv", c.csv));
        ASSERT_NE(l, nullptr);
        EXPECT_TRUE(dlg->IsBusy() && !dlg->Commands().pSendToList->isEnabled())
            << "the fields it sends wait while it is open";
        if (c.chooseColumn) {
            int i = l->Ui().pColumn->findText(c.chooseColumn);
            ASSERT_GE(i, 0);
            l->Ui().pColumn->setCurrentIndex(i);
            emit l->Ui().pColumn->activated(i);
        }
        const CListSendDlg::Widgets& ui = l->Ui();
        EXPECT_EQ(ui.pColumns->text(), c.columns);
        EXPECT_EQ(ui.pProblem->isVisibleTo(l), !c.problem.isEmpty());
        EXPECT_TRUE(ui.pProblem->text().contains(c.problem)) << ui.pProblem->text().toStdString();
        EXPECT_EQ(ui.pSend->isEnabled(), c.problem.isEmpty());
        EXPECT_EQ(Column(ui.pLeftOut, 0), c.leftOutLines);
        EXPECT_EQ(Column(ui.pPreview, 0), c.to);
        EXPECT_EQ(Column(ui.pPreview, 1), c.subjects);
        if (!c.to.isEmpty()) {
            EXPECT_TRUE(ui.pPageText->toPlainText().contains("Dear Ann,")) << ui.pPageText->toPlainText().toStdString();
        }
        l->close();
        EXPECT_FALSE(dlg->IsBusy());
    }
}

// However a run is held or stopped, every recipient gets one message in the end.
TEST_F(ListSend, EachRecipientGetsOneMessageThroughPauseStopAndContinue) {
    enum class Then { Resume, Cancel, QuitProgram };
    std::string csv = "email,name\n";
    for (int i = 1; i <= 8; ++i) csv += "p" + std::to_string(i) + "@x.org,P" + std::to_string(i) + "\n";
    for (Then then : {Then::Resume, Then::Cancel, Then::QuitProgram}) {
        SCOPED_TRACE(static_cast<int>(then));
        testutil::RealSmtpServer server;
        testutil::TempDir listDir;
        const std::string list = listDir.Write("list.csv", csv);
        auto dlg = Open(server.Port());
        CListSendDlg* l = OpenList(*dlg, list);
        ASSERT_NE(l, nullptr);
        l->SetRate(1200);  // 50 ms apart: time to pause on the way
        QTest::mouseClick(l->Ui().pSend, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Received(server) >= 2; }, 10000));
        QTest::mouseClick(l->Ui().pPause, Qt::LeftButton);
        QTest::qWait(200);  // the message under way ends
        const int held = Received(server);
        QTest::qWait(300);
        EXPECT_EQ(Received(server), held) << "nothing goes while paused";
        EXPECT_LT(held, 8);
        EXPECT_EQ(l->Ui().pBar->value(), held) << "the bar counts the messages settled";
        EXPECT_EQ(SavedList(), list) << "a running send is recorded for the next start";
        if (then == Then::Resume) {
            QTest::mouseClick(l->Ui().pPause, Qt::LeftButton);
        } else if (then == Then::Cancel) {
            QTest::mouseClick(l->Ui().pClose, Qt::LeftButton);
            ASSERT_TRUE(QTest::qWaitFor([&] { return l->IsEnded(); }, 10000));
            EXPECT_TRUE(l->Report().bStopped);
            EXPECT_EQ(l->Report().nSent, static_cast<std::size_t>(held));
            l->close();
            l = OpenList(*dlg, list);
            ASSERT_NE(l, nullptr);
            l->SetRate(0);
            QTest::mouseClick(l->Ui().pSend, Qt::LeftButton);
        } else {
            prompts.answerYes = true;
            dlg->close();
            ASSERT_EQ(prompts.questions.size(), 1u) << "quitting mid-send asks first";
            EXPECT_EQ(dlg->ListSendWindow(), nullptr) << "its send stopped and waited for";
            dlg.reset();
            dlg = Open(server.Port());  // the next start offers to continue
            ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->ListSendWindow() != nullptr; }, 2000));
            EXPECT_TRUE(prompts.questions.back().contains("list.csv"));
            l = dlg->ListSendWindow();
            EXPECT_EQ(l->Ui().pListEdit->text().toStdString(), list);
            ASSERT_TRUE(l->Ui().pSend->isEnabled()) << l->Ui().pProblem->text().toStdString();
            QTest::mouseClick(l->Ui().pSend, Qt::LeftButton);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return l->IsEnded(); }, 20000));
        const ListSendReport& report = l->Report();
        EXPECT_FALSE(report.bFailed || report.bStopped) << l->Ui().pSummary->text().toStdString();
        EXPECT_EQ(report.nSent, 8u) << "the report counts those of the run before too";
        EXPECT_TRUE(l->Ui().pSummary->text().contains(QString::fromStdString(report.strReportPath)));
        EXPECT_FALSE(report.strReportPath.empty());
        EXPECT_EQ(Column(l->Ui().pRecipients, 2).count("sent"), 8);

        std::map<std::string, int> got;
        ASSERT_EQ(Received(server), 8);
        for (int n = 1; n <= 8; ++n) {
            std::string env = server.Envelope(n), msg = server.Message(n);
            std::string to = env.substr(env.find("@x.org\n") + 7);  // after the login line and the sender
            to.pop_back();
            ++got[to];
            std::string name = "P" + to.substr(1, to.find('@') - 1);
            EXPECT_NE(msg.find("To: \"" + name + "\" <" + to + ">\r\n"), std::string::npos) << msg;
            EXPECT_NE(msg.find("Subject: News for " + name + "\r\n"), std::string::npos) << msg;
        }
        EXPECT_EQ(got.size(), 8u) << "each recipient once";
        EXPECT_EQ(SavedList(), "") << "a send that ended is not offered again";
        l->close();
        EXPECT_FALSE(dlg->IsBusy());
        prompts.questions.clear();
        prompts.answerYes = false;
    }
}

} // namespace
