#include "compose/TagScan.h"

#include <algorithm>
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

bool ForEachTagAttribute(std::string_view tag, const std::function<bool(const TagAttribute&)>& onAttribute) {
    std::size_t at = 0;
    while (true) {
        while (at < tag.size() && (IsHtmlSpace(tag[at]) || tag[at] == '\f' || tag[at] == '/')) ++at;
        if (at >= tag.size()) return false;
        TagAttribute a;
        a.nStart = at;
        while (at < tag.size() && !IsTagNameEnd(tag[at]) && tag[at] != '=' && tag[at] != '/') ++at;
        if (at == a.nStart) ++at;  // a stray '=': step over it
        a.name = tag.substr(a.nStart, at - a.nStart);
        std::size_t next = at;
        while (next < tag.size() && IsTagNameEnd(tag[next])) ++next;
        if (next < tag.size() && tag[next] == '=' && a.name != "=") {
            a.bValue = true;
            at = next + 1;
            while (at < tag.size() && IsTagNameEnd(tag[at])) ++at;
            if (at < tag.size() && (tag[at] == '"' || tag[at] == '\'')) {
                a.bQuoted = true;
                std::size_t close = tag.find(tag[at], at + 1);
                a.bClosed = close != std::string_view::npos;
                if (!a.bClosed) close = tag.size();
                a.nValueStart = at + 1;
                a.nValueLength = close - at - 1;
                at = std::min(close + 1, tag.size());
            } else {
                a.nValueStart = at;
                while (at < tag.size() && !IsTagNameEnd(tag[at])) ++at;
                a.nValueLength = at - a.nValueStart;
            }
        } else {
            a.nValueStart = at;
        }
        a.nEnd = at;
        if (onAttribute(a)) return true;
    }
}

bool FindTagAttribute(std::string_view lowerTag, std::string_view name, TagAttribute& found) {
    return ForEachTagAttribute(lowerTag, [&](const TagAttribute& a) {
        if (a.name != name || !a.bValue || !a.bClosed) return false;
        found = a;
        return true;
    });
}
