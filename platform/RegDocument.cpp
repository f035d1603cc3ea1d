#include "platform/RegDocument.h"

#include "core/Ascii.h"

namespace platform {
namespace {

const char kRoot[] = "HKEY_CURRENT_USER";

// A CR counts as space, so lines read the same with either kind of line end.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii::Lower(a[i]) != ascii::Lower(b[i])) return false;
    return true;
}

bool StartsWithNoCase(const std::string& s, std::size_t at, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i)
        if (at + i >= s.size() || ascii::Lower(s[at + i]) != prefix[i]) return false;
    return true;
}

std::size_t SkipSpace(const std::string& s, std::size_t p) {
    while (p < s.size() && IsSpace(s[p])) ++p;
    return p;
}

std::string TrimRight(const std::string& s) {
    std::size_t n = s.size();
    while (n > 0 && IsSpace(s[n - 1])) --n;
    return s.substr(0, n);
}

// The line without its LF.
std::string Content(const std::string& raw) {
    return !raw.empty() && raw.back() == '\n' ? raw.substr(0, raw.size() - 1) : raw;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = ascii::Lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A quoted text starting at s[p] == '"': only \\ and \" are escapes; a backslash
// before anything else stands for itself, as regedit reads it.
bool ParseQuoted(const std::string& s, std::size_t p, std::string& out, std::size_t& next) {
    out.clear();
    for (std::size_t i = p + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
        } else if (c == '"') {
            next = i + 1;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

std::string Quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') q += '\\';
        q += c;
    }
    return q + "\"";
}

std::string FormatName(const std::string& name) { return name.empty() ? "@" : Quote(name); }

// Where the data of a value line starts, or npos when the line has no name and '='.
std::size_t DataStart(const std::string& s, std::size_t p, std::string& name) {
    std::size_t q;
    if (s[p] == '@') {
        name.clear();
        q = p + 1;
    } else if (!ParseQuoted(s, p, name, q)) {
        return std::string::npos;
    }
    q = SkipSpace(s, q);
    if (q >= s.size() || s[q] != '=') return std::string::npos;
    return SkipSpace(s, q + 1);
}

bool ParseHexBytes(const std::string& s, std::size_t p, std::string& out) {
    out.clear();
    std::size_t end = TrimRight(s).size();
    while (p < end) {
        std::size_t comma = s.find(',', p);
        if (comma == std::string::npos || comma > end) comma = end;
        std::size_t a = SkipSpace(s, p), b = comma;
        while (b > a && IsSpace(s[b - 1])) --b;
        if (b == a) {
            if (comma != end) return false;  // ",," has no byte
        } else {
            if (b - a > 2) return false;
            int v = 0;
            for (std::size_t i = a; i < b; ++i) {
                int d = HexDigit(s[i]);
                if (d < 0) return false;
                v = v * 16 + d;
            }
            out += static_cast<char>(v);
        }
        p = comma + 1;
    }
    return true;
}

bool IsHexData(const std::string& s) {
    std::size_t p = SkipSpace(s, 0);
    if (p >= s.size() || (s[p] != '"' && s[p] != '@')) return false;
    std::string name;
    std::size_t d = DataStart(s, p, name);
    return d != std::string::npos && StartsWithNoCase(s, d, "hex");
}

// UTF-16LE to UTF-8; false on an odd length or a lone surrogate.
bool Utf16ToUtf8(const std::string& in, std::string& out) {
    out.clear();
    if (in.size() % 2 != 0) return false;
    auto unit = [&](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(in[i])) |
               static_cast<unsigned>(static_cast<unsigned char>(in[i + 1])) << 8;
    };
    for (std::size_t i = 0; i < in.size(); i += 2) {
        unsigned c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 2 >= in.size()) return false;
            unsigned low = unit(i += 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

const char kVersion5[] = "Windows Registry Editor Version 5.00";

} // namespace

void RegDocument::Warn(int lineNo, const std::string& what) {
    m_listWarnings.push_back(m_strSource + ":" + std::to_string(lineNo) + ": " + what);
}

void RegDocument::Parse(const std::string& text, const std::string& source) {
    m_listLines.clear();
    m_listWarnings.clear();
    m_strUnreadable.clear();
    m_strSource = source;
    m_mapSeen.clear();

    auto starts = [&](const char* bom) { return text.compare(0, 2, bom) == 0; };
    if (starts("\xFE\xFF")) {
        m_strUnreadable = "it is UTF-16 big-endian text";
    } else if (starts("\xFF\xFE")) {
        // The UTF-16 form of the export is read as the same text in UTF-8.
        std::string utf8;
        if (!Utf16ToUtf8(text.substr(2), utf8)) {
            m_strUnreadable = "it is not valid UTF-16 text";
        } else {
            std::size_t end = utf8.find_first_of("\r\n");
            if (utf8.compare(0, end, kVersion5) == 0) utf8.replace(0, end, "REGEDIT4");
            ParseText(utf8);
            ConvertWideStrings();
        }
    } else {
        ParseText(text);
    }
    if (!m_strUnreadable.empty()) {
        m_listLines.clear();
        Line whole;
        whole.raw = text;
        m_listLines.push_back(std::move(whole));
        m_listWarnings.clear();  // the line by line complaints would only repeat it
        Warn(1, "the file cannot be read: " + m_strUnreadable);
    }
    m_mapSeen.clear();
}

void RegDocument::ParseText(const std::string& text) {
    m_bHeaderKnown = false;
    std::vector<std::string> phys;
    for (std::size_t p = 0; p < text.size();) {
        std::size_t nl = text.find('\n', p);
        std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        phys.push_back(text.substr(p, end - p));
        p = end;
    }

    std::string currentKey;
    bool headerSeen = false;
    for (std::size_t i = 0; i < phys.size();) {
        Line line;
        line.lineNo = static_cast<int>(i) + 1;
        line.raw = phys[i];
        std::string logical = Content(phys[i]);
        if (i == 0 && logical.compare(0, 3, "\xEF\xBB\xBF") == 0) logical.erase(0, 3);
        ++i;
        bool cut = false;
        if (IsHexData(logical)) {
            // A long hex value goes on over lines that end in a backslash; the
            // lines it goes on to are indented, as regedit writes them.
            for (std::string t = TrimRight(logical); !t.empty() && t.back() == '\\'; t = TrimRight(logical)) {
                if (i >= phys.size() || phys[i].empty() || (phys[i][0] != ' ' && phys[i][0] != '\t')) {
                    cut = true;
                    break;
                }
                std::string more = Content(phys[i]);
                logical = t.substr(0, t.size() - 1) + more.substr(SkipSpace(more, 0));
                line.raw += phys[i++];
            }
        }
        if (cut) Warn(line.lineNo, "the value is cut short; it is ignored");
        else ParseLogical(line, logical, currentKey, headerSeen);
        m_listLines.push_back(std::move(line));
    }
    // Nothing recognised at all, yet something there: not a registry file,
    // whatever its name says.
    bool anyText = false, anyUsed = m_bHeaderKnown;
    for (const Line& l : m_listLines) {
        anyUsed = anyUsed || l.type != Type::Other;
        std::string t = TrimRight(Content(l.raw));
        std::size_t p = SkipSpace(t, 0);
        anyText = anyText || (p < t.size() && t[p] != ';');
    }
    if (anyText && !anyUsed) m_strUnreadable = "nothing in it reads as a registry file";
}

// In a UTF-16 export, hex(1) strings hold UTF-16 too.
void RegDocument::ConvertWideStrings() {
    for (Line& l : m_listLines) {
        if (l.type != Type::Value || l.kind != REG_SZ) continue;
        std::string text = Content(l.raw), name, value;
        std::size_t d = DataStart(text, SkipSpace(text, 0), name);
        if (d == std::string::npos || !StartsWithNoCase(text, d, "hex")) continue;
        if (!Utf16ToUtf8(l.data, value)) continue;
        if (!value.empty() && value.back() == '\0') value.pop_back();
        l.data = value + '\0';
    }
}

void RegDocument::ParseLogical(Line& line, const std::string& text, std::string& currentKey, bool& headerSeen) {
    std::size_t p = SkipSpace(text, 0);
    if (p >= text.size() || text[p] == ';') return;
    if (!headerSeen) {
        headerSeen = true;
        std::string first = TrimRight(text.substr(p));
        m_bHeaderKnown = first == "REGEDIT4" || first == kVersion5;
        if (m_bHeaderKnown) return;
        Warn(line.lineNo, "the file does not start with REGEDIT4");
    }
    char c = text[p];
    if (c == '[') {
        std::size_t close = text.rfind(']');
        currentKey.clear();  // values after a key that cannot be used belong to none
        if (close == std::string::npos || close < p) {
            Warn(line.lineNo, "a key line without ']' is ignored");
            return;
        }
        if (SkipSpace(text, close + 1) != text.size()) Warn(line.lineNo, "text after ']' is ignored");
        std::string key = text.substr(p + 1, close - p - 1);
        std::size_t slash = key.find('\\');
        if (!key.empty() && key[0] == '-') {
            Warn(line.lineNo, "removing a key is not supported; the line is kept and ignored");
        } else if (!SameText(key.substr(0, slash), kRoot)) {
            Warn(line.lineNo, "key [" + key + "] is not under " + kRoot + "; it is kept but not used");
        } else {
            line.type = Type::Section;
            line.key = key;
            currentKey = key;
        }
        return;
    }
    if (c != '"' && c != '@') {
        Warn(line.lineNo, "line not understood; it is kept but not used");
        return;
    }
    std::string name;
    std::size_t d = DataStart(text, p, name);
    if (d == std::string::npos) {
        Warn(line.lineNo, "value line not understood; it is kept but not used");
        return;
    }
    bool ok = true;
    if (d < text.size() && text[d] == '"') {
        std::string s;
        std::size_t next = 0;
        ok = ParseQuoted(text, d, s, next) && SkipSpace(text, next) == text.size();
        line.kind = REG_SZ;
        line.data = s + '\0';
    } else if (TrimRight(text.substr(d)) == "-") {
        line.bDeleted = true;
    } else if (StartsWithNoCase(text, d, "dword:")) {
        std::string digits = TrimRight(text.substr(d + 6));
        std::uint32_t v = 0;
        ok = !digits.empty() && digits.size() <= 8;
        for (char h : digits) {
            int x = HexDigit(h);
            if (x < 0) ok = false;
            v = v * 16 + static_cast<std::uint32_t>(x < 0 ? 0 : x);
        }
        line.kind = REG_DWORD;
        for (int i = 0; i < 4; ++i) line.data += static_cast<char>((v >> (8 * i)) & 0xFF);
    } else if (StartsWithNoCase(text, d, "hex")) {
        std::size_t q = d + 3;
        line.kind = REG_BINARY;
        if (q < text.size() && text[q] == '(') {
            std::size_t close = text.find(')', q);
            std::uint32_t k = 0;
            ok = close != std::string::npos && close > q + 1 && close - q - 1 <= 8;
            for (std::size_t i = q + 1; ok && i < close; ++i) {
                int x = HexDigit(text[i]);
                if (x < 0) ok = false;
                else k = k * 16 + static_cast<std::uint32_t>(x);
            }
            line.kind = k;
            q = ok ? close + 1 : q;
        }
        ok = ok && q < text.size() && text[q] == ':' && ParseHexBytes(text, q + 1, line.data);
    } else {
        ok = false;
    }
    if (!ok) {
        line.kind = 0;
        line.data.clear();
        Warn(line.lineNo, "the data of value " + FormatName(name) + " is not understood; it is kept but not used");
        return;
    }
    if (currentKey.empty()) {
        Warn(line.lineNo, "value " + FormatName(name) + " belongs to no usable key; it is kept but not used");
        return;
    }
    std::string id;
    for (char k : currentKey + '\0' + name) id += ascii::Lower(k);
    auto seen = m_mapSeen.emplace(id, line.lineNo);
    if (!seen.second)
        Warn(line.lineNo, "value " + FormatName(name) + " appears again (first on line " +
                              std::to_string(seen.first->second) + "); this one counts");
    line.type = Type::Value;
    line.key = currentKey;
    line.name = name;
}

int RegDocument::FindValue(const std::string& key, const std::string& name) const {
    for (std::size_t i = m_listLines.size(); i-- > 0;) {
        const Line& l = m_listLines[i];
        if (l.type == Type::Value && SameText(l.name, name) && SameText(l.key, key)) return static_cast<int>(i);
    }
    return -1;
}

bool RegDocument::HasKey(const std::string& key) const {
    for (const Line& l : m_listLines)
        if (l.type == Type::Section && SameText(l.key, key)) return true;
    return false;
}

bool RegDocument::Find(const std::string& key, const std::string& name, Found& out) const {
    int i = FindValue(key, name);
    if (i < 0 || m_listLines[i].bDeleted) return false;
    out.kind = m_listLines[i].kind;
    out.data = m_listLines[i].data;
    out.line = m_listLines[i].lineNo;
    return true;
}

} // namespace platform
