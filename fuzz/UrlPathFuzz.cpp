// Decoding values: never reads outside the value; under UTF-8 the result is
// never longer than the value.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "compose/UrlPath.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string out;
    DecodeUrlPath(text, out, "UTF-8");
    if (out.size() > text.size()) std::abort();
    DecodeUrlPath(text, out, "ISO-8859-1");
    std::string converted;
    Utf8ToAnsi(text, "ISO-8859-1", converted);
    return 0;
}
