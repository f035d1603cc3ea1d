#pragma once
// A plain-text rendering of an HTML page, for the text/plain alternative of a
// message: headings, paragraphs, list items and line breaks kept, links as
// "text <url>", script and style dropped, entities decoded, lines wrapped at
// 76 columns. Input and output are UTF-8; lines end with LF.
#include <string>
#include <string_view>

std::string HtmlToText(std::string_view html);

// The text of the page's title, as a browser's tab shows it: the first HTML
// <title>, entities decoded, white space folded to single spaces; empty when
// there is none. Bytes that are not UTF-8 are read as windows-1252.
std::string PageTitle(std::string_view html);
