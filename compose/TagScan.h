#pragma once
// The tag scan over the lowered page: where the values of one attribute of one
// kind of tag are, as plain substring searches (no HTML parsing).
#include <cstddef>
#include <functional>
#include <string_view>

// (tag, position, length): where the tag's '<' is, and the value's extent.
using TagValueFn = std::function<void(std::size_t, std::size_t, std::size_t)>;

// Calls onValue for each value found, in increasing position: per tag named
// tagName (lower case) and followed by white space (IsTagNameEnd), or per tag of
// any name when tagName is empty, the first occurrence of attribute, '=' after
// optional white space, then a quoted or unquoted value. Values that begin with
// http://, https:// or ftp:// go to onRemote instead, when given.
void ScanTagValues(std::string_view lower, std::string_view tagName, std::string_view attribute,
                   const TagValueFn& onValue, const TagValueFn& onRemote = {});

// Space, tab, CR and LF.
inline bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// What may follow a tag name the scans look for: HTML's white space, form feed included.
inline bool IsTagNameEnd(char c) { return IsHtmlSpace(c) || c == '\f'; }

// One attribute of a tag's text: where its name starts, where the whole
// attribute ends (after a closing quote), and its value inside the quotes.
// Positions count from the start of the tag's text.
struct TagAttribute {
    std::string_view name;
    std::size_t nStart = 0;
    std::size_t nEnd = 0;
    std::size_t nValueStart = 0;
    std::size_t nValueLength = 0;
    bool bValue = false;  // an '=' follows the name
    bool bQuoted = false;
    bool bClosed = true;  // false when a quoted value runs to the end of the tag
};

// The one reader of a tag's attributes, as HTML reads them: names end at white
// space, '/', or '='; a value is quoted, or ends at white space. Calls onAttribute
// for each in order until it returns true; returns whether one did.
bool ForEachTagAttribute(std::string_view lowerTag, const std::function<bool(const TagAttribute&)>& onAttribute);

// The first attribute named name (lower case) in a lowered tag's text whose
// value is complete; false when the tag has none.
bool FindTagAttribute(std::string_view lowerTag, std::string_view name, TagAttribute& found);
