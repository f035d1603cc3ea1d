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

// The label of a page that declares none, or one that cannot be used.
constexpr const char* kDefaultCharset = "iso-8859-1";

// What the HTML part is labelled: the declared name when this system knows it
// as a charset that reads the page's markup as ASCII; otherwise what the bytes
// are (utf-8 when they are valid UTF-8, else the default), with a sentence in
// strNotice saying why. lower is the page's lowered text.
std::string ChoosePageCharset(std::string_view lower, std::string& strNotice);

// The first of the three searches alone.
bool FindContentTypeCharset(std::string_view lower, std::string& strCharset);
// The second: <meta charset="...">.
bool FindMetaCharsetAttribute(std::string_view lower, std::string& strCharset);
