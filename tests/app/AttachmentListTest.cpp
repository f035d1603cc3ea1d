// The attachment list as a user works it: sizes, sorting, drops, removal, the
// context menu, and the order that reaches the message.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <unistd.h>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/MainDlg.h"
#include "ui/AttachmentList.h"
#include "ui/HelpWindow.h"

namespace {

using testutil::TempDir;

TEST(FileSizeText, DecimalThresholdsBinaryDivisors) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 B"},         {999, "999 B"},           {1000, "1.0 KiB"},        {1536, "1.5 KiB"},
        {1023999, "1000.0 KiB"}, {1024000, "0.98 MiB"}, {1048576000, "0.98 GiB"}, {4294967295u, "4.00 GiB"},
        {5ull << 30, "5.00 GiB"},  // not cut to 32 bits
    };
    for (auto [size, text] : cases) {
        EXPECT_EQ(FormatFileSize(size), text);
        if (size > 1024) {
            EXPECT_NEAR(ParseSizeText(text), double(size), double(size) / 50) << text;
        }
    }
    EXPECT_DOUBLE_EQ(ParseSizeText("2T"), 2.0 * 1099511627776.0);
    EXPECT_DOUBLE_EQ(ParseSizeText("junk"), 0.0);
}

struct AttachmentList : WindowTest {
    std::unique_ptr<CMainDlg> dlg;

    void SetUp() override {
        dlg = NewWindow();
        dlg->show();
    }
    CAttachmentList* List() { return dlg->AttachList(); }
    QStringList Column(int c) {
        QStringList out;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) out << List()->topLevelItem(i)->text(c);
        return out;
    }
    std::string Sized(const std::string& name, std::size_t n) { return dir.Write(name, std::string(n, 'x')); }
    QPoint OnList() { return List()->mapTo(dlg.get(), List()->rect().center()); }
    QPoint OffList() { return dlg->Ui().pSubjectEdit->mapTo(dlg.get(), QPoint(2, 2)); }
    static QStringList Q(std::initializer_list<std::string> l) {
        QStringList out;
        for (const std::string& s : l) out << QString::fromStdString(s);
        return out;
    }
};

TEST_F(AttachmentList, RowsShowNameSizeAndPathAndColumnClicksSort) {
    std::string big = Sized("sparse.img", 0);
    std::filesystem::resize_file(big, (5ull << 30) + 12345);
    for (const std::string& p : {Sized("b-mid.bin", 1000), big, Sized("a-small.bin", 999), Sized("c-big.bin", 1024000),
                                 dir.Path() + "vanished.txt"})
        dlg->AddAttachment(p);
    EXPECT_EQ(Column(1), (QStringList{"1.0 KiB", "5.00 GiB", "999 B", "0.98 MiB", "0 B"}));
    EXPECT_EQ(Column(2).at(1), QString::fromStdString(big));
    struct {
        int column;
        QStringList expected;
    } clicks[] = {
        {1, {"vanished.txt", "a-small.bin", "b-mid.bin", "c-big.bin", "sparse.img"}},
        {1, {"sparse.img", "c-big.bin", "b-mid.bin", "a-small.bin", "vanished.txt"}},
        {0, {"a-small.bin", "b-mid.bin", "c-big.bin", "sparse.img", "vanished.txt"}},
        {0, {"vanished.txt", "sparse.img", "c-big.bin", "b-mid.bin", "a-small.bin"}},
        {0, {"a-small.bin", "b-mid.bin", "c-big.bin", "sparse.img", "vanished.txt"}},  // a third click turns it back
    };
    for (const auto& c : clicks) {
        emit List()->header()->sectionClicked(c.column);
        EXPECT_EQ(Column(0), c.expected);
    }
}

