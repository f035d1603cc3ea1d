#include "app/WindowState.h"

#include <algorithm>

#include "app/AppSettings.h"

namespace {

// A list is a count and one value per entry, since a stored text holds one line.
void QueryList(platform::SettingsKey& key, const std::string& name, std::vector<std::string>& list) {
    std::uint32_t count = 0;
    if (!key.QueryDword(name + "Count", count)) return;
    list.clear();
    for (std::uint32_t i = 1; i <= count && i <= 10000; ++i) {
        std::string v;
        if (key.QueryString(name + std::to_string(i), v) && !v.empty()) list.push_back(std::move(v));
    }
}

void SetList(platform::SettingsKey& key, const std::string& name, const std::vector<std::string>& list) {
    key.SetDword(name + "Count", static_cast<std::uint32_t>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) key.SetString(name + std::to_string(i + 1), list[i]);
}

void QueryInt(platform::SettingsKey& key, const char* name, std::int32_t& field) {
    std::uint32_t v;
    if (key.QueryDword(name, v)) field = static_cast<std::int32_t>(v);
}

} // namespace

void WindowState::Load() {
    std::string err;
    std::unique_ptr<platform::SettingsKey> key = m_pStore->OpenForQuery(AppSettings::kKey, err);
    if (!key) return;
    QueryInt(*key, "WindowX", WindowX);
    QueryInt(*key, "WindowY", WindowY);
    QueryInt(*key, "WindowWidth", WindowWidth);
    QueryInt(*key, "WindowHeight", WindowHeight);
    QueryInt(*key, "WindowMaximized", WindowMaximized);
    key->QueryString("HtmlFile", HtmlFile);
    key->QueryString("LastEmlFolder", LastEmlFolder);
    QueryList(*key, "Attachment", Attachments);
    QueryList(*key, "RecentPage", RecentPages);
    if (RecentPages.size() > kMaxRecentPages) RecentPages.resize(kMaxRecentPages);
    key->Close(err);
}

bool WindowState::Save(std::string& err) const {
    std::unique_ptr<platform::SettingsKey> key = m_pStore->CreateForSetting(AppSettings::kKey, err);
    if (!key) return false;
    key->SetDword("WindowX", static_cast<std::uint32_t>(WindowX));
    key->SetDword("WindowY", static_cast<std::uint32_t>(WindowY));
    key->SetDword("WindowWidth", static_cast<std::uint32_t>(WindowWidth));
    key->SetDword("WindowHeight", static_cast<std::uint32_t>(WindowHeight));
    key->SetDword("WindowMaximized", static_cast<std::uint32_t>(WindowMaximized));
    key->SetString("HtmlFile", HtmlFile);
    key->SetString("LastEmlFolder", LastEmlFolder);
    SetList(*key, "Attachment", Attachments);
    SetList(*key, "RecentPage", RecentPages);
    return key->Close(err);
}

void WindowState::RememberPage(const std::string& path) {
    if (path.empty()) return;
    RecentPages.erase(std::remove(RecentPages.begin(), RecentPages.end(), path), RecentPages.end());
    RecentPages.insert(RecentPages.begin(), path);
    if (RecentPages.size() > kMaxRecentPages) RecentPages.resize(kMaxRecentPages);
}
