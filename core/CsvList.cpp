#include "core/CsvList.h"

#include <map>

#include "core/Ascii.h"

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The records of RFC 4180 text, each with the line it starts on. Lines may
// also end in a lone LF; a quoted field keeps its line breaks as written.
bool SplitRecords(std::string_view text, std::vector<std::pair<std::size_t, std::vector<std::string>>>& records,
                  std::string& error) {
    std::size_t line = 1, i = 0;
    while (i < text.size()) {
        std::vector<std::string> fields;
        const std::size_t start = line;
        for (;;) {
            std::string field;
            if (i < text.size() && text[i] == '"') {
                const std::size_t quoteLine = line;
                for (++i;; ++i) {
                    if (i >= text.size()) {
                        error = "line " + std::to_string(quoteLine) + ": a quoted field has no closing quote";
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            ++i;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n') ++line;
                    field += text[i];
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    error = "line " + std::to_string(line) + ": text after a closing quote";
                    return false;
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') field += text[i++];
            }
            fields.push_back(std::move(field));
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
        ++line;
        // A blank line is no record.
        if (fields.size() > 1 || !fields[0].empty()) records.emplace_back(start, std::move(fields));
    }
    return true;
}

} // namespace

std::size_t RecipientList::Column(std::string_view name) const {
    for (std::size_t c = 0; c < listColumns.size(); ++c)
        if (ascii::EqualsNoCase(listColumns[c], ascii::Trim(name))) return c;
    return kNone;
}

bool ReadRecipientList(std::string_view text, const std::string& addressColumn, RecipientList& list,
                       std::string& strError) {
    list = RecipientList();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::pair<std::size_t, std::vector<std::string>>> records;
    if (!SplitRecords(text, records, strError)) return false;
    if (records.empty()) {
        strError = "the list is empty: it needs a header row naming its columns";
        return false;
    }
    for (const std::string& name : records[0].second) list.listColumns.emplace_back(ascii::Trim(name));
    const std::string wanted = addressColumn.empty() ? "email" : addressColumn;
    list.nAddressColumn = list.Column(wanted);
    if (list.nAddressColumn == kNone) {
        strError = "the list has no column '" + wanted + "'";
        return false;
    }
    list.nNameColumn = list.Column("name");

    std::map<std::string, std::size_t> seen;  // envelope address, lower case -> its line
    for (std::size_t r = 1; r < records.size(); ++r) {
        ListRow row;
        row.nLine = records[r].first;
        row.listFields = std::move(records[r].second);
        row.listFields.resize(list.listColumns.size());
        const std::string written(ascii::Trim(row.listFields[list.nAddressColumn]));
        AddressListResult parsed;
        std::vector<MailAddress> addresses;
        std::string why;
        if (!ParseAddressList(written, parsed)) why = parsed.strError;
        else if ((addresses = parsed.Addresses()).size() != 1 || parsed.listEntries.size() != 1 ||
                 parsed.listEntries[0].bGroup)
            why = written.empty() ? "no address" : "not one address";
        else CheckEnvelopeAddress(addresses[0].EnvelopeAddress(), why);
        if (!why.empty()) {
            list.listBadRows.push_back({row.nLine, written, why});
            continue;
        }
        row.address = addresses[0];
        auto [it, fresh] = seen.emplace(ascii::ToLower(row.address.EnvelopeAddress()), row.nLine);
        if (!fresh) {
            list.listDuplicates.push_back({row.nLine, written, "same address as line " + std::to_string(it->second)});
            continue;
        }
        list.listRows.push_back(std::move(row));
    }
    return true;
}
