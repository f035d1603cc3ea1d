#pragma once
// One message per recipient of a list, from one scan of the page: each gets
// its own To, Subject, page text, Message-ID and Date; the parts the same
// for everyone (pictures, style sheets, attachments) are encoded once and
// their bytes reused.
#include <memory>
#include <string>
#include <vector>

#include "compose/ComposeJob.h"
#include "compose/MessagePlan.h"
#include "compose/MimeComposer.h"
#include "compose/Personalise.h"
#include "core/CsvList.h"
#include "platform/Platform.h"

class CListMessages {
public:
    explicit CListMessages(const platform::Platform& env = platform::Platform());

    // Scans the page (or takes plan while it fits the job), checks that every
    // field names a column of list, and encodes the shared parts. On failure
    // false and why.
    bool Prepare(const ComposeJob& job, MessagePlan plan, const RecipientList& list,
                 const std::string& strUnsubscribe, std::string& strError);
    // row's whole message; bSevenBit: the form for a server without 8BITMIME.
    bool Message(const RecipientList& list, const ListRow& row, bool bSevenBit, std::string& strBytes,
                 std::string& strError);

    bool HasEightBitData() const { return m_bEightBitData; }
    const std::vector<std::string>& Notices() const { return m_listNotices; }
    // The shared bytes, for tests that look at them.
    const std::string& SharedBytes() const { return m_strShared; }

private:
    platform::Platform m_env;
    CMimeComposer m_composer;  // its content types and host name serve every message
    ComposeJob m_job;
    MessagePlan m_plan;
    std::unique_ptr<CPersonalTemplate> m_pTemplate;
    std::unique_ptr<CPersonalTemplate> m_pUnsubscribe;
    std::string m_strUnsubscribe;
    std::string m_strRewrittenPage;
    std::string m_strShared, m_strSharedSevenBit;
    bool m_bEightBitData = false;
    std::vector<std::string> m_listNotices;
};
