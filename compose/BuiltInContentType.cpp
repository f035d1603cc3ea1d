#include <unordered_map>

#include "compose/MimeTypeTable.h"
#include "compose/MimeTypesFile.h"

namespace {

// A row is read as at most nine words: the type and up to eight extensions,
// each of at most 15 characters, as the table was always read.
constexpr int kMaxRowExtensions = 8;
constexpr std::size_t kMaxRowExtension = 15;

// Built once from the rows in order; emplace keeps the earlier row's type.
const std::unordered_map<std::string, std::string>& BuiltInIndex() {
    static const std::unordered_map<std::string, std::string> index = [] {
        std::unordered_map<std::string, std::string> m;
        for (const char* const* row = MimeTypeTable; *row; ++row) {
            std::string_view rest = *row;
            std::size_t sp = rest.find(' ');
            std::string type(rest.substr(0, sp));
            int count = 0;
            while (sp != std::string_view::npos && count < kMaxRowExtensions) {
                rest = rest.substr(sp + 1);
                sp = rest.find(' ');
                std::string_view ext = rest.substr(0, sp);
                ++count;
                if (!ext.empty() && ext.size() <= kMaxRowExtension) m.emplace(std::string(ext), type);
            }
        }
        return m;
    }();
    return index;
}

} // namespace

bool FindBuiltInContentType(const std::string& strExtension, std::string& strContentType) {
    std::string key = ExtensionKey(strExtension);
    if (key.empty() || key.size() > kMaxContentType) return false;
    const auto& index = BuiltInIndex();
    auto it = index.find(key);
    if (it == index.end()) return false;
    strContentType = it->second;
    return true;
}
