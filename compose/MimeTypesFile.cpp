#include "compose/MimeTypesFile.h"

#include <charconv>
#include <cstring>

#include "core/Ascii.h"

namespace {

bool IsTokenChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && !std::strchr("()<>@,;:\\\"/[]?=", c);
}

std::string_view NextLine(std::string_view& text) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    return line;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view NextWord(std::string_view& line) {
    std::size_t b = 0;
    while (b < line.size() && IsBlank(line[b])) ++b;
    std::size_t e = b;
    while (e < line.size() && !IsBlank(line[e])) ++e;
    std::string_view word = line.substr(b, e - b);
    line = line.substr(e);
    return word;
}

} // namespace

bool IsMimeType(std::string_view type) {
    if (type.empty() || type.size() > kMaxContentType) return false;
    std::size_t slash = type.find('/');
    if (slash == 0 || slash == std::string_view::npos || slash + 1 == type.size()) return false;
    for (std::size_t i = 0; i < type.size(); ++i)
        if (i != slash && !IsTokenChar(type[i])) return false;
    return true;
}

std::string ExtensionKey(std::string_view extension) {
    if (!extension.empty() && extension[0] == '.') extension.remove_prefix(1);
    std::string key(extension);
    for (char& c : key) c = ascii::Lower(c);
    return key;
}

void ParseMimeTypes(std::string_view text, std::unordered_map<std::string, std::string>& index) {
    while (!text.empty()) {
        std::string_view line = NextLine(text);
        line = line.substr(0, line.find('#'));
        std::string_view type = NextWord(line);
        if (type.empty()) continue;
        for (std::string_view ext = NextWord(line); !ext.empty(); ext = NextWord(line))
            index.emplace(ExtensionKey(ext), std::string(type));
    }
}

void ParseGlobs2(std::string_view text, std::unordered_map<std::string, GlobMatch>& index) {
    while (!text.empty()) {
        std::string_view line = NextLine(text);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        std::size_t c1 = line.find(':');
        if (c1 == std::string_view::npos) continue;
        std::size_t c2 = line.find(':', c1 + 1);
        if (c2 == std::string_view::npos) continue;
        int weight = 0;
        auto [end, ec] = std::from_chars(line.data(), line.data() + c1, weight);
        if (ec != std::errc() || end != line.data() + c1) continue;
        std::string_view type = line.substr(c1 + 1, c2 - c1 - 1);
        std::string_view pattern = line.substr(c2 + 1);
        pattern = pattern.substr(0, pattern.find(':'));  // flags follow
        if (pattern.size() < 3 || pattern.substr(0, 2) != "*.") continue;
        std::string_view ext = pattern.substr(2);
        if (ext.find_first_of("*?[") != std::string_view::npos) continue;
        std::string key = ExtensionKey(ext);
        auto it = index.find(key);
        if (it == index.end())
            index.emplace(std::move(key), GlobMatch{weight, std::string(type)});
        else if (weight > it->second.nWeight)
            it->second = GlobMatch{weight, std::string(type)};
    }
}
