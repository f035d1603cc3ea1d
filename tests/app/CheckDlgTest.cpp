// The page's report in the window: the Check command, and the report before
// Create Email and Send Email, driven as a user would, headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTableView>
#include <QTableWidget>
#include <QTextBlock>
#include <QTest>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/CheckDlg.h"
#include "app/MainDlg.h"
#include "ui/AttachmentList.h"
#include "ui/SendProgressDlg.h"

namespace {

using check::Severity;

TEST(CheckDialog, SortsPlacesAsNumbersAndSeveritiesByRank) {
    check::Report report;
    report.strPage = "/site/page.html";
    const struct {
        const char* source;
        std::uint32_t line, column;
        Severity severity;
    } rows[] = {{"", 10, 2, Severity::Warning}, {"", 9, 30, Severity::Ok}, {"/site/a.css", 1, 5, Severity::Info},
                {"", 9, 4, Severity::Error}, {"", 100, 1, Severity::Info}};
    for (const auto& r : rows) {
        check::Row row;
        row.strSource = r.source;
        row.nLine = r.line;
        row.nColumn = r.column;
        row.severity = r.severity;
        report.listRows.push_back(row);
    }
    CCheckDlg dlg(nullptr, report);
    QTableView* table = dlg.Table();
    auto places = [&] {
        QStringList out;
        for (int i = 0; i < table->model()->rowCount(); ++i) {
            out << table->model()->index(i, CCheckDlg::kPlaceColumn).data().toString();
            EXPECT_FALSE(table->model()->index(i, CCheckDlg::kSeverityColumn).data(Qt::DecorationRole).value<QIcon>().isNull());
        }
        return out;
    };
    EXPECT_EQ(places(), (QStringList{"10:2", "9:30", "a.css 1:5", "9:4", "100:1"})) << "the report's order at first";
    const struct {
        int column;
        Qt::SortOrder order;
        QStringList places;
    } cases[] = {
        {CCheckDlg::kPlaceColumn, Qt::AscendingOrder, {"9:4", "9:30", "10:2", "100:1", "a.css 1:5"}},
        {CCheckDlg::kPlaceColumn, Qt::DescendingOrder, {"a.css 1:5", "100:1", "10:2", "9:30", "9:4"}},
        // Ties keep the report's order.
        {CCheckDlg::kSeverityColumn, Qt::DescendingOrder, {"9:4", "10:2", "a.css 1:5", "100:1", "9:30"}},
    };
    for (const auto& c : cases) {
        table->sortByColumn(c.column, c.order);
        EXPECT_EQ(places(), c.places) << c.column << " " << c.order;
    }
}

// At the size it opens at, on a small screen or at 2x scale, the reason
// wraps: no horizontal scroll bar, and a long reason shows over lines.
TEST(CheckDialog, TheReasonWrapsWithoutAHorizontalScrollBar) {
    check::Report report;
    report.strPage = "/site/page.html";
    check::Row row;
    row.strValue = "https://cdn.example.com/images/2026/winter/header-background.png";
    row.strWhy = "left as a remote address: most mail programs block it until the reader allows; Outlook for "
                 "Windows shows no SVG";
    report.listRows.assign(3, row);
    CCheckDlg dlg(nullptr, report);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QTableView* table = dlg.Table();
    EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0) << "dialog " << dlg.width() << " px wide";
    const QFontMetrics fm(table->font());
    const int width = table->columnWidth(CCheckDlg::kWhyColumn);
    EXPECT_LT(width, fm.horizontalAdvance(QString::fromStdString(row.strWhy)));
    EXPECT_GE(table->rowHeight(0), fm.boundingRect(QRect(0, 0, width - 6, 1000), Qt::TextWordWrap,
                                                   QString::fromStdString(row.strWhy)).height());
}

