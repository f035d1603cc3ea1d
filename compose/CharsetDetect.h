#pragma once
// The charset a page declares, found in its lowered text.
#include <string>
#include <string_view>

// Longest charset name accepted; a longer one counts as not declared.
constexpr std::size_t kMaxCharsetName = 63;

// Looks, in this order, for: the charset parameter of the first meta tag whose
// content type yields one; the charset attribute of the first meta tag that has
// one; a UTF-8 byte order mark. False when none gives a name.
bool FindDeclaredCharset(std::string_view lower, std::string& strCharset);

// The first of the three searches alone.
bool FindContentTypeCharset(std::string_view lower, std::string& strCharset);
// The second: <meta charset="...">.
bool FindMetaCharsetAttribute(std::string_view lower, std::string& strCharset);
