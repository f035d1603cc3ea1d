#pragma once
// The last stage of a composition: the bytes of the message, from the plan,
// the header fields and the attachments.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compose/ComposeJob.h"
#include "compose/ContentType.h"
#include "compose/MessagePlan.h"
#include "platform/Platform.h"

class CMessageWriter {
public:
    // Everything given is borrowed for the writer's life.
    CMessageWriter(const MessagePlan& plan, const ComposeJob& job, const platform::Platform& env,
                   CContentTypeSources& types, const char* pszHostName);
    CMessageWriter(const CMessageWriter&) = delete;
    CMessageWriter& operator=(const CMessageWriter&) = delete;

    // Writes the whole message to out; on failure says why in strError,
    // naming the file concerned.
    bool Write(platform::OutputFile& out, std::string& strError);
    // The size Write would give, without encoding anything: base64 lengths
    // follow from the files' sizes. Only what decides a part's header is read
    // (a text file's charset, an attached message's lines).
    bool Measure(std::uint64_t& nSize, std::string& strError);

    // One recipient's message from a plan shared by a list: pHtml is the
    // rewritten page and pText the page the plain text is made from, both
    // filled for them; strMessageIdToken their own. Borrowed until Write ends.
    void Personalise(const std::string* pHtml, const std::string* pText, std::string strMessageIdToken) {
        m_pPersonalHtml = pHtml;
        m_pPersonalText = pText;
        m_strMessageIdToken = std::move(strMessageIdToken);
    }
    // The message in two pieces: the header block and the page's parts,
    // which differ per recipient, then the rest (pictures, style sheets,
    // attachments, closing boundaries), which a list encodes once.
    bool WriteHead(platform::OutputFile& out, std::string& strError) { return WriteSome(out, strError, true, false); }
    bool WriteShared(platform::OutputFile& out, std::string& strError) { return WriteSome(out, strError, false, true); }

    // What the header fields hold that some readers may refuse.
    const std::vector<std::string>& Warnings() const { return m_listWarnings; }
    // Whether a part went out as 8-bit data; such a message needs 8BITMIME.
    bool HasEightBitData() const { return m_bEightBitData; }

private:
    bool WriteSome(platform::OutputFile& out, std::string& strError, bool bHead, bool bShared);
    bool Run(bool bHead = true, bool bShared = true);
    bool Fail(std::string reason);
    bool ReportBytes(std::uint64_t n);
    bool WriteOut(const void* data, std::size_t n);
    bool WriteOut(const std::string& text) { return WriteOut(text.data(), text.size()); }
    bool FlushOut();
    bool WriteHeaders();
    bool WriteTextPart();
    bool WriteHtmlPart();
    bool WriteInlinePart(const PlannedPart& part);
    bool WriteAttachmentPart(const std::string& strPath);
    bool ChooseMessageEncoding(const std::string& strPath, std::string& strType, std::string& strEncoding);
    bool WriteFileRaw(const std::string& strPath, const std::string& strHeader, const std::string& strEncoding);
    bool WriteFileBody(const std::string& strOpenPath, const std::string& strPath, const std::string& strHeader,
                       const char* pszWhat);
    bool WriteClosingBoundaries();
    std::string ContentTypeHeader(const std::string& strOpenPath, const std::string& strPath,
                                  const std::string& strType, std::string& strName);
    bool IsUtf8Text(const std::string& strOpenPath);

    const MessagePlan& m_plan;
    const ComposeJob& m_job;
    platform::Platform m_env;
    CContentTypeSources& m_contentTypes;
    const char* m_pszHostName;
    std::string m_strFileNameCodeset;

    platform::OutputFile* m_pOut = nullptr;  // null while measuring
    std::uint64_t m_nWritten = 0;
    std::string m_strOutBuffer;  // written by FlushOut
    std::string m_strError;
    std::vector<std::string> m_listWarnings;
    bool m_bEightBitData = false;
    std::uint64_t m_nBytesDone = 0;
    const std::string* m_pPersonalHtml = nullptr;
    const std::string* m_pPersonalText = nullptr;
    std::string m_strMessageIdToken;
};
