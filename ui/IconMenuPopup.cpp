#include "ui/IconMenuPopup.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include "ui/IconMenu.h"

namespace {

// Windows widens an owner-drawn popup item by the check-mark width less one,
// whatever the owner measured; the accelerator text needs that room.
constexpr int kCheckMarkExtra = 12;
constexpr int kFrameWidth = 1;
constexpr int kMargin = 2;

struct Entry {
    const CIconMenuPopup* pPopup = nullptr;
    CIconMenuItem* pItem = nullptr;
};

// The popup and record behind a style option; the action travels in the
// option's style object (see CIconMenuPopup::initStyleOption).
Entry Lookup(const QStyleOption* opt, const QWidget* widget) {
    Entry e;
    e.pPopup = qobject_cast<const CIconMenuPopup*>(widget);
    auto* action = opt ? qobject_cast<QAction*>(opt->styleObject) : nullptr;
    if (!e.pPopup || !action) return e;
    CIconMenu* menu = e.pPopup->Owner();
    e.pItem = menu->ItemFor(action);
    if (!e.pItem) {  // an entry added since the popup opened
        menu->SyncItems();
        e.pItem = menu->ItemFor(action);
    }
    return e;
}

bool IsPaletteDevice(const QPainter* p) { return p && p->device() && p->device()->depth() <= 8; }

class CIconMenuStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* opt, QPainter* p, const QWidget* widget) const override {
        if (element == CE_MenuItem) {
            Entry e = Lookup(opt, widget);
            auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(opt);
            if (e.pItem && item) {
                DrawItemStruct dis;
                dis.pDC = p;
                dis.rcItem = opt->rect;
                if (opt->state & State_Selected) dis.nState |= ODS_SELECTED;
                if (!(opt->state & State_Enabled)) dis.nState |= ODS_GRAYED | ODS_DISABLED;
                if (item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked) dis.nState |= ODS_CHECKED;
                dis.bRadioCheck = item->checkType == QStyleOptionMenuItem::Exclusive;
                dis.pItem = e.pItem;
                dis.pPalette = &widget->palette();
                dis.bPaletteDevice = IsPaletteDevice(p);
                p->save();
                p->setFont(QApplication::font("QMenu"));
                e.pPopup->Owner()->DrawItem(dis);
                p->restore();
                return;
            }
        }
        if (element == CE_MenuEmptyArea && qobject_cast<const CIconMenuPopup*>(widget)) {
            Panel(opt->rect, p, widget);
            return;
        }
        QProxyStyle::drawControl(element, opt, p, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* opt, QPainter* p, const QWidget* widget) const override {
        if (qobject_cast<const CIconMenuPopup*>(widget)) {
            if (element == PE_PanelMenu) {
                Panel(opt->rect, p, widget);
                return;
            }
            if (element == PE_FrameMenu) {
                const QPalette& pal = widget->palette();
                QColor shadow = pal.color(QPalette::Active, QPalette::Dark);
                QColor light = CIconMenu::DrawsFlat(IsPaletteDevice(p)) ? shadow : pal.color(QPalette::Active, QPalette::Light);
                QRect r = widget->rect();
                p->fillRect(r.left(), r.top(), r.width(), 1, light);
                p->fillRect(r.left(), r.top(), 1, r.height(), light);
                p->fillRect(r.left(), r.bottom(), r.width(), 1, shadow);
                p->fillRect(r.right(), r.top(), 1, r.height(), shadow);
                return;
            }
        }
        QProxyStyle::drawPrimitive(element, opt, p, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* opt, const QSize& size,
                           const QWidget* widget) const override {
        if (type == CT_MenuItem) {
            Entry e = Lookup(opt, widget);
            if (e.pItem) {
                MeasureItemStruct mis;
                mis.pItem = e.pItem;
                e.pPopup->Owner()->MeasureItem(mis);
                return QSize(mis.nWidth + kCheckMarkExtra, mis.nHeight);
            }
        }
        return QProxyStyle::sizeFromContents(type, opt, size, widget);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* opt, const QWidget* widget) const override {
        if (qobject_cast<const CIconMenuPopup*>(widget)) {
            switch (metric) {
            case PM_MenuPanelWidth:
                return kFrameWidth;
            case PM_MenuHMargin:
            case PM_MenuVMargin:
                return kMargin;
            default:
                break;
            }
        }
        return QProxyStyle::pixelMetric(metric, opt, widget);
    }

    int styleHint(StyleHint hint, const QStyleOption* opt, const QWidget* widget, QStyleHintReturn* ret) const override {
        if (hint == SH_Menu_AllowActiveAndDisabled && qobject_cast<const CIconMenuPopup*>(widget))
            return CIconMenu::IsFlat() ? CIconMenu::s_bDisabledSelectableFlat : CIconMenu::s_bDisabledSelectableClassic;
        return QProxyStyle::styleHint(hint, opt, widget, ret);
    }

private:
    // The background around the entries, with the icon column running from
    // the frame to the first entry's text so the column reads as one band.
    static void Panel(const QRect& rect, QPainter* p, const QWidget* widget) {
        const QPalette& pal = widget->palette();
        if (!CIconMenu::DrawsFlat(IsPaletteDevice(p))) {
            p->fillRect(rect, CIconMenu::ClassicBackground(pal));
            return;
        }
        FlatMenuColours c = CIconMenu::FlatColours(pal);
        p->fillRect(rect, c.clrBack);
        const int columnRight = kFrameWidth + kMargin + CIconMenu::IconGap() + CIconMenu::s_nIconWidth;
        p->fillRect(QRect(0, 0, columnRight, widget->height()).intersected(rect), c.clrColumn);
    }
};

QStyle* IconMenuStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new CIconMenuStyle;
        style->setParent(qApp);
    }
    return style;
}

} // namespace

CIconMenuPopup::CIconMenuPopup(CIconMenu* pOwner, QWidget* pParent) : QMenu(pParent), m_pOwner(pOwner) {
    setStyle(IconMenuStyle());
    // Other handlers of aboutToShow may still change states; those are read
    // when the entries are drawn, so only the records need to be current here.
    connect(this, &QMenu::aboutToShow, this, [this] { m_pOwner->SyncItems(); });
}

void CIconMenuPopup::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const {
    QMenu::initStyleOption(option, action);
    // The style has to know which entry it measures; the option has no other
    // place for that, and no style animates menu entries through it.
    option->styleObject = const_cast<QAction*>(action);
}

void CIconMenuPopup::keyPressEvent(QKeyEvent* e) {
    const QString typed = e->text();
    if (typed.size() == 1 && typed[0].isPrint() && !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        long result = m_pOwner->FindMnemonic(typed[0].unicode(), MF_POPUP, this);
        if ((result >> 16) == MNC_EXECUTE) {
            e->accept();
            QAction* a = actions().value(static_cast<int>(result & 0xFFFF));
            if (!a || a->isSeparator() || !a->isEnabled()) return;  // nothing to run; the menu stays open
            setActiveAction(a);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QMenu::keyPressEvent(&enter);
            return;
        }
    }
    QMenu::keyPressEvent(e);
}
