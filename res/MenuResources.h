#pragma once
// The menu and toolbar resources of the main window, defined in code: a menu
// is a template of items read in order, a toolbar a picture strip with the
// command of each button.
#include <span>

inline constexpr unsigned IDR_MAIN_MENU = 129;
inline constexpr unsigned IDR_MAIN_TOOLBAR = 142;

// Item flags of a menu template.
inline constexpr unsigned MF_GRAYED = 0x0001;
inline constexpr unsigned MF_CHECKED = 0x0008;
inline constexpr unsigned MF_POPUP = 0x0010;
inline constexpr unsigned MF_END = 0x0080;  // the last item of its level

// One item of a menu template: popups carry no command id; their items follow
// them directly, up to the one flagged MF_END.
struct MenuTemplateItem {
    unsigned short nFlags;
    unsigned short nId;
    const char16_t* pszText;
};

struct ToolbarResource {
    const char* pszBitmap;            // a strip of equal cells, one per button with an image
    std::span<const unsigned> buttons;  // command ids; 0 is a gap without an image
};

// The items of the menu resource nId, empty when there is none.
std::span<const MenuTemplateItem> FindMenuTemplate(unsigned nId);
// The toolbar resource nId, or null.
const ToolbarResource* FindToolbarResource(unsigned nId);
