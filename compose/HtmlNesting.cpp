#include "compose/HtmlNesting.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Ascii.h"

namespace {

bool IsIn(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements that hold nothing.
bool IsVoid(std::string_view n) {
    return IsIn(n, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "image", "img", "input",
                    "keygen", "link", "meta", "param", "source", "track", "wbr"});
}

// Elements the next of their kind (or their parent's end) closes: never
// nested in themselves, and left uncounted.
bool EndIsImplied(std::string_view n) {
    return IsIn(n, {"p", "li", "dt", "dd", "tr", "td", "th", "option", "optgroup", "rb", "rt", "rp", "rtc", "tbody",
                    "thead", "tfoot", "colgroup", "caption", "html", "head", "body"});
}

// Text up to the matching end tag: no elements inside.
bool IsRawText(std::string_view n) {
    return IsIn(n, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"});
}

// Tags that end SVG or MathML content and open an HTML element again.
bool BreaksOutOfForeign(std::string_view n) {
    return IsIn(n, {"b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl", "dt", "em", "embed",
                    "h1", "h2", "h3", "h4", "h5", "h6", "head", "hr", "i", "img", "li", "listing", "menu", "meta",
                    "nobr", "ol", "p", "pre", "ruby", "s", "small", "span", "strong", "strike", "sub", "sup",
                    "table", "tt", "u", "ul", "var", "font"});
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == ':';
}

} // namespace

bool NestsDeeperThan(std::string_view html, std::size_t nLimit) {
    struct Open {
        std::string name;
        bool foreign;  // inside svg or math, where "/>" closes an element
    };
    std::vector<Open> open;
    // How many of each name are open: an end tag with none open is ignored at
    // once, so every search down the stack pops what it passes, and the whole
    // scan stays linear.
    std::unordered_map<std::string, std::size_t> openNames;
    auto closeTo = [&](const std::string& name) {
        if (!openNames[name]) return;
        while (open.back().name != name) {
            --openNames[open.back().name];
            open.pop_back();
        }
        --openNames[name];
        open.pop_back();
    };
    std::size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        std::string_view rest = html.substr(at);
        if (rest.substr(0, 4) == "<!--") {
            std::size_t end = html.find("-->", at + 4);
            if (end == std::string_view::npos) break;
            at = end + 3;
            continue;
        }
        const bool closing = rest.size() > 1 && rest[1] == '/';
        std::size_t nameStart = at + 1 + closing, nameEnd = nameStart;
        while (nameEnd < html.size() && IsNameChar(html[nameEnd])) ++nameEnd;
        std::size_t gt = html.find('>', nameEnd);
        if (gt == std::string_view::npos) break;
        if (nameEnd == nameStart || !std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
            // <!DOCTYPE ...> and <?...> end at '>'; a lone '<' is text.
            const bool markup = closing || (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?'));
            at = markup ? gt + 1 : at + 1;
            continue;
        }
        std::string name = ascii::ToLower(html.substr(nameStart, nameEnd - nameStart));
        at = gt + 1;
        const bool foreign = !open.empty() && open.back().foreign;
        if (closing) {
            closeTo(name);
            continue;
        }
        if (name == "plaintext") break;  // the rest is text
        if (!foreign && IsRawText(name)) {
            // Up to "</name", whatever its case.
            std::string lower = "</" + name;
            std::size_t end = at;
            while ((end = html.find("</", end)) != std::string_view::npos &&
                   !ascii::StartsWithNoCase(html.substr(end), lower))
                end += 2;
            if (end == std::string_view::npos) break;
            at = end;
            continue;
        }
        if (IsVoid(name) || EndIsImplied(name)) continue;
        const bool selfClosed = html[gt - 1] == '/';
        if (foreign && BreaksOutOfForeign(name)) {
            while (!open.empty() && open.back().foreign) {
                --openNames[open.back().name];
                open.pop_back();
            }
        }
        if (name == "a") closeTo(name);  // a new link ends the one still open
        const bool nowForeign = name == "svg" || name == "math" || (!open.empty() && open.back().foreign);
        if (nowForeign && selfClosed) continue;
        ++openNames[name];
        open.push_back(Open{std::move(name), nowForeign});
        if (open.size() > nLimit) return true;
    }
    return false;
}

std::string ParseRefusal(std::string_view html) {
    if (html.size() > kMaxParsedPage) return "the page is over " + std::to_string(kMaxParsedPage >> 20) + " MB";
    if (NestsDeeperThan(html))
        return "the page nests elements more than " + std::to_string(kMaxParsedNesting) + " deep";
    return {};
}