// A warning's kind is the check's id, whatever its sentence says, so a
// reworded sentence keeps what users hid; a row warns by the kinds that are
// warnings in their own right, so a remote SVG image is hidden as an SVG.
TEST(CheckDialog, WarningKindsAreIdsWhateverTheText) {
    using check::Reason;
    check::Report report;
    const struct {
        Reason reason;
        bool svg;
        Severity severity;
        const char* why;
    } rows[] = {{Reason::Srcset, false, Severity::Warning, "srcset stays as written"},
                {Reason::Srcset, false, Severity::Warning, "srcset, said otherwise"},
                {Reason::RemoteImage, true, Severity::Warning, "remote; no SVG in Outlook"},
                {Reason::CssUrl, true, Severity::Warning, "url(); no SVG in Outlook"},
                {Reason::MissingFile, true, Severity::Error, "missing"},
                {Reason::RemoteImage, false, Severity::Info, "remote"}};
    for (const auto& r : rows) {
        check::Row row;
        row.reason = r.reason;
        row.bSvg = r.svg;
        row.severity = r.severity;
        row.strWhy = r.why;
        report.listRows.push_back(row);
    }
    report.listFindings = {{check::FindingKind::ImageWithoutAlt, Severity::Warning, "1 image without alt text"},
                           {check::FindingKind::ImageWithoutAlt, Severity::Warning, "2 images lack alt text"},
                           {check::FindingKind::RemoteImages, Severity::Info, "2 remote images"}};
    std::vector<std::pair<std::string, unsigned>> kinds;
    for (const WarningKind& k : WarningKinds(report)) kinds.emplace_back(k.strId, k.nCount);
    EXPECT_EQ(kinds, (std::vector<std::pair<std::string, unsigned>>{
                         {"srcset", 2}, {"svg", 2}, {"css-url", 1}, {"image-without-alt", 2}}));
}

struct ReportBeforeSending : WindowTest {
    void SetUp() override { dir.Write("a.png", "png"); }
    std::unique_ptr<CMainDlg> Open() {
        auto dlg = NewWindow();
        dlg->show();
        dlg->Ui().pFromEdit->setText("a@x.org");
        dlg->Ui().pToEdit->setText("b@y.org");
        dlg->m_settings.options.SmtpServer = "127.0.0.1";  // should a send start, it fails at once
        dlg->m_settings.options.SmtpPort = 1;
        return dlg;
    }
    // Starts the command with the page; act gets the report if one comes.
    // True when it came.
    bool Run(CMainDlg& dlg, QPushButton* command, const std::string& page, const std::function<void(CCheckDlg&)>& act) {
        dlg.Ui().pHtmlEdit->setText(QString::fromStdString(page));
        ModalWatch<CCheckDlg> watch(act);
        QTest::mouseClick(command, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.IsChecking(); }, 20000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.IsBusy(); }, 20000));
        return watch.bCame;
    }
    // The Check command by its shortcut, with the focus in a field.
    void CheckByKey(CMainDlg& dlg, const std::function<void(CCheckDlg&)>& act) {
        ModalWatch<CCheckDlg> watch(act);
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QTest::keyClick(dlg.Ui().pSubjectEdit, Qt::Key_K, Qt::ControlModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return watch.bCame && !dlg.IsBusy(); }, 20000));
    }
};

// Everything the report says, for a search.
QString AllText(CCheckDlg& d) {
    QString text;
    QAbstractItemModel* m = d.Table()->model();
    for (int i = 0; i < m->rowCount(); ++i) text += m->index(i, CCheckDlg::kWhyColumn).data().toString() + "\n";
    if (auto* findings = d.findChild<QListWidget*>())
        for (int i = 0; i < findings->count(); ++i) text += findings->item(i)->text() + "\n";
    return text;
}

