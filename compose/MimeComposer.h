#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "compose/ComposeJob.h"
#include "compose/ComposePlan.h"
#include "compose/ContentType.h"
#include "platform/Platform.h"

// Turns one HTML file, four header values and a list of attachments into one
// MIME message file. Lives for one composition: fill the job, call Compose once.
class CMimeComposer : public ComposeJob {
public:
    explicit CMimeComposer(const platform::Platform& env = platform::Platform());
    virtual ~CMimeComposer();
    CMimeComposer(const CMimeComposer&) = delete;
    CMimeComposer& operator=(const CMimeComposer&) = delete;

    // True when the whole message was written and moved to m_strOutputPath.
    // On failure GetLastError() says why, naming the file concerned.
    bool Compose();
    const std::string& GetLastError() const { return m_strError; }

    // Runs Compose with every decision and every byte the same, but counts the
    // bytes instead of writing them, and records each value the scans found
    // with what became of it. The output path is only named in messages.
    bool Plan(ComposePlan& plan);

    const std::vector<ResourceEntry>& Resources() const { return m_listResources; }
    const std::vector<ReferenceEntry>& References() const { return m_listReferences; }
    const std::string& Boundary() const { return m_strBoundary; }
    const std::string& RelatedBoundary() const { return m_strRelatedBoundary; }
    const char* HostName() const { return m_szHostName; }

    // Pages whose text reaches this size cannot be addressed by 32-bit positions.
    static constexpr std::uint64_t kMaxHtmlLength = 0x7fffffffu;

protected:
    // Run and loading.
    bool LoadHtml();
    void ReleaseHtml();
    void StepProgress();
    bool Fail(std::string reason);

    // Scanning and charset.
    void ScanTag(const char* pszTagPrefix, const char* pszAttribute);
    bool AddReference(std::int32_t nPosition, std::int32_t nLength);
    void NotePlannedReference(std::int32_t nPosition, std::int32_t nLength, const std::string& strPath,
                              std::int32_t nPart, bool bRemote);
    bool ResolveReferencePath(std::int32_t nPosition, std::int32_t nLength, std::string& strPath);
    bool IsEmbeddable(const std::string& strPath);
    void DropOverlappingReferences();
    bool DetectCharset(std::string& strCharset);

    // Writing.
    void MakeBoundary(std::string& strBoundary);
    bool WriteHeaders();
    std::string FormatDateHeader();
    bool WriteHtmlPart(const std::string& strCharset);
    std::string BuildHtmlBody();
    bool WriteInlinePart(const ResourceEntry& entry);
    bool WriteAttachments();
    bool WriteAttachmentPart(const std::string& strPath);
    bool WriteClosingBoundary();
    bool WriteOut(const void* data, std::size_t n);
    bool WriteOut(const std::string& text) { return WriteOut(text.data(), text.size()); }
    bool FlushOut();
    static constexpr std::size_t kOutBufferSize = 256 * 1024;
    bool WriteFileBody(const std::string& strOpenPath, const std::string& strPath, const std::string& strHeader,
                       const char* pszWhat);
    std::string ResolveContentType(const std::string& strPath);

    platform::Platform m_env;
    std::unique_ptr<platform::OutputFile> m_hOutFile;
    std::string m_strOutBuffer;  // written by FlushOut
    std::unique_ptr<platform::InputFile> m_hHtmlFile;
    std::unique_ptr<char[]> m_pszHtml;
    std::unique_ptr<char[]> m_pszHtmlLower;
    std::int32_t m_nHtmlLength = 0;
    char m_szHostName[16] = {};
    std::string m_strHtmlFolder;  // resolves relative resource paths
    std::vector<ResourceEntry> m_listResources;
    std::vector<ReferenceEntry> m_listReferences;
    // Indexes over the lists, so a page with many references stays linear.
    std::unordered_map<std::string, std::size_t> m_mapResourceIndex;  // path -> m_listResources
    std::unordered_set<std::string> m_setMissingPaths;                 // looked up, not embeddable
    std::unordered_set<std::int32_t> m_setPositions;                   // of m_listReferences
    std::vector<ReferenceEntry> m_listScanReferences;                  // of the running scan
    std::string m_strFileNameCodeset;
    CContentTypeSources m_contentTypes;
    std::string m_strBoundary;
    std::string m_strRelatedBoundary;
    std::string m_strError;
    ComposePlan* m_pPlan = nullptr;  // set while Plan runs
    const char* m_pszScanPrefix = "";
    const char* m_pszScanAttribute = "";
};
