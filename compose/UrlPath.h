#pragma once
// Turning an attribute value of the page into a file name.
#include <string>
#include <string_view>

// Replaces every cFind in str by cReplace.
void ReplaceChar(std::string& str, char cFind, char cReplace);

// Converts UTF-8 bytes to the file-name codeset. False when the bytes are not
// valid UTF-8 (a sequence cut short included) or do not exist in that codeset.
bool Utf8ToAnsi(const std::string& strUtf8, const std::string& strCodeset, std::string& strOut);

// Decodes %XX escapes and the entities &amp; &quot; &lt; &gt; of a path.
// When an escape gave a byte of 128 or more, the decoded bytes are UTF-8: they
// are converted to strCodeset unless that is UTF-8 itself, and kept as they
// are when the conversion fails. Raw bytes of 128 or more are never converted.
void DecodeUrlPath(const std::string& strText, std::string& strOut, const std::string& strCodeset);

// Decodes the entities &amp; &quot; &lt; &gt; alone, as DecodeUrlPath reads them.
std::string DecodeEntities(const std::string& strText);

// http://, https:// or ftp://, in any case: an address the message leaves as
// written and nobody looks up as a file.
bool IsRemoteAddress(std::string_view value);
// "//host/...": remote too, where the page's own scheme would complete it.
inline bool IsSchemeRelative(std::string_view value) { return value.substr(0, 2) == "//"; }
