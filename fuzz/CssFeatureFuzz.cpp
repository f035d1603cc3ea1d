// The check's CSS tokenizer over arbitrary bytes, as a style sheet and as a
// style attribute's declarations: every place it records lies in the text.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "check/FeatureScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view css(reinterpret_cast<const char*>(data), size);
    constexpr std::size_t kBase = 1000;  // where the text sits in its page
    check::FeatureScan scan;
    scan.StyleSheet(css, kBase);
    scan.SetSource(1);
    scan.Declarations(css, kBase);
    for (const auto& [name, use] : scan.Uses()) {
        if (name.empty() || use.nCount < use.listFirst.size() || use.listFirst.size() > check::FeatureScan::kPlacesKept)
            std::abort();
        for (const check::FeatureScan::At& at : use.listFirst)
            if (at.nOffset < kBase || at.nOffset > kBase + size || at.nSource > 1) std::abort();
    }
    return 0;
}
