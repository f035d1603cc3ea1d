#include "ui/IconMenu.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <array>

#include "ui/IconMenuPopup.h"

namespace {

QString Label(const std::u16string& text) {
    return QString::fromStdU16String(text.substr(0, text.find(u'\t')));
}

// Qt keeps the label in the action's text and the accelerator in its
// shortcut; the shortcut is only shown, the window's own shortcuts act.
void SetActionText(QAction* a, const std::u16string& text) {
    a->setText(Label(text));
    size_t tab = text.rfind(u'\t');
    if (tab == std::u16string::npos) return;
    a->setShortcut(QKeySequence(QString::fromStdU16String(text.substr(tab + 1))));
    a->setShortcutContext(Qt::WidgetShortcut);
    a->setShortcutVisibleInContextMenu(false);  // we draw it; Qt must not widen the menu for it
}

// The text of a menu entry as a menu template would hold it.
std::u16string MenuText(const QAction* a) {
    QString text = a->text();
    if (!a->menu() && !a->shortcut().isEmpty())
        text += QLatin1Char('\t') + a->shortcut().toString(QKeySequence::NativeText);
    return text.toStdU16String();
}

int FirstImageOf(const std::vector<unsigned>& ids, unsigned nId) {
    auto it = std::find(ids.begin(), ids.end(), nId);
    return it == ids.end() ? -1 : static_cast<int>(it - ids.begin());
}

int Toward(int c, int target, double f) { return static_cast<int>(c + (target - c) * f); }

QColor TowardWhite(const QColor& c, double f) {
    return QColor(Toward(c.red(), 255, f), Toward(c.green(), 255, f), Toward(c.blue(), 255, f));
}

// The washed-out, shadow and grey forms of an icon, taken from it drawn on
// the button face; the face itself stays transparent.
std::array<QImage, 3> IconVariants(const QImage& icon) {
    const QPalette pal = QApplication::palette();
    QImage base(icon.size(), QImage::Format_RGB32);
    base.fill(pal.color(QPalette::Active, QPalette::Button));
    QPainter(&base).drawImage(0, 0, icon);
    const QRgb bg = base.pixel(1, 1);
    const QColor shadow = pal.color(QPalette::Active, QPalette::Dark);
    const QColor flatShadow = CIconMenu::IsThemedXP() ? shadow : TowardWhite(shadow, 0.49);

    std::array<QImage, 3> out;
    for (QImage& v : out) {
        v = QImage(icon.size(), QImage::Format_ARGB32);
        v.fill(Qt::transparent);
    }
    for (int y = 0; y < base.height(); ++y) {
        for (int x = 0; x < base.width(); ++x) {
            QRgb px = base.pixel(x, y);
            if (px == bg) continue;
            out[0].setPixel(x, y, TowardWhite(QColor(px), 0.3).rgb());
            out[1].setPixel(x, y, flatShadow.rgb());
            double bright = ((qRed(px) + qGreen(px) + qBlue(px)) / 3) / 255.0;
            out[2].setPixel(x, y, TowardWhite(shadow, bright).rgb());
        }
    }
    return out;
}

} // namespace

CIconMenu::CIconMenu(QWidget* pOwner) : m_pOwner(pOwner) {}

CIconMenu::~CIconMenu() { DestroyMenu(); }

QMenu* CIconMenu::GetSafeHmenu() const { return m_hMenu; }

// There is no Windows version here: every system counts as "other", and no
// system uses the classic theme.
int CIconMenu::GetWindowsVersionClass() { return 1; }
bool CIconMenu::IsClassicTheme() { return false; }

bool CIconMenu::IsThemedXP() { return s_nVersionClass == 7 && !IsClassicTheme(); }
bool CIconMenu::IsFlat() { return (IsThemedXP() ? s_bFlatStyleXP : s_bFlatStyleOther) == 1; }
int CIconMenu::IconGap() { return IsFlat() && s_bIconEffects ? 7 : 4; }

