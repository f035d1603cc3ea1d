#pragma once
// Reading the values that webmail drops or hides: data: URIs and CSS escapes.
#include <string>
#include <string_view>

// A data: URI (RFC 2397) taken apart. strType is the media type as a header
// value: "type/subtype", then each parameter after ";\r\n\t". Without a type it
// is text/plain;charset=US-ASCII. False when the URI is malformed: no comma, a
// type or parameter that is no MIME token, or base64 that does not decode.
bool ParseDataUri(std::string_view uri, std::string& strType, std::string& strBytes);
inline bool IsDataUri(std::string_view value) {
    return value.size() >= 5 && (value[0] | 0x20) == 'd' && (value[1] | 0x20) == 'a' && (value[2] | 0x20) == 't' &&
           (value[3] | 0x20) == 'a' && value[4] == ':';
}

// A file name for the n-th data part: "image1.png" from image/png, "part2"
// for a type without a known extension.
std::string DataPartName(const std::string& strType, std::size_t n);

// Resolves CSS escapes (\) and \29 alike); false for an escaped line break
// or a backslash at the end, which no address holds.
bool CssUnescape(std::string_view in, std::string& out);

// a/./b and a/x/../b as a browser reads them: lexically.
std::string CollapseDotSegments(const std::string& path);
