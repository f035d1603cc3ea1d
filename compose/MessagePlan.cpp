#include "compose/MessagePlan.h"

// The second stage: the page as the message carries it, each value naming a
// part as "cid:" and each inlined style sheet in place of its link.

std::uint64_t MessagePlan::RewrittenSize() const {
    std::uint64_t size = strPage.size();
    for (const ReferenceEntry& r : listRewrites)
        size += 4 + r.m_strContentId.size() - static_cast<std::uint64_t>(r.m_nLength);
    for (const TextEdit& e : listEdits) size += e.strText.size() - static_cast<std::uint64_t>(e.nLength);
    return size;
}

std::string MessagePlan::RewrittenPage() const {
    std::string out;
    out.reserve(static_cast<std::size_t>(RewrittenSize()));
    const char* src = strPage.data();
    std::int32_t pos = 0;
    // Both lists are sorted and never overlap: one pass over the page.
    auto edit = listEdits.begin();
    auto flushEditsBefore = [&](std::int32_t limit) {
        for (; edit != listEdits.end() && edit->nPosition < limit; ++edit) {
            out.append(src + pos, static_cast<std::size_t>(edit->nPosition - pos));
            out += edit->strText;
            pos = edit->nPosition + edit->nLength;
        }
    };
    for (const ReferenceEntry& r : listRewrites) {
        flushEditsBefore(r.m_nPosition);
        out.append(src + pos, static_cast<std::size_t>(r.m_nPosition - pos));
        out += "cid:";
        out += r.m_strContentId;
        pos = r.m_nPosition + r.m_nLength;
    }
    const auto length = static_cast<std::int32_t>(strPage.size());
    flushEditsBefore(length);
    out.append(src + pos, static_cast<std::size_t>(length - pos));
    return out;
}

bool MessagePlan::InputsUnchanged() const {
    platform::FileStamp now;
    for (const Input& input : listInputs)
        if (!platform::GetFileStamp(input.strPath, now) || !(now == input.stamp)) return false;
    return true;
}

bool MessagePlan::StillFits(const ComposeJob& job) const {
    return !strPage.empty() && job.m_strHtmlPath == strHtmlPath && job.m_listAttachments == listAttachments &&
           job.m_bPrepareForWebmail == bPrepareForWebmail && InputsUnchanged();
}
