#pragma once
// The addresses a piece of CSS loads: url(...) and @import "...".
#include <cstddef>
#include <functional>
#include <string_view>

// Calls onUrl(offset, length, isImport) for each address, in text order, with
// the position of the address itself (quotes excluded). Comments are skipped.
void ForEachCssUrl(std::string_view css,
                   const std::function<void(std::size_t, std::size_t, bool)>& onUrl);
