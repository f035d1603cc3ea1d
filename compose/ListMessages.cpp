#include "compose/ListMessages.h"

#include "compose/MessageWriter.h"
#include "compose/PageScan.h"
#include "core/Ascii.h"

namespace {

// A message kept in memory.
class StringOutput : public platform::OutputFile {
public:
    explicit StringOutput(std::string& text) : m_text(text) {}
    bool Write(const void* data, std::size_t n, std::string&) override {
        m_text.append(static_cast<const char*>(data), n);
        return true;
    }
    bool Commit(std::string&) override { return true; }

private:
    std::string& m_text;
};

} // namespace

CListMessages::CListMessages(const platform::Platform& env) : m_env(env), m_composer(env) {}

bool CListMessages::Prepare(const ComposeJob& job, MessagePlan plan, const RecipientList& list,
                            const std::string& strUnsubscribe, std::string& strError) {
    m_job = job;
    m_job.m_strCc.clear();  // each message goes to its recipient alone
    m_job.m_pProgress = nullptr;
    if (!plan.StillFits(m_job)) {
        std::uint64_t size = 0;
        m_composer.m_job = m_job;
        if (!m_composer.Plan(plan, size)) {
            strError = m_composer.GetLastError();
            return false;
        }
        m_listNotices = m_composer.Notices();
    }
    m_plan = std::move(plan);
    const bool utf8 = ascii::EqualsNoCase(m_plan.strCharset, "utf-8") || ascii::EqualsNoCase(m_plan.strCharset, "utf8");
    m_pTemplate = std::make_unique<CPersonalTemplate>(m_job.m_strSubject, m_plan.strPage, utf8);
    m_pUnsubscribe = std::make_unique<CPersonalTemplate>(strUnsubscribe, std::string());
    m_strUnsubscribe = strUnsubscribe;
    if (!m_pTemplate->Check(list.listColumns, strError) || !m_pUnsubscribe->Check(list.listColumns, strError))
        return false;
    m_strRewrittenPage = m_plan.RewrittenPage();

    // The shared bytes, in both forms when the message has 8-bit data.
    for (bool sevenBit : {false, true}) {
        ComposeJob shared = m_job;
        shared.m_bSevenBit = sevenBit;
        std::string& bytes = sevenBit ? m_strSharedSevenBit : m_strShared;
        StringOutput out(bytes);
        CMessageWriter writer(m_plan, shared, m_env, m_composer.ContentTypes(), m_composer.HostName());
        if (!writer.WriteShared(out, strError)) return false;
        if (!sevenBit) m_bEightBitData = writer.HasEightBitData();
        if (!m_bEightBitData) break;
    }
    return true;
}

bool CListMessages::Message(const RecipientList& list, const ListRow& row, bool bSevenBit, std::string& strBytes,
                            std::string& strError) {
    ComposeJob job = m_job;
    job.m_strTo = RecipientToField(list, row);
    job.m_strSubject = m_pTemplate->Subject(list, row);
    if (!m_strUnsubscribe.empty()) job.m_strListUnsubscribe = m_pUnsubscribe->FillUrl(m_strUnsubscribe, list, row);
    const std::string html = m_pTemplate->Fill(m_strRewrittenPage, list, row);
    const std::string text = m_plan.bTextAlternative ? m_pTemplate->Fill(m_plan.strPage, list, row) : std::string();
    strBytes.clear();
    StringOutput out(strBytes);
    CMessageWriter writer(m_plan, job, m_env, m_composer.ContentTypes(), m_composer.HostName());
    writer.Personalise(&html, &text, DrawMessageIdToken(*m_env.random));
    if (!writer.WriteHead(out, strError)) return false;
    strBytes += bSevenBit && m_bEightBitData ? m_strSharedSevenBit : m_strShared;
    return true;
}