TEST_F(ReportBeforeSending, ErrorsAlwaysShowWarningsUntilSeenOrHiddenForTheirPage) {
    const std::string srcset = "<img src=a.png srcset=\"a.png 2x\" alt=x>";
    std::string warned = dir.Write("warned.html", srcset), other = dir.Write("other.html", srcset);
    std::string broken = dir.Write("broken.html", "<img src=gone.png alt=x>" + srcset);
    const struct {
        bool newWindow;  // a new session, over the same settings file
        const std::string& page;
        bool tick, goOn;  // what the user does with the report, if it comes
        bool shown;
        bool ticked;  // the box of the srcset warning, as the report comes
    } steps[] = {
        {false, warned, true, false, true, false},   // Cancel remembers nothing...
        {false, warned, false, true, true, false},   // ...neither the box nor the warning as seen
        {false, warned, false, true, false, false},  // seen in this session
        {true, warned, true, true, true, false},     // a new session has not seen it
        {true, warned, false, true, false, false},   // hidden, across a reload
        {false, other, false, true, true, false},    // but not for another page
        {false, broken, true, true, true, false},    // errors always show
        {false, broken, false, false, true, true},
    };
    std::unique_ptr<CMainDlg> dlg;
    int n = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << n);
        if (s.newWindow || !dlg) dlg = Open();  // never closed: the choice must have been saved at once
        std::string out = dir.Path() + "out" + std::to_string(n++) + ".eml";
        prompts.fileAnswers = {QString::fromStdString(out)};
        bool ticked = false, goOnEnabled = false;
        bool shown = Run(*dlg, dlg->Ui().pCreateEmail, s.page, [&](CCheckDlg& d) {
            ASSERT_EQ(d.KindBoxes().size(), 1u);
            ticked = d.KindBoxes()[0]->isChecked();
            goOnEnabled = d.GoOnButton()->isEnabled();
            EXPECT_EQ(d.GoOnButton()->text(), "Create Email");
            if (s.tick) d.KindBoxes()[0]->setChecked(true);
            if (s.goOn) d.GoOnButton()->click();
        });
        EXPECT_EQ(shown, s.shown);
        EXPECT_EQ(ticked, s.ticked);
        EXPECT_EQ(goOnEnabled, shown);
        EXPECT_EQ(testutil::FileExists(out), s.goOn) << "Cancel writes nothing";
        EXPECT_EQ(prompts.fileAnswers.empty(), s.goOn) << "Cancel asks for no file";
    }
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ReportBeforeSending, MissingFilesAndTheCheckCommand) {
    auto dlg = Open();
    std::string page = dir.Write("page.html", "<img src=\"a b.png\" alt=x>");
    std::string old = dir.Write("old.eml", "old message");
    prompts.fileAnswers = {QString::fromStdString(old)};
    dlg->AddAttachment(dir.Path() + "gone.zip");
    // A message that cannot be composed: the report says why, keeps the page's
    // rows, and only Cancel is left.
    for (QPushButton* command : {dlg->Ui().pCreateEmail, dlg->Ui().pSendEmail}) {
        bool goOn = true;
        int rows = 0;
        QString text;
        EXPECT_TRUE(Run(*dlg, command, page, [&](CCheckDlg& d) {
            goOn = d.GoOnButton()->isEnabled();
            rows = d.Table()->model()->rowCount();
            text = AllText(d);
        }));
        EXPECT_FALSE(goOn);
        EXPECT_EQ(rows, 1);
        EXPECT_TRUE(text.contains("gone.zip")) << text.toStdString();
        EXPECT_FALSE(dlg->IsBusy());
    }
    EXPECT_EQ(testutil::ReadFile(old), "old message");
    EXPECT_EQ(prompts.fileAnswers.size(), 1u);
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<CSendProgressDlg*>(w), nullptr);
    EXPECT_TRUE(prompts.messages.empty());

    // Ctrl+K, with the focus in a field: the report alone, with every row.
    dlg->AttachList()->clear();
    int rows = -1;
    bool closeOnly = false;
    QString text;
    CheckByKey(*dlg, [&](CCheckDlg& d) {
        rows = d.Table()->model()->rowCount();
        closeOnly = d.GoOnButton() == nullptr && d.KindBoxes().empty();
        text = AllText(d);
    });
    EXPECT_EQ(rows, 1);
    EXPECT_TRUE(closeOnly);
    EXPECT_TRUE(text.contains("missing file")) << text.toStdString();

    // A page that is not there is refused before any check, with the field's reason.
    dlg->Ui().pHtmlEdit->setText(QString::fromStdString(dir.Path() + "nothing.html"));
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(dlg->Ui().pSubjectEdit, Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains("There is no such file.")) << prompts.messages[0].text.toStdString();
    EXPECT_FALSE(dlg->IsBusy());
}

