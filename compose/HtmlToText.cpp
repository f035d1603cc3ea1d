#include "compose/HtmlToText.h"

#include <gumbo.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/Ascii.h"
#include "core/Utf8.h"

namespace {

constexpr std::size_t kWidth = 76;

std::size_t Columns(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;  // count lead bytes only
    return n;
}

// Collects words into wrapped lines and blocks separated by blank lines.
class TextWriter {
public:
    void Word(std::string_view w) {
        if (w.empty()) return;
        if (m_pendingBreaks) FlushBreaks();
        std::size_t cols = Columns(w);
        const bool begun = m_lineCols > m_indent.size();
        if (begun && m_space) {
            if (m_lineCols + 1 + cols > kWidth) {
                NewLine();
                m_wordStart = 0;
            } else {
                m_line += ' ';
                ++m_lineCols;
                m_wordStart = m_line.size();
            }
        } else if (begun) {
            // The rest of a word split by markup ("<b>Hel</b>lo", "<url>."): the
            // whole word moves, as a break inside it would add a space.
            if (m_wordStart > 0 && m_lineCols + cols > kWidth) {
                std::string head = m_line.substr(m_wordStart);
                m_line.resize(m_wordStart);
                NewLine();
                StartLine();
                m_line += head;
                m_lineCols = Columns(m_line);
                m_wordStart = 0;
            }
        } else {
            m_wordStart = 0;
        }
        StartLine();
        m_line += w;
        m_lineCols += cols;
        m_space = false;
    }
    void Space() { m_space = true; }
    // Text as it stands, line ends kept: for <pre>.
    void Verbatim(std::string_view text) {
        if (m_pendingBreaks) FlushBreaks();
        for (char c : text) {
            if (c == '\n') {
                StartLine();
                NewLine();
            } else {
                StartLine();
                m_line += c;
                ++m_lineCols;
            }
        }
    }
    // At least n line ends before the next word (2 = a blank line).
    void Break(int n) {
        if (m_line.empty() && m_out.empty()) return;
        if (n > m_pendingBreaks) m_pendingBreaks = n;
        m_space = false;
    }
    void SetIndent(std::string indent) { m_indent = std::move(indent); }
    const std::string& Indent() const { return m_indent; }
    // The prefix of the next line only (a list marker).
    void SetMarker(std::string marker) { m_marker = std::move(marker); }
    std::string Finish() {
        if (!m_line.empty()) EndLine();
        while (!m_out.empty() && m_out.back() == '\n') m_out.pop_back();
        return m_out.empty() ? m_out : m_out + "\n";
    }
    std::size_t LineColumns() const { return m_lineCols; }

private:
    void StartLine() {
        if (!m_line.empty() || m_lineStarted) return;
        m_lineStarted = true;
        if (!m_marker.empty()) {
            std::string lead = m_indent.size() >= m_marker.size() ? m_indent.substr(0, m_indent.size() - m_marker.size())
                                                                  : std::string();
            m_line = lead + m_marker;
            m_marker.clear();
        } else {
            m_line = m_indent;
        }
        m_lineCols = Columns(m_line);
    }
    void EndLine() {
        while (!m_line.empty() && m_line.back() == ' ') m_line.pop_back();
        m_out += m_line + "\n";
        m_line.clear();
        m_lineCols = 0;
        m_wordStart = 0;
        m_lineStarted = false;
    }
    void NewLine() {
        EndLine();
        m_space = false;
    }
    void FlushBreaks() {
        if (!m_line.empty() || m_lineStarted) EndLine();
        // Count the line ends already written.
        int have = 0;
        for (std::size_t i = m_out.size(); i > 0 && m_out[i - 1] == '\n'; --i) ++have;
        for (int i = have; i < m_pendingBreaks && !m_out.empty(); ++i) m_out += '\n';
        m_pendingBreaks = 0;
    }

