#pragma once
// A recipient list: a CSV file (RFC 4180, a UTF-8 byte-order mark allowed)
// with a header row, one of whose columns holds the address.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/AddressList.h"

struct ListRow {
    std::size_t nLine = 0;  // of the row's first line in the file, from 1
    std::vector<std::string> listFields;  // one per column, missing ones empty
    MailAddress address;  // the address column, parsed
};

// A row left out of the send, and why.
struct ListRowProblem {
    std::size_t nLine = 0;
    std::string strAddress;  // the address column as written
    std::string strReason;   // "not an address: ..." or "same address as line 4"
};

struct RecipientList {
    std::vector<std::string> listColumns;  // the header row, trimmed
    std::size_t nAddressColumn = 0;
    // The column that gives the display name ("name"), or npos.
    std::size_t nNameColumn = static_cast<std::size_t>(-1);
    std::vector<ListRow> listRows;            // to send to, in the file's order
    std::vector<ListRowProblem> listBadRows;  // address did not parse: skipped
    std::vector<ListRowProblem> listDuplicates;  // an address met before: sent once

    // The index of a column by name (case-insensitive), or npos.
    std::size_t Column(std::string_view name) const;
};

// Reads text as a recipient list. addressColumn names the address column;
// empty means "email". False, with why, when the text is no CSV (an
// unterminated quote, say), it has no header row, or the column is missing.
bool ReadRecipientList(std::string_view text, const std::string& addressColumn, RecipientList& list,
                       std::string& strError);
