// Charset search over arbitrary lowered text: a name found fits its limit and
// holds no white space or double quote; the label chosen for the message is
// a name of printable ASCII that cannot end the header's quoted string.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "compose/CharsetDetect.h"
#include "compose/TagScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string lower(reinterpret_cast<const char*>(data), size);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::string cs;
    if (FindDeclaredCharset(lower, cs)) {
        if (cs.size() > kMaxCharsetName) std::abort();
        for (char c : cs)
            if (IsHtmlSpace(c) || c == '"') std::abort();
    }
    std::string notice;
    std::string label = ChoosePageCharset(lower, notice);
    if (label.empty()) std::abort();
    for (char c : label)
        if (c <= 0x20 || c >= 0x7f || c == '"' || c == '\\') std::abort();
    return 0;
}