bool CIconMenu::LoadMenuTemplate(unsigned nResourceId) { return LoadMenuTemplate(FindMenuTemplate(nResourceId)); }

bool CIconMenu::LoadMenuTemplate(std::span<const MenuTemplateItem> items) {
    if (items.empty()) return false;
    DestroyMenu();
    m_hMenu = new QMenu(m_pOwner);

    struct Level {
        CIconMenu* pMenu;
        bool bLastOfParent;  // its popup item ended the level above
    };
    std::vector<Level> levels{{this, false}};
    for (const MenuTemplateItem& item : items) {
        const bool bEnd = item.nFlags & MF_END;
        const unsigned nFlags = item.nFlags & ~MF_END;
        CIconMenu* pLevel = levels.back().pMenu;
        if (nFlags & MF_POPUP) {
            auto sub = std::make_unique<CIconMenu>(m_pOwner);
            sub->m_bSubMenu = true;
            sub->m_bAltDisabledDrawing = m_bAltDisabledDrawing;
            sub->m_hMenu = new CIconMenuPopup(sub.get(), m_pOwner);
            pLevel->AppendItem(item.pszText, nFlags, 0, sub->m_hMenu);
            levels.push_back({sub.get(), bEnd});
            pLevel->m_listSubMenus.push_back(std::move(sub));
            continue;
        }
        pLevel->AppendItem(item.pszText, nFlags, item.nId);
        if (!bEnd) continue;
        // The last item of a level closes it, and every level above whose last item it also ends.
        bool bDone = false;
        for (;;) {
            if (levels.size() == 1) {
                bDone = true;
                break;
            }
            bool bParentEnds = levels.back().bLastOfParent;
            levels.pop_back();
            if (!bParentEnds) break;
        }
        if (bDone) break;
    }
    // Only the entries inside popups are drawn by us.
    for (auto& rec : m_listItems) rec->m_nFlags = MF_BYPOSITION | (rec->m_nFlags & MF_POPUP);
    m_bLoaded = true;
    return true;
}

void CIconMenu::DestroyMenu() {
    for (auto& sub : m_listSubMenus) sub->DestroyMenu();
    m_listSubMenus.clear();
    m_listItems.clear();
    if (m_hMenu) {
        std::erase(s_listMenus, m_hMenu.data());
        delete m_hMenu.data();
    }
    m_hMenu = nullptr;
    m_bLoaded = false;
}

bool CIconMenu::AppendItem(const char16_t* pszText, unsigned nFlags, unsigned nId, QMenu* pSubMenu,
                           const QImage* pBitmap) {
    if (!m_hMenu) return false;
    auto rec = std::make_unique<CIconMenuItem>();
    rec->m_strText = pszText ? pszText : u"";
    QAction* a = nullptr;
    if (!(nFlags & MF_POPUP) && nId == 0) {
        nFlags = MF_OWNERDRAW | MF_SEPARATOR | (nFlags & MF_BYPOSITION);
        a = m_hMenu->addSeparator();
    } else if (nFlags & MF_POPUP) {
        if (!pSubMenu) return false;
        nFlags |= MF_OWNERDRAW;
        s_listMenus.push_back(pSubMenu);
        pSubMenu->setTitle(Label(rec->m_strText));
        a = m_hMenu->addMenu(pSubMenu);
        rec->m_pSubMenu = pSubMenu;
    } else {
        nFlags |= MF_OWNERDRAW;
        a = m_hMenu->addAction(QString());
        SetActionText(a, rec->m_strText);
        a->setData(nId);
        a->setEnabled(!(nFlags & (MF_GRAYED | MF_DISABLED)));
        a->setCheckable(nFlags & MF_CHECKED);
        a->setChecked(nFlags & MF_CHECKED);
        rec->m_nId = nId;
        if (pBitmap)
            rec->m_nImage = AddCommandImage(ImageList{*pBitmap}, 0, nId);
        else
            rec->m_nImage = FirstImageOf(s_listImageIds, nId);
    }
    rec->m_nFlags = nFlags;
    rec->m_pAction = a;
    m_listItems.push_back(std::move(rec));
    return true;
}

