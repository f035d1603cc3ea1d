#include "compose/HeaderFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/AddressList.h"
#include "core/HeaderEncoding.h"
#include "core/Utf8.h"

namespace {

std::string TooLong(const char* pszName) {
    return std::string(pszName) + ": a word is longer than a header line may be (998 octets)";
}

} // namespace

std::string CleanHeaderText(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) c = ' ';
    return out;
}

bool FormatHeaderLine(const char* pszName, const std::string& strValue, std::string& strLine) {
    std::string line = std::string(pszName) + ": " + CleanHeaderText(strValue);
    constexpr std::size_t kMaxLine = HeaderFolder::kMaxLine;
    if (line.size() <= kMaxLine) {
        strLine = line + "\r\n";
        return true;
    }
    // Fold before a space: the space starts the continuation line.
    // Never fold right after the colon: a line holding only the name helps nobody.
    std::string out;
    std::size_t start = 0;
    std::size_t first = std::strlen(pszName) + 2;
    while (line.size() - start > kMaxLine) {
        std::size_t floor = start == 0 ? first : start;
        std::size_t cut = line.rfind(' ', start + kMaxLine);
        if (cut == std::string::npos || cut <= floor) return false;
        out.append(line, start, cut - start);
        out += "\r\n";
        start = cut;
    }
    out.append(line, start, std::string::npos);
    strLine = out + "\r\n";
    return true;
}

bool FormatSubjectHeader(const std::string& strValue, std::string& strLine, std::string& strError) {
    std::string text = RepairUtf8(CleanHeaderText(strValue));
    if (IsAscii(text)) {
        if (FormatHeaderLine("Subject", text, strLine)) return true;
        strError = TooLong("Subject");
        return false;
    }
    HeaderFolder folder("Subject:");
    folder.AddEncodedWords(text);
    strLine = folder.Text() + "\r\n";
    return true;
}

bool FormatAddressHeader(const char* pszName, const std::string& strValue, std::string& strLine,
                         std::string& strError, std::vector<std::string>& listWarnings) {
    std::string text = RepairUtf8(CleanHeaderText(strValue));
    bool ascii = IsAscii(text);
    AddressListResult list;
    bool parsed = ParseAddressList(text, list);
    // A ';' between addresses is ours to accept, not RFC 5322's: readers would
    // stop at the first address. Each piece stays as typed.
    if (ascii && parsed && list.bSemicolonSeparated) {
        text.clear();
        for (const AddressListEntry& e : list.listEntries) text += (text.empty() ? "" : ", ") + e.strTyped;
    }
    bool typed = ascii && FormatHeaderLine(pszName, text, strLine);
    if (typed && strLine.size() <= HeaderFolder::kMaxLine + 2) return true;

    if (!parsed) {
        // An ASCII value that folds at its spaces is still written as typed.
        if (typed) return true;
        strError = ascii ? TooLong(pszName) : std::string(pszName) + ": " + list.strError;
        return false;
    }
    HeaderFolder folder(std::string(pszName) + ":");
    folder.AddAddressList(list);
    if (folder.LongestLine() > HeaderFolder::kMaxLine) {
        strError = std::string(pszName) + ": an address is longer than a header line may be (998 octets)";
        return false;
    }
    for (const MailAddress& a : list.Addresses())
        if (!IsAscii(a.strLocalPart))
            listWarnings.push_back(std::string(pszName) + ": the address \"" + a.strLocalPart + "@" + a.strDomain +
                                   "\" has a non-ASCII local part, which only servers offering SMTPUTF8 accept");
    strLine = folder.Text() + "\r\n";
    return true;
}

std::string FirstAddressDomain(const std::string& strFrom) {
    AddressListResult list;
    ParseAddressList(CleanHeaderText(strFrom), list);
    std::vector<MailAddress> all = list.Addresses();
    return all.empty() ? std::string() : all[0].strAsciiDomain;
}

std::string QuoteParameterValue(const std::string& strValue) {
    std::string out;
    out.reserve(strValue.size());
    for (char c : strValue) {
        if (c == '\r' || c == '\n') {
            out += ' ';
        } else {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
    }
    return out;
}

std::string FormatNameParameter(const std::string& strUtf8Name) {
    if (IsAscii(strUtf8Name)) return "\tname=\"" + QuoteParameterValue(strUtf8Name) + "\"";
    return FormatEncodedWordParameter("name", strUtf8Name);
}

std::string FormatFilenameParameter(const std::string& strUtf8Name) {
    if (IsAscii(strUtf8Name)) return "\tfilename=\"" + QuoteParameterValue(strUtf8Name) + "\"";
    return FormatExtendedParameter("filename", strUtf8Name);
}

std::string FormatRfcDate(const std::tm& t, long gmtoffSeconds) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    long minutes = gmtoffSeconds / 60;
    char sign = minutes > 0 ? '+' : '-';
    if (minutes < 0) minutes = -minutes;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[(t.tm_wday % 7 + 7) % 7], t.tm_mday, kMonths[(t.tm_mon % 12 + 12) % 12],
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, sign, minutes / 60, minutes % 60);
    return buf;
}
