#include "check/HtmlReferences.h"

#include <gumbo.h>

#include <algorithm>
#include <memory>

#include "check/FeatureScan.h"
#include "compose/CssUrls.h"
#include "core/Ascii.h"

namespace check {
namespace {

bool IsWebAddress(std::string_view text) {
    std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    std::string head = ascii::ToLower(text.substr(start, 8));
    return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

class Finder {
public:
    Finder(std::string_view page, FeatureScan* features) : m_page(page), m_features(features) {}

    void Walk(const GumboNode* root) {
        // Depth-first without recursion: pages nest deeper than a stack allows.
        std::vector<const GumboNode*> stack{root};
        while (!stack.empty()) {
            const GumboNode* node = stack.back();
            stack.pop_back();
            const GumboVector* children = nullptr;
            if (node->type == GUMBO_NODE_COMMENT && m_features && InPage(node->v.text.original_text))
                m_features->Add("html:comment", OffsetOf(node->v.text.original_text.data));
            if (node->type == GUMBO_NODE_DOCUMENT) {
                children = &node->v.document.children;
            } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
                Element(node);
                children = &node->v.element.children;
            }
            if (!children) continue;
            for (unsigned i = children->length; i > 0; --i)
                stack.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
        }
    }

    std::vector<FoundReference> m_found;

private:
    std::size_t OffsetOf(const char* p) const { return static_cast<std::size_t>(p - m_page.data()); }
    bool InPage(const GumboStringPiece& s) const {
        return s.data && s.data >= m_page.data() && s.data + s.length <= m_page.data() + m_page.size();
    }

    void Add(FoundKind kind, std::size_t offset, std::size_t length, const std::string& tag, const char* attribute,
             bool styleSheet = false) {
        m_found.push_back(FoundReference{kind, offset, length, tag, attribute, styleSheet});
    }

    // The value text without its quotes; false for an attribute without a value.
    bool ValueOf(const GumboAttribute* a, std::size_t& offset, std::string_view& text) const {
        if (!InPage(a->original_value) || a->original_value.length == 0) return false;
        text = std::string_view(a->original_value.data, a->original_value.length);
        offset = OffsetOf(a->original_value.data);
        if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0]) {
            text = text.substr(1, text.size() - 2);
            ++offset;
        }
        return true;
    }

