#include "core/QuotedPrintable.h"

namespace {
constexpr std::size_t kMaxLine = 76;

std::string Hex(unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    return std::string{'=', kHex[c >> 4], kHex[c & 15]};
}
} // namespace

void CQuotedPrintableEncoder::Put(std::string_view token, std::string& out) {
    // A soft break (a trailing '=') keeps every line within the limit.
    if (m_line.size() + token.size() > kMaxLine - 1) {
        out += m_line + "=\r\n";
        m_line.clear();
    }
    // Mailbox files rewrite a line that starts "From "; an encoded F is left alone.
    if (m_line.empty() && token == "F") token = "=46";
    m_line += token;
}

void CQuotedPrintableEncoder::EndLine(std::string& out) {
    // White space at the end of a line would be lost in transport: encode it.
    if (!m_held.empty()) Put(Hex(static_cast<unsigned char>(m_held[0])), out);
    m_held.clear();
    out += m_line + "\r\n";
    m_line.clear();
}

void CQuotedPrintableEncoder::Feed(std::string_view in, std::string& out) {
    for (char ch : in) {
        auto c = static_cast<unsigned char>(ch);
        if (m_cr) {
            m_cr = false;
            if (c == '\n') {
                EndLine(out);
                continue;
            }
            if (!m_held.empty()) Put(m_held, out), m_held.clear();
            Put(Hex('\r'), out);  // a lone CR is data
        }
        if (c == '\r') {
            m_cr = true;
            continue;
        }
        if (c == '\n') {
            EndLine(out);
            continue;
        }
        if (!m_held.empty()) {
            Put(m_held, out);
            m_held.clear();
        }
        if (c == ' ' || c == '\t') m_held = std::string(1, ch);
        // '.' alone at a line start is left to the SMTP layer's dot-stuffing.
        else if (c >= 33 && c <= 126 && c != '=') Put(std::string_view(&ch, 1), out);
        else Put(Hex(c), out);
    }
}

void CQuotedPrintableEncoder::Finish(std::string& out) {
    if (m_cr) {
        m_cr = false;
        if (!m_held.empty()) Put(m_held, out), m_held.clear();
        Put(Hex('\r'), out);
    }
    if (!m_line.empty() || !m_held.empty()) EndLine(out);
}
