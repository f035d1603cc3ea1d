#pragma once
#include <string>

// The content type for a file extension (dot included), or false when no source knows it.
bool GetContentType(const std::string& strExtension, std::string& strContentType);
