#pragma once
// The HTML and CSS features a page uses, named the way the client-support
// data can be looked up by: "element:video", "property:position",
// "value:display:flex", "media:prefers-color-scheme", "pseudo-class:hover",
// "selector:child", "unit:px", "function:rgb", "image:image/png". Each with
// its count and the first few places, as offsets in one of the texts scanned.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace check {

class FeatureScan {
public:
    static constexpr std::size_t kPlacesKept = 5;

    struct At {
        std::uint32_t nSource = 0;  // 0: the page; then the style sheets in the order scanned
        std::size_t nOffset = 0;
    };
    struct Use {
        std::size_t nCount = 0;
        std::vector<At> listFirst;  // at most kPlacesKept, in the order found
    };

    void Add(std::string_view name, std::size_t offset) { Add(name, At{m_nSource, offset}); }
    void Add(std::string_view name, At at);

    // An element as written in the page: its name (lower case) at its tag.
    void Element(std::string_view tag, std::size_t offset);
    // One attribute; value as written, without quotes.
    void Attribute(std::string_view tag, std::string_view name, std::string_view value, std::size_t offset);

    // CSS text at offset in the current source: a style sheet or a <style>
    // block, or the declarations of a style attribute.
    void StyleSheet(std::string_view css, std::size_t offset);
    void Declarations(std::string_view css, std::size_t offset);

    // Later additions belong to another text.
    void SetSource(std::uint32_t source) { m_nSource = source; }

    const std::unordered_map<std::string, Use>& Uses() const { return m_uses; }
    // Every <link> tag of the page: the composer may replace some by <style>.
    const std::vector<std::size_t>& LinkTags() const { return m_linkTags; }

private:
    std::unordered_map<std::string, Use> m_uses;
    std::uint32_t m_nSource = 0;
    std::string m_key;   // reused for lookups
    std::string m_name;  // reused to build names
    std::vector<std::size_t> m_linkTags;
};

} // namespace check
