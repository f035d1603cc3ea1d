#pragma once
// What the window brings back at the next start beyond the settings record:
// its placement, the page and its attachments, the recent pages and the folder
// of the last message saved. Kept under the same key as AppSettings.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

class WindowState {
public:
    explicit WindowState(platform::SettingsStore& store) : m_pStore(&store) {}

    static constexpr std::size_t kMaxRecentPages = 10;

    // The field names are the names of the stored values.
    std::int32_t WindowX = 0, WindowY = 0, WindowWidth = 0, WindowHeight = 0;  // width 0: never placed
    std::int32_t WindowMaximized = 0;
    std::string HtmlFile;
    std::vector<std::string> Attachments;  // stored as AttachmentCount, Attachment1, Attachment2, ...
    std::vector<std::string> RecentPages;  // newest first; RecentPageCount, RecentPage1, ...
    std::string LastEmlFolder;

    // Missing values leave their fields as they are.
    void Load();
    // False with the reason when the store could not be written.
    bool Save(std::string& err) const;
    // Puts path first among the recent pages, once, keeping at most kMaxRecentPages.
    void RememberPage(const std::string& path);

private:
    platform::SettingsStore* m_pStore;
};
