#pragma once
// From, To and Cc values read as RFC 5322 address lists (by GMime's parser),
// for the header rewrite, send validation and the window's field check.
#include <string>
#include <string_view>
#include <vector>

struct MailAddress {
    std::string strName;         // display name, UTF-8; empty when there is none
    std::string strLocalPart;    // as written, quotes kept
    std::string strDomain;       // as written
    std::string strAsciiDomain;  // strDomain with non-ASCII labels as A-labels
    std::string EnvelopeAddress() const { return strLocalPart + "@" + strAsciiDomain; }
};

// One mailbox, or a group with its members (possibly none).
struct AddressListEntry {
    std::string strTyped;  // the piece of text it was read from, trimmed; a group's ';' included
    bool bGroup = false;
    std::string strGroupName;
    std::vector<MailAddress> listMembers;  // a mailbox: exactly one
};

struct AddressListResult {
    std::vector<AddressListEntry> listEntries;
    std::string strError;  // why the text is not an address list, naming the bad piece
    bool bSemicolonSeparated = false;  // a ';' that closes no group ends a piece
    // Every mailbox in order, group members in place.
    std::vector<MailAddress> Addresses() const;
};

// Reads text (UTF-8; other bytes as windows-1252) as an address list. ',' and
// ';' both separate addresses; pieces that are empty or hold only empty angle
// brackets add nothing; duplicates stay. Every address must have a domain.
// On failure returns false with result.strError set and the entries so far.
bool ParseAddressList(std::string_view text, AddressListResult& result);

// True when addr can go into MAIL FROM or RCPT TO: no control character and
// no '<' or '>', which would let it smuggle in commands of its own.
bool CheckEnvelopeAddress(const std::string& addr, std::string& reason);

