#pragma once
// The journal of a list send: one line per change of a recipient's state,
// appended and on the disk before the send goes on, so that a run after a
// crash knows who has the message, who may have it, and who does not.
#include <map>
#include <string>

#include "platform/AppendFile.h"

enum class JournalState {
    None,      // never tried
    Sending,   // MAIL went out; not delivered before the end mark
    EndMark,   // the end of the data went out: delivered, unless a refusal follows
    Sent,
    Refused,   // for good
    Deferred,  // a 4xx reply; tried again
    Failed,
    Unknown,   // no reply came to the end mark
};

class CSendJournal {
public:
    // Reads the states the file holds (a missing file holds none), then
    // opens it for appending. A last line cut short by a crash is ignored.
    bool Open(const std::string& strPath, std::string& strError);
    // The last state recorded for an address (compared without case).
    JournalState State(const std::string& strAddress) const;
    bool Record(const std::string& strAddress, JournalState state, const std::string& strDetail,
                std::string& strError);
    const std::string& Detail(const std::string& strAddress) const;

private:
    struct Entry {
        JournalState state = JournalState::None;
        std::string strDetail;
    };
    std::map<std::string, Entry> m_entries;  // by lower-case address
    platform::AppendFile m_file;
};
