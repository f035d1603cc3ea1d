#include "check/FeatureScan.h"

#include <algorithm>
#include <cctype>

#include "core/Ascii.h"

namespace check {
namespace {

// CSS tokens after CSS Syntax Level 3, as far as finding features needs:
// numbers keep their unit, comments and url() are whole tokens.
enum class Tok : std::uint8_t {
    Whitespace, Ident, Function, AtKeyword, Hash, String, Url, Number, Percentage, Dimension, Delim,
    Colon, Semicolon, Comma, LBracket, RBracket, LParen, RParen, LBrace, RBrace, Comment,
};

struct Token {
    Tok type;
    std::size_t nOffset;       // in the text tokenized
    std::string_view text;     // the name of an ident, function, at-keyword or hash; a dimension's unit
    char delim = 0;
};

bool IsNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || std::isdigit(c) || c == '-'; }

class Tokenizer {
public:
    explicit Tokenizer(std::string_view css) : m_css(css) {}

    std::vector<Token> All() {
        std::vector<Token> out;
        while (m_pos < m_css.size()) out.push_back(Next());
        return out;
    }

private:
    unsigned char At(std::size_t i) const { return i < m_css.size() ? static_cast<unsigned char>(m_css[i]) : 0; }
    bool ValidEscape(std::size_t i) const { return At(i) == '\\' && i + 1 < m_css.size() && At(i + 1) != '\n'; }
    bool StartsIdent(std::size_t i) const {
        if (At(i) == '-') return IsNameStart(At(i + 1)) || At(i + 1) == '-' || ValidEscape(i + 1);
        return IsNameStart(At(i)) || ValidEscape(i);
    }
    bool StartsNumber(std::size_t i) const {
        std::size_t j = i + (At(i) == '+' || At(i) == '-');
        return std::isdigit(At(j)) || (At(j) == '.' && std::isdigit(At(j + 1)));
    }
    std::string_view Name() {
        std::size_t start = m_pos;
        while (m_pos < m_css.size()) {
            if (ValidEscape(m_pos)) m_pos += 2;
            else if (IsNameChar(At(m_pos))) ++m_pos;
            else break;
        }
        return m_css.substr(start, m_pos - start);
    }

