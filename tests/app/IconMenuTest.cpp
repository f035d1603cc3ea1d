// The owner-drawn popups, rendered offscreen and looked at pixel by pixel.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "GuiFakes.h"
#include "TestUtil.h"
#include "app/ControlIds.h"
#include "app/MainDlg.h"
#include "res/MenuResources.h"
#include "ui/HelpWindow.h"
#include "ui/IconMenu.h"

namespace {

// The fixed system colours every expectation below is worked out from.
const QColor kBase(255, 255, 255), kFace(212, 208, 200), kHighlight(40, 80, 160), kText(0, 0, 0),
    kGrayText(128, 128, 128), kShadow(120, 120, 120), kLight(255, 255, 255);
// Worked out by hand from the colours above.
const QColor kMenuBack(249, 249, 249);    // 255 less 2 %
const QColor kSelFill(222, 228, 240);     // highlight 85 % of the way to white
const QColor kFlatShadow(186, 186, 186);  // shadow 49 % of the way to white

// Toolbar position of each command's image: the gap after the fifth button holds none.
const std::pair<unsigned, int> kStripOrder[] = {
    {ID_ATTACH_OPEN, 0}, {ID_ATTACH_BROWSE, 1}, {IDC_ATTACH_ADD, 2}, {IDC_ATTACH_REMOVE, 3},
    {ID_ATTACH_REMOVE_ALL, 4}, {ID_HELP_INDEX, 5}, {ID_HOMEPAGE, 6}, {ID_TELL_FRIEND, 7},
    {ID_FEEDBACK, 8}, {ID_CHECK_UPDATES, 9}, {ID_ABOUT, 10}, {IDC_OPTIONS, 11}};

QImage Cell(int n) {
    return QImage(QStringLiteral(":/toolbar.png")).convertToFormat(QImage::Format_ARGB32).copy(n * 16, 0, 16, 15);
}

// Applies f to every opaque pixel of the icon.
template <class F>
QImage Recolour(const QImage& icon, F f) {
    QImage out = icon;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (qAlpha(out.pixel(x, y)) == 255) out.setPixel(x, y, f(QColor(out.pixel(x, y))).rgb());
    return out;
}
int Whiter(int c, double f) { return int(c + (255 - c) * f); }
QImage Washed(const QImage& icon) {
    return Recolour(icon, [](QColor c) { return QColor(Whiter(c.red(), .3), Whiter(c.green(), .3), Whiter(c.blue(), .3)); });
}
QImage Grey(const QImage& icon) {
    return Recolour(icon, [](QColor c) {
        double x = ((c.red() + c.green() + c.blue()) / 3) / 255.0;
        return QColor(Whiter(kShadow.red(), x), Whiter(kShadow.green(), x), Whiter(kShadow.blue(), x));
    });
}

// Whether every opaque pixel of the icon shows somewhere inside area.
bool ShowsIcon(const QImage& shot, const QRect& area, const QImage& icon) {
    for (int oy = area.top(); oy + icon.height() <= area.bottom() + 1; ++oy)
        for (int ox = area.left(); ox + icon.width() <= area.right() + 1; ++ox) {
            bool all = true;
            for (int y = 0; y < icon.height() && all; ++y)
                for (int x = 0; x < icon.width() && all; ++x)
                    if (qAlpha(icon.pixel(x, y)) == 255 && shot.pixel(ox + x, oy + y) != icon.pixel(x, y)) all = false;
            if (all) return true;
        }
    return false;
}

int Count(const QImage& shot, const QRect& area, const QColor& c) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += shot.pixel(x, y) == c.rgb();
    return n;
}

// Columns in area holding a pixel darker than the background: where text is.
std::vector<int> InkColumns(const QImage& shot, const QRect& area) {
    std::vector<int> xs;
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (qGray(shot.pixel(x, y)) < 200) {
                xs.push_back(x);
                break;
            }
    return xs;
}

QColor At(const QImage& img, int x, int y) { return QColor(img.pixel(x, y)); }

struct IconMenu : ::testing::Test {
    QPalette saved = QApplication::palette();
    std::unique_ptr<CIconMenu> menu;

