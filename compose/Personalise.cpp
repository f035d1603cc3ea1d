#include "compose/Personalise.h"

#include <algorithm>

#include "compose/HeaderFormat.h"
#include "core/Ascii.h"
#include "core/Utf8.h"

namespace {

enum class FillMode { Html, Text, Url };

// One {{column}} or {{column|default}} mark: where it is and what it says.
struct Mark {
    std::size_t nStart = 0, nEnd = 0;  // of "{{" and past "}}"
    std::string strColumn;
    std::string strDefault;
};

// The next mark at or after from; a "{{" without "}}" on its line is text.
bool NextMark(const std::string& text, std::size_t from, Mark& mark) {
    for (std::size_t open = text.find("{{", from); open != std::string::npos; open = text.find("{{", open + 2)) {
        std::size_t close = text.find("}}", open + 2);
        if (close == std::string::npos) return false;
        std::string_view inner(text.data() + open + 2, close - open - 2);
        if (inner.find_first_of("\r\n{") != std::string_view::npos) continue;
        std::size_t bar = inner.find('|');
        mark.nStart = open;
        mark.nEnd = close + 2;
        mark.strColumn = std::string(ascii::Trim(inner.substr(0, bar)));
        mark.strDefault = bar == std::string_view::npos ? std::string() : std::string(inner.substr(bar + 1));
        if (!mark.strColumn.empty()) return true;
    }
    return false;
}

std::string EscapeHtml(std::string_view value, bool bUtf8) {
    std::string out;
    for (std::size_t i = 0; i < value.size();) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
            if (c < 0x80 || bUtf8) {
                out += static_cast<char>(c);
                break;
            }
            // Any charset reads a character reference.
            std::size_t n = Utf8CharLength(value.substr(i));
            if (n == 0) n = 1;
            unsigned cp = n == 1 ? 0xFFFD : c & (0xFF >> (n + 1));
            for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(value[i + k]) & 0x3F);
            out += "&#" + std::to_string(cp) + ";";
            i += n;
            continue;
        }
        ++i;
    }
    return out;
}

std::string EscapeUrl(std::string_view value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '@') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string FillText(const std::string& text, const RecipientList& list, const ListRow& row, FillMode mode,
                     bool bUtf8) {
    std::string out;
    std::size_t at = 0;
    Mark mark;
    while (NextMark(text, at, mark)) {
        out.append(text, at, mark.nStart - at);
        std::size_t column = list.Column(mark.strColumn);
        std::string value = column < row.listFields.size() ? row.listFields[column] : std::string();
        if (ascii::Trim(value).empty()) {
            out += mark.strDefault;  // written by the page's author, in the page's own form
        } else {
            switch (mode) {
            case FillMode::Html: out += EscapeHtml(value, bUtf8); break;
            case FillMode::Text: out += CleanHeaderText(value); break;
            case FillMode::Url: out += EscapeUrl(value); break;
            }
        }
        at = mark.nEnd;
    }
    out.append(text, at, std::string::npos);
    return out;
}

void CollectColumns(const std::string& text, std::vector<std::string>& used) {
    Mark mark;
    for (std::size_t at = 0; NextMark(text, at, mark); at = mark.nEnd)
        if (std::find(used.begin(), used.end(), mark.strColumn) == used.end()) used.push_back(mark.strColumn);
}

} // namespace

CPersonalTemplate::CPersonalTemplate(const std::string& strSubject, const std::string& strPage, bool bUtf8Page)
    : m_strSubject(strSubject), m_bUtf8Page(bUtf8Page) {
    CollectColumns(strSubject, m_listUsed);
    CollectColumns(strPage, m_listUsed);
}

bool CPersonalTemplate::Check(const std::vector<std::string>& columns, std::string& strError) const {
    for (const std::string& used : m_listUsed) {
        bool known = std::any_of(columns.begin(), columns.end(),
                                 [&](const std::string& c) { return ascii::EqualsNoCase(c, used); });
        if (!known) {
            strError = "the field {{" + used + "}} names no column of the list";
            return false;
        }
    }
    return true;
}

std::string CPersonalTemplate::Subject(const RecipientList& list, const ListRow& row) const {
    return FillText(m_strSubject, list, row, FillMode::Text, true);
}

std::string CPersonalTemplate::Fill(const std::string& strText, const RecipientList& list, const ListRow& row,
                                    bool bHtml) const {
    return FillText(strText, list, row, bHtml ? FillMode::Html : FillMode::Text, m_bUtf8Page);
}

std::string CPersonalTemplate::FillUrl(const std::string& strUrl, const RecipientList& list,
                                       const ListRow& row) const {
    return FillText(strUrl, list, row, FillMode::Url, true);
}

std::string RecipientToField(const RecipientList& list, const ListRow& row) {
    std::string address = row.address.strLocalPart + "@" + row.address.strDomain;
    std::string_view name;
    if (list.nNameColumn < row.listFields.size()) name = ascii::Trim(row.listFields[list.nNameColumn]);
    if (name.empty()) return address;
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return quoted + "\" <" + address + ">";
}

bool PreviewRow(const RecipientList& list, std::size_t nRow, const std::string& strSubject,
                const std::string& strPage, PersonalPreview& preview, std::string& strError) {
    CPersonalTemplate personal(strSubject, strPage);
    if (!personal.Check(list.listColumns, strError)) return false;
    if (nRow >= list.listRows.size()) {
        strError = "the list has no row " + std::to_string(nRow + 1);
        return false;
    }
    const ListRow& row = list.listRows[nRow];
    preview.strTo = RecipientToField(list, row);
    preview.strSubject = personal.Subject(list, row);
    preview.strPage = personal.Fill(strPage, list, row);
    return true;
}
