#pragma once
// How deep an HTML parser would nest a page's elements, found without
// building the tree. The parser's time grows with the depth times the page's
// length, and walking its tree recurses once per level, so pages nested beyond
// a limit are not parsed at all.
#include <cstddef>
#include <string>
#include <string_view>

// Deeper than this, a page is not handed to the parser.
inline constexpr std::size_t kMaxParsedNesting = 1000;

// True when the parser's tree for html would hold elements nested more than
// nLimit deep, as far as a scan of the tags can tell. Elements whose end the
// parser implies (p, li, td, ...) are not counted, so a table counts once per
// level where the parser makes four: a page passed may be somewhat deeper, but
// not without bound. Linear in the page's length.
bool NestsDeeperThan(std::string_view html, std::size_t nLimit = kMaxParsedNesting);

// Pages over this size are not given to an HTML parser: its tree takes many
// times the page's size.
inline constexpr std::size_t kMaxParsedPage = 32 << 20;

// Why the page is not given to an HTML parser ("the page is ..."), or empty
// when it may be.
std::string ParseRefusal(std::string_view html);
