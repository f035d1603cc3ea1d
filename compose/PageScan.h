#pragma once
// The first stage of a composition: reading the page and deciding, for every
// value its tags name, what the message does with it.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "compose/ComposeJob.h"
#include "compose/ContentType.h"
#include "compose/MessagePlan.h"
#include "platform/Platform.h"
#include "platform/ResolveCache.h"

class CPageScanner {
public:
    // types and the host name (for Content-IDs) are borrowed for the scanner's life.
    CPageScanner(const ComposeJob& job, const platform::Platform& env, CContentTypeSources& types,
                 const char* pszHostName);
    CPageScanner(const CPageScanner&) = delete;
    CPageScanner& operator=(const CPageScanner&) = delete;

    // Fills plan; on failure says why in strError, naming the file concerned.
    bool Scan(MessagePlan& plan, std::string& strError);

    // Pages whose text reaches this size cannot be addressed by 32-bit positions.
    static constexpr std::uint64_t kMaxHtmlLength = 0x7fffffffu;
    // All the style sheet text one message may inline.
    static constexpr std::uint64_t kMaxInlinedSheets = 16u << 20;

private:
    // The content types a file out of the page's tree may have for the
    // running scan's tag to use it.
    enum class TagUse { Image, Link, Script };
    // The sheets one <link> brings in: those being read (importing one of them
    // again is a loop) and those already inlined, with their media (importing
    // one again adds nothing).
    struct SheetVisit {
        std::vector<std::string> chain;
        std::unordered_set<std::string> inlined;
    };

    bool Fail(std::string reason);
    bool PrepareFolders();
    bool LoadHtml();
    std::size_t PageOffset(std::size_t nPosition) const;

    void ScanTag(RefTag tag, RefAttribute attribute);
    void MergeScanReferences();
    void AddReference(std::int32_t nPosition, std::int32_t nLength);
    void AddPathReference(std::int32_t nPosition, std::int32_t nLength, std::string strPath);
    void AddDataReference(std::int32_t nPosition, std::int32_t nLength, const std::string& strUri);
    std::int32_t DataResource(const std::string& strUri, std::int32_t nPosition);
    std::size_t FileResource(std::string strPath, std::int32_t nPosition);
    std::string NewContentId(std::int32_t nPosition);
    void RecordReference(std::int32_t nPosition, std::int32_t nLength, std::size_t nIndex);
    void NoteReference(std::int32_t nPosition, std::int32_t nLength, RefVerdict verdict, const std::string& strPath = {});
    void ScanPageCss();
    void AddCssReference(std::int32_t nPosition, std::int32_t nLength);
    void InlineStyleSheets();
    bool InlineSheet(const std::string& strFullPath, const std::string& strMedia, int nDepth, SheetVisit& visit,
                     std::int32_t nAnchor, std::string& strOut);
    bool WithinInlineBudget(std::uint64_t nMore, const std::string& strFullPath);
    bool DecodeValue(std::string value, std::string& strPath) const;
    // A value as written to the file it names, when that file may be embedded;
    // otherwise the verdict says why not.
    bool ResolveValue(std::string value, std::string& strPath, RefVerdict& verdict);
    bool IsEmbeddable(const std::string& strPath, RefVerdict& verdict);
    bool IsSafeToEmbed(const std::string& strFullPath, std::string& strReason);
    std::string FullResourcePath(const std::string& strPath) const;
    void DropOverlappingReferences();
    void SettleReferences();
    void ListParts();
    void DetectCharset();
    void DecideTextAlternative();
    void MakeBoundary(std::string& strBoundary);
    void DrawFrame();

    const ComposeJob& m_job;
    platform::Platform m_env;
    CContentTypeSources& m_contentTypes;
    const char* m_pszHostName;
    std::string m_strFileNameCodeset;
    MessagePlan* m_pPlan = nullptr;  // set while Scan runs
    std::string m_strError;

    std::string m_strLower;  // the page text in ASCII lower case, for the substring scans
    std::vector<std::size_t> m_listAddedCrs;  // positions in the page text of the CRs the page lacks
    std::int32_t m_nHtmlLength = 0;
    // What a file embedded without question may be: inside the page's folder
    // tree, and outside the settings file and the home folder's hidden ones.
    std::string m_strRealHtmlFolder;  // links resolved, with a final '/'
    std::string m_strRealHome;        // the same; empty when unknown
    std::string m_strRealSettingsFolder;  // the same, with a final '/'; empty when unknown
    platform::ResolvedPath m_settingsFile;
    bool m_bHaveSettingsFile = false;
    // For the safety rule's many lookups; the scanner lives for one scan, so
    // no folder relinked since an earlier one is taken for what it was.
    platform::ResolveCache m_resolved;

    TagUse m_scanUse = TagUse::Image;
    RefTag m_scanTag = RefTag::Any;
    RefAttribute m_scanAttribute = RefAttribute::Src;
    // Indexes over the plan's lists, so a page with many references stays linear.
    std::unordered_map<std::string, std::size_t> m_mapResourceIndex;  // path (or data key) -> part
    std::unordered_map<std::string, RefVerdict> m_mapRefused;        // path and use -> why not embeddable
    std::unordered_set<std::int32_t> m_setPositions;                  // of the rewrites
    std::vector<ReferenceEntry> m_listScanRewrites;                   // of the running scan
    std::unordered_set<std::string> m_setEditContentIds;  // the parts the edits' texts name
    std::size_t m_nDataParts = 0;
    // Style sheet text inlined so far; sheets that would take it past the
    // budget stay linked.
    std::uint64_t m_nInlinedBytes = 0;
    bool m_bInlineBudgetSpent = false;
};

// 32 hex digits of the system's random source: the part of a Message-ID
// before "@".
std::string DrawMessageIdToken(platform::Random& random);