    Token Next() {
        const std::size_t start = m_pos;
        const unsigned char c = At(m_pos);
        auto one = [&](Tok t) { ++m_pos; return Token{t, start, {}}; };
        if (ascii::IsSpace(static_cast<char>(c))) {
            while (m_pos < m_css.size() && ascii::IsSpace(m_css[m_pos])) ++m_pos;
            return Token{Tok::Whitespace, start, {}};
        }
        if (c == '/' && At(m_pos + 1) == '*') {
            std::size_t end = m_css.find("*/", m_pos + 2);
            m_pos = end == std::string_view::npos ? m_css.size() : end + 2;
            return Token{Tok::Comment, start, {}};
        }
        if (c == '"' || c == '\'') {
            for (++m_pos; m_pos < m_css.size() && At(m_pos) != c && At(m_pos) != '\n'; ++m_pos)
                if (At(m_pos) == '\\') ++m_pos;
            if (At(m_pos) == c) ++m_pos;
            return Token{Tok::String, start, {}};
        }
        if (StartsNumber(m_pos)) {
            m_pos += At(m_pos) == '+' || At(m_pos) == '-';
            while (std::isdigit(At(m_pos))) ++m_pos;
            if (At(m_pos) == '.' && std::isdigit(At(m_pos + 1)))
                for (++m_pos; std::isdigit(At(m_pos));) ++m_pos;
            if ((At(m_pos) == 'e' || At(m_pos) == 'E') &&
                (std::isdigit(At(m_pos + 1)) || ((At(m_pos + 1) == '+' || At(m_pos + 1) == '-') && std::isdigit(At(m_pos + 2)))))
                for (m_pos += 2; std::isdigit(At(m_pos));) ++m_pos;
            if (At(m_pos) == '%') return one(Tok::Percentage);
            if (StartsIdent(m_pos)) return Token{Tok::Dimension, start, Name()};
            return Token{Tok::Number, start, {}};
        }
        if (c == '<' && m_css.substr(m_pos, 4) == "<!--") {
            m_pos += 4;
            return Token{Tok::Whitespace, start, {}};
        }
        if (c == '-' && m_css.substr(m_pos, 3) == "-->") {
            m_pos += 3;
            return Token{Tok::Whitespace, start, {}};
        }
        if (StartsIdent(m_pos)) {
            std::string_view name = Name();
            if (At(m_pos) != '(') return Token{Tok::Ident, start, name};
            ++m_pos;
            if (!ascii::EqualsNoCase(name, "url")) return Token{Tok::Function, start, name};
            std::size_t j = m_pos;
            while (ascii::IsSpace(static_cast<char>(At(j)))) ++j;
            if (At(j) == '"' || At(j) == '\'') return Token{Tok::Function, start, name};
            while (m_pos < m_css.size() && At(m_pos) != ')') m_pos += At(m_pos) == '\\' ? 2 : 1;
            m_pos = std::min(m_pos + 1, m_css.size());
            return Token{Tok::Url, start, {}};
        }
        if (c == '@' && StartsIdent(m_pos + 1)) {
            ++m_pos;
            return Token{Tok::AtKeyword, start, Name()};
        }
        if (c == '#' && (IsNameChar(At(m_pos + 1)) || ValidEscape(m_pos + 1))) {
            ++m_pos;
            return Token{Tok::Hash, start, Name()};
        }
        switch (c) {
        case ':': return one(Tok::Colon);
        case ';': return one(Tok::Semicolon);
        case ',': return one(Tok::Comma);
        case '[': return one(Tok::LBracket);
        case ']': return one(Tok::RBracket);
        case '(': return one(Tok::LParen);
        case ')': return one(Tok::RParen);
        case '{': return one(Tok::LBrace);
        case '}': return one(Tok::RBrace);
        default: break;
        }
        // A lone backslash or any other code point: one delimiter.
        Token t = one(Tok::Delim);
        t.delim = static_cast<char>(c);
        return t;
    }

    std::string_view m_css;
    std::size_t m_pos = 0;
};

bool Opens(Tok t) { return t == Tok::Function || t == Tok::LParen || t == Tok::LBracket; }
bool Closes(Tok t) { return t == Tok::RParen || t == Tok::RBracket; }

// Walks the tokens as rules and declarations, naming what each uses.
class CssWalker {
public:
    CssWalker(FeatureScan& scan, std::string_view css, std::size_t base)
        : m_scan(scan), m_tokens(Tokenizer(css).All()), m_base(base) {}

    enum class Context : std::uint8_t { Rules, Keyframes, Declarations, StyleRule };

    void Run(Context top) {
        // Blocks nest through a stack of their kinds, not through recursion.
        std::vector<Context> stack{top};
        std::size_t i = 0;
        while (i < m_tokens.size()) {
            std::size_t start = i, depth = 0;
            for (; i < m_tokens.size(); ++i) {
                Tok t = m_tokens[i].type;
                if (t == Tok::Comment) Add("css:comment", i);
                if (Opens(t)) ++depth;
                else if (Closes(t) && depth) --depth;
                else if (!depth && (t == Tok::Semicolon || t == Tok::LBrace || t == Tok::RBrace)) break;
            }
            const Tok end = i < m_tokens.size() ? m_tokens[i].type : Tok::Semicolon;
            Statement(stack, start, i, end);
            if (end == Tok::LBrace) stack.push_back(Inner(stack.back(), start, i));
            else if (end == Tok::RBrace && stack.size() > 1) stack.pop_back();
            ++i;
        }
    }

private:
    void Add(std::string_view name, std::size_t token) { m_scan.Add(name, m_base + m_tokens[token].nOffset); }

    std::size_t SkipSpace(std::size_t i, std::size_t end) const {
        while (i < end && (m_tokens[i].type == Tok::Whitespace || m_tokens[i].type == Tok::Comment)) ++i;
        return i;
    }

