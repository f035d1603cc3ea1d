#pragma once
// What an HTML5 parser finds in a page: every attribute and CSS address that
// loads something, with its place in the page's bytes.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace check {

enum class FoundKind {
    TagScanned,       // img src, link href, script src, input src, background: what the composer scans
    Srcset,           // one candidate of srcset
    CssUrl,           // url() in a style attribute or a <style> block
    CssImport,        // @import in a <style> block
    Media,            // video, audio and source src
    Poster,           // video poster
    Frame,            // iframe src
    ObjectOrEmbed,    // object data, embed src
    InlineSvg,        // an <svg> element: the offset is its tag's
    ImageWithoutAlt,  // an <img> without alt: the offset is its tag's
    Anchor,           // a and area href to http(s): only the link check reads these
};

struct FoundReference {
    FoundKind kind = FoundKind::TagScanned;
    std::size_t nOffset = 0;  // of the value text, quotes excluded
    std::size_t nLength = 0;
    std::string strTag;  // lower case
    std::string strAttribute;
    bool bStyleSheetLink = false;  // a <link> whose rel names a style sheet
};

class FeatureScan;

// In the order of the document; the page's bytes are taken as they are.
// With features, the same parse also names the features the page uses.
std::vector<FoundReference> FindReferences(std::string_view page, FeatureScan* features = nullptr);

} // namespace check
