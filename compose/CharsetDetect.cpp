#include "compose/CharsetDetect.h"

#include "compose/TagScan.h"
#include "core/Utf8.h"
#include "platform/Codeset.h"

namespace {

const std::string_view kMetaPrefix = "<meta ";

std::size_t SkipSpace(std::string_view s, std::size_t at) {
    while (at < s.size() && IsHtmlSpace(s[at])) ++at;
    return at;
}

// Walks the meta tags in order; onTag returns true to stop with a result.
template <typename OnTag>
bool ForEachMetaTag(std::string_view lower, OnTag onTag) {
    std::size_t search = 0;
    while (true) {
        std::size_t start = lower.find(kMetaPrefix, search);
        if (start == std::string_view::npos) return false;
        std::size_t inner = start + kMetaPrefix.size();
        std::size_t end = lower.find('>', inner);
        if (end == std::string_view::npos) return false;
        search = end + 1;
        int verdict = onTag(lower.substr(inner, end - inner));
        if (verdict >= 0) return verdict > 0;
    }
}

// The name runs to white space or a double quote, so a line break inside the
// content value never reaches the part header.
bool TakeName(std::string_view rest, std::string& out) {
    std::size_t n = 0;
    while (n < rest.size() && !IsHtmlSpace(rest[n]) && rest[n] != '"') ++n;
    if (n > kMaxCharsetName) return false;
    out.assign(rest.substr(0, n));
    return true;
}

// -1: go on with the next tag; 1: found.
int ContentTypeCharsetOfTag(std::string_view tag, std::string& out) {
    if (tag.find("content-type") == std::string_view::npos) return -1;
    TagAttribute content;
    if (!ForEachTagAttribute(tag, [&](const TagAttribute& a) {
            if (a.name != "content" || !a.bValue) return false;
            content = a;
            return true;
        }) ||
        !content.bClosed)
        return -1;
    // An unquoted value is read to the end of the tag, where a charset given
    // as an attribute of its own stands.
    std::string_view value = content.bQuoted ? tag.substr(content.nValueStart, content.nValueLength)
                                             : tag.substr(content.nValueStart);
    std::size_t cs = value.find("charset");
    if (cs == std::string_view::npos) return -1;
    std::size_t k = SkipSpace(value, cs + 7);
    if (k >= value.size() || value[k] != '=') return -1;
    k = SkipSpace(value, k + 1);
    // At the end of an unquoted value the tag has ended: no name.
    if (k >= value.size() && !content.bQuoted) return -1;
    return TakeName(value.substr(k), out) ? 1 : -1;
}

// 1: found; 0: the first charset attribute is unusable; -1: none in this tag.
int CharsetAttributeOfTag(std::string_view tag, std::string& out) {
    int verdict = -1;
    ForEachTagAttribute(tag, [&](const TagAttribute& a) {
        if (a.name != "charset") return false;
        std::string_view value = tag.substr(a.nValueStart, a.nValueLength);
        std::string found;
        verdict = TakeName(value.substr(SkipSpace(value, 0)), found) && !found.empty() ? 1 : 0;
        if (verdict == 1) out = found;
        return true;
    });
    return verdict;
}

// The characters of a registered charset name (RFC 2978, with the '.' and ':'
// of names such as ANSI_X3.4-1968); anything else would break the quoted
// header parameter or is no name at all.
bool IsCharsetNameText(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  std::string_view("!#$%&'+-^_`{}~.:").find(c) != std::string_view::npos;
        if (!ok) return false;
    }
    return true;
}

// The page was found by searching its bytes as ASCII, so a charset that reads
// markup differently (UTF-16, UTF-7, EBCDIC) does not describe these bytes.
// Backslash and tilde are left out: Shift_JIS reads them as yen and overline.
enum class NameUse { Unknown, NotAsciiMarkup, Usable };
NameUse CheckCharsetName(const std::string& name) {
    static const std::string_view kMarkup = "<>/=\"' !-;:?#&%.,()[]{}_+a0123456789abcdefghijklmnopqrstuvwxyz\r\n\t";
    std::string read;
    if (!IsCharsetNameText(name) ||
        !platform::ConvertToUtf8(kMarkup, name, read, [](unsigned char, std::string& o) { o += '?'; }))
        return NameUse::Unknown;
    return read == kMarkup ? NameUse::Usable : NameUse::NotAsciiMarkup;
}

bool IsUtf8Text(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = Utf8CharLength(text.substr(i));
        if (n == 0) return false;
        i += n;
    }
    return true;
}

} // namespace

std::string ChoosePageCharset(std::string_view lower, std::string& strNotice) {
    strNotice.clear();
    std::string declared;
    if (!FindDeclaredCharset(lower, declared)) return kDefaultCharset;
    NameUse use = CheckCharsetName(declared);
    if (use == NameUse::Usable) return declared;
    if (use == NameUse::Unknown) {
        strNotice = "The page declares the charset '" + declared +
                    "', which is no charset name this system knows: the message is labelled " + kDefaultCharset + ".";
        return kDefaultCharset;
    }
    std::string bytes = IsUtf8Text(lower) ? "utf-8" : kDefaultCharset;
    strNotice = "The page declares the charset '" + declared + "', but its markup is ASCII text: the message is labelled " +
                bytes + ".";
    return bytes;
}

bool FindContentTypeCharset(std::string_view lower, std::string& strCharset) {
    return ForEachMetaTag(lower, [&](std::string_view tag) { return ContentTypeCharsetOfTag(tag, strCharset); });
}

bool FindMetaCharsetAttribute(std::string_view lower, std::string& strCharset) {
    return ForEachMetaTag(lower, [&](std::string_view tag) { return CharsetAttributeOfTag(tag, strCharset); });
}

bool FindDeclaredCharset(std::string_view lower, std::string& strCharset) {
    if (FindContentTypeCharset(lower, strCharset)) return true;
    if (FindMetaCharsetAttribute(lower, strCharset)) return true;
    if (lower.substr(0, 3) == "\xEF\xBB\xBF") {
        strCharset = "utf-8";
        return true;
    }
    return false;
}
