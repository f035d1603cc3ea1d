#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "compose/ComposeJob.h"
#include "compose/ComposePlan.h"
#include "compose/ContentType.h"
#include "platform/Platform.h"
#include "platform/ResolveCache.h"

// A file the page refers to that stays out of the message for safety.
struct LeftOutEntry {
    std::string m_strPath;    // as the page wrote it, decoded
    std::string m_strReason;  // why, for people
};

// Turns one HTML file, four header values and a list of attachments into one
// MIME message file. Lives for one composition: fill the job, call Compose once.
class CMimeComposer {
public:
    explicit CMimeComposer(const platform::Platform& env = platform::Platform());
    CMimeComposer(ComposeJob job, const platform::Platform& env) : CMimeComposer(env) { m_job = std::move(job); }
    virtual ~CMimeComposer();
    CMimeComposer(const CMimeComposer&) = delete;
    CMimeComposer& operator=(const CMimeComposer&) = delete;

    ComposeJob m_job;  // filled before Compose or Plan

    // True when the whole message was written and moved to m_job.m_strOutputPath.
    // On failure GetLastError() says why, naming the file concerned.
    bool Compose();
    const std::string& GetLastError() const { return m_strError; }
    // What the message holds that some readers or servers may refuse; the
    // composition still succeeded.
    const std::vector<std::string>& Warnings() const { return m_listWarnings; }
    // Whether a part went out as 8-bit data; such a message needs 8BITMIME.
    bool HasEightBitData() const { return m_bEightBitData; }

    // Runs Compose with every decision and every byte the same, but counts the
    // bytes instead of writing them, and records each value the scans found
    // with what became of it. The output path is only named in messages.
    bool Plan(ComposePlan& plan);

    const std::vector<ResourceEntry>& Resources() const { return m_listResources; }
    const std::vector<ReferenceEntry>& References() const { return m_listReferences; }
    // Each local file the page names that was not embedded for safety, once.
    const std::vector<LeftOutEntry>& LeftOut() const { return m_listLeftOut; }
    // The warnings and the files left out, one sentence each, for the user.
    std::vector<std::string> Notices() const;
    const std::string& Boundary() const { return m_strBoundary; }
    const std::string& RelatedBoundary() const { return m_strRelatedBoundary; }
    // Empty unless the job asks for the plain-text alternative.
    const std::string& AlternativeBoundary() const { return m_strAlternativeBoundary; }
    const char* HostName() const { return m_szHostName; }

    // Pages whose text reaches this size cannot be addressed by 32-bit positions.
    static constexpr std::uint64_t kMaxHtmlLength = 0x7fffffffu;
    // Why the page is not given to an HTML parser ("the page is ..."), or
    // empty when it may be: the parser's tree takes many times the page's size,
    // and its time grows with the nesting.
    static std::string ParseRefusal(std::string_view html);
    static constexpr std::size_t kMaxParsedPage = 32 << 20;
    // All the style sheet text one message may inline.
    static constexpr std::uint64_t kMaxInlinedSheets = 16u << 20;

protected:
    // Run and loading.
    bool LoadHtml();
    void ReleaseHtml();
    // Counts n more input bytes as encoded; false when the caller asked to stop.
    bool ReportBytes(std::uint64_t n);
    bool Fail(std::string reason);

    // Scanning and charset.
    void ScanTag(const char* pszTagName, const char* pszAttribute);
    void MergeScanReferences();
    bool AddReference(std::int32_t nPosition, std::int32_t nLength);
    bool AddPathReference(std::int32_t nPosition, std::int32_t nLength, std::string strPath);
    // Webmail preparation: data: URIs, CSS url() in the page, linked style sheets.
    bool AddDataReference(std::int32_t nPosition, std::int32_t nLength, const std::string& strUri);
    std::int32_t DataResource(const std::string& strUri, std::int32_t nPosition);
    std::size_t FileResource(std::string strPath, std::int32_t nPosition);
    void RecordReference(std::int32_t nPosition, std::int32_t nLength, std::size_t nIndex);
    void ScanPageCss();
    void AddCssReference(std::int32_t nPosition, std::int32_t nLength);
    void InlineStyleSheets(const std::string& strCharset);
    // The sheets one <link> brings in: those being read (importing one of them
    // again is a loop) and those already inlined, with their media (importing
    // one again adds nothing).
    struct SheetVisit {
        std::vector<std::string> chain;
        std::unordered_set<std::string> inlined;
    };
    bool InlineSheet(const std::string& strFullPath, const std::string& strMedia, int nDepth, SheetVisit& visit,
                     std::int32_t nAnchor, const std::string& strCharset, std::string& strOut);
    bool WithinInlineBudget(std::uint64_t nMore, const std::string& strFullPath);
    bool ResolveValue(std::string value, std::string& strPath);
    bool DecodeValue(std::string value, std::string& strPath);
    void NotePlannedReference(std::int32_t nPosition, std::int32_t nLength, const std::string& strPath,
                              std::int32_t nPart, bool bRemote);
    bool ResolveReferencePath(std::int32_t nPosition, std::int32_t nLength, std::string& strPath);
    bool IsEmbeddable(const std::string& strPath);
    bool IsSafeToEmbed(const std::string& strFullPath, std::string& strReason);
    bool CheckOutputIsNoInput();
    std::string FullResourcePath(const std::string& strPath) const;
    void DropOverlappingReferences();
    // The page's charset label; a notice joins the warnings when the
    // declared one could not be used.
    std::string DetectCharset();