    void SetUp() override {
        QPalette pal;
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            pal.setColor(group, QPalette::Base, kBase);
            pal.setColor(group, QPalette::Button, kFace);
            pal.setColor(group, QPalette::Window, kFace);
            pal.setColor(group, QPalette::Highlight, kHighlight);
            pal.setColor(group, QPalette::HighlightedText, Qt::white);
            pal.setColor(group, QPalette::Text, group == QPalette::Disabled ? kGrayText : kText);
            pal.setColor(group, QPalette::Dark, kShadow);
            pal.setColor(group, QPalette::Light, kLight);
        }
        QApplication::setPalette(pal);
        CIconMenu::s_bFlatStyleOther = 1;  // as the main window sets it
        menu = std::make_unique<CIconMenu>();
        ASSERT_TRUE(menu->LoadMenuTemplate(IDR_MAIN_MENU));
        ASSERT_TRUE(menu->AttachToolbarImages(IDR_MAIN_TOOLBAR));
    }
    void TearDown() override {
        menu.reset();
        QApplication::setPalette(saved);
    }
    QMenu* Popup(int n) { return menu->GetSubMenuObject(n)->GetSafeHmenu(); }
    static QAction* Entry(QMenu* m, unsigned id) {
        for (QAction* a : m->actions())
            if (!a->isSeparator() && a->data().toUInt() == id) return a;
        return nullptr;
    }
    static QImage Shot(QMenu* m, QAction* hovered = nullptr) {
        m->popup(QPoint(50, 50));
        m->setActiveAction(hovered);
        QApplication::processEvents();
        QImage img = m->grab().toImage().convertToFormat(QImage::Format_RGB32);
        m->hide();
        return img;
    }
    // The icon column of an entry: the gap plus the icon width.
    static QRect Column(const QRect& item) { return QRect(item.left(), item.top(), 23, item.height()); }
};

TEST_F(IconMenu, TemplateBuildsBothPopupsWithTheirEntries) {
    ASSERT_EQ(menu->GetSafeHmenu()->actions().size(), 2);
    EXPECT_FALSE(CIconMenu::IsOwnedMenu(menu->GetSafeHmenu())) << "the top level is a plain menu";
    ASSERT_TRUE(CIconMenu::IsOwnedMenu(Popup(0)));
    ASSERT_TRUE(CIconMenu::IsOwnedMenu(Popup(1)));
    EXPECT_EQ(menu->GetSubMenuObject(2), nullptr);

    std::vector<std::u16string> texts;
    for (const auto& rec : menu->GetSubMenuObject(0)->Items())
        texts.push_back(rec->m_nFlags & MF_SEPARATOR ? u"-" : rec->m_strText);
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"&Options...\tF5", u"-", u"&Tell A Friend", u"&Feedback and Support",
                                                   u"Home&page", u"&Check for Updates", u"-", u"&Help\tF1",
                                                   u"&About..."}));
    QStringList shown;
    for (QAction* a : Popup(1)->actions()) shown << (a->isSeparator() ? "-" : a->text() + "=" + a->data().toString());
    EXPECT_EQ(shown, (QStringList{"&Open=32777", "&Browse=32780", "-", "&Add...=1003", "&Remove=1082",
                                  "Re&move All=32781"}));
    EXPECT_EQ(Entry(Popup(1), IDC_ATTACH_ADD)->shortcut(), QKeySequence(Qt::Key_Insert));
}

TEST_F(IconMenu, LastItemCanCloseTwoLevelsAtOnce) {
    const MenuTemplateItem items[] = {
        {MF_POPUP, 0, u"_A_"},
        {0, 1, u"&One"},
        {MF_POPUP | MF_END, 0, u"&Inner"},
        {MF_END, 2, u"&Two"},  // ends Inner and, with it, _A_
        {MF_POPUP | MF_END, 0, u"_B_"},
        {0, 3, u"&Three"},
        {MF_END, 0, u""},
    };
    CIconMenu m;
    ASSERT_TRUE(m.LoadMenuTemplate(items));
    ASSERT_EQ(m.GetSafeHmenu()->actions().size(), 2) << "_B_ is a sibling of _A_, not inside it";
    CIconMenu* a = m.GetSubMenuObject(0);
    CIconMenu* b = m.GetSubMenuObject(1);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->GetSafeHmenu()->actions().size(), 2);
    ASSERT_NE(a->GetSubMenuObject(1), nullptr);
    EXPECT_EQ(a->GetSubMenuObject(1)->GetSafeHmenu()->actions().size(), 1);
    ASSERT_EQ(b->Items().size(), 2u);
    EXPECT_TRUE(b->Items()[1]->m_nFlags & MF_SEPARATOR) << "command id 0 makes a separator";

    MeasureItemStruct mis;
    mis.pItem = b->Items()[1].get();
    b->MeasureItem(mis);
    EXPECT_EQ(mis.nHeight, 3);
    mis.pItem = b->Items()[0].get();
    b->MeasureItem(mis);
    EXPECT_GE(mis.nHeight, 15 + 7) << "room for the icon and its gap";
}

