#pragma once
// Dot-stuffing for SMTP DATA: a line that starts with '.' gets one more in
// front, or a lone "." would end the data early. Lines end with CR LF, which
// may fall across two pieces of input, so the state carries over.
#include <cstddef>
#include <string>

class CDotStuffer {
public:
    // Appends the stuffed form of in to out.
    void Feed(const char* in, std::size_t n, std::string& out);

private:
    enum class State { LineStart, InLine, AfterCr } m_state = State::LineStart;
};
