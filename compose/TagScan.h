#pragma once
// The tag scan over the lowered page: where the values of one attribute of one
// kind of tag are, as plain substring searches (no HTML parsing).
#include <cstddef>
#include <functional>
#include <string_view>

// Calls onValue(position, length) for each value found, in increasing position:
// per tag that starts with pszTagPrefix, the first occurrence of pszAttribute,
// '=' after optional white space, then a quoted or unquoted value. Values that
// begin with http://, https:// or ftp:// go to onRemote instead, when given.
void ScanTagValues(std::string_view lower, std::string_view tagPrefix, std::string_view attribute,
                   const std::function<void(std::size_t, std::size_t)>& onValue,
                   const std::function<void(std::size_t, std::size_t)>& onRemote = {});

// Space, tab, CR and LF.
inline bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
