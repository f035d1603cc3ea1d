#include "app/WindowState.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <variant>

#include "app/OldWarningKinds.h"

namespace {

const char kWindow[] = "Window";
const char kCheck[] = "Check";
const char kHiddenWarnings[] = "HiddenWarnings";

struct StateRow {
    const char* key;
    std::variant<int WindowState::*, bool WindowState::*, std::string WindowState::*,
                 std::vector<std::string> WindowState::*>
        member;
};
const StateRow kRows[] = {{"WindowX", &WindowState::WindowX},
                          {"WindowY", &WindowState::WindowY},
                          {"WindowWidth", &WindowState::WindowWidth},
                          {"WindowHeight", &WindowState::WindowHeight},
                          {"WindowMaximized", &WindowState::WindowMaximized},
                          {"HtmlFile", &WindowState::HtmlFile},
                          {"LastEmlFolder", &WindowState::LastEmlFolder},
                          {"Attachments", &WindowState::Attachments},
                          {"RecentPages", &WindowState::RecentPages},
                          {"ListSendFile", &WindowState::ListSendFile},
                          {"ListSendJournal", &WindowState::ListSendJournal},
                          {"ListSendColumn", &WindowState::ListSendColumn},
                          {"ListSendUnsubscribe", &WindowState::ListSendUnsubscribe},
                          {"ListSendRate", &WindowState::ListSendRate}};

// A value that does not read as its type leaves the field as it was.
void LoadRow(platform::SettingsDocument& doc, const StateRow& row, WindowState& state) {
    std::visit(
        [&](auto member) {
            auto& v = state.*member;
            using T = std::decay_t<decltype(v)>;
            std::string text;
            if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                if (doc.GetList(kWindow, row.key, v)) std::erase(v, std::string());
            } else if (!doc.Get(kWindow, row.key, text)) {
            } else if constexpr (std::is_same_v<T, std::string>) {
                v = text;
            } else if constexpr (std::is_same_v<T, bool>) {
                if (text == "true" || text == "false") v = text == "true";
            } else {
                int n = 0;
                auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
                if (ec == std::errc() && end == text.data() + text.size()) v = n;
            }
        },
        row.member);
}

void SaveRow(platform::SettingsDocument& doc, const StateRow& row, const WindowState& state) {
    std::visit(
        [&](auto member) {
            const auto& v = state.*member;
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::vector<std::string>>) doc.SetList(kWindow, row.key, v);
            else if constexpr (std::is_same_v<T, std::string>) doc.Set(kWindow, row.key, v);
            else if constexpr (std::is_same_v<T, bool>) doc.Set(kWindow, row.key, v ? "true" : "false");
            else doc.Set(kWindow, row.key, std::to_string(v));
        },
        row.member);
}

std::string WarningsText(const WindowState::PageWarnings& page) {
    std::string text;
    for (const std::string& kind : page.listKinds) text += kind + ",";
    if (!text.empty()) text.back() = ' ';
    return text + page.strPage;
}

// Earlier versions stored each kind as 8 hex digits, a hash of its sentence:
// those become the kinds they stand for. A hash of no known sentence can never
// match again, so it goes; an id this version does not know stays, for the
// version that wrote it.
bool ReadKind(std::string_view text, std::vector<std::string>& kinds, bool& migrated) {
    if (text.empty() || text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string_view::npos)
        return false;
    std::uint32_t hash = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), hash, 16);
    if (text.size() != 8 || ec != std::errc() || end != text.data() + text.size()) {
        kinds.emplace_back(text);
        return true;
    }
    migrated = true;
    for (std::string& kind : KindsOfOldWarning(hash))
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(std::move(kind));
    return true;
}

// A text that does not read as kinds and a path is dropped: at worst a warning shows again.
bool ParseWarnings(const std::string& text, WindowState::PageWarnings& page, bool& migrated) {
    std::size_t space = text.find(' ');
    if (space == std::string::npos || space + 1 >= text.size()) return false;
    page.listKinds.clear();
    for (std::size_t at = 0; at <= space;) {
        std::size_t end = std::min(text.find(',', at), space);
        if (!ReadKind(std::string_view(text).substr(at, end - at), page.listKinds, migrated)) return false;
        at = end + 1;
    }
    page.strPage = text.substr(space + 1);
    return !page.listKinds.empty() && page.listKinds.size() <= WindowState::kMaxHiddenKinds;
}

// True when kinds of earlier versions were carried over.
bool LoadWarnings(platform::SettingsDocument& doc, std::vector<WindowState::PageWarnings>& list) {
    std::vector<std::string> texts;
    if (!doc.GetList(kCheck, kHiddenWarnings, texts)) return false;
    list.clear();
    bool migrated = false;
    for (const std::string& text : texts)
        if (WindowState::PageWarnings page;
            list.size() < WindowState::kMaxHiddenPages && ParseWarnings(text, page, migrated))
            list.push_back(std::move(page));
    return migrated;
}

