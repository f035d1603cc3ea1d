#include "compose/TagScan.h"

#include <string>

#include "compose/UrlPath.h"

void ScanTagValues(std::string_view lower, std::string_view tagName, std::string_view attribute,
                   const TagValueFn& onValue, const TagValueFn& onRemote) {
    const std::string open = "<" + std::string(tagName);
    std::size_t search = 0;
    while (true) {
        std::size_t start = lower.find(open, search);
        if (start == std::string_view::npos) return;
        std::size_t inner = start + open.size();
        if (!tagName.empty()) {
            // "<imgx" and "<img>" name no tag the scan wants.
            if (inner >= lower.size() || !IsTagNameEnd(lower[inner])) {
                search = inner;
                continue;
            }
            ++inner;
        }
        std::size_t end = lower.find('>', inner);
        if (end == std::string_view::npos) return;  // every later tag lacks its '>' too
        search = end + 1;
        std::string_view tag = lower.substr(inner, end - inner);

        std::size_t at = tag.find(attribute);
        if (at == std::string_view::npos) continue;
        at += attribute.size();
        while (at < tag.size() && IsHtmlSpace(tag[at])) ++at;
        if (at >= tag.size() || tag[at] != '=') continue;
        ++at;
        while (at < tag.size() && IsHtmlSpace(tag[at])) ++at;
        if (at >= tag.size()) continue;

        std::size_t valueStart, valueEnd;
        char quote = tag[at];
        if (quote == '"' || quote == '\'') {
            valueStart = at + 1;
            valueEnd = tag.find(quote, valueStart);
            if (valueEnd == std::string_view::npos) continue;
        } else {
            // Only a space ends an unquoted value; tabs and line breaks stay in it.
            valueStart = at;
            valueEnd = tag.find(' ', valueStart);
            if (valueEnd == std::string_view::npos) valueEnd = tag.size();
        }
        std::string_view value = tag.substr(valueStart, valueEnd - valueStart);
        if (IsRemoteAddress(value)) {
            if (onRemote) onRemote(start, inner + valueStart, valueEnd - valueStart);
            continue;
        }
        onValue(start, inner + valueStart, valueEnd - valueStart);
    }
}

bool FindTagAttribute(std::string_view lowerTag, std::string_view name, TagAttribute& found) {
    for (std::size_t at = lowerTag.find(name); at != std::string_view::npos; at = lowerTag.find(name, at + 1)) {
        if (at == 0 || !IsTagNameEnd(lowerTag[at - 1])) continue;
        std::size_t i = at + name.size();
        while (i < lowerTag.size() && IsHtmlSpace(lowerTag[i])) ++i;
        if (i >= lowerTag.size() || lowerTag[i] != '=') continue;
        ++i;
        while (i < lowerTag.size() && IsHtmlSpace(lowerTag[i])) ++i;
        if (i >= lowerTag.size()) return false;
        found.nStart = at;
        if (lowerTag[i] == '"' || lowerTag[i] == '\'') {
            std::size_t close = lowerTag.find(lowerTag[i], i + 1);
            if (close == std::string_view::npos) return false;
            found.nValueStart = i + 1;
            found.nValueLength = close - i - 1;
            found.nEnd = close + 1;
        } else {
            std::size_t close = i;
            while (close < lowerTag.size() && !IsHtmlSpace(lowerTag[close])) ++close;
            found.nValueStart = i;
            found.nValueLength = close - i;
            found.nEnd = close;
        }
        return true;
    }
    return false;
}
