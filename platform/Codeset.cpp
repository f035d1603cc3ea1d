#include "platform/Codeset.h"

#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>

#include "core/Utf8.h"

namespace platform {

void UseUserLocale() { std::setlocale(LC_CTYPE, ""); }

std::string LocaleCodeset() {
    const char* cs = ::nl_langinfo(CODESET);
    return cs ? cs : "";
}

bool IsUtf8Codeset(const std::string& codeset) {
    std::string s;
    for (char c : codeset)
        if (c != '-' && c != '_') s += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return s == "UTF8";
}

bool ConvertFromUtf8(const std::string& in, const std::string& codeset, std::string& out) {
    iconv_t cd = ::iconv_open(codeset.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    // Four output bytes per input byte is enough for any target codeset
    // (UTF-32 is the worst case); the loop grows the buffer anyway on E2BIG.
    std::string result(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = result.data();
    std::size_t dstLeft = result.size();
    bool ok = true;
    while (srcLeft > 0) {
        if (::iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) continue;
        if (errno != E2BIG) {
            ok = false;  // EILSEQ: unconvertible or invalid; EINVAL: cut short
            break;
        }
        std::size_t used = result.size() - dstLeft;
        result.resize(result.size() * 2);
        dst = result.data() + used;
        dstLeft = result.size() - used;
    }
    if (ok && ::iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) ok = false;
    ::iconv_close(cd);
    if (!ok) return false;
    result.resize(result.size() - dstLeft);
    out.swap(result);
    return true;
}

bool ConvertToUtf8(std::string_view in, const std::string& codeset, std::string& out,
                   const std::function<void(unsigned char, std::string&)>& onBadByte) {
    iconv_t cd = ::iconv_open("UTF-8", codeset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buf[1024];
    while (srcLeft > 0) {
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        std::size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, sizeof buf - dstLeft);
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // EILSEQ or EINVAL: the byte at src starts nothing this codeset knows.
        onBadByte(static_cast<unsigned char>(*src), out);
        ++src;
        --srcLeft;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    if (::iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1)) out.append(buf, sizeof buf - dstLeft);
    ::iconv_close(cd);
    return true;
}

std::string TextToUtf8(std::string_view text, const std::string& codeset) {
    if (IsAscii(text) || IsUtf8Codeset(codeset) || codeset == "ANSI_X3.4-1968") return RepairUtf8(text);
    std::string out;
    if (ConvertToUtf8(text, codeset, out, AppendCp1252)) return out;
    return RepairUtf8(text);
}

} // namespace platform
