#include "core/AddressList.h"

#include "core/Ascii.h"

#include <gmime/gmime.h>
#include <idn2.h>

#include <cctype>
#include <mutex>

#include "core/Utf8.h"

namespace {

void InitGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A piece as a message names it: one line, and not a page long.
std::string Describe(std::string_view piece, const std::string& reason) {
    constexpr std::size_t kShown = 60;
    std::string_view shown = piece;
    bool cut = false;
    if (piece.size() > kShown) {
        std::size_t n = 0;
        while (n < kShown) {
            std::size_t len = Utf8CharLength(piece.substr(n));
            n += len ? len : 1;
        }
        shown = piece.substr(0, n);
        cut = true;
    }
    return "The address \"" + ascii::Printable(shown) + (cut ? "..." : "") + "\" " + reason + ".";
}

// Cuts the text at ',' and ';' outside quotes, comments, angle brackets and
// domain literals. A group ("name: members;") stays one piece, its ';' included.
// Pieces are trimmed; empty ones are dropped.
bool SplitPieces(std::string_view text, std::vector<std::string_view>& pieces, std::string& strError,
                 bool& bSemicolon) {
    bool quote = false, angle = false, literal = false, group = false;
    int comment = 0;
    const char* problem = nullptr;
    std::size_t start = 0;
    auto endPiece = [&](std::size_t end, std::size_t next) {
        std::string_view piece = Trim(text.substr(start, end - start));
        start = next;
        // Checked first: a line break or escape in an address is worse than bad syntax.
        for (unsigned char c : piece)
            if ((c < 0x20 && c != '\t') || c == 0x7f) problem = "contains a control character";
        if (problem) {
            strError = Describe(piece, problem);
            return false;
        }
        if (!piece.empty()) pieces.push_back(piece);
        return true;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quote || comment > 0 || literal) {
            if (c == '\\') ++i;
            else if (quote && c == '"') quote = false;
            else if (literal && c == ']') literal = false;
            else if (comment > 0 && c == '(') ++comment;
            else if (comment > 0 && c == ')') --comment;
            continue;
        }
        switch (c) {
        case '"': quote = true; break;
        case '(': comment = 1; break;
        case '[': literal = true; break;
        case ')':
            if (!problem) problem = "has ')' without '('";
            break;
        case '<': angle = true; break;
        case '>':
            if (!angle && !problem) problem = "has '>' without '<'";
            angle = false;
            break;
        case ':':
            if (!angle) group = true;
            break;
        case ';':
            if (angle) break;
            if (group) {
                group = false;
                if (!endPiece(i + 1, i + 1)) return false;
            } else if (!endPiece(i, i + 1)) {
                return false;
            } else {
                bSemicolon = true;
            }
            break;
        case ',':
            if (!angle && !group && !endPiece(i, i + 1)) return false;
            break;
        default: break;
        }
    }
    if (!problem && quote) problem = "has an unterminated quoted string";
    if (!problem && comment > 0) problem = "has an unterminated comment";
    if (!problem && literal) problem = "has '[' without ']'";
    if (!problem && angle) problem = "has '<' without '>'";
    return endPiece(text.size(), text.size());
}

// "Name <>" and "<>" hold no address: they add nothing, as an empty piece does.
bool IsEmptyBrackets(std::string_view piece) {
    if (piece.empty() || piece.back() != '>') return false;
    std::size_t lt = piece.rfind('<');
    return lt != std::string_view::npos && Trim(piece.substr(lt + 1, piece.size() - lt - 2)).empty();
}

bool ToAsciiDomain(const std::string& domain, std::string& ascii, std::string& reason) {
    if (IsAscii(domain)) {
        ascii = domain;
        return true;
    }
    if (domain[0] == '[') {
        reason = "has an address literal that is not ASCII";
        return false;
    }
    char* out = nullptr;
    int rc = idn2_to_ascii_8z(domain.c_str(), &out, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    if (rc != IDN2_OK) {
        reason = std::string("has a domain that cannot be written in ASCII (") + idn2_strerror(rc) + ")";
        return false;
    }
    ascii = out;
    idn2_free(out);
    // libidn2 maps but does not check host names: a no-break space comes out
    // as a space, say. What goes on the wire is letters, digits, '-' and '.'.
    for (char c : ascii)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') {
            reason = "has a domain that cannot be written in ASCII (it maps to \"" + ascii::Printable(ascii) + "\")";
            return false;
        }
    return true;
}