TEST_F(IconMenu, EveryCommandGetsItsCellOfTheToolbarStrip) {
    for (auto [id, cell] : kStripOrder) {
        SCOPED_TRACE(id);
        const CIconMenuItem* rec = nullptr;
        for (int n : {0, 1})
            for (const auto& r : menu->GetSubMenuObject(n)->Items())
                if (!(r->m_nFlags & MF_SEPARATOR) && r->m_nId == id) rec = r.get();
        ASSERT_NE(rec, nullptr);
        ASSERT_GE(rec->m_nImage, 0);
        EXPECT_EQ(CIconMenu::SharedImages()[rec->m_nImage], Cell(cell));
    }

    // Attaching again replaces the images in place.
    const size_t images = CIconMenu::SharedImages().size();
    const int helpImage = menu->GetSubMenuObject(0)->Items()[7]->m_nImage;
    ASSERT_TRUE(menu->AttachToolbarImages(IDR_MAIN_TOOLBAR));
    EXPECT_EQ(CIconMenu::SharedImages().size(), images);
    EXPECT_EQ(menu->GetSubMenuObject(0)->Items()[7]->m_nImage, helpImage);

    // A menu holding only some of the toolbar's commands takes just those.
    const MenuTemplateItem few[] = {{MF_POPUP | MF_END, 0, u"_X_"}, {0, 4242, u"&Unknown"}, {MF_END, ID_ABOUT, u"&About..."}};
    CIconMenu m;
    ASSERT_TRUE(m.LoadMenuTemplate(few));
    EXPECT_TRUE(m.AttachToolbarImages(IDR_MAIN_TOOLBAR));
    EXPECT_EQ(m.GetSubMenuObject(0)->Items()[0]->m_nImage, -1);
    EXPECT_EQ(CIconMenu::SharedImages()[m.GetSubMenuObject(0)->Items()[1]->m_nImage], Cell(10));
    EXPECT_EQ(CIconMenu::SharedImages().size(), images);
    EXPECT_FALSE(m.AttachToolbarImages(999)) << "no such toolbar";
}

TEST_F(IconMenu, UnselectedEntriesShowWashedIconsInTheColumn) {
    QMenu* more = Popup(0);
    QImage shot = Shot(more);
    for (auto [id, cell] : kStripOrder) {
        QAction* a = Entry(more, id);
        if (!a) continue;
        SCOPED_TRACE(a->text().toStdString());
        QRect item = more->actionGeometry(a);
        EXPECT_TRUE(ShowsIcon(shot, Column(item), Washed(Cell(cell))));
        EXPECT_FALSE(ShowsIcon(shot, item, Cell(cell))) << "full colour only under the pointer";
        EXPECT_EQ(At(shot, item.left() + 1, item.top() + 1), kFace) << "icon column";
        EXPECT_EQ(At(shot, item.right() - 1, item.top() + 1), kMenuBack) << "menu background";
    }
    EXPECT_EQ(Count(shot, shot.rect(), kHighlight), 0) << "nothing selected";
}

TEST_F(IconMenu, HoveredEntryIsFilledFramedAndLiftsItsIcon) {
    QMenu* more = Popup(0);
    QAction* home = Entry(more, ID_HOMEPAGE);
    QImage shot = Shot(more, home);
    QRect item = more->actionGeometry(home);
    EXPECT_EQ(At(shot, item.left(), item.center().y()), kHighlight);
    EXPECT_EQ(At(shot, item.right(), item.center().y()), kHighlight);
    EXPECT_EQ(At(shot, item.center().x(), item.top()), kHighlight);
    EXPECT_EQ(At(shot, item.left() + 1, item.top() + 1), kSelFill) << "the fill covers the icon column too";
    EXPECT_EQ(At(shot, item.right() - 1, item.bottom() - 1), kSelFill);
    EXPECT_TRUE(ShowsIcon(shot, Column(item), Cell(6)));
    EXPECT_GT(Count(shot, Column(item), kFlatShadow), 10) << "its shadow below right";

    QRect other = more->actionGeometry(Entry(more, ID_ABOUT));
    EXPECT_EQ(At(shot, other.right() - 1, other.top() + 1), kMenuBack) << "only the hovered entry";
}

