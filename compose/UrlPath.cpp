#include "compose/UrlPath.h"

#include <algorithm>
#include <cstring>

#include "core/Ascii.h"
#include "platform/Codeset.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct Entity {
    const char* text;
    char value;
};
// Only these four; numeric entities stay as they are.
const Entity kEntities[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}};

// Length of the entity at text[i], or 0; the comparison ignores ASCII case.
std::size_t MatchEntity(const std::string& text, std::size_t i, char& value) {
    for (const Entity& e : kEntities) {
        std::size_t n = std::strlen(e.text);
        if (text.size() - i < n) continue;
        bool same = true;
        for (std::size_t k = 0; k < n && same; ++k) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = c == e.text[k];
        }
        if (same) {
            value = e.value;
            return n;
        }
    }
    return 0;
}

} // namespace

void ReplaceChar(std::string& str, char cFind, char cReplace) { std::replace(str.begin(), str.end(), cFind, cReplace); }

bool Utf8ToAnsi(const std::string& strUtf8, const std::string& strCodeset, std::string& strOut) {
    return platform::ConvertFromUtf8(strUtf8, strCodeset, strOut);
}

void DecodeUrlPath(const std::string& strText, std::string& strOut, const std::string& strCodeset) {
    std::string decoded;
    decoded.reserve(strText.size());
    bool escapedHighByte = false;
    for (std::size_t i = 0; i < strText.size();) {
        char c = strText[i];
        if (c == '%' && i + 2 < strText.size() && HexValue(strText[i + 1]) >= 0 && HexValue(strText[i + 2]) >= 0) {
            int v = HexValue(strText[i + 1]) * 16 + HexValue(strText[i + 2]);
            if (v >= 128) escapedHighByte = true;
            decoded += static_cast<char>(v);
            i += 3;
            continue;
        }
        char entity = 0;
        std::size_t n = c == '&' ? MatchEntity(strText, i, entity) : 0;
        if (n > 0) {
            decoded += entity;
            i += n;
            continue;
        }
        decoded += c;
        ++i;
    }
    std::string converted;
    if (escapedHighByte && !platform::IsUtf8Codeset(strCodeset) && Utf8ToAnsi(decoded, strCodeset, converted))
        decoded.swap(converted);
    strOut.swap(decoded);
}

std::string DecodeEntities(const std::string& strText) {
    std::string out;
    out.reserve(strText.size());
    for (std::size_t i = 0; i < strText.size();) {
        char entity = 0;
        std::size_t n = strText[i] == '&' ? MatchEntity(strText, i, entity) : 0;
        out += n ? entity : strText[i];
        i += n ? n : 1;
    }
    return out;
}

bool IsRemoteAddress(std::string_view value) {
    return ascii::StartsWithNoCase(value, "http://") || ascii::StartsWithNoCase(value, "https://") ||
           ascii::StartsWithNoCase(value, "ftp://");
}
