#pragma once
// The character set that file names are written in, and conversion into it.
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Takes the character set from the user's locale (LC_CTYPE); call once at start-up.
void UseUserLocale();

// The codeset of the current locale, as nl_langinfo(CODESET) names it.
std::string LocaleCodeset();

// True for the names the C library gives UTF-8 ("UTF-8", "utf8", ...).
bool IsUtf8Codeset(const std::string& codeset);

// Converts UTF-8 bytes to codeset. False, with out untouched, when a byte
// sequence is invalid, cut short, or has no equivalent in codeset.
bool ConvertFromUtf8(const std::string& in, const std::string& codeset, std::string& out);

// Converts bytes in codeset to UTF-8, appending to out. Each byte the codeset
// cannot read is handed to onBadByte, which appends what stands for it. False
// when the system has no converter for codeset (out is then untouched).
bool ConvertToUtf8(std::string_view in, const std::string& codeset, std::string& out,
                   const std::function<void(unsigned char, std::string&)>& onBadByte);

// Text in codeset (as nl_langinfo names it) to UTF-8; bytes not valid in it
// are read as windows-1252. The C locale's ASCII counts as UTF-8, since that
// is what a terminal without a locale sends.
std::string TextToUtf8(std::string_view text, const std::string& codeset);

} // namespace platform
