// The five tag scans over arbitrary bytes: values lie inside the text and come
// in increasing order.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "compose/TagScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string lower(reinterpret_cast<const char*>(data), size);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const char* pairs[][2] = {{"link", "href"}, {"script", "src"}, {"img", "src"}, {"", "background"}, {"input", "src"}};
    for (auto& pair : pairs) {
        std::size_t last = 0;
        bool first = true;
        ScanTagValues(lower, pair[0], pair[1], [&](std::size_t tag, std::size_t pos, std::size_t len) {
            if (tag >= pos || lower[tag] != '<' || pos + len > size || (!first && pos <= last)) std::abort();
            first = false;
            last = pos;
        });
    }
    return 0;
}
