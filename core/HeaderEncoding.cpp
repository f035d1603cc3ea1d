#include "core/HeaderEncoding.h"

#include <algorithm>
#include <cstring>

#include "core/Base64.h"
#include "core/Utf8.h"

namespace {

constexpr std::size_t kMaxEncodedWord = 75;
constexpr std::size_t kWordOverhead = 12;  // "=?UTF-8?B?" and "?="
constexpr std::size_t kSmallestWord = kWordOverhead + 8;  // room for one four-byte character

std::size_t CharLength(std::string_view text) {
    std::size_t n = Utf8CharLength(text);
    return n ? n : 1;
}

// atext of RFC 5322 and the space: what a display name may hold unquoted.
bool IsPhraseChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
           std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr;
}

// attribute-char of RFC 2231: printable ASCII but specials, '*', '\'' and '%'.
bool IsAttributeChar(unsigned char c) {
    return c > 0x20 && c < 0x7f && std::strchr("*'%()<>@,;:\\\"/[]?=", c) == nullptr;
}

// A word of a display name that can stand as it is.
bool IsPlainWord(std::string_view word) {
    return std::all_of(word.begin(), word.end(), IsPhraseChar) && word.find("=?") == std::string_view::npos;
}

} // namespace

HeaderFolder::HeaderFolder(std::string_view start, std::size_t width) : m_text(start), m_nWidth(width) {}

void HeaderFolder::Fold() {
    m_text += "\r\n";
    m_nLineStart = m_text.size();
    m_bLineEmpty = true;
}

void HeaderFolder::Add(std::string_view token, std::size_t reserve) {
    if (!m_bLineEmpty && LineLength() + 1 + token.size() + reserve > m_nWidth) Fold();
    m_text += ' ';
    m_text += token;
    m_bLineEmpty = false;
}

void HeaderFolder::AddEncodedWords(std::string_view text, bool bJoinFirst, std::size_t reserve) {
    bool join = bJoinFirst;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t used = LineLength() + (join ? 0 : 1) + reserve;
        std::size_t room = m_nWidth > used ? m_nWidth - used : 0;
        if (room < kSmallestWord && !m_bLineEmpty && !join) {
            Fold();
            room = m_nWidth > 1 + reserve ? m_nWidth - 1 - reserve : 0;
        }
        std::size_t maxBytes = (std::clamp(room, kSmallestWord, kMaxEncodedWord) - kWordOverhead) / 4 * 3;
        std::size_t end = pos;
        while (end < text.size()) {
            std::size_t n = CharLength(text.substr(end));
            if (end + n - pos > maxBytes) break;
            end += n;
        }
        std::string word = "=?UTF-8?B?";
        std::size_t at = word.size();
        word.resize(at + 4 * ((end - pos + 2) / 3));
        Base64Encode(reinterpret_cast<const unsigned char*>(text.data() + pos), end - pos, word.data() + at);
        word += "?=";
        if (join) {
            m_text += word;
            m_bLineEmpty = false;
            join = false;
        } else {
            Add(word, reserve);
        }
        pos = end;
    }
}

void HeaderFolder::AddPhrase(std::string_view name, std::size_t reserve) {
    if (!IsAscii(name)) {
        // Only the words that need it are encoded, each run of them as few
        // encoded-words as fit: readers disagree on the space between two
        // encoded-words of a name (Python's email keeps it, RFC 2047 drops it).
        std::vector<std::string_view> words;
        for (std::size_t start = 0; start < name.size();) {
            std::size_t end = std::min(name.find(' ', start), name.size());
            if (end > start) words.push_back(name.substr(start, end - start));
            start = end + 1;
        }
        for (std::size_t i = 0; i < words.size();) {
            if (IsPlainWord(words[i])) {
                Add(words[i], i + 1 == words.size() ? reserve : 0);
                ++i;
                continue;
            }
            std::string run(words[i++]);
            while (i < words.size() && !IsPlainWord(words[i])) run += " " + std::string(words[i++]);
            AddEncodedWords(run, false, i == words.size() ? reserve : 0);
        }
        return;
    }
    std::string text(name);
    if (!IsPlainWord(text)) {
        text = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\') text += '\\';
            text += c;
        }
        text += '"';
    }
    // Words go one by one so that a long name can fold; a run of spaces keeps
    // all but one of them at the front of the next word.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t from = start;
        while (from < text.size() && text[from] == ' ') ++from;
        std::size_t end = text.find(' ', from);
        if (end == std::string::npos) end = text.size();
        if (end == from) break;  // only spaces left
        Add(std::string_view(text).substr(start, end - start), end == text.size() ? reserve : 0);
        start = end + 1;
    }
}

