#include "app/WindowState.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

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

std::string WarningsText(const WindowState::PageWarnings& page) {
    std::string text;
    for (std::uint32_t kind : page.listKinds) {
        char hex[10];
        std::snprintf(hex, sizeof hex, "%08x,", kind);
        text += hex;
    }
    if (!text.empty()) text.back() = ' ';
    return text + page.strPage;
}

// A text that does not read as kinds and a path is dropped: at worst a warning shows again.
bool ParseWarnings(const std::string& text, WindowState::PageWarnings& page) {
    std::size_t space = text.find(' ');
    if (space == std::string::npos || space + 1 >= text.size() || (space + 1) % 9 != 0) return false;
    page.listKinds.clear();
    for (std::size_t at = 0; at < space; at += 9) {
        std::uint32_t kind = 0;
        const char* first = text.data() + at;
        auto [end, ec] = std::from_chars(first, first + 8, kind, 16);
        if (ec != std::errc() || end != first + 8) return false;
        if (at + 8 < space && text[at + 8] != ',') return false;
        page.listKinds.push_back(kind);
    }
    page.strPage = text.substr(space + 1);
    return page.listKinds.size() <= WindowState::kMaxHiddenKinds;
}

void QueryWarnings(platform::SettingsKey& key, std::vector<WindowState::PageWarnings>& list) {
    std::vector<std::string> texts;
    QueryList(key, "HiddenWarning", texts);
    list.clear();
    for (const std::string& text : texts)
        if (WindowState::PageWarnings page; list.size() < WindowState::kMaxHiddenPages && ParseWarnings(text, page))
            list.push_back(std::move(page));
}

void SetWarnings(platform::SettingsKey& key, const std::vector<WindowState::PageWarnings>& list) {
    std::vector<std::string> texts;
    for (const WindowState::PageWarnings& page : list) texts.push_back(WarningsText(page));
    SetList(key, "HiddenWarning", texts);
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
    QueryWarnings(*key, HiddenWarnings);
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
    SetWarnings(*key, HiddenWarnings);
    return key->Close(err);
}

bool WindowState::SaveHiddenWarnings(std::string& err) const {
    std::unique_ptr<platform::SettingsKey> key = m_pStore->CreateForSetting(AppSettings::kKey, err);
    if (!key) return false;
    SetWarnings(*key, HiddenWarnings);
    return key->Close(err);
}

void WindowState::RememberPage(const std::string& path) {
    if (path.empty()) return;
    RecentPages.erase(std::remove(RecentPages.begin(), RecentPages.end(), path), RecentPages.end());
    RecentPages.insert(RecentPages.begin(), path);
    if (RecentPages.size() > kMaxRecentPages) RecentPages.resize(kMaxRecentPages);
}

bool WindowState::IsWarningHidden(const std::string& page, std::uint32_t kind) const {
    for (const PageWarnings& p : HiddenWarnings)
        if (p.strPage == page) return std::find(p.listKinds.begin(), p.listKinds.end(), kind) != p.listKinds.end();
    return false;
}

void WindowState::SetHiddenWarnings(const std::string& page, std::vector<std::uint32_t> kinds) {
    HiddenWarnings.erase(std::remove_if(HiddenWarnings.begin(), HiddenWarnings.end(),
                                        [&](const PageWarnings& p) { return p.strPage == page; }),
                         HiddenWarnings.end());
    if (kinds.empty() || page.empty()) return;
    if (kinds.size() > kMaxHiddenKinds) kinds.resize(kMaxHiddenKinds);
    HiddenWarnings.insert(HiddenWarnings.begin(), PageWarnings{page, std::move(kinds)});
    if (HiddenWarnings.size() > kMaxHiddenPages) HiddenWarnings.resize(kMaxHiddenPages);
}
