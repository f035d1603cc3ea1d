// How the items of a CIconMenu are measured and drawn.
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <algorithm>

#include "ui/IconMenu.h"

namespace {

constexpr int W = CIconMenu::s_nIconWidth;
constexpr int H = CIconMenu::s_nIconHeight;

QColor Sys(const QPalette& pal, QPalette::ColorRole role) { return pal.color(QPalette::Active, role); }

int Toward(int c, int target, double f) { return static_cast<int>(c + (target - c) * f); }

QColor TowardWhite(const QColor& c, double f) {
    return QColor(Toward(c.red(), 255, f), Toward(c.green(), 255, f), Toward(c.blue(), 255, f));
}

QColor Dimmed(const QColor& c, double f) {
    auto d = [f](int v) { return static_cast<int>(v - v * f); };
    return QColor(d(c.red()), d(c.green()), d(c.blue()));
}

// The height of a menu bar row: the menu font's line plus the frame the
// system puts around it.
int SystemMenuHeight() { return QFontMetrics(QApplication::font("QMenu")).height() + 6; }

// One pixel wide rectangle outline inside r.
void Frame(QPainter* p, const QRect& r, const QColor& c) {
    p->fillRect(r.left(), r.top(), r.width(), 1, c);
    p->fillRect(r.left(), r.bottom(), r.width(), 1, c);
    p->fillRect(r.left(), r.top(), 1, r.height(), c);
    p->fillRect(r.right(), r.top(), 1, r.height(), c);
}

void Frame3D(QPainter* p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p->fillRect(r.left(), r.top(), r.width(), 1, topLeft);
    p->fillRect(r.left(), r.top(), 1, r.height(), topLeft);
    p->fillRect(r.left(), r.bottom(), r.width(), 1, bottomRight);
    p->fillRect(r.right(), r.top(), 1, r.height(), bottomRight);
}

// An etched line along the top of the rectangle from x0 to x1 (exclusive).
void EtchedLine(QPainter* p, int x0, int x1, int y, const QPalette& pal) {
    if (x1 <= x0) return;
    p->fillRect(x0, y, x1 - x0, 1, Sys(pal, QPalette::Dark));
    p->fillRect(x0, y + 1, x1 - x0, 1, Sys(pal, QPalette::Light));
}

void CheckMark(QPainter* p, const QRect& box, bool bRadio, const QColor& c) {
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QPointF mid = QRectF(box).center();
    if (bRadio) {
        p->setPen(Qt::NoPen);
        p->setBrush(c);
        p->drawEllipse(mid, 3, 3);
    } else {
        p->setPen(QPen(c, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p->drawPolyline(QPolygonF{mid + QPointF(-3.5, 0), mid + QPointF(-1, 2.5), mid + QPointF(3.5, -2.5)});
    }
    p->restore();
}

// The label left-aligned, the accelerator text after the last tab flush right.
void ItemText(QPainter* p, QRect rc, const std::u16string& text, const QColor& c) {
    const size_t first = text.find(u'\t');
    const QString label = QString::fromStdU16String(text.substr(0, first));
    p->setPen(c);
    const int flags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextShowMnemonic;
    if (first != std::u16string::npos) {
        p->drawText(rc, flags | Qt::AlignRight, QString::fromStdU16String(text.substr(text.rfind(u'\t') + 1)));
        rc.setRight(rc.right() - W);
    }
    p->drawText(rc, flags | Qt::AlignLeft, label);
}

// A Windows RECT (right and bottom exclusive) as a QRect.
QRect Rect(int left, int top, int right, int bottom) { return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)); }

} // namespace

FlatMenuColours CIconMenu::FlatColours(const QPalette& pal) {
    const QColor highlight = Sys(pal, QPalette::Highlight);
    return {Dimmed(Sys(pal, QPalette::Base), 0.02),
            Sys(pal, QPalette::Button),
            TowardWhite(highlight, IsThemedXP() ? 0.7 : 0.85),
            highlight,
            Sys(pal, QPalette::Text),
            pal.color(QPalette::Disabled, QPalette::Text)};
}

QColor CIconMenu::ClassicBackground(const QPalette& pal) {
    return Sys(pal, IsThemedXP() ? QPalette::Button : QPalette::Window);
}