bool CIconMenu::HasCommand(unsigned nId) const {
    if (!m_hMenu) return false;
    for (const QAction* a : m_hMenu->actions())
        if (!a->menu() && !a->isSeparator() && a->data().toUInt() == nId) return true;
    return std::any_of(m_listSubMenus.begin(), m_listSubMenus.end(),
                       [nId](const auto& sub) { return sub->HasCommand(nId); });
}

bool CIconMenu::AttachToolbarImages(unsigned nToolbarId) {
    const ToolbarResource* toolbar = FindToolbarResource(nToolbarId);
    if (!toolbar) return false;
    QImage strip(QString::fromLatin1(toolbar->pszBitmap));
    if (strip.isNull()) return false;
    strip = strip.convertToFormat(QImage::Format_ARGB32);

    // Pixels of the mask colour are transparent, as the alpha channel already is.
    const QRgb mask = (m_bUseMaskColour ? m_clrMask : QApplication::palette().color(QPalette::Active, QPalette::Button))
                          .rgb();
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            if (strip.pixel(x, y) == mask) strip.setPixel(x, y, qRgba(0, 0, 0, 0));

    ImageList list;
    for (int x = 0; x + s_nIconWidth <= strip.width(); x += s_nIconWidth)
        list.push_back(strip.copy(x, 0, s_nIconWidth, s_nIconHeight));

    int nImage = 0;
    for (unsigned nId : toolbar->buttons) {
        if (nId == 0) continue;  // a gap has no image
        int n = nImage++;
        if (HasCommand(nId)) SetItemImage(nullptr, nId, list, n);
    }
    return true;
}

bool CIconMenu::SetItemImage(const char16_t* pszText, unsigned nId, const ImageList& list, int nIndex) {
    bool bFound = false;
    if (m_hMenu) {
        for (QAction* a : m_hMenu->actions()) {
            if (a->menu() || a->isSeparator() || a->data().toUInt() != nId) continue;
            CIconMenuItem* rec = ItemFor(a);
            if (!rec) {
                auto made = std::make_unique<CIconMenuItem>();
                made->m_strText = MenuText(a);
                made->m_nId = nId;
                made->m_pAction = a;
                rec = made.get();
                m_listItems.push_back(std::move(made));
            }
            if (pszText) {
                rec->m_strText = pszText;
                SetActionText(a, rec->m_strText);
            }
            rec->m_nImage = AddCommandImage(list, nIndex, nId);
            rec->m_nFlags |= MF_OWNERDRAW;
            bFound = true;
        }
    }
    for (auto& sub : m_listSubMenus) bFound |= sub->SetItemImage(pszText, nId, list, nIndex);
    return bFound;
}

int CIconMenu::AddCommandImage(const ImageList& list, int nIndex, unsigned nId) {
    if (nIndex < 0 || nIndex >= static_cast<int>(list.size()) || list[nIndex].isNull()) return -1;
    const QImage icon = list[nIndex].convertToFormat(QImage::Format_ARGB32);
    const bool bEffects = IsFlat() && s_bIconEffects;
    std::array<QImage, 3> variants;
    if (bEffects) variants = IconVariants(icon);

    int k = FirstImageOf(s_listImageIds, nId);
    if (k >= 0) {
        s_listImages[k] = icon;
        const size_t n = s_listImageIds.size();
        if (bEffects && k + 3 < static_cast<int>(n) && s_listImageIds[k + 1] == nId && s_listImageIds[k + 2] == nId)
            for (int j = 0; j < 3; ++j) s_listImages[k + 1 + j] = variants[j];
        return k;
    }
    k = static_cast<int>(s_listImages.size());
    s_listImages.push_back(icon);
    s_listImageIds.push_back(nId);
    if (bEffects) {
        for (QImage& v : variants) {
            s_listImages.push_back(v);
            s_listImageIds.push_back(nId);
        }
    }
    return k;
}

