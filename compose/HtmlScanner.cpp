// Finding the page's local resources and giving each a Content-ID.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <unordered_map>

#include "compose/MimeComposer.h"
#include "compose/TagScan.h"
#include "compose/UrlPath.h"
#include "compose/WebmailText.h"
#include "core/Ascii.h"

namespace {
// Longest value and resolved path handled; longer values stay as they are.
constexpr std::size_t kMaxReferencePath = PATH_MAX - 1;
const std::string_view kFileScheme = "file:///";
} // namespace

void CMimeComposer::ScanTag(const char* pszTagName, const char* pszAttribute) {
    m_listScanReferences.clear();
    std::string_view tag = pszTagName;
    m_scanUse = tag == "link" ? TagUse::Link : tag == "script" ? TagUse::Script : TagUse::Image;
    m_pszScanTag = pszTagName;
    m_pszScanAttribute = pszAttribute;
    std::string_view lower(m_pszHtmlLower.get(), static_cast<std::size_t>(m_nHtmlLength));
    TagValueFn onRemote;
    if (m_pPlan)
        onRemote = [this](std::size_t, std::size_t pos, std::size_t len) {
            NotePlannedReference(static_cast<std::int32_t>(pos), static_cast<std::int32_t>(len), {}, -1, true);
        };
    ScanTagValues(
        lower, pszTagName, pszAttribute,
        [this](std::size_t, std::size_t pos, std::size_t len) {
            AddReference(static_cast<std::int32_t>(pos), static_cast<std::int32_t>(len));
        },
        onRemote);
    MergeScanReferences();
}

// One scan finds its values in page order, so its list is sorted already:
// a merge keeps m_listReferences in increasing position without a walk per entry.
void CMimeComposer::MergeScanReferences() {
    if (m_listScanReferences.empty()) return;
    std::vector<ReferenceEntry> merged;
    merged.reserve(m_listReferences.size() + m_listScanReferences.size());
    std::merge(std::make_move_iterator(m_listReferences.begin()), std::make_move_iterator(m_listReferences.end()),
               std::make_move_iterator(m_listScanReferences.begin()),
               std::make_move_iterator(m_listScanReferences.end()), std::back_inserter(merged),
               [](const ReferenceEntry& a, const ReferenceEntry& b) { return a.m_nPosition < b.m_nPosition; });
    m_listReferences.swap(merged);
    m_listScanReferences.clear();
}

bool CMimeComposer::AddReference(std::int32_t nPosition, std::int32_t nLength) {
    std::string_view raw(m_pszHtml.get() + nPosition, static_cast<std::size_t>(nLength));
    if (m_job.m_bPrepareForWebmail && IsDataUri(raw)) return AddDataReference(nPosition, nLength, DecodeEntities(std::string(raw)));
    std::string path;
    if (!ResolveReferencePath(nPosition, nLength, path)) {
        NotePlannedReference(nPosition, nLength, path, -1, false);
        return false;
    }
    return AddPathReference(nPosition, nLength, std::move(path));
}

bool CMimeComposer::AddPathReference(std::int32_t nPosition, std::int32_t nLength, std::string strPath) {
    // A position already recorded is the same value text, so the same file.
    if (m_setPositions.count(nPosition)) return false;
    RecordReference(nPosition, nLength, FileResource(std::move(strPath), nPosition));
    return true;
}

// The part for an embeddable file, made when the file is first met.
std::size_t CMimeComposer::FileResource(std::string strPath, std::int32_t nPosition) {
    auto found = m_mapResourceIndex.find(strPath);
    if (found != m_mapResourceIndex.end()) return found->second;
    unsigned r1 = static_cast<unsigned>(m_env.random->Next());
    unsigned r2 = static_cast<unsigned>(m_env.random->Next());
    char cid[64];
    std::snprintf(cid, sizeof cid, "%u$%u@%s", static_cast<unsigned>(nPosition) + r2, r1, m_szHostName);
    std::size_t index = m_listResources.size();
    ResourceEntry entry;
    entry.m_strPath = strPath;
    entry.m_strContentId = cid;
    m_listResources.push_back(std::move(entry));
    m_mapResourceIndex.emplace(std::move(strPath), index);
    return index;
}

void CMimeComposer::RecordReference(std::int32_t nPosition, std::int32_t nLength, std::size_t nIndex) {
    m_setPositions.insert(nPosition);
    ReferenceEntry ref;
    ref.m_strContentId = m_listResources[nIndex].m_strContentId;
    ref.m_nPosition = nPosition;
    ref.m_nLength = nLength;
    NotePlannedReference(nPosition, nLength, {}, static_cast<std::int32_t>(nIndex), false);
    m_listScanReferences.push_back(std::move(ref));
}

void CMimeComposer::NotePlannedReference(std::int32_t nPosition, std::int32_t nLength, const std::string& strPath,
                                         std::int32_t nPart, bool bRemote) {
    if (!m_pPlan) return;
    PlannedReference r;
    r.nPosition = nPosition;
    r.nLength = nLength;
    r.pszTagName = m_pszScanTag;
    r.pszAttribute = m_pszScanAttribute;
    r.bRemote = bRemote;
    r.nPart = nPart;
    if (!strPath.empty()) r.strFullPath = strPath[0] == '/' ? strPath : m_strHtmlFolder + strPath;
    m_pPlan->listReferences.push_back(std::move(r));
}

bool CMimeComposer::ResolveReferencePath(std::int32_t nPosition, std::int32_t nLength, std::string& strPath) {
    std::size_t len = static_cast<std::size_t>(nLength);
    if (len > kMaxReferencePath) return false;
    return ResolveValue(std::string(m_pszHtml.get() + nPosition, len), strPath);
}