void CIconMenu::MeasureItem(MeasureItemStruct& mis) {
    const int gap = IconGap();
    const bool bFlat = IsFlat();
    const int menuHeight = SystemMenuHeight();
    if (!mis.pItem || (mis.pItem->m_nFlags & MF_SEPARATOR)) {
        mis.nWidth = 0;
        mis.nHeight = bFlat ? 3 : std::max((H + gap) / 2, menuHeight / 2);
        return;
    }
    // The tab counts as one space, as it does in the system's text extent.
    QString text = QString::fromStdU16String(mis.pItem->m_strText);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    const int textWidth = QFontMetrics(QApplication::font("QMenu")).horizontalAdvance(text);
    mis.nWidth = bFlat ? textWidth + W + gap + 8 : textWidth + 2 * W + 1;
    mis.nHeight = std::max(menuHeight, H + gap);
}

void CIconMenu::DrawItem(const DrawItemStruct& dis) {
    if (!dis.pDC || !dis.pItem || !dis.pPalette) return;
    if (DrawsFlat(dis.bPaletteDevice))
        DrawFlat(dis);
    else
        DrawClassic(dis);
}

void CIconMenu::DrawDisabledIcon(QPainter* pDC, const QImage& icon, int x, int y, const QPalette& pal) const {
    // The standard form keeps only the darker pixels, so light areas open up
    // inside the shape; the alternate form embosses the whole silhouette.
    QImage mask(icon.size(), QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    for (int py = 0; py < icon.height(); ++py) {
        for (int px = 0; px < icon.width(); ++px) {
            QRgb c = icon.pixel(px, py);
            if (qAlpha(c) < 128) continue;
            if (!m_bAltDisabledDrawing && qGray(c) >= 192) continue;
            mask.setPixel(px, py, qRgba(255, 255, 255, 255));
        }
    }
    auto paint = [&](const QColor& c, int atX, int atY) {
        QImage shape = mask;
        QPainter sp(&shape);
        sp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        sp.fillRect(shape.rect(), c);
        sp.end();
        pDC->drawImage(atX, atY, shape);
    };
    paint(Sys(pal, QPalette::Light), x + 1, y + 1);
    paint(Sys(pal, QPalette::Dark), x, y);
}

void CIconMenu::DrawFlat(const DrawItemStruct& dis) {
    QPainter* p = dis.pDC;
    const QPalette& pal = *dis.pPalette;
    const CIconMenuItem& item = *dis.pItem;
    const FlatMenuColours c = FlatColours(pal);
    const int gap = IconGap();
    const int column = gap + W;
    const int left = dis.rcItem.left(), top = dis.rcItem.top();
    const int right = left + dis.rcItem.width(), bottom = top + dis.rcItem.height();
    const int height = dis.rcItem.height();

    const bool bEnabled = !(dis.nState & (ODS_DISABLED | ODS_GRAYED));
    const bool bSelected = (dis.nState & ODS_SELECTED) && (bEnabled || s_bDisabledSelectableFlat);
    const bool bChecked = dis.nState & ODS_CHECKED;

    if (item.m_nFlags & MF_SEPARATOR) {
        p->fillRect(dis.rcItem, c.clrBack);
        p->fillRect(Rect(left, top, left + column, bottom), c.clrColumn);
        EtchedLine(p, left + column + gap, right, top + height / 2, pal);
        return;
    }
    if (bSelected) {
        p->fillRect(dis.rcItem, c.clrSelFill);
        Frame(p, dis.rcItem, c.clrSelFrame);
    } else {
        p->fillRect(dis.rcItem, c.clrBack);
        p->fillRect(Rect(left, top, left + column, bottom), c.clrColumn);
    }

    const int x = left + std::max(0, (column - W + 1) / 2);
    const int y = top + std::max(0, (height - H + 1) / 2);
    const QRect box = Rect(left + 1, top + 1, left + column - 2, bottom - 1);
    const int n = static_cast<int>(s_listImages.size());
    if (item.m_nImage >= 0 && item.m_nImage < n) {
        const int i = item.m_nImage;
        const bool bVariants = i + 3 < n && s_listImageIds[i + 1] == s_listImageIds[i] &&
                               s_listImageIds[i + 2] == s_listImageIds[i];
        if (bChecked && bEnabled) {
            p->fillRect(box, TowardWhite(c.clrSelFrame, bSelected ? 0.55 : 0.85));
            Frame(p, box, c.clrSelFrame);
            p->drawImage(x - 1, y - 1, s_listImages[i]);
        } else if (bEnabled && bSelected && bVariants) {
            p->drawImage(x + 1, y + 1, s_listImages[i + 2]);
            p->drawImage(x - 1, y - 1, s_listImages[i]);
        } else if (bEnabled) {
            p->drawImage(x, y, s_listImages[bVariants && !bSelected ? i + 1 : i]);
        } else if (bVariants) {
            p->drawImage(x, y, s_listImages[i + 3]);
        } else {
            DrawDisabledIcon(p, s_listImages[i], x, y, pal);
            if (bSelected) Frame(p, box, c.clrSelFrame);
        }
    } else if (bChecked) {
        CheckMark(p, box, dis.bRadioCheck, bEnabled ? c.clrText : c.clrGrayText);
    }

    QColor text = c.clrText;
    if (!bEnabled) text = bSelected || IsThemedXP() ? c.clrGrayText : TowardWhite(c.clrGrayText, 0.4);
    ItemText(p, Rect(left + column + 8, top - 1, right, bottom - 1), item.m_strText, text);
}

void CIconMenu::DrawClassic(const DrawItemStruct& dis) {
    QPainter* p = dis.pDC;
    const QPalette& pal = *dis.pPalette;
    const CIconMenuItem& item = *dis.pItem;
    const QColor back = ClassicBackground(pal);
    const int left = dis.rcItem.left(), top = dis.rcItem.top();
    const int right = left + dis.rcItem.width(), bottom = top + dis.rcItem.height();
    const int height = dis.rcItem.height();

    const bool bEnabled = !(dis.nState & (ODS_DISABLED | ODS_GRAYED));
    const bool bSelected = (dis.nState & ODS_SELECTED) && (bEnabled || s_bDisabledSelectableClassic);
    const bool bChecked = dis.nState & ODS_CHECKED;
    const int n = static_cast<int>(s_listImages.size());
    const bool bImage = item.m_nImage >= 0 && item.m_nImage < n;

    p->fillRect(dis.rcItem, back);
    if (item.m_nFlags & MF_SEPARATOR) {
        EtchedLine(p, left, right, top + height / 2, pal);
        return;
    }
    QColor text = Sys(pal, QPalette::Text);
    if (bSelected) {
        const int from = bImage || bChecked ? left + W + 5 : left;
        p->fillRect(Rect(from, top, right, bottom), Sys(pal, QPalette::Highlight));
        text = Sys(pal, QPalette::HighlightedText);
    }

    const int o = std::max(0, (height - H - 4) / 2);
    const QRect box = Rect(left, top + o, left + W + 4, top + o + H + 4);
    const QColor light = Sys(pal, QPalette::Light), shadow = Sys(pal, QPalette::Dark);
    const bool bFrames = s_nVersionClass > 1;
    if (bImage) {
        if (bSelected && bEnabled) {
            p->fillRect(box, back);
            if (bFrames) Frame3D(p, box, bChecked ? shadow : light, bChecked ? light : shadow);
        } else if (!bSelected && bChecked) {
            p->fillRect(box, TowardWhite(back, 0.6));
            if (bFrames) Frame3D(p, box, shadow, light);
        }
        if (bEnabled)
            p->drawImage(left + 2, top + o + 2, s_listImages[item.m_nImage]);
        else
            DrawDisabledIcon(p, s_listImages[item.m_nImage], left + 2, top + o + 2, pal);
    } else if (bChecked) {
        CheckMark(p, box, dis.bRadioCheck, bEnabled ? Sys(pal, QPalette::Text) : pal.color(QPalette::Disabled, QPalette::Text));
    }

    const QRect rcText = Rect(left + W + 9, top - 1, right, bottom - 1);
    if (bEnabled) {
        ItemText(p, rcText, item.m_strText, text);
    } else if (bSelected) {
        ItemText(p, rcText, item.m_strText, back);
    } else {
        ItemText(p, rcText.translated(1, 1), item.m_strText, light);
        ItemText(p, rcText, item.m_strText, pal.color(QPalette::Disabled, QPalette::Text));
    }
}