    // Writing.
    void MakeBoundary(std::string& strBoundary);
    void MakeBoundaries();
    bool WriteHeaders();
    bool WriteTextPart(const std::string& strCharset);
    std::string MakeMessageId();
    std::string FormatDateHeader();
    bool WriteHtmlPart(const std::string& strCharset);
    std::string BuildHtmlBody();
    bool WriteInlinePart(const ResourceEntry& entry);
    std::string ResourcePath(const ResourceEntry& entry) const;
    bool WriteAttachments();
    bool WriteAttachmentPart(const std::string& strPath);
    bool ChooseMessageEncoding(const std::string& strPath, std::string& strType, std::string& strEncoding);
    bool WriteFileRaw(const std::string& strPath, const std::string& strHeader, const std::string& strEncoding);
    bool WriteInnerClosingBoundaries();
    bool WriteClosingBoundary();
    bool WriteOut(const void* data, std::size_t n);
    bool WriteOut(const std::string& text) { return WriteOut(text.data(), text.size()); }
    bool FlushOut();
    static constexpr std::size_t kOutBufferSize = 256 * 1024;
    bool WriteFileBody(const std::string& strOpenPath, const std::string& strPath, const std::string& strHeader,
                       const char* pszWhat);
    std::string ResolveContentType(const std::string& strPath);
    // "Content-Type: ..." with its charset (UTF-8 text only) and name
    // parameters; strName receives the file name as UTF-8.
    std::string ContentTypeHeader(const std::string& strOpenPath, const std::string& strPath, std::string& strName,
                                  const std::string* pType = nullptr);
    bool IsUtf8Text(const std::string& strOpenPath);

    platform::Platform m_env;
    std::unique_ptr<platform::OutputFile> m_hOutFile;
    std::string m_strOutBuffer;  // written by FlushOut
    std::unique_ptr<platform::InputFile> m_hHtmlFile;
    std::unique_ptr<char[]> m_pszHtml;
    std::unique_ptr<char[]> m_pszHtmlLower;
    std::int32_t m_nHtmlLength = 0;
    char m_szHostName[16] = {};
    std::string m_strHtmlFolder;  // resolves relative resource paths
    // What a file embedded without question may be: inside the page's folder
    // tree, and outside the settings file and the home folder's hidden ones.
    std::string m_strRealHtmlFolder;  // links resolved, with a final '/'
    std::string m_strRealHome;        // the same; empty when unknown
    std::string m_strRealSettingsFolder;  // the same, with a final '/'; empty when unknown
    platform::ResolvedPath m_settingsFile;
    bool m_bHaveSettingsFile = false;
    // For the safety rule's many lookups; new for each composition, so no
    // folder relinked since the last one is taken for what it was.
    std::optional<platform::ResolveCache> m_resolved;
    // The content types a file out of the page's tree may have for the
    // running scan's tag to use it.
    enum class TagUse { Image, Link, Script } m_scanUse = TagUse::Image;
    std::vector<LeftOutEntry> m_listLeftOut;
    bool m_bEightBitData = false;
    std::vector<ResourceEntry> m_listResources;
    std::vector<ReferenceEntry> m_listReferences;
    // Indexes over the lists, so a page with many references stays linear.
    std::unordered_map<std::string, std::size_t> m_mapResourceIndex;  // path -> m_listResources
    std::unordered_set<std::string> m_setMissingPaths;                 // looked up, not embeddable (per use)
    std::unordered_set<std::int32_t> m_setPositions;                   // of m_listReferences
    std::vector<ReferenceEntry> m_listScanReferences;                  // of the running scan
    // Page text replaced whole: a linked style sheet's tag by the sheet itself.
    struct TextEdit {
        std::int32_t nPosition = 0;
        std::int32_t nLength = 0;
        std::string strText;
    };
    std::vector<TextEdit> m_listEdits;                  // by position, none overlapping
    std::unordered_set<std::string> m_setEditContentIds;  // the parts the edits' texts name
    std::size_t m_nDataParts = 0;
    // Style sheet text inlined so far; sheets that would take it past the
    // budget stay linked.
    std::uint64_t m_nInlinedBytes = 0;
    bool m_bInlineBudgetSpent = false;
    // Inlined sheets, by the path they were read from: the output may be none of them.
    std::vector<std::string> m_listSheetsRead;
    std::string m_strFileNameCodeset;
    CContentTypeSources m_contentTypes;
    std::string m_strBoundary;
    std::string m_strRelatedBoundary;
    std::string m_strAlternativeBoundary;
    // Whether this message carries the plain-text alternative: the option asks
    // for it, and ParseRefusal has no objection.
    bool m_bTextAlternative = false;
    std::string m_strError;
    std::vector<std::string> m_listWarnings;
    std::uint64_t m_nBytesDone = 0;
    std::uint64_t m_nBytesTotal = 0;
    ComposePlan* m_pPlan = nullptr;  // set while Plan runs
    const char* m_pszScanTag = "";
    const char* m_pszScanAttribute = "";
};
