#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compose/ComposeJob.h"
#include "compose/ContentType.h"
#include "compose/MessagePlan.h"
#include "platform/Platform.h"

// Turns one HTML file, four header values and a list of attachments into one
// MIME message file, in three stages: scanning the page gives a plan
// (CPageScanner), and the message is written from it (CMessageWriter). Lives
// for one composition: fill the job, call Compose or Plan once.
class CMimeComposer {
public:
    explicit CMimeComposer(const platform::Platform& env = platform::Platform());
    CMimeComposer(ComposeJob job, const platform::Platform& env) : CMimeComposer(env) { m_job = std::move(job); }
    CMimeComposer(const CMimeComposer&) = delete;
    CMimeComposer& operator=(const CMimeComposer&) = delete;

    ComposeJob m_job;  // filled before Compose or Plan

    // True when the whole message was written and moved to m_job.m_strOutputPath.
    // On failure GetLastError() says why, naming the file concerned.
    bool Compose();
    // The same message written into out instead of the output file, which is
    // neither created nor needed.
    bool ComposeInto(platform::OutputFile& out);
    // A plan an earlier Plan made: Compose writes from it, without scanning
    // the page again, while it still fits the job (MessagePlan::StillFits).
    void UsePlan(MessagePlan plan) { m_earlierPlan = std::move(plan); }
    const std::string& GetLastError() const { return m_strError; }
    // What the message holds that some readers or servers may refuse; the
    // composition still succeeded.
    const std::vector<std::string>& Warnings() const { return m_listWarnings; }
    // Whether a part went out as 8-bit data; such a message needs 8BITMIME.
    bool HasEightBitData() const { return m_bEightBitData; }

    // Scans the page and works out the size of the message Compose would write
    // with the same random draws, reading no file it would only encode. The
    // output path is only named in messages.
    bool Plan(MessagePlan& plan, std::uint64_t& nMessageSize);

    // The plan of the last Compose (Plan hands its plan over).
    const MessagePlan& LastPlan() const { return m_plan; }
    const std::vector<PlannedPart>& Resources() const { return m_plan.listParts; }
    const std::vector<ReferenceEntry>& References() const { return m_plan.listRewrites; }
    // Each local file the page names that was not embedded for safety, once.
    const std::vector<LeftOutEntry>& LeftOut() const { return m_plan.listLeftOut; }
    // The warnings and the files left out, one sentence each, for the user.
    std::vector<std::string> Notices() const;
    const std::string& Boundary() const { return m_plan.strBoundary; }
    const std::string& RelatedBoundary() const { return m_plan.strRelatedBoundary; }
    // Empty unless the job asks for the plain-text alternative.
    const std::string& AlternativeBoundary() const { return m_plan.strAlternativeBoundary; }
    const char* HostName() const { return m_szHostName; }
    // The content-type tables a writer of this composer's plans reads.
    CContentTypeSources& ContentTypes() { return m_contentTypes; }

private:
    bool Fail(std::string reason);
    bool TakePlan();
    bool Write();
    bool CheckOutputIsNoInput();

    platform::Platform m_env;
    char m_szHostName[16] = {};
    CContentTypeSources m_contentTypes;
    MessagePlan m_plan;
    MessagePlan m_earlierPlan;
    std::string m_strError;
    std::vector<std::string> m_listWarnings;
    bool m_bEightBitData = false;
};