void SaveWarnings(platform::SettingsDocument& doc, const std::vector<WindowState::PageWarnings>& list) {
    std::vector<std::string> texts;
    for (const WindowState::PageWarnings& page : list) texts.push_back(WarningsText(page));
    doc.SetList(kCheck, kHiddenWarnings, texts);
}

} // namespace

void WindowState::Load() {
    std::string err;
    std::unique_ptr<platform::SettingsDocument> doc = m_pStore->Read(err);
    if (!doc) return;
    for (const StateRow& row : kRows) LoadRow(*doc, row, *this);
    if (RecentPages.size() > kMaxRecentPages) RecentPages.resize(kMaxRecentPages);
    // Written back at once, so the hashes are read only this once.
    if (LoadWarnings(*doc, HiddenWarnings)) SaveHiddenWarnings(err);
}

bool WindowState::Save(std::string& err) const {
    std::unique_ptr<platform::SettingsDocument> doc = m_pStore->Edit(err);
    if (!doc) return false;
    for (const StateRow& row : kRows) SaveRow(*doc, row, *this);
    SaveWarnings(*doc, HiddenWarnings);
    return doc->Commit(err);
}

bool WindowState::SaveHiddenWarnings(std::string& err) const {
    std::unique_ptr<platform::SettingsDocument> doc = m_pStore->Edit(err);
    if (!doc) return false;
    SaveWarnings(*doc, HiddenWarnings);
    return doc->Commit(err);
}

bool WindowState::SaveListSend(std::string& err) const {
    std::unique_ptr<platform::SettingsDocument> doc = m_pStore->Edit(err);
    if (!doc) return false;
    for (const StateRow& row : kRows)
        if (std::string_view(row.key).starts_with("ListSend")) SaveRow(*doc, row, *this);
    return doc->Commit(err);
}

void WindowState::ImportOld(const OldSettings& old, platform::SettingsDocument& doc) {
    OldSetting v;
    auto list = [&](const std::string& name) {
        std::vector<std::string> items;
        for (std::int32_t i = 1; i <= v.number && i <= 10000; ++i)
            if (OldSetting item; old(name + std::to_string(i), item) && !item.bNumber && !item.text.empty())
                items.push_back(item.text);
        return items;
    };
    for (const StateRow& row : kRows) {
        if (std::holds_alternative<std::vector<std::string> WindowState::*>(row.member)) {
            std::string name = row.key;
            name.pop_back();  // "Attachments": Attachment1, Attachment2, ... counted by AttachmentCount
            if (old(name + "Count", v) && v.bNumber) doc.SetList(kWindow, row.key, list(name));
        } else if (old(row.key, v)) {
            bool flag = std::holds_alternative<bool WindowState::*>(row.member);
            doc.Set(kWindow, row.key, !v.bNumber ? v.text : flag ? (v.number ? "true" : "false") : std::to_string(v.number));
        }
    }
    if (old("HiddenWarningCount", v) && v.bNumber) doc.SetList(kCheck, kHiddenWarnings, list("HiddenWarning"));
    if (old("FirstRun", v) && v.bNumber) doc.Set(kWindow, "FirstRun", v.number ? "true" : "false");
}

void WindowState::RememberPage(const std::string& path) {
    if (path.empty()) return;
    RecentPages.erase(std::remove(RecentPages.begin(), RecentPages.end(), path), RecentPages.end());
    RecentPages.insert(RecentPages.begin(), path);
    if (RecentPages.size() > kMaxRecentPages) RecentPages.resize(kMaxRecentPages);
}

bool WindowState::IsWarningHidden(const std::string& page, const std::string& kind) const {
    for (const PageWarnings& p : HiddenWarnings)
        if (p.strPage == page) return std::find(p.listKinds.begin(), p.listKinds.end(), kind) != p.listKinds.end();
    return false;
}

void WindowState::SetHiddenWarnings(const std::string& page, std::vector<std::string> kinds) {
    HiddenWarnings.erase(std::remove_if(HiddenWarnings.begin(), HiddenWarnings.end(),
                                        [&](const PageWarnings& p) { return p.strPage == page; }),
                         HiddenWarnings.end());
    if (kinds.empty() || page.empty()) return;
    if (kinds.size() > kMaxHiddenKinds) kinds.resize(kMaxHiddenKinds);
    HiddenWarnings.insert(HiddenWarnings.begin(), PageWarnings{page, std::move(kinds)});
    if (HiddenWarnings.size() > kMaxHiddenPages) HiddenWarnings.resize(kMaxHiddenPages);
}