bool MakeAddress(InternetAddress* ia, std::string_view piece, MailAddress& address, std::string& strError) {
    const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(ia));
    std::string text = addr ? addr : "";
    int at = INTERNET_ADDRESS_MAILBOX(ia)->at;
    if (at <= 0 || static_cast<std::size_t>(at) + 1 >= text.size()) {
        strError = Describe(piece, "has no domain");
        return false;
    }
    const char* name = internet_address_get_name(ia);
    address.strName = name ? name : "";
    address.strLocalPart = text.substr(0, static_cast<std::size_t>(at));
    address.strDomain = text.substr(static_cast<std::size_t>(at) + 1);
    std::string reason;
    if (!ToAsciiDomain(address.strDomain, address.strAsciiDomain, reason)) {
        strError = Describe(piece, reason);
        return false;
    }
    return true;
}

void OnParserWarning(gint64, GMimeParserWarning, const gchar*, gpointer warned) { *static_cast<bool*>(warned) = true; }

// One piece is one mailbox or one group, read by GMime's parser; anything it
// warns about, drops or reads as more than one address is refused.
bool ParsePiece(std::string_view piece, AddressListResult& result) {
    std::string text(piece);
    bool warned = false;
    GMimeParserOptions* options = g_mime_parser_options_new();
    g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_STRICT);
    g_mime_parser_options_set_warning_callback(options, OnParserWarning, &warned);
    InternetAddressList* list = internet_address_list_parse(options, text.c_str());
    g_mime_parser_options_free(options);
    int count = list ? internet_address_list_length(list) : 0;
    bool ok = true;
    if (count == 0 && !warned && IsEmptyBrackets(piece)) {
        // nothing to add
    } else if (count != 1 || warned) {
        result.strError = Describe(piece, "is not valid");
        ok = false;
    } else {
        InternetAddress* ia = internet_address_list_get_address(list, 0);
        AddressListEntry entry;
        entry.strTyped = piece;
        if (INTERNET_ADDRESS_IS_GROUP(ia)) {
            entry.bGroup = true;
            const char* name = internet_address_get_name(ia);
            entry.strGroupName = name ? name : "";
            InternetAddressList* members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(ia));
            int n = members ? internet_address_list_length(members) : 0;
            for (int i = 0; ok && i < n; ++i) {
                InternetAddress* member = internet_address_list_get_address(members, i);
                entry.listMembers.emplace_back();
                ok = INTERNET_ADDRESS_IS_MAILBOX(member) &&
                     MakeAddress(member, piece, entry.listMembers.back(), result.strError);
                if (!ok && result.strError.empty()) result.strError = Describe(piece, "is not valid");
            }
        } else {
            entry.listMembers.emplace_back();
            ok = MakeAddress(ia, piece, entry.listMembers.back(), result.strError);
        }
        if (ok) result.listEntries.push_back(std::move(entry));
    }
    if (list) g_object_unref(list);
    return ok;
}

} // namespace

std::vector<MailAddress> AddressListResult::Addresses() const {
    std::vector<MailAddress> all;
    for (const AddressListEntry& e : listEntries) all.insert(all.end(), e.listMembers.begin(), e.listMembers.end());
    return all;
}

bool ParseAddressList(std::string_view text, AddressListResult& result) {
    result = AddressListResult();
    std::string utf8 = RepairUtf8(text);
    std::vector<std::string_view> pieces;
    if (!SplitPieces(utf8, pieces, result.strError, result.bSemicolonSeparated)) return false;
    if (!pieces.empty()) InitGMime();
    for (std::string_view piece : pieces)
        if (!ParsePiece(piece, result)) return false;
    return true;
}

bool CheckEnvelopeAddress(const std::string& addr, std::string& reason) {
    for (unsigned char c : addr) {
        if (c < 0x20 || c == 0x7f) {
            reason = "The address \"" + ascii::Printable(addr) + "\" contains a control character.";
            return false;
        }
        if (c == '<' || c == '>') {
            reason = "The address \"" + addr + "\" contains '<' or '>'.";
            return false;
        }
    }
    return true;
}