TEST_F(IconMenu, DisabledEntriesAreGreyAndNeverSelected) {
    QMenu* att = Popup(1);
    QAction* remove = Entry(att, IDC_ATTACH_REMOVE);
    remove->setEnabled(false);
    QImage shot = Shot(att);
    QRect item = att->actionGeometry(remove);
    EXPECT_TRUE(ShowsIcon(shot, Column(item), Grey(Cell(3))));
    EXPECT_FALSE(ShowsIcon(shot, Column(item), Washed(Cell(3))));
    QRect text(item.left() + 23, item.top(), item.width() - 23, item.height());
    int darkest = 255;
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x) darkest = std::min(darkest, qGray(shot.pixel(x, y)));
    EXPECT_EQ(darkest, 178) << "grey text moved 40 % of the way to white";

    // Even when Qt puts the selection on it, a disabled entry is drawn unselected.
    QImage img(item.size(), QImage::Format_RGB32);
    QPainter p(&img);
    p.setFont(QApplication::font("QMenu"));
    DrawItemStruct dis;
    dis.pDC = &p;
    dis.rcItem = img.rect();
    dis.nState = ODS_SELECTED | ODS_GRAYED | ODS_DISABLED;
    dis.pItem = menu->GetSubMenuObject(1)->ItemFor(remove);
    dis.pPalette = &att->palette();
    menu->DrawItem(dis);
    p.end();
    EXPECT_EQ(Count(img, img.rect(), kHighlight), 0);
    EXPECT_EQ(At(img, img.width() - 2, 1), kMenuBack);
}

TEST_F(IconMenu, IconWithoutVariantsIsEmbossedWhenDisabled) {
    CIconMenu::s_bIconEffects = 0;
    const int image = CIconMenu::AddCommandImage({Cell(6)}, 0, 60001);
    CIconMenu::s_bIconEffects = 1;
    ASSERT_GE(image, 0);
    CIconMenuItem rec;
    rec.m_strText = u"&Plain";
    rec.m_nId = 60001;
    rec.m_nImage = image;

    int shapePixels[2] = {};
    for (bool alternate : {false, true}) {
        SCOPED_TRACE(alternate);
        menu->m_bAltDisabledDrawing = alternate;
        QImage img(120, 22, QImage::Format_RGB32);
        QPainter p(&img);
        DrawItemStruct dis;
        dis.pDC = &p;
        dis.rcItem = img.rect();
        dis.nState = ODS_GRAYED | ODS_DISABLED;
        dis.pItem = &rec;
        QPalette pal = QApplication::palette();
        dis.pPalette = &pal;
        menu->DrawItem(dis);
        p.end();
        const QRect column(0, 0, 23, 22);
        EXPECT_GT(Count(img, column, kShadow), 10) << "the shape in shadow";
        EXPECT_GT(Count(img, column, kLight), 5) << "its highlight offset below right";
        EXPECT_EQ(Count(img, column, QColor(220, 52, 44)), 0) << "no colour of the icon itself";
        EXPECT_EQ(Count(img, column, QColor(40, 40, 40)), 0);
        shapePixels[alternate] = Count(img, column, kShadow);
    }
    menu->m_bAltDisabledDrawing = false;
    EXPECT_LT(shapePixels[false], shapePixels[true]) << "the standard form leaves light areas open";
}

TEST_F(IconMenu, AcceleratorTextEndsAtTheRightEdge) {
    QMenu* more = Popup(0);
    QImage shot = Shot(more);
    auto textInk = [&](unsigned id) {
        QRect item = more->actionGeometry(Entry(more, id));
        return std::make_pair(item, InkColumns(shot, QRect(item.left() + 23, item.top() + 2, item.width() - 23, item.height() - 4)));
    };
    auto [options, ink] = textInk(IDC_OPTIONS);
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(ink.back(), options.right() - 3) << "F5 flush right";
    EXPECT_LE(ink.front(), options.left() + 23 + 8 + 3) << "label after the column";
    int widestGap = 0;
    for (size_t i = 1; i < ink.size(); ++i) widestGap = std::max(widestGap, ink[i] - ink[i - 1]);
    EXPECT_GT(widestGap, 30) << "label and accelerator apart";

    auto [about, aboutInk] = textInk(ID_ABOUT);
    ASSERT_FALSE(aboutInk.empty());
    EXPECT_LT(aboutInk.back(), about.right() - 30) << "no accelerator: nothing at the edge";
}

