#include "compose/CssUrls.h"

#include <algorithm>
#include <cctype>

#include "core/Ascii.h"

namespace {

// The first c at or after i that no backslash escapes.
std::size_t FindUnescaped(std::string_view s, char c, std::size_t i) {
    for (; i < s.size(); ++i) {
        if (s[i] == '\\') ++i;
        else if (s[i] == c) return i;
    }
    return std::string_view::npos;
}

std::size_t SkipSpace(std::string_view s, std::size_t i) {
    while (i < s.size() && ascii::IsSpace(s[i])) ++i;
    return i;
}

// In a style attribute the quotes may be written as entities.
std::string_view EntityQuote(std::string_view s) {
    for (std::string_view q : {"&quot;", "&#34;", "&#39;", "&apos;"})
        if (ascii::StartsWithNoCase(s, q)) return q;
    return {};
}

// A quoted string at i, or an unquoted url() body ending at ')'. Returns the
// position after it; start and end give the address.
std::size_t ReadAddress(std::string_view s, std::size_t i, bool unquotedToParen, std::size_t& start,
                        std::size_t& end) {
    if (std::string_view q = EntityQuote(s.substr(i)); !q.empty()) {
        start = i + q.size();
        end = s.find(q, start);
        if (end == std::string_view::npos) end = s.size();
        return std::min(end + q.size(), s.size());
    }
    if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
        char quote = s[i];
        start = i + 1;
        end = FindUnescaped(s, quote, start);
        if (end == std::string_view::npos) end = s.size();
        return end + 1;
    }
    if (!unquotedToParen) {
        start = end = i;
        return i;
    }
    start = i;
    end = FindUnescaped(s, ')', i);
    if (end == std::string_view::npos) end = s.size();
    while (end > start && ascii::IsSpace(s[end - 1])) --end;
    return end;
}

} // namespace

void ForEachCssUrl(std::string_view css, const std::function<void(std::size_t, std::size_t, bool)>& onUrl) {
    std::size_t i = 0;
    bool importing = false;  // after "@import", until the next ';'
    while (i < css.size()) {
        char c = css[i];
        if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            std::size_t close = css.find("*/", i + 2);
            i = close == std::string_view::npos ? css.size() : close + 2;
        } else if (c == '@' && ascii::StartsWithNoCase(css.substr(i), "@import")) {
            i = SkipSpace(css, i + 7);
            importing = true;
            std::size_t start, end;
            if (i < css.size() && (css[i] == '"' || css[i] == '\'' || !EntityQuote(css.substr(i)).empty())) {
                i = ReadAddress(css, i, false, start, end);
                onUrl(start, end - start, true);
            }
        } else if ((c == 'u' || c == 'U') && ascii::StartsWithNoCase(css.substr(i), "url(") &&
                   (i == 0 || !(std::isalnum(static_cast<unsigned char>(css[i - 1])) || css[i - 1] == '-'))) {
            std::size_t start, end;
            i = ReadAddress(css, SkipSpace(css, i + 4), true, start, end);
            onUrl(start, end - start, importing);
        } else {
            if (c == ';' || c == '{') importing = false;
            ++i;
        }
    }
}