    std::string TagName(const GumboElement& e) const {
        if (e.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(e.tag);
        GumboStringPiece name = e.original_tag;
        gumbo_tag_from_original_text(&name);
        return ascii::ToLower(std::string_view(name.data ? name.data : "", name.length));
    }

    void Srcset(const std::string& tag, std::size_t offset, std::string_view text) {
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && (ascii::IsSpace(text[i]) || text[i] == ',')) ++i;
            std::size_t start = i;
            while (i < text.size() && !ascii::IsSpace(text[i])) ++i;
            std::size_t end = i;
            // A comma right after the address ends the candidate.
            if (end > start && text[end - 1] == ',') --end;
            else
                while (i < text.size() && text[i] != ',') ++i;  // the descriptors
            if (end > start) Add(FoundKind::Srcset, offset + start, end - start, tag, "srcset");
        }
    }

    void Css(const std::string& tag, const char* attribute, std::size_t offset, std::string_view css) {
        ForEachCssUrl(css, [&](std::size_t at, std::size_t length, bool import) {
            Add(import ? FoundKind::CssImport : FoundKind::CssUrl, offset + at, length, tag,
                import ? "@import" : attribute);
        });
    }

    void Element(const GumboNode* node) {
        const GumboElement& e = node->v.element;
        std::string tag = TagName(e);
        std::size_t tagOffset = InPage(e.original_tag) ? OffsetOf(e.original_tag.data) : 0;
        if (e.tag == GUMBO_TAG_SVG) Add(FoundKind::InlineSvg, tagOffset, e.original_tag.length, tag, "");
        if (e.tag == GUMBO_TAG_IMG && InPage(e.original_tag) && !gumbo_get_attribute(&e.attributes, "alt"))
            Add(FoundKind::ImageWithoutAlt, tagOffset, e.original_tag.length, tag, "");

        if (m_features && InPage(e.original_tag) && e.original_tag.length) m_features->Element(tag, tagOffset);

        bool styleSheet = false;
        if (const GumboAttribute* rel = gumbo_get_attribute(&e.attributes, "rel"))
            styleSheet = ascii::ToLower(rel->value).find("stylesheet") != std::string::npos;

        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            if (m_features && InPage(a->original_name))
                m_features->Attribute(tag, a->name, a->value, OffsetOf(a->original_name.data));
            std::size_t offset;
            std::string_view text;
            if (!ValueOf(a, offset, text)) continue;
            std::string name = a->name;
            if (m_features && name == "style") m_features->Declarations(text, offset);
            auto add = [&](FoundKind kind) { Add(kind, offset, text.size(), tag, a->name, styleSheet); };
            if (name == "background") add(FoundKind::TagScanned);
            else if (name == "style") Css(tag, "style", offset, text);
            else if (name == "srcset" && (e.tag == GUMBO_TAG_IMG || e.tag == GUMBO_TAG_SOURCE))
                Srcset(tag, offset, text);
            else if (name == "src") {
                switch (e.tag) {
                case GUMBO_TAG_IMG:
                case GUMBO_TAG_SCRIPT:
                case GUMBO_TAG_INPUT: add(FoundKind::TagScanned); break;
                case GUMBO_TAG_VIDEO:
                case GUMBO_TAG_AUDIO:
                case GUMBO_TAG_SOURCE: add(FoundKind::Media); break;
                case GUMBO_TAG_IFRAME: add(FoundKind::Frame); break;
                case GUMBO_TAG_EMBED: add(FoundKind::ObjectOrEmbed); break;
                default: break;
                }
            } else if (name == "href" && e.tag == GUMBO_TAG_LINK) add(FoundKind::TagScanned);
            else if (name == "href" && (e.tag == GUMBO_TAG_A || e.tag == GUMBO_TAG_AREA) && IsWebAddress(text))
                add(FoundKind::Anchor);
            else if (name == "poster" && e.tag == GUMBO_TAG_VIDEO) add(FoundKind::Poster);
            else if (name == "data" && e.tag == GUMBO_TAG_OBJECT) add(FoundKind::ObjectOrEmbed);
        }

        if (e.tag == GUMBO_TAG_STYLE)
            for (unsigned i = 0; i < e.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
                if (child->type != GUMBO_NODE_TEXT || !InPage(child->v.text.original_text)) continue;
                const GumboStringPiece& text = child->v.text.original_text;
                Css(tag, "url()", OffsetOf(text.data), std::string_view(text.data, text.length));
                if (m_features) m_features->StyleSheet(std::string_view(text.data, text.length), OffsetOf(text.data));
            }
    }

    std::string_view m_page;
    FeatureScan* m_features;
};

} // namespace

// The tree lives as long as one walk: its many small blocks come from large
// chunks and go all at once, not one free each.
class Arena {
public:
    static void* Allocate(void* self, std::size_t size) { return static_cast<Arena*>(self)->Take(size); }
    static void Release(void*, void*) {}

private:
    void* Take(std::size_t size) {
        size = (size + 15) & ~std::size_t(15);
        if (size > m_left) {
            std::size_t chunk = std::max(size, kChunk);
            m_chunks.emplace_back(new (std::align_val_t(16)) unsigned char[chunk]);
            m_next = m_chunks.back().get();
            m_left = chunk;
        }
        void* p = m_next;
        m_next += size;
        m_left -= size;
        return p;
    }
    static constexpr std::size_t kChunk = 4 << 20;
    struct Free {
        void operator()(unsigned char* p) const { ::operator delete[](p, std::align_val_t(16)); }
    };
    std::vector<std::unique_ptr<unsigned char[], Free>> m_chunks;
    unsigned char* m_next = nullptr;
    std::size_t m_left = 0;
};

std::vector<FoundReference> FindReferences(std::string_view page, FeatureScan* features) {
    Arena arena;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::Allocate;
    options.deallocator = &Arena::Release;
    options.userdata = &arena;
    options.max_errors = 0;  // the parse errors are of no use here
    GumboOutput* output = gumbo_parse_with_options(&options, page.data(), page.size());
    Finder finder(page, features);
    finder.Walk(output->document);
    const GumboDocument& document = output->document->v.document;
    // <!DOCTYPE html>, with no public identifier: the HTML5 one.
    if (features && document.has_doctype && std::string_view(document.name) == "html" && !*document.public_identifier) {
        std::size_t at = ascii::ToLower(page.substr(0, std::min<std::size_t>(page.size(), 4096))).find("<!doctype");
        if (at != std::string::npos) features->Add("html:doctype", at);
    }
    return std::move(finder.m_found);
}

} // namespace check