TEST_F(IconMenu, MnemonicRunsItsEntry) {
    QMenu* more = Popup(0);
    CIconMenu* sub = menu->GetSubMenuObject(0);
    EXPECT_EQ(sub->FindMnemonic(u'T', MF_POPUP, more), (MNC_EXECUTE << 16) | 2);
    EXPECT_EQ(sub->FindMnemonic(u'p', MF_POPUP, more), (MNC_EXECUTE << 16) | 4) << "mnemonic inside the text";
    EXPECT_EQ(sub->FindMnemonic(u'z', MF_POPUP, more), 0);
    EXPECT_EQ(sub->FindMnemonic(u'T', 0, more), 0) << "only for popups";

    QSignalSpy home(Entry(more, ID_HOMEPAGE), &QAction::triggered);
    more->popup(QPoint(50, 50));
    QApplication::processEvents();
    QTest::keyClick(more, Qt::Key_Z);
    EXPECT_TRUE(more->isVisible()) << "no entry has that mnemonic";
    QTest::keyClick(more, Qt::Key_P);
    EXPECT_EQ(home.count(), 1);
    EXPECT_FALSE(more->isVisible());

    // With a mnemonic shared by two entries, the first one runs at once.
    more->addAction(QStringLiteral("&Tally"));
    QSignalSpy tell(Entry(more, ID_TELL_FRIEND), &QAction::triggered);
    more->popup(QPoint(50, 50));
    QApplication::processEvents();
    QTest::keyClick(more, Qt::Key_T);
    EXPECT_EQ(tell.count(), 1);
}

TEST_F(IconMenu, RecordsFollowTheMenuWhenItOpens) {
    QMenu* att = Popup(1);
    CIconMenu* sub = menu->GetSubMenuObject(1);
    QAction* zoom = att->addAction(QStringLiteral("&Zoom"));
    zoom->setData(ID_ABOUT);  // a command with an image
    EXPECT_EQ(sub->FindMnemonic(u'z', MF_POPUP, att), (MNC_EXECUTE << 16) | 6) << "a longer menu is synced first";

    delete Entry(att, ID_ATTACH_BROWSE);

    Entry(att, ID_ATTACH_OPEN)->setText(QStringLiteral("&Launch"));
    QImage shot = Shot(att);
    std::vector<std::u16string> texts;
    for (const auto& rec : sub->Items()) texts.push_back(rec->m_nFlags & MF_SEPARATOR ? u"-" : rec->m_strText);
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"&Launch", u"-", u"&Add...\tIns", u"&Remove", u"Re&move All", u"&Zoom"}));
    EXPECT_TRUE(ShowsIcon(shot, Column(att->actionGeometry(zoom)), Washed(Cell(10))));
}

TEST_F(IconMenu, PaletteDisplayFallsBackToTheClassicStyle) {
    const CIconMenuItem* rec = menu->GetSubMenuObject(0)->Items()[4].get();  // Homepage
    auto draw = [&](bool paletteDevice, unsigned state) {
        QImage img(160, 22, QImage::Format_RGB32);
        QPainter p(&img);
        DrawItemStruct dis;
        dis.pDC = &p;
        dis.rcItem = img.rect();
        dis.nState = state;
        dis.pItem = rec;
        QPalette pal = QApplication::palette();
        dis.pPalette = &pal;
        dis.bPaletteDevice = paletteDevice;
        menu->DrawItem(dis);
        return img;
    };
    EXPECT_EQ(At(draw(false, 0), 150, 2), kMenuBack);
    QImage classic = draw(true, 0);
    EXPECT_EQ(At(classic, 150, 2), kFace) << "the menu colour, not the flat background";
    EXPECT_TRUE(ShowsIcon(classic, QRect(0, 0, 22, 22), Cell(6))) << "icons in full colour";
    QImage selected = draw(true, ODS_SELECTED);
    EXPECT_EQ(At(selected, 150, 2), kHighlight) << "solid highlight";
    EXPECT_EQ(At(selected, 1, 1), kFace) << "the highlight leaves the icon box alone";
}

TEST(MainWindowMenus, MoreButtonOpensTheDrawnPopupWhoseMnemonicsWork) {
    testutil::TempDir dir;
    RecordingPrompts prompts;
    RecordingShell shell;
    auto store = platform::MakeFileSettingsStore(dir.Path() + "settings.reg");
    CMainDlg dlg(CMainDlg::Services{&prompts, &shell, platform::Platform(), store.get()});
    dlg.show();
    CHelpWindow::CloseHelp();  // the first start opens it
    EXPECT_TRUE(CIconMenu::IsOwnedMenu(dlg.MorePopup()));
    EXPECT_TRUE(CIconMenu::IsOwnedMenu(dlg.AttachPopup()));

    QWidget* more = dlg.Control(IDC_MORE);
    QTest::mouseClick(more, Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_TRUE(dlg.MorePopup()->isVisible());
    EXPECT_EQ(dlg.MorePopup()->pos(), more->mapToGlobal(QPoint(more->width(), 0)));
    QTest::keyClick(dlg.MorePopup(), Qt::Key_H);
    EXPECT_TRUE(CHelpWindow::IsShown());
    CHelpWindow::CloseHelp();
    QApplication::processEvents();
}

} // namespace
