#include "smtp/AddressList.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Control characters shown as escapes, so the message itself stays one line.
std::string Printable(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else out += static_cast<char>(c);
    }
    return out;
}

} // namespace

std::vector<std::string> SplitList(const std::string& strText, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= strText.size() && !strText.empty()) {
        std::size_t end = strText.find(separator, start);
        if (end == std::string::npos) end = strText.size();
        std::size_t b = start;
        while (b < end && strText[b] == ' ') ++b;
        if (b < end) pieces.push_back(strText.substr(b, end - b));
        start = end + 1;
    }
    return pieces;
}

bool ParseAddressList(const std::string& strText, std::vector<std::string>& list) {
    if (strText.empty()) return false;
    std::string text = strText;
    for (char& c : text)
        if (c == ';') c = ',';
    // UTF-8 and ASCII never use separator or bracket bytes inside a character,
    // so plain byte searches are safe here.
    for (const std::string& raw : SplitList(text, ',')) {
        std::string piece = Trim(raw);
        if (piece.empty()) continue;
        std::size_t lt = piece.find('<');
        if (lt != std::string::npos) {
            std::size_t gt = piece.find('>', lt + 1);
            piece = Trim(piece.substr(lt + 1, gt == std::string::npos ? std::string::npos : gt - lt - 1));
        }
        if (!piece.empty()) list.push_back(piece);
    }
    return true;
}

bool CheckEnvelopeAddress(const std::string& addr, std::string& reason) {
    for (unsigned char c : addr) {
        if (c < 0x20 || c == 0x7f) {
            reason = "The address \"" + Printable(addr) + "\" contains a control character.";
            return false;
        }
        if (c == '<' || c == '>') {
            reason = "The address \"" + addr + "\" contains '<' or '>'.";
            return false;
        }
    }
    return true;
}
