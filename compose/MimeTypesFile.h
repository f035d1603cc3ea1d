#pragma once
// Readers for the two text formats content types come from on Linux.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

// Longest content type accepted from any source.
constexpr std::size_t kMaxContentType = 127;

// True for "type/subtype" made of MIME token characters, at most 127 of them.
bool IsMimeType(std::string_view type);

// The extension as the indexes key it: without one leading dot, ASCII lowered.
std::string ExtensionKey(std::string_view extension);

// mime.types: "type ext ext ..." per line, '#' starts a comment. Adds each
// extension not yet in index with the line's type, so the first line wins.
void ParseMimeTypes(std::string_view text, std::unordered_map<std::string, std::string>& index);

struct GlobMatch {
    int nWeight = 0;
    std::string strType;
};

// shared-mime-info globs2: "weight:type:pattern[:flags]" per line. Only
// patterns "*.ext" count; per extension the highest weight wins, and of equal
// weights the one met first.
void ParseGlobs2(std::string_view text, std::unordered_map<std::string, GlobMatch>& index);
