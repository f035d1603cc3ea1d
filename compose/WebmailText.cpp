#include "compose/WebmailText.h"

#include <cstring>
#include <vector>

#include "compose/MimeTypeTable.h"
#include "core/Ascii.h"
#include "core/Base64.h"

namespace {

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = ascii::Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// RFC 2045's token: what may stand in a header without quotes.
bool IsToken(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 127 ||
            std::strchr("()<>@,;:\\\"/[]?=", c))
            return false;
    return true;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

bool ParseDataUri(std::string_view uri, std::string& strType, std::string& strBytes) {
    if (!IsDataUri(uri)) return false;
    std::size_t comma = uri.find(',');
    if (comma == std::string_view::npos) return false;
    std::string_view meta = uri.substr(5, comma - 5);
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        std::size_t semi = meta.find(';', at);
        fields.push_back(ascii::Trim(meta.substr(at, semi == std::string_view::npos ? semi : semi - at)));
        if (semi == std::string_view::npos) break;
        at = semi + 1;
    }
    bool base64 = fields.size() > 1 && ascii::EqualsNoCase(fields.back(), "base64");
    if (base64) fields.pop_back();

    std::string type;
    if (fields[0].empty()) {
        type = fields.size() > 1 ? "text/plain" : "text/plain;\r\n\tcharset=US-ASCII";
    } else {
        std::size_t slash = fields[0].find('/');
        if (slash == std::string_view::npos || !IsToken(fields[0].substr(0, slash)) ||
            !IsToken(fields[0].substr(slash + 1)))
            return false;
        type = ascii::ToLower(fields[0]);
    }
    for (std::size_t i = 1; i < fields.size(); ++i) {
        std::size_t eq = fields[i].find('=');
        // Browsers take "image/svg+xml;utf8,...": a bare word is dropped, not refused.
        if (eq == std::string_view::npos && IsToken(fields[i])) continue;
        if (eq == std::string_view::npos || !IsToken(fields[i].substr(0, eq)) || !IsToken(fields[i].substr(eq + 1)))
            return false;
        type += ";\r\n\t";
        type += fields[i];
    }

    std::string data;
    std::string_view text = uri.substr(comma + 1);
    data.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
            data += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
            i += 2;
        } else {
            data += text[i];
        }
    }
    if (base64) {
        std::string decoded;
        if (!Base64Decode(data, decoded)) return false;
        data.swap(decoded);
    }
    strType = std::move(type);
    strBytes = std::move(data);
    return true;
}

std::string DataPartName(const std::string& strType, std::size_t n) {
    std::string type = strType.substr(0, strType.find(';'));
    std::string name = type.substr(0, type.find('/'));
    if (name != "image" && name != "text" && name != "font" && name != "audio" && name != "video") name = "part";
    name += std::to_string(n);
    for (const char* const* row = MimeTypeTable; *row; ++row) {
        std::string_view r = *row;
        if (r.size() > type.size() && r.compare(0, type.size(), type) == 0 && r[type.size()] == ' ') {
            r.remove_prefix(type.size() + 1);
            return name + "." + std::string(r.substr(0, r.find(' ')));
        }
    }
    return name;
}

bool CssUnescape(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size() || in[i] == '\n' || in[i] == '\r' || in[i] == '\f') return false;
        if (Hex(in[i]) < 0) {
            out += in[i];
            continue;
        }
        unsigned long cp = 0;
        std::size_t digits = 0;
        for (; digits < 6 && i < in.size() && Hex(in[i]) >= 0; ++digits, ++i) cp = cp * 16 + static_cast<unsigned long>(Hex(in[i]));
        // One white space ends the escape and belongs to it; CR LF counts as one.
        if (i < in.size() && in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') ++i;
        if (!(i < in.size() && ascii::IsSpace(in[i]))) --i;
        AppendUtf8(out, cp);
    }
    return true;
}

std::string CollapseDotSegments(const std::string& path) {
    std::vector<std::string> segments;
    bool absolute = !path.empty() && path[0] == '/';
    std::size_t at = absolute ? 1 : 0;
    while (at <= path.size()) {
        std::size_t slash = path.find('/', at);
        std::string seg = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (seg == "..") {
            if (!segments.empty() && segments.back() != "..") segments.pop_back();
            else if (!absolute) segments.push_back(seg);
        } else if (seg != "." && !(seg.empty() && slash != std::string::npos)) {
            segments.push_back(seg);
        }
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) out += (i ? "/" : "") + segments[i];
    return out;
}
