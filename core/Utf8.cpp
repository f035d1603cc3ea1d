#include "core/Utf8.h"

namespace {

// The characters of 0x80 to 0x9F; the five bytes windows-1252 leaves undefined
// read as the C1 controls of the same number, as browsers read them.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

void AppendCp1252(unsigned char c, std::string& out) {
    char32_t cp = c < 0x80 ? c : (c < 0xA0 ? kCp1252High[c - 0x80] : c);
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

// For a lead byte: how many continuation bytes follow and the range of the
// first of them (the later ones are always 0x80 to 0xBF). -1: not a lead byte.
int LeadByte(unsigned char c, unsigned char& lo, unsigned char& hi) {
    lo = 0x80;
    hi = 0xBF;
    if (c < 0x80) return 0;
    if (c >= 0xC2 && c <= 0xDF) return 1;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
    if (c >= 0xE0 && c <= 0xEF) return 2;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    if (c >= 0xF0 && c <= 0xF4) return 3;
    return -1;
}

} // namespace

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

std::size_t Utf8CharLength(std::string_view text) {
    if (text.empty()) return 0;
    unsigned char lo, hi;
    int need = LeadByte(static_cast<unsigned char>(text[0]), lo, hi);
    if (need < 0 || text.size() <= static_cast<std::size_t>(need)) return 0;
    for (int i = 1; i <= need; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < lo || c > hi) return 0;
        lo = 0x80;
        hi = 0xBF;
    }
    return static_cast<std::size_t>(need) + 1;
}

std::string RepairUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t n = Utf8CharLength(text.substr(i));
        if (n == 0) {
            AppendCp1252(static_cast<unsigned char>(text[i]), out);
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

void Utf8Check::Feed(const unsigned char* data, std::size_t n) {
    if (!m_bValid) return;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = data[i];
        if (m_nNeed > 0) {
            if (c < m_lo || c > m_hi) {
                m_bValid = false;
                return;
            }
            m_lo = 0x80;
            m_hi = 0xBF;
            --m_nNeed;
            continue;
        }
        if (c < 0x80) continue;
        m_bNonAscii = true;
        m_nNeed = LeadByte(c, m_lo, m_hi);
        if (m_nNeed < 0) {
            m_bValid = false;
            return;
        }
    }
}
