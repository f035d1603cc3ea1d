#include "smtp/SendJournal.h"

#include <cerrno>
#include <cstring>
#include <iterator>

#include "core/Ascii.h"
#include "platform/FileSystem.h"

namespace {

const char kHeader[] = "quillory-journal 1\n";
const char* const kNames[] = {"none", "sending", "end-mark", "sent", "refused", "deferred", "failed", "unknown"};

bool StateFromName(std::string_view name, JournalState& state) {
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        if (name == kNames[i]) {
            state = static_cast<JournalState>(i);
            return true;
        }
    return false;
}

// Tabs and line ends would break the line format; the detail is for people.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return text;
}

} // namespace

bool CSendJournal::Open(const std::string& strPath, std::string& strError) {
    m_entries.clear();
    std::string text;
    int e = platform::ReadConfigFile(strPath, text, std::size_t(1) << 30);
    if (e != 0 && e != ENOENT) {
        strError = "cannot read the journal '" + strPath + "': " + std::strerror(e);
        return false;
    }
    if (!text.empty() && text.compare(0, sizeof kHeader - 1, kHeader) != 0) {
        strError = "'" + strPath + "' is not a journal of a list send";
        return false;
    }
    std::size_t at = text.empty() ? 0 : sizeof kHeader - 1;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string_view line(text.data() + at, end - at);
        std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
        JournalState state;
        if (tab1 == std::string_view::npos || !StateFromName(line.substr(0, tab1), state)) continue;
        Entry& entry = m_entries[ascii::ToLower(line.substr(tab1 + 1, tab2 - tab1 - 1))];
        entry.state = state;
        entry.strDetail = tab2 == std::string_view::npos ? std::string() : std::string(line.substr(tab2 + 1));
    }
    if (!m_file.Open(strPath, strError)) {
        strError = "cannot open the journal '" + strPath + "': " + strError;
        return false;
    }
    // A line a kill cut short gets its end, so the next record stands alone.
    std::string start = text.empty() ? kHeader : at < text.size() ? "\n" : "";
    if (!start.empty() && !m_file.Append(start, strError)) {
        strError = "cannot write the journal '" + strPath + "': " + strError;
        return false;
    }
    return true;
}

JournalState CSendJournal::State(const std::string& strAddress) const {
    auto it = m_entries.find(ascii::ToLower(strAddress));
    return it == m_entries.end() ? JournalState::None : it->second.state;
}

const std::string& CSendJournal::Detail(const std::string& strAddress) const {
    static const std::string kEmpty;
    auto it = m_entries.find(ascii::ToLower(strAddress));
    return it == m_entries.end() ? kEmpty : it->second.strDetail;
}

bool CSendJournal::Record(const std::string& strAddress, JournalState state, const std::string& strDetail,
                          std::string& strError) {
    std::string line = std::string(kNames[static_cast<int>(state)]) + "\t" + OneLine(strAddress) + "\t" +
                       OneLine(strDetail) + "\n";
    if (!m_file.Append(line, strError)) {
        strError = "cannot write the journal: " + strError;
        return false;
    }
    Entry& entry = m_entries[ascii::ToLower(strAddress)];
    entry.state = state;
    entry.strDetail = strDetail;
    return true;
}
