#pragma once
#include <string>

// Rows of "content/type ext ext ...", lower case, ended by nullptr.
extern const char* const MimeTypeTable[];

// The first row of MimeTypeTable that lists the extension (one leading dot
// optional, ASCII case ignored). False, result untouched, when none does.
bool FindBuiltInContentType(const std::string& strExtension, std::string& strContentType);