// The Check command checks the default clients' support; its tab follows the
// report, and a double-clicked feature is shown at its place, in the page or
// in the sheet it is written in.
TEST_F(ReportBeforeSending, TheCheckCommandShowsClientSupportAtItsPlaces) {
    auto dlg = Open();
    dir.Write("s.css", "p {\r\n  color: red; position: absolute }\r\n");
    // Lines end in CRLF; characters of 2, 3 and 4 bytes stand before a feature on its line.
    dlg->Ui().pHtmlEdit->setText(QString::fromStdString(dir.Write(
        "features.html", "<html><head><link rel=stylesheet href=s.css>\r\n<style>a:hover { color: red }</style>\r\n"
                         "</head><body><p>caf\u00e9 \u2014 \U0001F600 <video src=x.mp4></video>\r\n"
                         "<div style=\"display:flex\">x</div></body></html>\r\n")));
    const struct {
        const char* slug;
        const char* text;  // the view's
        const char* at;    // at the cursor
    } places[] = {{"html-video", "<html>", "<video"},
                  {"css-display-flex", "<html>", "display:flex"},
                  {"css-pseudo-class-hover", "<html>", ":hover"},
                  {"css-position", "p {", "position: absolute"}};
    CheckByKey(*dlg, [&](CCheckDlg& d) {
        ASSERT_NE(d.Tabs(), nullptr);
        const check::SupportReport& support = d.Report().clientSupport;
        std::vector<std::string> shown;
        for (const check::ClientScore& c : support.listClients) shown.push_back(c.strId);
        EXPECT_EQ(shown, check::DefaultClients());
        ASSERT_EQ(d.ClientTable()->rowCount(), static_cast<int>(shown.size()));
        QTableWidget* features = d.FeatureTable();
        ASSERT_EQ(features->rowCount(), static_cast<int>(support.listFeatures.size()));
        for (int i = 0; i < features->rowCount(); ++i) {
            const check::FeatureRow& f = support.listFeatures[features->item(i, 0)->data(Qt::UserRole).toUInt()];
            QStringList lacking;
            for (const check::ClientVerdict& v : f.listSupport)
                if (v.support == check::Support::No) lacking << QString::fromStdString(support.listClients[v.nClient].strName);
            EXPECT_EQ(features->item(i, CCheckDlg::kFeatureColumn)->text().toStdString(), f.strTitle);
            EXPECT_EQ(features->item(i, CCheckDlg::kLackingColumn)->text(), lacking.join(", ")) << f.strTitle;
        }
        d.Tabs()->setCurrentIndex(1);
        QApplication::processEvents();  // lays the tab out
        for (const auto& p : places) {
            SCOPED_TRACE(p.slug);
            auto f = std::find_if(support.listFeatures.begin(), support.listFeatures.end(),
                                  [&](const check::FeatureRow& r) { return r.strSlug == p.slug; });
            ASSERT_NE(f, support.listFeatures.end());
            QTableWidgetItem* cell = features->findItems(QString::fromStdString(f->strTitle), Qt::MatchExactly).value(0);
            ASSERT_NE(cell, nullptr);
            features->scrollToItem(cell);
            QRect rect = features->visualRect(features->model()->index(cell->row(), CCheckDlg::kFirstPlaceColumn));
            QTest::mouseClick(features->viewport(), Qt::LeftButton, {}, rect.center());  // a view takes no double click alone
            QTest::mouseDClick(features->viewport(), Qt::LeftButton, {}, rect.center());
            QTextCursor cursor = d.PageView()->textCursor();
            EXPECT_EQ(static_cast<std::uint32_t>(cursor.blockNumber() + 1), f->listPlaces[0].nLine);
            EXPECT_EQ(d.PageView()->extraSelections().value(0).cursor.blockNumber(), cursor.blockNumber());
            EXPECT_TRUE(cursor.block().text().mid(cursor.positionInBlock()).startsWith(p.at))
                << cursor.block().text().toStdString() << " at " << cursor.positionInBlock();
            EXPECT_TRUE(d.PageView()->toPlainText().startsWith(p.text));
        }
    });
}

