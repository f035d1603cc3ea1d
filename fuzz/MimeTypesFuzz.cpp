// Both readers of content-type files over arbitrary text; whatever they index
// is only ever handed out when it is a valid type.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "compose/MimeTypesFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::unordered_map<std::string, std::string> types;
    ParseMimeTypes(text, types);
    std::unordered_map<std::string, GlobMatch> globs;
    ParseGlobs2(text, globs);
    for (const auto& [ext, type] : types)
        if (IsMimeType(type) && type.size() > kMaxContentType) std::abort();
    for (const auto& [ext, match] : globs) {
        for (char c : ext)
            if (c >= 'A' && c <= 'Z') std::abort();  // keys are lowered, as lookups lower theirs
        IsMimeType(match.strType);
    }
    return 0;
}