    // The kind of the block a statement opens.
    Context Inner(Context outer, std::size_t start, std::size_t end) const {
        std::size_t first = SkipSpace(start, end);
        if (first < end && m_tokens[first].type == Tok::AtKeyword) {
            std::string name = ascii::ToLower(m_tokens[first].text);
            if (name == "keyframes" || name == "-webkit-keyframes") return Context::Keyframes;
            if (name == "media" || name == "supports" || name == "container" || name == "layer" || name == "document" ||
                name == "scope")
                return outer == Context::StyleRule ? Context::StyleRule : Context::Rules;
            return Context::Declarations;
        }
        return outer == Context::Keyframes ? Context::Declarations : Context::StyleRule;
    }

    void Statement(const std::vector<Context>& stack, std::size_t start, std::size_t end, Tok terminator) {
        std::size_t first = SkipSpace(start, end);
        if (first >= end) return;
        const Context context = stack.back();
        if (m_tokens[first].type == Tok::AtKeyword) return AtRule(first, end);
        if (terminator == Tok::LBrace) {
            if (context == Context::Keyframes) return;  // "from", "50%": no selectors
            if (context == Context::StyleRule) Add("css:nesting", first);
            return Selector(first, end);
        }
        if (context == Context::StyleRule || context == Context::Declarations) Declaration(first, end);
    }

    void AtRule(std::size_t at, std::size_t end) {
        std::string name = ascii::ToLower(m_tokens[at].text);
        Add("at:" + name, at);
        if (name != "media") return;
        // A media feature is the name right after a '(': "(prefers-color-scheme: dark)".
        for (std::size_t i = at + 1; i < end; ++i) {
            if (m_tokens[i].type != Tok::LParen) continue;
            std::size_t j = SkipSpace(i + 1, end);
            if (j < end && m_tokens[j].type == Tok::Ident) Add("media:" + ascii::ToLower(m_tokens[j].text), j);
        }
    }

    void Declaration(std::size_t first, std::size_t end) {
        if (m_tokens[first].type != Tok::Ident) return;
        std::size_t colon = SkipSpace(first + 1, end);
        if (colon >= end || m_tokens[colon].type != Tok::Colon) return;
        std::string property = ascii::ToLower(m_tokens[first].text);
        if (property.compare(0, 2, "--") == 0) property = "--";
        Add("property:" + property, first);
        bool firstIdent = true;
        for (std::size_t i = colon + 1; i < end; ++i) {
            const Token& t = m_tokens[i];
            switch (t.type) {
            case Tok::Dimension: Add("unit:" + ascii::ToLower(t.text), i); break;
            case Tok::Percentage: Add("unit:%", i); break;
            case Tok::Function: Add("function:" + ascii::ToLower(t.text), i); break;
            case Tok::Ident: {
                std::string value = ascii::ToLower(t.text);
                // Where the data tells values apart: display:flex, flex-direction:column.
                if (firstIdent) Add("value:" + property + ":" + value, first);
                firstIdent = false;
                Add("ident:" + value, i);
                break;
            }
            case Tok::Delim:
                if (t.delim == '!') {
                    std::size_t j = SkipSpace(i + 1, end);
                    if (j < end && m_tokens[j].type == Tok::Ident && ascii::EqualsNoCase(m_tokens[j].text, "important"))
                        Add("css:important", i);
                }
                break;
            default: break;
            }
        }
    }

