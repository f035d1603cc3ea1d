#include "smtp/DotStuffing.h"

#include <cstring>

void CDotStuffer::Feed(const char* in, std::size_t n, std::string& out) {
    // Line by line: copy up to each LF, then judge whether it ended a line.
    for (std::size_t i = 0; i < n;) {
        if (m_state == State::LineStart && in[i] == '.') out += '.';
        const char* lf = static_cast<const char*>(std::memchr(in + i, '\n', n - i));
        std::size_t end = lf ? static_cast<std::size_t>(lf - in) + 1 : n;
        out.append(in + i, end - i);
        if (!lf) m_state = in[n - 1] == '\r' ? State::AfterCr : State::InLine;
        else if (end - i >= 2) m_state = in[end - 2] == '\r' ? State::LineStart : State::InLine;
        else m_state = m_state == State::AfterCr ? State::LineStart : State::InLine;  // the CR ended the last piece
        i = end;
    }
}