TEST_F(AttachmentList, DropsFollowLinksPassOverFoldersAndTakeLocalFilesOnly) {
    std::string file = Sized("file.txt", 3);
    std::string target = Sized("deep/target.pdf", 5);
    std::string folder = dir.Path() + "folder";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    std::string toFile = dir.Path() + "to-file", toFolder = dir.Path() + "to-folder";
    std::string chain = dir.Path() + "chain", dangling = dir.Path() + "dangling";
    std::string loopA = dir.Path() + "loop-a", loopB = dir.Path() + "loop-b";
    ASSERT_EQ(::symlink("deep/target.pdf", toFile.c_str()), 0);  // relative to the link's folder
    ASSERT_EQ(::symlink(folder.c_str(), toFolder.c_str()), 0);
    ASSERT_EQ(::symlink(toFile.c_str(), chain.c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dangling.c_str()), 0);
    ASSERT_EQ(::symlink(loopB.c_str(), loopA.c_str()), 0);
    ASSERT_EQ(::symlink(loopA.c_str(), loopB.c_str()), 0);

    dlg->OnDropFiles(Q({file, folder, toFile, toFolder, chain, dangling, loopA}), OnList());
    // The chain reaches the same target as to-file and is not listed twice.
    EXPECT_EQ(Column(2), Q({file, dir.Path() + "deep/target.pdf", dangling, loopA}));
    EXPECT_EQ(Column(1).at(1), "5 B");

    dlg->OnDropFiles(Q({file}), OnList());
    EXPECT_EQ(List()->topLevelItemCount(), 4) << "the same path is not added twice";
    std::string upper = Sized("FILE.TXT", 1);
    dlg->OnDropFiles(Q({upper}), OnList());
    EXPECT_EQ(List()->topLevelItemCount(), 5) << "another letter case is another file here";

    // Off the list, an HTML file that comes first becomes the page.
    std::string jpeg = Sized("photo.jpg", 10), page = Sized("News.HTML", 10);
    dlg->OnDropFiles(Q({jpeg, page}), OffList());
    EXPECT_EQ(dlg->Ui().pHtmlEdit->text(), "") << "only the first file counts";
    dlg->OnDropFiles(Q({page, jpeg}), OffList());
    EXPECT_EQ(dlg->Ui().pHtmlEdit->text(), QString::fromStdString(page));
    EXPECT_EQ(List()->topLevelItemCount(), 5);

    // A real drop event takes local files only.
    std::string dropped = Sized("dropped.txt", 2);
    QMimeData data;
    data.setUrls({QUrl("https://example.com/x.png"), QUrl::fromLocalFile(QString::fromStdString(dropped))});
    QDragEnterEvent enter(OnList(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(OnList()), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &drop);
    EXPECT_EQ(Column(2).mid(5), Q({dropped}));
}

TEST_F(AttachmentList, RemoveAndDeleteTakeTheSelectionAndSelectTheNextRow) {
    for (const char* n : {"1", "2", "3", "4", "5"}) dlg->AddAttachment(Sized(n, 1000));
    EXPECT_EQ(dlg->Ui().pAttachTotal->text(), "5 files, 4.9 KiB in all");
    const CMainDlg::Actions& act = dlg->Commands();
    auto states = [&] {
        return std::vector<bool>{act.pAttachOpen->isEnabled(), act.pAttachShow->isEnabled(),
                                 act.pAttachRemove->isEnabled(), act.pAttachRemoveAll->isEnabled(),
                                 act.pAttachAdd->isEnabled(), dlg->Ui().pAttachRemove->isEnabled()};
    };
    EXPECT_EQ(states(), (std::vector<bool>{false, false, false, true, true, false}));
    List()->topLevelItem(0)->setSelected(true);
    List()->topLevelItem(2)->setSelected(true);
    EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true, true}));
    QTest::mouseClick(dlg->Ui().pAttachRemove, Qt::LeftButton);
    EXPECT_EQ(Column(0), (QStringList{"2", "4", "5"}));
    EXPECT_EQ(List()->selectedItems(), QList<QTreeWidgetItem*>{List()->topLevelItem(0)}) << "the row now in first place";
    EXPECT_EQ(dlg->focusWidget(), List());

    List()->clearSelection();
    List()->setCurrentItem(List()->topLevelItem(2));
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(List(), Qt::Key_Delete);
    EXPECT_EQ(Column(0), (QStringList{"2", "4"}));
    EXPECT_EQ(List()->selectedItems(), QList<QTreeWidgetItem*>{List()->topLevelItem(1)}) << "the last row was removed";
    EXPECT_EQ(dlg->Ui().pAttachTotal->text(), "2 files, 2.0 KiB in all");
    dlg->OnAttachRemoveAll();
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_EQ(states(), (std::vector<bool>{false, false, false, false, true, false}));
    EXPECT_EQ(dlg->Ui().pAttachTotal->text(), "No attachments");
}

// Alt+N, Down and Home always leave a row selected; Shift+F10 opens the list's menu.
TEST_F(AttachmentList, TheKeyboardAlwaysHasARowToActOn) {
    dlg->AddAttachment(Sized("only.txt", 1));
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    struct Case {
        QWidget* at;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
    } cases[] = {{dlg->Ui().pSubjectEdit, Qt::Key_N, Qt::AltModifier},
                 {List(), Qt::Key_Down, Qt::NoModifier},
                 {List(), Qt::Key_Home, Qt::NoModifier},
                 {List(), Qt::Key_F10, Qt::ShiftModifier}};
    for (const Case& c : cases) {
        c.at->setFocus();
        List()->clearSelection();
        QTest::keyClick(c.at, c.key, c.mods);
        EXPECT_EQ(List()->selectedItems().size(), 1) << c.key;
        EXPECT_TRUE(Focused(List())) << c.key;
    }
    EXPECT_TRUE(dlg->AttachPopup()->isVisible()) << "Shift+F10";
    dlg->AttachPopup()->close();
}

TEST_F(AttachmentList, OpenAndBrowseUseTheFirstSelectedRow) {
    std::string a = Sized("a.txt", 1), b = Sized("b.txt", 1);
    dlg->AddAttachment(a);
    dlg->AddAttachment(b);
    dlg->OnAttachOpen();
    EXPECT_TRUE(shell.calls.empty()) << "nothing selected, nothing opened";
    List()->topLevelItem(1)->setSelected(true);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, QPoint(5, List()->viewport()->height() - 3));
    dlg->OnAttachBrowse();
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"open " + b, "show " + b}));
}

TEST_F(AttachmentList, AddSkipsDuplicatesAndTheMessageFollowsTheListOrder) {
    std::string one = Sized("one.txt", 1), two = Sized("two.bin", 2000), three = Sized("three.dat", 30);
    prompts.filesAnswers.push_back(Q({two, one}));
    prompts.filesAnswers.push_back(Q({one, three}));
    dlg->OnAttachAdd();
    dlg->OnAttachAdd();
    EXPECT_EQ(Column(0), (QStringList{"two.bin", "one.txt", "three.dat"}));
    emit List()->header()->sectionClicked(1);  // by size: one, three, two

    dlg->Ui().pHtmlEdit->setText(QString::fromStdString(Sized("p.html", 3)));
    std::string out = dir.Path() + "ordered.eml";
    prompts.fileAnswers.push_back(QString::fromStdString(out));
    dlg->m_settings.options.BrowseOutputFolder = dlg->m_settings.options.OpenEml = 0;
    dlg->OnCreateEmail();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->IsBusy(); }, 20000));
    ASSERT_TRUE(prompts.messages.empty()) << prompts.messages[0].detail.toStdString();
    EXPECT_EQ(testutil::CheckEml(out, {"--attach", one, "--attach", three, "--attach", two}), "");
}

} // namespace
