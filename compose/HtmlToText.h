#pragma once
// A plain-text rendering of an HTML page, for the text/plain alternative of a
// message: headings, paragraphs, list items and line breaks kept, links as
// "text <url>", script and style dropped, entities decoded, lines wrapped at
// 76 columns. Input and output are UTF-8; lines end with LF.
#include <string>
#include <string_view>

std::string HtmlToText(std::string_view html);
