#pragma once
// Popup menus that draw their own items: an icon column with each command's
// toolbar image, the label and its right-aligned accelerator text, in a flat
// or a classic 3-D style. Qt shows the menus; this class decides how every
// item looks and how large it is.
#include <QColor>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "res/MenuResources.h"

class QAction;
class QMenu;
class QPainter;
class QPalette;
class QWidget;

// Item flags kept in a record, beside the template's MF_GRAYED, MF_CHECKED and MF_POPUP.
inline constexpr unsigned MF_DISABLED = 0x0002;
inline constexpr unsigned MF_OWNERDRAW = 0x0100;
inline constexpr unsigned MF_RADIOCHECK = 0x0200;
inline constexpr unsigned MF_BYPOSITION = 0x0400;
inline constexpr unsigned MF_SEPARATOR = 0x0800;

// The state of an item being drawn.
inline constexpr unsigned ODS_SELECTED = 0x0001;
inline constexpr unsigned ODS_GRAYED = 0x0002;
inline constexpr unsigned ODS_DISABLED = 0x0004;
inline constexpr unsigned ODS_CHECKED = 0x0008;

// FindMnemonic's answer: position in the low word, this in the high word.
constexpr long MNC_EXECUTE = 2;

using ImageList = std::vector<QImage>;

// What the menu knows of one of its items.
struct CIconMenuItem {
    std::u16string m_strText;  // label, then a tab and the accelerator text if any
    int m_nImage = -1;         // index into the shared images, -1 for none
    unsigned m_nFlags = 0;
    unsigned m_nId = 0;            // command id
    QMenu* m_pSubMenu = nullptr;   // a popup item's submenu
    int m_nSyncMark = 0;
    QPointer<QAction> m_pAction;   // the menu entry this record stands for
};

struct MeasureItemStruct {
    const CIconMenuItem* pItem = nullptr;
    int nWidth = 0;
    int nHeight = 0;
};

struct DrawItemStruct {
    QPainter* pDC = nullptr;  // font already set to the menu font
    QRect rcItem;
    unsigned nState = 0;  // ODS_ bits
    bool bRadioCheck = false;
    const CIconMenuItem* pItem = nullptr;
    const QPalette* pPalette = nullptr;
    bool bPaletteDevice = false;  // 256 colours or fewer: only the classic style reads well
};

// The system colours as the flat style uses them.
struct FlatMenuColours {
    QColor clrBack, clrColumn, clrSelFill, clrSelFrame, clrText, clrGrayText;
};

class CIconMenu {
public:
    explicit CIconMenu(QWidget* pOwner = nullptr);
    virtual ~CIconMenu();
    CIconMenu(const CIconMenu&) = delete;
    CIconMenu& operator=(const CIconMenu&) = delete;

    virtual void DrawItem(const DrawItemStruct& dis);
    virtual void MeasureItem(MeasureItemStruct& mis);
    virtual bool LoadMenuTemplate(unsigned nResourceId);
    virtual bool LoadMenuTemplate(std::span<const MenuTemplateItem> items);
    virtual void DestroyMenu();

    bool AttachToolbarImages(unsigned nToolbarId);
    bool AppendItem(const char16_t* pszText, unsigned nFlags, unsigned nId, QMenu* pSubMenu = nullptr,
                    const QImage* pBitmap = nullptr);
    bool SetItemImage(const char16_t* pszText, unsigned nId, const ImageList& list, int nIndex);
    static int AddCommandImage(const ImageList& list, int nIndex, unsigned nId);
    CIconMenu* GetSubMenuObject(int nPos) const;
    static bool IsOwnedMenu(const QMenu* pMenu);
    void SyncItems();
    long FindMnemonic(char16_t nChar, unsigned nFlags, const QMenu* pMenu);

    static int GetWindowsVersionClass();
    static bool IsClassicTheme();

    QMenu* GetSafeHmenu() const;  // the Qt menu this object stands for
    // The record of the entry a shows, or null.
    CIconMenuItem* ItemFor(const QAction* a) const;
    const std::vector<std::unique_ptr<CIconMenuItem>>& Items() const { return m_listItems; }
    static const ImageList& SharedImages() { return s_listImages; }
    static const std::vector<unsigned>& ImageCommandIds() { return s_listImageIds; }

    // The style rules, shared by the drawing and the menu frame around it.
    static bool IsFlat();
    static bool IsThemedXP();
    static bool DrawsFlat(bool bPaletteDevice) { return !bPaletteDevice && IsFlat(); }
    static int IconGap();
    static FlatMenuColours FlatColours(const QPalette& pal);
    static QColor ClassicBackground(const QPalette& pal);

    // Class-wide settings.
    static inline int s_nVersionClass = GetWindowsVersionClass();
    static inline int s_bFlatStyleXP = 1;
    static inline int s_bFlatStyleOther = 0;
    static inline int s_bIconEffects = 1;
    static inline int s_bDisabledSelectableFlat = 0;
    static inline int s_bDisabledSelectableClassic = 1;
    static constexpr int s_nIconWidth = 16;
    static constexpr int s_nIconHeight = 15;

    QColor m_clrMask{192, 192, 192};
    bool m_bUseMaskColour = false;
    bool m_bAltDisabledDrawing = false;

private:
    bool HasCommand(unsigned nId) const;
    void DrawFlat(const DrawItemStruct& dis);
    void DrawClassic(const DrawItemStruct& dis);
    void DrawDisabledIcon(QPainter* pDC, const QImage& icon, int x, int y, const QPalette& pal) const;

    std::vector<std::unique_ptr<CIconMenuItem>> m_listItems;
    std::vector<std::unique_ptr<CIconMenu>> m_listSubMenus;
    bool m_bLoaded = false;
    bool m_bSubMenu = false;
    QPointer<QMenu> m_hMenu;
    QPointer<QWidget> m_pOwner;

    static inline ImageList s_listImages;
    static inline std::vector<unsigned> s_listImageIds;
    static inline std::vector<const QMenu*> s_listMenus;
};