// A value as written (entities and escapes included) to the file it names,
// when that file may be embedded.
bool CMimeComposer::ResolveValue(std::string value, std::string& strPath) {
    return DecodeValue(std::move(value), strPath) && IsEmbeddable(strPath);
}

bool CMimeComposer::DecodeValue(std::string value, std::string& strPath) {
    if (value.size() > kMaxReferencePath) return false;
    // "file:///srv/a.gif" names /srv/a.gif: keep the third slash.
    if (ascii::StartsWithNoCase(value, kFileScheme)) value.erase(0, kFileScheme.size() - 1);
    // Pages written on Windows use backslashes.
    ReplaceChar(value, '\\', '/');
    DecodeUrlPath(value, strPath, m_strFileNameCodeset);
    // "%00" would cut the name short where the system reads it: no file has such a name.
    return strPath.size() <= kMaxReferencePath && strPath.find('\0') == std::string::npos;
}

std::string CMimeComposer::FullResourcePath(const std::string& strPath) const {
    return !strPath.empty() && strPath[0] == '/' ? strPath : m_strHtmlFolder + strPath;
}

// A regular file this process can read: a folder or an unreadable file would
// become a "cid:" naming a part that is never written. It must also be safe
// to send; a file left out for safety is reported once.
bool CMimeComposer::IsEmbeddable(const std::string& strPath) {
    if (m_mapResourceIndex.count(strPath)) return true;
    std::string key = strPath + '\0' + static_cast<char>('0' + static_cast<int>(m_scanUse));
    if (m_setMissingPaths.count(key)) return false;
    std::string full = FullResourcePath(strPath);
    std::string reason;
    if (m_env.files->IsReadableFile(full) && IsSafeToEmbed(full, reason)) return true;
    m_setMissingPaths.insert(key);
    if (!reason.empty() && std::none_of(m_listLeftOut.begin(), m_listLeftOut.end(),
                                        [&](const LeftOutEntry& e) { return e.m_strPath == strPath; }))
        m_listLeftOut.push_back(LeftOutEntry{strPath, reason});
    return false;
}

// A page may carry what lies in its own folder tree, and elsewhere only what
// its tag can use: a reference must not carry away a key, a password or
// /etc/shadow. The program's settings and the home folder's hidden folders
// are never sent.
bool CMimeComposer::IsSafeToEmbed(const std::string& strFullPath, std::string& strReason) {
    platform::ResolvedPath real;
    if (!m_resolved->Resolve(strFullPath, real)) {
        strReason = "its real location cannot be found";
        return false;
    }
    if (m_bHaveSettingsFile && real.SameFile(m_settingsFile)) {
        strReason = "it is the program's settings file";
        return false;
    }
    if (!m_strRealSettingsFolder.empty() && real.strPath.rfind(m_strRealSettingsFolder, 0) == 0) {
        strReason = "it lies in the program's settings folder";
        return false;
    }
    if (!m_strRealHome.empty() && real.strPath.rfind(m_strRealHome + "/.", 0) == 0) {
        strReason = "it lies in a hidden folder of the home folder";
        return false;
    }
    if (real.strPath.rfind(m_strRealHtmlFolder, 0) == 0) return true;
    std::string type = ResolveContentType(real.strPath);
    auto starts = [&](const char* prefix) { return type.rfind(prefix, 0) == 0; };
    bool fits = starts("image/");
    if (m_scanUse == TagUse::Link) fits = fits || type == "text/css" || starts("font/");
    if (m_scanUse == TagUse::Script)
        fits = type == "text/javascript" || type == "application/javascript" || type == "application/x-javascript" ||
               type == "application/ecmascript" || type == "text/ecmascript";
    if (fits) return true;
    strReason = "it lies outside the page's folder and its type (" + type + ") is not one the page can use there";
    return false;
}

// Possible only when one value holds text that another scan reads as an
// attribute: the reference that starts first stays, so the body is never
// copied backwards; a file left without any reference gets no part.
void CMimeComposer::DropOverlappingReferences() {
    std::vector<ReferenceEntry> kept;
    kept.reserve(m_listReferences.size());
    std::int64_t end = -1;
    bool dropped = false;
    auto edit = m_listEdits.begin();
    for (ReferenceEntry& r : m_listReferences) {
        // A value that meets text replaced whole (a style sheet's link) goes: the
        // replacement wins, so the body is still copied forward.
        while (edit != m_listEdits.end() && edit->nPosition + edit->nLength <= r.m_nPosition) ++edit;
        bool inEdit = edit != m_listEdits.end() &&
                      (edit->nPosition < r.m_nPosition || edit->nPosition < r.m_nPosition + r.m_nLength);
        if (r.m_nPosition < end || inEdit) {
            m_setPositions.erase(r.m_nPosition);
            dropped = true;
            continue;
        }
        end = static_cast<std::int64_t>(r.m_nPosition) + r.m_nLength;
        kept.push_back(std::move(r));
    }
    m_listReferences.swap(kept);
    if (!dropped) return;

    std::unordered_map<std::string, int> uses;
    for (const ReferenceEntry& r : m_listReferences) ++uses[r.m_strContentId];
    for (const std::string& cid : m_setEditContentIds) ++uses[cid];
    std::vector<ResourceEntry> resources;
    m_mapResourceIndex.clear();
    for (ResourceEntry& e : m_listResources) {
        if (!uses.count(e.m_strContentId)) continue;
        m_mapResourceIndex.emplace(e.m_bData ? '\0' + e.m_strDataType + '\0' + e.m_strData : e.m_strPath,
                                   resources.size());
        resources.push_back(std::move(e));
    }
    m_listResources.swap(resources);
}
