#include "compose/TagScan.h"

#include <string>

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsRemote(std::string_view value) {
    return StartsWith(value, "http://") || StartsWith(value, "https://") || StartsWith(value, "ftp://");
}

} // namespace

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
        if (IsRemote(value)) {
            if (onRemote) onRemote(start, inner + valueStart, valueEnd - valueStart);
            continue;
        }
        onValue(start, inner + valueStart, valueEnd - valueStart);
    }
}