    std::string m_out, m_line, m_indent, m_marker;
    std::size_t m_lineCols = 0;
    std::size_t m_wordStart = 0;  // in m_line, of the last word; 0 when it begins the line
    bool m_space = false, m_lineStarted = false;
    int m_pendingBreaks = 0;
};

bool IsBlock(GumboTag t) {
    switch (t) {
    case GUMBO_TAG_DIV: case GUMBO_TAG_SECTION: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER: case GUMBO_TAG_NAV: case GUMBO_TAG_ASIDE: case GUMBO_TAG_MAIN:
    case GUMBO_TAG_CENTER: case GUMBO_TAG_ADDRESS: case GUMBO_TAG_FIGURE: case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FORM: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_TR:
    case GUMBO_TAG_CAPTION: case GUMBO_TAG_TBODY: case GUMBO_TAG_THEAD: case GUMBO_TAG_TFOOT:
        return true;
    default:
        return false;
    }
}

// Separated from what surrounds them by a blank line.
bool IsParagraph(GumboTag t) {
    switch (t) {
    case GUMBO_TAG_P: case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4:
    case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_UL: case GUMBO_TAG_OL: case GUMBO_TAG_DL:
    case GUMBO_TAG_TABLE: case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_PRE: case GUMBO_TAG_HR:
        return true;
    default:
        return false;
    }
}

bool IsSkipped(GumboTag t) {
    return t == GUMBO_TAG_SCRIPT || t == GUMBO_TAG_STYLE || t == GUMBO_TAG_HEAD || t == GUMBO_TAG_TEMPLATE ||
           t == GUMBO_TAG_NOSCRIPT || t == GUMBO_TAG_TITLE || t == GUMBO_TAG_SELECT || t == GUMBO_TAG_OBJECT ||
           t == GUMBO_TAG_IFRAME || t == GUMBO_TAG_SVG;
}

const char* Attr(const GumboElement& e, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? a->value : nullptr;
}

// RFC 3986: a letter, then letters, digits, '+', '-' or '.', then ':'.
bool HasScheme(std::string_view url) {
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (url.empty() || !letter(url[0])) return false;
    for (char c : url.substr(1)) {
        if (c == ':') return true;
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

// The address a link adds after its text; empty when the text already says it
// or the address means nothing to a reader of the message: anchors, scripts,
// embedded parts, and relative paths, which have no page to resolve against.
std::string LinkTarget(const GumboElement& e, std::string_view text) {
    const char* href = Attr(e, "href");
    if (!href) return {};
    std::string url(ascii::Trim(href));
    if (!HasScheme(url) || ascii::StartsWithNoCase(url, "javascript:") || ascii::StartsWithNoCase(url, "cid:") ||
        ascii::StartsWithNoCase(url, "data:"))
        return {};
    std::string_view bare = ascii::StartsWithNoCase(url, "mailto:") ? std::string_view(url).substr(7) : url;
    if (text == url || text == bare) return {};
    return url;
}

// Deeper elements are left out: the walk recurses, and no real page nests this far.
constexpr int kMaxDepth = 512;

class Renderer {
public:
    std::string Run(const GumboNode* root) {
        Node(root);
        return m_w.Finish();
    }

private:
    void Text(const char* text) {
        if (m_pre) {
            m_w.Verbatim(text);
            return;
        }
        std::string_view s(text);
        std::size_t i = 0;
        while (i < s.size()) {
            if (ascii::IsSpace(s[i])) {
                m_w.Space();
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < s.size() && !ascii::IsSpace(s[j])) ++j;
            m_w.Word(s.substr(i, j - i));
            i = j;
        }
    }

    void Children(const GumboElement& e) {
        for (unsigned i = 0; i < e.children.length; ++i) Node(static_cast<const GumboNode*>(e.children.data[i]));
    }

    // The text inside n; with bLinks, as one line is rendered: image alt text
    // and link addresses included.
    std::string CollectText(const GumboNode* n, bool bLinks = false, int depth = 0) {
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA)
            return n->v.text.text;
        if (n->type != GUMBO_NODE_ELEMENT || depth > kMaxDepth || IsSkipped(n->v.element.tag)) return {};
        const GumboElement& e = n->v.element;
        if (bLinks && e.tag == GUMBO_TAG_IMG) {
            const char* alt = Attr(e, "alt");
            return alt ? std::string(" ") + alt + " " : std::string();
        }
        if (bLinks && e.tag == GUMBO_TAG_BR) return " ";
        std::string out;
        for (unsigned i = 0; i < e.children.length; ++i)
            out += CollectText(static_cast<const GumboNode*>(e.children.data[i]), bLinks, depth + 1);
        if (bLinks && e.tag == GUMBO_TAG_A) {
            std::string url = LinkTarget(e, ascii::Trim(CollectText(n)));
            if (!url.empty()) out += " <" + url + ">";
        }
        return out;
    }

    void Node(const GumboNode* n) {
        switch (n->type) {
        case GUMBO_NODE_DOCUMENT:
            for (unsigned i = 0; i < n->v.document.children.length; ++i)
                Node(static_cast<const GumboNode*>(n->v.document.children.data[i]));
            return;
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_WHITESPACE:
            Text(n->v.text.text);
            return;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            Element(n);
            return;
        default:
            return;
        }
    }

    void Element(const GumboNode* n) {
        const GumboElement& e = n->v.element;
        const GumboTag t = e.tag;
        if (IsSkipped(t) || m_depth >= kMaxDepth) return;
        ++m_depth;
        ElementBody(n, e, t);
        --m_depth;
    }

    void ElementBody(const GumboNode* n, const GumboElement& e, GumboTag t) {
        if (t == GUMBO_TAG_BR) {
            m_w.Break(1);
            return;
        }
        if (t == GUMBO_TAG_HR) {
            m_w.Break(2);
            m_w.Word(std::string(kWidth - m_w.Indent().size(), '-'));
            m_w.Break(2);
            return;
        }
        if (t == GUMBO_TAG_IMG) {
            const char* alt = Attr(e, "alt");
            if (alt && *alt) Text(alt);
            return;
        }
        if (t == GUMBO_TAG_A) {
            Link(n);
            return;
        }
        if (t == GUMBO_TAG_TD || t == GUMBO_TAG_TH) {
            m_w.Space();
            Children(e);
            m_w.Space();
            return;
        }
        if (t == GUMBO_TAG_LI) {
            m_w.Break(1);
            m_w.SetMarker(m_lists.empty() || m_lists.back() < 0 ? "* " : std::to_string(++m_lists.back()) + ". ");
            Children(e);
            m_w.Break(1);
            return;
        }
        if (t >= GUMBO_TAG_H1 && t <= GUMBO_TAG_H6) {
            Heading(n, t);
            return;
        }
        const bool para = IsParagraph(t), block = IsBlock(t);
        const bool nestedList = (t == GUMBO_TAG_UL || t == GUMBO_TAG_OL) && !m_lists.empty();
        if (para) m_w.Break(nestedList ? 1 : 2);
        else if (block) m_w.Break(1);
        std::string savedIndent = m_w.Indent();
        if (t == GUMBO_TAG_UL || t == GUMBO_TAG_OL) {
            m_lists.push_back(t == GUMBO_TAG_OL ? 0 : -1);
            m_w.SetIndent(savedIndent + "   ");
        } else if (t == GUMBO_TAG_BLOCKQUOTE) {
            m_w.SetIndent(savedIndent + "> ");
        }
        bool wasPre = m_pre;
        if (t == GUMBO_TAG_PRE) m_pre = true;
        Children(e);
        m_pre = wasPre;
        m_w.SetIndent(savedIndent);
        if (t == GUMBO_TAG_UL || t == GUMBO_TAG_OL) m_lists.pop_back();
        if (para) m_w.Break(m_lists.empty() ? 2 : 1);
        else if (block) m_w.Break(1);
    }

    void Heading(const GumboNode* n, GumboTag t) {
        m_w.Break(2);
        std::string text(ascii::Trim(CollectText(n, true)));
        std::string words;
        bool space = false;
        for (char c : text) {
            if (ascii::IsSpace(c)) {
                space = !words.empty();
                continue;
            }
            if (space) words += ' ';
            space = false;
            words += c;
        }
        Text(words.c_str());
        if (t <= GUMBO_TAG_H2 && !words.empty()) {
            // As long as the heading's last line, where the rule stands.
            std::size_t width = m_w.LineColumns() - std::min(m_w.LineColumns(), m_w.Indent().size());
            m_w.Break(1);
            m_w.Word(std::string(std::clamp<std::size_t>(width, 1, kWidth), t == GUMBO_TAG_H1 ? '=' : '-'));
        }
        m_w.Break(2);
    }

    void Link(const GumboNode* n) {
        Children(n->v.element);
        std::string url = LinkTarget(n->v.element, ascii::Trim(CollectText(n)));
        if (url.empty()) return;
        m_w.Space();
        m_w.Word("<" + url + ">");
    }

    TextWriter m_w;
    std::vector<int> m_lists;  // -1 for a bulleted list, else the last number used
    bool m_pre = false;
    int m_depth = 0;
};

} // namespace

std::string HtmlToText(std::string_view html) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // nothing reads them; a broken page would collect one per flaw
    GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    std::string text = Renderer().Run(output->document);
    gumbo_destroy_output(&options, output);
    return text;
}

namespace {

const GumboNode* FindTitle(const GumboNode* node) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT) return nullptr;
    if (node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == GUMBO_TAG_TITLE &&
        node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML)
        return node;
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        if (const GumboNode* found = FindTitle(static_cast<const GumboNode*>(children.data[i]))) return found;
    return nullptr;
}

} // namespace

std::string PageTitle(std::string_view html) {
    const std::string text = RepairUtf8(html);  // the parser takes UTF-8 only
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, text.data(), text.size());
    std::string title;
    if (const GumboNode* node = FindTitle(output->document)) {
        const GumboVector& children = node->v.element.children;
        for (unsigned i = 0; i < children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(children.data[i]);
            if (child->type != GUMBO_NODE_TEXT && child->type != GUMBO_NODE_WHITESPACE) continue;
            for (const char* c = child->v.text.text; *c; ++c) {
                const bool space = std::strchr(" \t\n\f\r", *c) != nullptr;
                if (!space) title += *c;
                else if (!title.empty() && title.back() != ' ') title += ' ';
            }
        }
    }
    gumbo_destroy_output(&options, output);
    if (!title.empty() && title.back() == ' ') title.pop_back();
    return title;
}
