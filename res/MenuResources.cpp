#include "res/MenuResources.h"

#include "app/ControlIds.h"

namespace {

// Menu 129: the More >> popup and the attachment list's context menu.
const MenuTemplateItem g_menuMain[] = {
    {MF_POPUP, 0, u"_MORE_"},
    {0, IDC_OPTIONS, u"&Options...\tF5"},
    {0, 0, u""},
    {0, ID_TELL_FRIEND, u"&Tell A Friend"},
    {0, ID_FEEDBACK, u"&Feedback and Support"},
    {0, ID_HOMEPAGE, u"Home&page"},
    {0, ID_CHECK_UPDATES, u"&Check for Updates"},
    {0, 0, u""},
    {0, ID_HELP_INDEX, u"&Help\tF1"},
    {MF_END, ID_ABOUT, u"&About..."},
    {MF_POPUP | MF_END, 0, u"_ATT_"},
    {0, ID_ATTACH_OPEN, u"&Open"},
    {0, ID_ATTACH_BROWSE, u"&Browse"},
    {0, 0, u""},
    {0, IDC_ATTACH_ADD, u"&Add...\tIns"},
    {0, IDC_ATTACH_REMOVE, u"&Remove"},
    {MF_END, ID_ATTACH_REMOVE_ALL, u"Re&move All"},
};

// Toolbar 142: the attachment commands, a gap, then the commands of More >>.
const unsigned g_toolbarButtons[] = {
    ID_ATTACH_OPEN, ID_ATTACH_BROWSE, IDC_ATTACH_ADD, IDC_ATTACH_REMOVE, ID_ATTACH_REMOVE_ALL, 0,
    ID_HELP_INDEX,  ID_HOMEPAGE,      ID_TELL_FRIEND, ID_FEEDBACK,       ID_CHECK_UPDATES,     ID_ABOUT,
    IDC_OPTIONS,
};
const ToolbarResource g_toolbarMain = {":/toolbar.png", g_toolbarButtons};

} // namespace

std::span<const MenuTemplateItem> FindMenuTemplate(unsigned nId) {
    if (nId == IDR_MAIN_MENU) return g_menuMain;
    return {};
}

const ToolbarResource* FindToolbarResource(unsigned nId) {
    return nId == IDR_MAIN_TOOLBAR ? &g_toolbarMain : nullptr;
}
