#pragma once
#include <string>

// The folder part of path, '/' included; false when the path holds no '/'.
bool GetFolderOfPath(const std::string& path, std::string& folder);

// The text after the last '/', or the whole path when it has none.
std::string GetFileNamePart(const std::string& path);

// The extension with its dot, or "" when there is none. Without a '/', a dot in
// the very first position does not begin an extension.
std::string GetFileExtension(const std::string& path);
