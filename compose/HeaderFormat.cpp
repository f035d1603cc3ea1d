#include "compose/HeaderFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr std::size_t kMaxLine = 998;  // octets before CR LF
}

std::string FormatHeaderLine(const char* pszName, const std::string& strValue) {
    std::string line = std::string(pszName) + ": " + strValue;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '\r' || line[i] == '\n') line[i] = ' ';
    if (line.size() <= kMaxLine) return line + "\r\n";

    // Fold before a space: the space starts the continuation line.
    // Never fold right after the colon: a line holding only the name helps nobody.
    std::string out;
    std::size_t start = 0;
    std::size_t first = std::strlen(pszName) + 2;
    while (line.size() - start > kMaxLine) {
        std::size_t limit = start + kMaxLine;
        std::size_t floor = start == 0 ? first : start;
        std::size_t cut = line.rfind(' ', limit);
        if (cut == std::string::npos || cut <= floor) {
            cut = line.find(' ', std::max(limit, floor + 1));  // no space in reach: fold at the next one
            if (cut == std::string::npos) break;
        }
        out.append(line, start, cut - start);
        out += "\r\n";
        start = cut;
    }
    out.append(line, start, std::string::npos);
    out += "\r\n";
    return out;
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
