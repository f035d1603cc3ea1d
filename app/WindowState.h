#pragma once
// What the window brings back at the next start beyond the settings record:
// its placement, the page and its attachments, the recent pages and the folder
// of the last message saved, in the settings file's [Window] group; and the
// check's hidden warnings, in its [Check] group.
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "platform/SettingsFile.h"

class WindowState {
public:
    explicit WindowState(platform::SettingsStore& store) : m_pStore(&store) {}

    static constexpr std::size_t kMaxRecentPages = 10;

    // The field names are the names of the stored values.
    int WindowX = 0, WindowY = 0, WindowWidth = 0, WindowHeight = 0;  // width 0: never placed
    bool WindowMaximized = false;
    std::string HtmlFile;
    std::vector<std::string> Attachments;
    std::vector<std::string> RecentPages;  // newest first
    std::string LastEmlFolder;
    // A send to a list that has not ended: the list, its journal and how it was
    // sent, so the next start can offer to continue it. An empty list: none.
    std::string ListSendFile;
    std::string ListSendJournal;
    std::string ListSendColumn;
    std::string ListSendUnsubscribe;
    int ListSendRate = 60;
    // The warning kinds the user chose not to see again, by page (its absolute
    // path), most recently chosen first. Stored as the list HiddenWarnings of
    // "KIND,KIND PATH" items, each kind as the check's id ("srcset").
    struct PageWarnings {
        std::string strPage;
        std::vector<std::string> listKinds;
    };
    std::vector<PageWarnings> HiddenWarnings;
    static constexpr std::size_t kMaxHiddenPages = 100;
    static constexpr std::size_t kMaxHiddenKinds = 64;

    // Missing values leave their fields as they are.
    void Load();
    // False with the reason when the store could not be written.
    bool Save(std::string& err) const;
    // Puts path first among the recent pages, once, keeping at most kMaxRecentPages.
    void RememberPage(const std::string& path);
    bool IsWarningHidden(const std::string& page, const std::string& kind) const;
    // Replaces the page's hidden kinds; none forgets the page.
    void SetHiddenWarnings(const std::string& page, std::vector<std::string> kinds);
    // Writes only the hidden warnings, so a choice outlives a program killed later.
    bool SaveHiddenWarnings(std::string& err) const;
    // Writes only the list send's values, when a send starts and when it ends.
    bool SaveListSend(std::string& err) const;
    // Carries the window's values of the settings file of earlier versions
    // (lists were a count and one value per item) into doc.
    static void ImportOld(const OldSettings& old, platform::SettingsDocument& doc);

private:
    platform::SettingsStore* m_pStore;
};
