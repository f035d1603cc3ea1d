// Charset search over arbitrary lowered text: a name found fits its limit and
// holds no white space or double quote.
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
    return 0;
}
