#pragma once
// Quoted-printable (RFC 2045) for message bodies, as a small stream filter:
// feed text in pieces of any size; lines end with LF or CR LF on input and
// CR LF on output; encoded lines stay within 76 characters.
#include <cstddef>
#include <string>
#include <string_view>

class CQuotedPrintableEncoder {
public:
    void Feed(std::string_view in, std::string& out);
    // Ends the last line; call once after the last piece.
    void Finish(std::string& out);

private:
    void Put(std::string_view token, std::string& out);
    void EndLine(std::string& out);
    std::string m_line;   // the encoded line so far
    std::string m_held;   // a space or tab not yet known to end its line
    bool m_cr = false;    // a CR waits to see whether LF follows
};
