#pragma once
// UTF-8 text: checking it, and reading other bytes the way the classic program's
// code page (windows-1252) reads them.
#include <cstddef>
#include <string>
#include <string_view>

bool IsAscii(std::string_view text);

// Bytes of the well-formed UTF-8 character at the start of text, or 0 when
// there is none (stray continuation, overlong form, surrogate, cut short).
std::size_t Utf8CharLength(std::string_view text);

// Well-formed UTF-8 stays; every other byte is read as windows-1252.
std::string RepairUtf8(std::string_view text);

// The UTF-8 form of byte c read as windows-1252, appended to out.
void AppendCp1252(unsigned char c, std::string& out);

// Fed a file's bytes in pieces of any size: whether the whole is UTF-8 with at
// least one non-ASCII character.
class Utf8Check {
public:
    void Feed(const unsigned char* data, std::size_t n);
    bool IsUtf8WithNonAscii() const { return m_bValid && m_bNonAscii && m_nNeed == 0; }

private:
    bool m_bValid = true;
    bool m_bNonAscii = false;
    int m_nNeed = 0;                  // continuation bytes still to come
    unsigned char m_lo = 0x80, m_hi = 0xBF;  // range of the next continuation byte
};