// Check Links asks each address off the GUI thread; Stop ends a request that gets no answer.
TEST_F(ReportBeforeSending, CheckLinksRunsUntilStopped) {
    QTcpServer silent;  // takes the connection, never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    auto dlg = Open();
    dlg->Ui().pHtmlEdit->setText(QString::fromStdString(
        dir.Write("links.html", "<a href=\"http://127.0.0.1:" + std::to_string(silent.serverPort()) + "/\">x</a>")));
    CheckByKey(*dlg, [&](CCheckDlg& d) {
        d.LinksButton()->click();
        EXPECT_FALSE(d.LinksButton()->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 5000));
        d.StopButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return d.LinkTable()->rowCount() == 1; }, 3000)) << "Stop ended nothing";
        EXPECT_TRUE(d.LinkTable()->item(0, 2)->text().contains("stopped")) << d.LinkTable()->item(0, 2)->text().toStdString();
        EXPECT_TRUE(d.LinksButton()->isEnabled());
    });
}

// The pid of this program's SpamAssassin child, or 0.
int SpamChild() {
    std::string out;
    testutil::RunCommand("pgrep -P " + std::to_string(getpid()) + " -x spamassassin", &out);
    return std::atoi(out.c_str());
}

// SpamAssassin's verdict comes into its tab while the report is up; Stop, or
// closing the report, ends the run at once with nothing left behind: shown
// with a stand-in that never answers.
TEST_F(ReportBeforeSending, TheCheckCommandAsksSpamAssassinAndStopsIt) {
    const bool installed = !QStandardPaths::findExecutable("spamassassin").isEmpty();
    const QByteArray path = qgetenv("PATH");
    QFile stub(QString::fromStdString(dir.Write("spamassassin", "#!/bin/sh\nsleep 600\n")));
    ASSERT_TRUE(stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner));
    auto dlg = Open();
    dlg->Ui().pHtmlEdit->setText(QString::fromStdString(dir.Write("spam.html", "<p>Buy now</p><img src=a.png>")));
    enum class End { Stop, Close, Verdict };
    for (End end : {End::Stop, End::Close, End::Verdict}) {
        SCOPED_TRACE(static_cast<int>(end));
        if (end == End::Verdict && !installed) GTEST_SKIP() << "SpamAssassin is not installed: its verdict is not shown";
        qputenv("PATH", end == End::Verdict ? path : QByteArray::fromStdString(dir.Path()) + ":" + path);
        int pid = 0;
        QElapsedTimer took;
        took.start();
        CheckByKey(*dlg, [&](CCheckDlg& d) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return (pid = SpamChild()) > 0; }, 20000)) << "no SpamAssassin ran";
            EXPECT_TRUE(d.StopButton()->isEnabled());
            if (end == End::Verdict) {
                ASSERT_TRUE(QTest::qWaitFor([&] { return !d.StopButton()->isEnabled(); }, 60000));
                EXPECT_TRUE(d.SpamLine()->text().contains("points")) << d.SpamLine()->text().toStdString();
                EXPECT_FALSE(d.SpamRules()->findItems("MIME_HTML_ONLY", Qt::MatchExactly).isEmpty());
            } else if (end == End::Stop) {
                d.StopButton()->click();
                ASSERT_TRUE(QTest::qWaitFor([&] { return d.SpamLine()->text().contains("stopped"); }, 5000));
                EXPECT_EQ(kill(pid, 0), -1) << "SpamAssassin still runs with the report up";
            }
        });
        qputenv("PATH", path);
        EXPECT_LT(took.elapsed(), 20000) << "closing waited for SpamAssassin";
        ASSERT_NE(pid, 0);
        EXPECT_TRUE(kill(pid, 0) == -1 && errno == ESRCH) << "SpamAssassin " << pid << " is left";
    }
}

} // namespace