    // Simple selectors, pseudo-classes and combinators of a rule's prelude.
    void Selector(std::size_t first, std::size_t end) {
        unsigned simple = 0;    // in the current compound selector
        bool started = false;   // a compound has begun
        bool space = false;     // whitespace after it: a descendant combinator if another follows
        auto reset = [&] { simple = 0, started = false, space = false; };
        for (std::size_t i = first; i < end; ++i) {
            const Token& t = m_tokens[i];
            if (t.type == Tok::Whitespace || t.type == Tok::Comment) {
                space = started;
                continue;
            }
            if (t.type == Tok::Comma) {
                Add("selector:grouping", i);
                reset();
                continue;
            }
            if (t.type == Tok::Delim && (t.delim == '>' || t.delim == '+' || t.delim == '~')) {
                Add(t.delim == '>' ? "selector:child" : t.delim == '+' ? "selector:adjacent-sibling" : "selector:general-sibling", i);
                reset();
                continue;
            }
            if (space) {
                Add("selector:descendant", i);
                reset();
            }
            started = true;
            const char* kind = nullptr;
            if (t.type == Tok::Ident) kind = "selector:type";
            else if (t.type == Tok::Hash) kind = "selector:id";
            else if (t.type == Tok::Delim && t.delim == '*') kind = "selector:universal";
            else if (t.type == Tok::Delim && t.delim == '.' && i + 1 < end && m_tokens[i + 1].type == Tok::Ident) {
                kind = "selector:class";
                ++i;
            } else if (t.type == Tok::LBracket) {
                kind = "selector:attribute";
                i = Matching(i, end);
            } else if (t.type == Tok::Colon) {
                Pseudo(i, end);
                continue;
            }
            if (!kind) continue;
            Add(kind, i);
            if (++simple == 2) Add("selector:chaining", i);
        }
    }

    void Pseudo(std::size_t& i, std::size_t end) {
        std::size_t at = i;
        bool element = i + 1 < end && m_tokens[i + 1].type == Tok::Colon;
        i += element ? 2 : 1;
        if (i >= end || (m_tokens[i].type != Tok::Ident && m_tokens[i].type != Tok::Function)) return;
        std::string name = ascii::ToLower(m_tokens[i].text);
        // The four pseudo-elements that CSS 2 wrote with one colon.
        if (name == "before" || name == "after" || name == "first-line" || name == "first-letter") element = true;
        m_scan.Add((element ? "pseudo-element:" : "pseudo-class:") + name, m_base + m_tokens[at].nOffset);
        if (m_tokens[i].type == Tok::Function) i = Matching(i, end);
    }

    // The token that closes the block opened at i.
    std::size_t Matching(std::size_t i, std::size_t end) const {
        std::size_t depth = 0;
        for (; i < end; ++i) {
            if (Opens(m_tokens[i].type)) ++depth;
            else if (Closes(m_tokens[i].type) && --depth == 0) return i;
        }
        return end;
    }

    FeatureScan& m_scan;
    std::vector<Token> m_tokens;
    std::size_t m_base;
};

} // namespace

void FeatureScan::Add(std::string_view name, At at) {
    m_key.assign(name);
    Use& use = m_uses[m_key];
    ++use.nCount;
    if (use.listFirst.size() < kPlacesKept) use.listFirst.push_back(at);
}

void FeatureScan::Element(std::string_view tag, std::size_t offset) {
    m_name.assign("element:").append(tag);
    Add(m_name, offset);
    if (tag == "link" && m_nSource == 0) m_linkTags.push_back(offset);
}

void FeatureScan::Attribute(std::string_view tag, std::string_view name, std::string_view value, std::size_t offset) {
    m_name.assign("attribute:").append(name);
    Add(m_name, offset);
    if ((tag == "input" || tag == "button") && name == "type") Add(std::string(tag) + ":" + ascii::ToLower(ascii::Trim(value)), offset);
    else if (tag == "a" && name == "href") {
        std::string_view v = ascii::Trim(value);
        if (!v.empty() && v[0] == '#') Add("link:anchor", offset);
        else if (ascii::StartsWithNoCase(v, "mailto:")) Add("link:mailto", offset);
    } else if (tag == "meta" && name == "name" && ascii::EqualsNoCase(ascii::Trim(value), "color-scheme"))
        Add("meta:color-scheme", offset);
}

void FeatureScan::StyleSheet(std::string_view css, std::size_t offset) {
    CssWalker(*this, css, offset).Run(CssWalker::Context::Rules);
}

void FeatureScan::Declarations(std::string_view css, std::size_t offset) {
    CssWalker(*this, css, offset).Run(CssWalker::Context::Declarations);
}

} // namespace check