void HeaderFolder::AddMailbox(const MailAddress& address, std::string_view suffix) {
    // Whole addresses move to the next line, so folds fall between them.
    if (!m_bLineEmpty && m_nWidth != kUnfolded) {
        HeaderFolder alone("", kUnfolded);
        alone.AddMailbox(address, suffix);
        std::size_t width = alone.Text().size();
        if (LineLength() + width > m_nWidth && width < m_nWidth) Fold();
    }
    std::string addr = address.EnvelopeAddress();
    if (address.strName.empty()) {
        Add(addr + std::string(suffix));
        return;
    }
    AddPhrase(address.strName);
    Add("<" + addr + ">" + std::string(suffix));
}

void HeaderFolder::AddAddressList(const AddressListResult& list) {
    for (std::size_t k = 0; k < list.listEntries.size(); ++k) {
        const AddressListEntry& entry = list.listEntries[k];
        const char* after = k + 1 < list.listEntries.size() ? "," : "";
        if (!entry.bGroup) {
            AddMailbox(entry.listMembers[0], after);
            continue;
        }
        const std::size_t n = entry.listMembers.size();
        std::string close = n == 0 ? std::string(":;") + after : std::string(":");
        AddPhrase(entry.strGroupName, close.size() + 1);
        // An encoded-word must stand apart from the ':' after it.
        if (m_text.ends_with("?=")) Add(close);
        else Append(close);
        for (std::size_t i = 0; i < n; ++i)
            AddMailbox(entry.listMembers[i], i + 1 < n ? std::string(",") : std::string(";") + after);
    }
}

std::size_t HeaderFolder::LongestLine() const {
    std::size_t longest = 0, start = 0;
    while (true) {
        std::size_t end = m_text.find("\r\n", start);
        longest = std::max(longest, (end == std::string::npos ? m_text.size() : end) - start);
        if (end == std::string::npos) return longest;
        start = end + 2;
    }
}

std::string FormatExtendedParameter(std::string_view attribute, std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> chars;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = CharLength(text.substr(i));
        std::string piece;
        for (std::size_t j = i; j < i + n; ++j) {
            unsigned char c = static_cast<unsigned char>(text[j]);
            if (IsAttributeChar(c)) {
                piece += static_cast<char>(c);
            } else {
                piece += '%';
                piece += kHex[c >> 4];
                piece += kHex[c & 15];
            }
        }
        chars.push_back(std::move(piece));
        i += n;
    }
    std::string name(attribute);
    std::string one = "\t" + name + "*=UTF-8''";
    for (const std::string& c : chars) one += c;
    if (one.size() <= HeaderFolder::kFoldWidth) return one;

    // Numbered sections, cut between characters; each line keeps room for its ';'.
    std::string out;
    int section = 0;
    std::string line = "\t" + name + "*0*=UTF-8''";
    std::size_t prefix = line.size();
    for (const std::string& c : chars) {
        if (line.size() > prefix && line.size() + c.size() + 1 > HeaderFolder::kFoldWidth) {
            out += line + ";\r\n";
            line = "\t" + name + "*" + std::to_string(++section) + "*=";
            prefix = line.size();
        }
        line += c;
    }
    return out + line;
}

std::string FormatEncodedWordParameter(std::string_view attribute, std::string_view text) {
    HeaderFolder folder("\t" + std::string(attribute) + "=\"");
    folder.AddEncodedWords(text, true, 1);
    folder.Append("\"");
    return folder.Text();
}