CIconMenu* CIconMenu::GetSubMenuObject(int nPos) const {
    if (!m_hMenu) return nullptr;
    const QAction* a = m_hMenu->actions().value(nPos);
    if (!a || !a->menu()) return nullptr;
    for (const auto& sub : m_listSubMenus)
        if (sub->m_hMenu == a->menu()) return sub.get();
    return nullptr;
}

bool CIconMenu::IsOwnedMenu(const QMenu* pMenu) {
    return pMenu && std::find(s_listMenus.begin(), s_listMenus.end(), pMenu) != s_listMenus.end();
}

CIconMenuItem* CIconMenu::ItemFor(const QAction* a) const {
    for (const auto& rec : m_listItems)
        if (rec->m_pAction == a) return rec.get();
    return nullptr;
}

void CIconMenu::SyncItems() {
    if (!m_hMenu) return;
    for (auto& rec : m_listItems) rec->m_nSyncMark = 0;
    auto unmatched = [this](auto pred) -> CIconMenuItem* {
        for (auto& rec : m_listItems)
            if (!rec->m_nSyncMark && pred(*rec)) return rec.get();
        return nullptr;
    };
    auto add = [this](unsigned nFlags) {
        m_listItems.push_back(std::make_unique<CIconMenuItem>());
        m_listItems.back()->m_nFlags = nFlags | MF_OWNERDRAW | MF_BYPOSITION;
        return m_listItems.back().get();
    };

    std::vector<CIconMenuItem*> order;
    for (QAction* a : m_hMenu->actions()) {
        CIconMenuItem* rec;
        if (QMenu* sub = a->menu()) {
            rec = unmatched([sub](const CIconMenuItem& r) { return r.m_pSubMenu == sub; });
            if (!rec) {
                rec = add(MF_POPUP);
                rec->m_pSubMenu = sub;
            }
            rec->m_strText = MenuText(a);
        } else if (a->isSeparator()) {
            rec = unmatched([](const CIconMenuItem& r) { return (r.m_nFlags & MF_SEPARATOR) != 0; });
            if (!rec) rec = add(MF_SEPARATOR);
        } else {
            const unsigned nId = a->data().toUInt();
            rec = unmatched([nId](const CIconMenuItem& r) {
                return !(r.m_nFlags & (MF_SEPARATOR | MF_POPUP)) && r.m_nId == nId;
            });
            // An entry added behind our back is drawn like the others.
            if (!rec) {
                rec = add(0);
                rec->m_nId = nId;
                rec->m_nImage = FirstImageOf(s_listImageIds, nId);
            }
            rec->m_strText = MenuText(a);
        }
        rec->m_nSyncMark = 1;
        rec->m_nFlags |= MF_OWNERDRAW;
        rec->m_pAction = a;
        order.push_back(rec);
    }

    std::vector<std::unique_ptr<CIconMenuItem>> rebuilt;
    for (CIconMenuItem* rec : order) {
        auto it = std::find_if(m_listItems.begin(), m_listItems.end(), [rec](const auto& p) { return p.get() == rec; });
        rebuilt.push_back(std::move(*it));
    }
    m_listItems = std::move(rebuilt);  // records left unmatched go with the old list
}

long CIconMenu::FindMnemonic(char16_t nChar, unsigned nFlags, const QMenu* pMenu) {
    if (!(nFlags & MF_POPUP) || !pMenu) return 0;
    if (pMenu->actions().size() != static_cast<qsizetype>(m_listItems.size())) SyncItems();
    const QString search = (QStringLiteral("&") + QChar(nChar)).toLower();
    for (size_t i = 0; i < m_listItems.size(); ++i)
        if (QString::fromStdU16String(m_listItems[i]->m_strText).toLower().contains(search))
            return (MNC_EXECUTE << 16) | static_cast<long>(i);
    return 0;
}
