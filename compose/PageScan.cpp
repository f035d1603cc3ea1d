// Finding the page's local resources, deciding for each whether it travels,
// and giving each part its Content-ID. With "Prepare for webmail" also data:
// URIs, CSS images and linked style sheets, which webmail drops or hides.
#include "compose/PageScan.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

#include "compose/CssUrls.h"
#include "compose/CharsetDetect.h"
#include "compose/HtmlNesting.h"
#include "compose/PathUtil.h"
#include "compose/TagScan.h"
#include "compose/UrlPath.h"
#include "compose/WebmailText.h"
#include "core/Ascii.h"
#include "platform/Codeset.h"
#include "platform/FileInfo.h"
#include "platform/SettingsFile.h"
#include "platform/XdgFolders.h"

namespace {

// Longest value and resolved path handled; longer values stay as they are.
constexpr std::size_t kMaxReferencePath = PATH_MAX - 1;
const std::string_view kFileScheme = "file:///";
// Sheets importing sheets deeper than this are left as written.
constexpr int kMaxImportDepth = 16;

// The file's size, 0 when it cannot be looked at; noted among the plan's inputs.
std::uint64_t NoteInput(MessagePlan& plan, const std::string& path) {
    platform::FileStamp stamp;
    if (!platform::GetFileStamp(path, stamp)) stamp = platform::FileStamp{};
    plan.listInputs.push_back(MessagePlan::Input{path, stamp});
    return stamp.nSize;
}

bool HasToken(std::string_view list, std::string_view token) {
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && IsHtmlSpace(list[i])) ++i;
        std::size_t j = i;
        while (j < list.size() && !IsHtmlSpace(list[j])) ++j;
        if (list.substr(i, j - i) == token) return true;
        i = j;
    }
    return false;
}

// Line ends as the page has them: every lone LF preceded by a CR.
std::string CrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// "</style" inside the sheet would end the element early: a CSS escape keeps
// the same meaning in strings, and comments do not care.
std::string EscapeStyleEnd(std::string css) {
    for (std::size_t at = 0; (at = css.find("</", at)) != std::string::npos; at += 2)
        if (ascii::StartsWithNoCase(std::string_view(css).substr(at + 2), "style")) css.insert(at + 1, "\\");
    return css;
}

std::string AttributeText(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '"') out += "&quot;";
        else if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else out += c;
    }
    return out;
}

void AppendHex(std::string& s, unsigned long v) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%lX", v);
    s += buf;
}

} // namespace

CPageScanner::CPageScanner(const ComposeJob& job, const platform::Platform& env, CContentTypeSources& types,
                           const char* pszHostName)
    : m_job(job), m_env(env), m_contentTypes(types), m_pszHostName(pszHostName),
      m_strFileNameCodeset(platform::LocaleCodeset()), m_resolved(*env.files) {}

bool CPageScanner::Fail(std::string reason) {
    if (m_strError.empty()) m_strError = std::move(reason);
    return false;
}

bool CPageScanner::Scan(MessagePlan& plan, std::string& strError) {
    plan = MessagePlan();
    plan.strHtmlPath = m_job.m_strHtmlPath;
    plan.listAttachments = m_job.m_listAttachments;
    plan.bPrepareForWebmail = m_job.m_bPrepareForWebmail;
    m_pPlan = &plan;
    m_strError.clear();
    bool ok = PrepareFolders() && LoadHtml();
    if (ok) {
        ScanTag(RefTag::Link, RefAttribute::Href);
        ScanTag(RefTag::Script, RefAttribute::Src);
        ScanTag(RefTag::Img, RefAttribute::Src);
        ScanTag(RefTag::Any, RefAttribute::Background);
        ScanTag(RefTag::Input, RefAttribute::Src);
        if (m_job.m_bPrepareForWebmail) {
            ScanPageCss();
            DetectCharset();
            InlineStyleSheets();
        }
        DropOverlappingReferences();
        // Refused for one tag but embedded for another: it travels after all.
        std::erase_if(plan.listLeftOut,
                      [&](const LeftOutEntry& e) { return m_mapResourceIndex.count(e.m_strPath) > 0; });
        SettleReferences();
        ListParts();
        if (plan.strCharset.empty()) DetectCharset();
        DecideTextAlternative();
        DrawFrame();
    }
    m_strLower.clear();
    m_pPlan = nullptr;
    strError = m_strError;
    return ok;
}

bool CPageScanner::PrepareFolders() {
    MessagePlan& plan = *m_pPlan;
    if (m_job.m_strHtmlPath.empty()) return Fail("no HTML file given");
    if (!GetFolderOfPath(m_job.m_strHtmlPath, plan.strHtmlFolder))
        return Fail("HTML file '" + m_job.m_strHtmlPath + "' is not given with its folder");
    std::string err;
    // Relative resource paths resolve against this folder; the process's
    // current directory is left alone.
    if (!m_env.files->CheckFolder(plan.strHtmlFolder, err))
        return Fail("cannot open folder '" + plan.strHtmlFolder + "': " + err);
    platform::ResolvedPath real;
    m_strRealHtmlFolder = m_env.files->Resolve(plan.strHtmlFolder, real) ? real.strPath : plan.strHtmlFolder;
    if (m_strRealHtmlFolder.back() != '/') m_strRealHtmlFolder += '/';
    std::string home = platform::HomeFolder(*m_env.environment);
    m_strRealHome = !home.empty() && m_env.files->Resolve(home, real) ? real.strPath : home;
    const std::string settings = platform::SettingsFilePath(*m_env.environment);
    m_bHaveSettingsFile = m_env.files->Resolve(settings, m_settingsFile);
    // The folder too: it keeps the imported old settings, which may hold a password.
    m_strRealSettingsFolder.clear();
    if (std::size_t slash = settings.rfind('/'); slash != std::string::npos && slash > 0 &&
                                                 m_env.files->Resolve(settings.substr(0, slash), real))
        m_strRealSettingsFolder = real.strPath + "/";
    return true;
}

bool CPageScanner::LoadHtml() {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(m_job.m_strHtmlPath, err);
    if (!file) return Fail("cannot open HTML file '" + m_job.m_strHtmlPath + "': " + err);
    const std::string tooLarge =
        "HTML file '" + m_job.m_strHtmlPath + "' is too large: pages of 2 GiB or more are not supported";
    std::uint64_t size = file->Size();
    if (size > kMaxHtmlLength) return Fail(tooLarge);
    std::string raw(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    if (!file->Read(raw.data(), raw.size(), got, err))
        return Fail("cannot read HTML file '" + m_job.m_strHtmlPath + "': " + err);
    if (got != size)
        return Fail("cannot read HTML file '" + m_job.m_strHtmlPath + "': the file was shortened while it was read");

    // A lone LF becomes CR LF; CR LF stays; a lone CR stays.
    std::uint64_t normalised = size;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) ++normalised;
    if (normalised > kMaxHtmlLength) return Fail(tooLarge);

    std::string& out = m_pPlan->strPage;
    out.resize(static_cast<std::size_t>(normalised));
    m_strLower.resize(out.size());
    std::size_t o = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\n' && (i == 0 || raw[i - 1] != '\r')) {
            m_listAddedCrs.push_back(o);
            out[o] = m_strLower[o] = '\r';
            ++o;
        }
        out[o] = c;
        m_strLower[o] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        ++o;
    }
    m_nHtmlLength = static_cast<std::int32_t>(o);
    NoteInput(*m_pPlan, m_job.m_strHtmlPath);
    return true;
}

// Where a position of the page text lies in the page file, without the CRs added.
std::size_t CPageScanner::PageOffset(std::size_t nPosition) const {
    return nPosition - static_cast<std::size_t>(std::lower_bound(m_listAddedCrs.begin(), m_listAddedCrs.end(),
                                                                 nPosition) -
                                                m_listAddedCrs.begin());
}

void CPageScanner::ScanTag(RefTag tag, RefAttribute attribute) {
    static const char* const kTagNames[] = {"link", "script", "img", "input", "", ""};
    static const char* const kAttributes[] = {"href", "src", "background", ""};
    m_listScanRewrites.clear();
    m_scanUse = tag == RefTag::Link ? TagUse::Link : tag == RefTag::Script ? TagUse::Script : TagUse::Image;
    m_scanTag = tag;
    m_scanAttribute = attribute;
    ScanTagValues(
        m_strLower, kTagNames[static_cast<int>(tag)], kAttributes[static_cast<int>(attribute)],
        [this](std::size_t, std::size_t pos, std::size_t len) {
            AddReference(static_cast<std::int32_t>(pos), static_cast<std::int32_t>(len));
        },
        [this](std::size_t, std::size_t pos, std::size_t len) {
            NoteReference(static_cast<std::int32_t>(pos), static_cast<std::int32_t>(len), RefVerdict::Remote);
        });
    MergeScanReferences();
}

// One scan finds its values in page order, so its list is sorted already:
// a merge keeps the rewrites in increasing position without a walk per entry.
void CPageScanner::MergeScanReferences() {
    if (m_listScanRewrites.empty()) return;
    std::vector<ReferenceEntry>& rewrites = m_pPlan->listRewrites;
    std::vector<ReferenceEntry> merged;
    merged.reserve(rewrites.size() + m_listScanRewrites.size());
    std::merge(std::make_move_iterator(rewrites.begin()), std::make_move_iterator(rewrites.end()),
               std::make_move_iterator(m_listScanRewrites.begin()), std::make_move_iterator(m_listScanRewrites.end()),
               std::back_inserter(merged),
               [](const ReferenceEntry& a, const ReferenceEntry& b) { return a.m_nPosition < b.m_nPosition; });
    rewrites.swap(merged);
    m_listScanRewrites.clear();
}

void CPageScanner::AddReference(std::int32_t nPosition, std::int32_t nLength) {
    std::string_view raw(m_pPlan->strPage.data() + nPosition, static_cast<std::size_t>(nLength));
    if (m_job.m_bPrepareForWebmail && IsDataUri(raw)) return AddDataReference(nPosition, nLength, DecodeEntities(std::string(raw)));
    std::string path;
    RefVerdict verdict = RefVerdict::NotFound;
    if (!ResolveValue(std::string(raw), path, verdict))
        return NoteReference(nPosition, nLength, IsDataUri(raw) ? RefVerdict::DataUri : verdict, path);
    AddPathReference(nPosition, nLength, std::move(path));
}

void CPageScanner::AddPathReference(std::int32_t nPosition, std::int32_t nLength, std::string strPath) {
    // A position already recorded is the same value text, so the same file.
    if (m_setPositions.count(nPosition)) return;
    RecordReference(nPosition, nLength, FileResource(std::move(strPath), nPosition));
}

std::string CPageScanner::NewContentId(std::int32_t nPosition) {
    unsigned r1 = static_cast<unsigned>(m_env.random->Next());
    unsigned r2 = static_cast<unsigned>(m_env.random->Next());
    char cid[64];
    std::snprintf(cid, sizeof cid, "%u$%u@%s", static_cast<unsigned>(nPosition) + r2, r1, m_pszHostName);
    return cid;
}

// The part for an embeddable file, made when the file is first met.
std::size_t CPageScanner::FileResource(std::string strPath, std::int32_t nPosition) {
    auto found = m_mapResourceIndex.find(strPath);
    if (found != m_mapResourceIndex.end()) return found->second;
    std::size_t index = m_pPlan->listParts.size();
    PlannedPart& part = m_pPlan->listParts.emplace_back();
    part.strPath = strPath;
    part.strContentId = NewContentId(nPosition);
    m_mapResourceIndex.emplace(std::move(strPath), index);
    return index;
}

void CPageScanner::AddDataReference(std::int32_t nPosition, std::int32_t nLength, const std::string& strUri) {
    std::int32_t index = DataResource(strUri, nPosition);
    if (index < 0) return NoteReference(nPosition, nLength, RefVerdict::DataUri);
    if (!m_setPositions.count(nPosition)) RecordReference(nPosition, nLength, static_cast<std::size_t>(index));
}

// The part for a data: URI's content: one per distinct type and bytes; -1 for
// a malformed URI, which stays as written.
std::int32_t CPageScanner::DataResource(const std::string& strUri, std::int32_t nPosition) {
    PlannedPart part;
    if (!ParseDataUri(strUri, part.strDataType, part.strData)) return -1;
    // No path holds a NUL, so these keys never meet a file's.
    std::string key = '\0' + part.strDataType + '\0' + part.strData;
    auto found = m_mapResourceIndex.find(key);
    if (found != m_mapResourceIndex.end()) return static_cast<std::int32_t>(found->second);
    part.strContentId = NewContentId(nPosition);
    part.bData = true;
    part.strPath = DataPartName(part.strDataType, ++m_nDataParts);
    std::size_t index = m_pPlan->listParts.size();
    m_pPlan->listParts.push_back(std::move(part));
    m_mapResourceIndex.emplace(std::move(key), index);
    return static_cast<std::int32_t>(index);
}

void CPageScanner::RecordReference(std::int32_t nPosition, std::int32_t nLength, std::size_t nIndex) {
    m_setPositions.insert(nPosition);
    ReferenceEntry ref;
    ref.m_strContentId = m_pPlan->listParts[nIndex].strContentId;
    ref.m_nPosition = nPosition;
    ref.m_nLength = nLength;
    m_listScanRewrites.push_back(std::move(ref));
    NoteReference(nPosition, nLength, RefVerdict::Embedded);
    m_pPlan->listReferences.back().nPart = static_cast<std::int32_t>(nIndex);
}

void CPageScanner::NoteReference(std::int32_t nPosition, std::int32_t nLength, RefVerdict verdict,
                                 const std::string& strPath) {
    PlannedReference& r = m_pPlan->listReferences.emplace_back();
    r.nPosition = nPosition;
    r.nLength = nLength;
    r.nPageOffset = PageOffset(static_cast<std::size_t>(nPosition));
    r.nPageLength = PageOffset(static_cast<std::size_t>(nPosition + nLength)) - r.nPageOffset;
    r.tag = m_scanTag;
    r.attribute = m_scanAttribute;
    r.verdict = verdict;
    if (!strPath.empty()) r.strFullPath = FullResourcePath(strPath);
}

bool CPageScanner::ResolveValue(std::string value, std::string& strPath, RefVerdict& verdict) {
    verdict = RefVerdict::NotFound;
    return DecodeValue(std::move(value), strPath) && IsEmbeddable(strPath, verdict);
}

bool CPageScanner::DecodeValue(std::string value, std::string& strPath) const {
    if (value.size() > kMaxReferencePath) return false;
    // "file:///srv/a.gif" names /srv/a.gif: keep the third slash.
    if (ascii::StartsWithNoCase(value, kFileScheme)) value.erase(0, kFileScheme.size() - 1);
    // Pages written on Windows use backslashes.
    ReplaceChar(value, '\\', '/');
    DecodeUrlPath(value, strPath, m_strFileNameCodeset);
    // "%00" would cut the name short where the system reads it: no file has such a name.
    return strPath.size() <= kMaxReferencePath && strPath.find('\0') == std::string::npos;
}

std::string CPageScanner::FullResourcePath(const std::string& strPath) const {
    return !strPath.empty() && strPath[0] == '/' ? strPath : m_pPlan->strHtmlFolder + strPath;
}

// A regular file this process can read: a folder or an unreadable file would
// become a "cid:" naming a part that is never written. It must also be safe
// to send; a file left out for safety is reported once.
bool CPageScanner::IsEmbeddable(const std::string& strPath, RefVerdict& verdict) {
    if (m_mapResourceIndex.count(strPath)) return true;
    std::string key = strPath + '\0' + static_cast<char>('0' + static_cast<int>(m_scanUse));
    if (auto refused = m_mapRefused.find(key); refused != m_mapRefused.end()) {
        verdict = refused->second;
        return false;
    }
    std::string full = FullResourcePath(strPath);
    std::string reason;
    if (m_env.files->IsReadableFile(full) && IsSafeToEmbed(full, reason)) return true;
    verdict = reason.empty() ? RefVerdict::NotFound : RefVerdict::LeftOutForSafety;
    m_mapRefused.emplace(std::move(key), verdict);
    std::vector<LeftOutEntry>& leftOut = m_pPlan->listLeftOut;
    if (!reason.empty() &&
        std::none_of(leftOut.begin(), leftOut.end(), [&](const LeftOutEntry& e) { return e.m_strPath == strPath; }))
        leftOut.push_back(LeftOutEntry{strPath, reason});
    return false;
}

// A page may carry what lies in its own folder tree, and elsewhere only what
// its tag can use: a reference must not carry away a key, a password or
// /etc/shadow. The program's settings and the home folder's hidden folders
// are never sent.
bool CPageScanner::IsSafeToEmbed(const std::string& strFullPath, std::string& strReason) {
    platform::ResolvedPath real;
    if (!m_resolved.Resolve(strFullPath, real)) {
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
    std::string type = ContentTypeOfFile(m_contentTypes, real.strPath);
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


// url() in style attributes and <style> blocks, found like the tag scans find
// values: by substring over the lowered page, tag by tag.
void CPageScanner::ScanPageCss() {
    m_listScanRewrites.clear();
    m_scanUse = TagUse::Link;
    m_scanAttribute = RefAttribute::CssUrl;
    const std::string_view lower = m_strLower;
    auto scan = [&](std::size_t offset, std::string_view css) {
        ForEachCssUrl(css, [&](std::size_t at, std::size_t length, bool import) {
            // An @import in the page stays: recipients' programs do not follow it.
            if (!import) AddCssReference(static_cast<std::int32_t>(offset + at), static_cast<std::int32_t>(length));
        });
    };
    for (std::size_t lt = lower.find('<'); lt != std::string_view::npos; lt = lower.find('<', lt + 1)) {
        std::size_t gt = lower.find('>', lt);
        if (gt == std::string_view::npos) break;
        std::string_view tag = lower.substr(lt, gt - lt);
        TagAttribute style;
        m_scanTag = RefTag::Any;
        // The substring first: most tags have no style, and the walk reads every attribute.
        if (tag.find("style") != std::string_view::npos && FindTagAttribute(tag, "style", style))
            scan(lt + style.nValueStart, tag.substr(style.nValueStart, style.nValueLength));
        if (tag.substr(0, 6) == "<style" && (tag.size() == 6 || IsHtmlSpace(tag[6]))) {
            std::size_t close = lower.find("</style", gt);
            if (close == std::string_view::npos) close = lower.size();
            m_scanTag = RefTag::Style;
            scan(gt + 1, lower.substr(gt + 1, close - gt - 1));
            gt = close == lower.size() ? close - 1 : close;
        }
        lt = gt;
    }
    MergeScanReferences();
}

void CPageScanner::AddCssReference(std::int32_t nPosition, std::int32_t nLength) {
    std::string_view raw(m_pPlan->strPage.data() + nPosition, static_cast<std::size_t>(nLength));
    std::string value;
    if (raw.empty() || !CssUnescape(raw, value)) return NoteReference(nPosition, nLength, RefVerdict::Unusable);
    if (IsDataUri(value)) return AddDataReference(nPosition, nLength, DecodeEntities(value));
    if (IsRemoteAddress(value) || IsSchemeRelative(value)) return NoteReference(nPosition, nLength, RefVerdict::Remote);
    std::string path;
    RefVerdict verdict;
    // Escapes are resolved already: backslashes here are the page's own.
    if (!ResolveValue(value, path, verdict)) return NoteReference(nPosition, nLength, verdict, path);
    AddPathReference(nPosition, nLength, std::move(path));
}

// Each <link rel=stylesheet> naming a local sheet becomes <style> elements
// holding the sheet and the local sheets it imports; a remote sheet stays linked.
void CPageScanner::InlineStyleSheets() {
    m_scanUse = TagUse::Link;
    const std::string_view lower = m_strLower;
    const std::string& page = m_pPlan->strPage;
    ScanTagValues(lower, "link", "href", [&](std::size_t start, std::size_t pos, std::size_t len) {
        std::size_t gt = lower.find('>', pos + len);
        std::string_view tag = lower.substr(start, gt - start);
        TagAttribute rel, media;
        if (!FindTagAttribute(tag, "rel", rel) || !HasToken(tag.substr(rel.nValueStart, rel.nValueLength), "stylesheet") ||
            HasToken(tag.substr(rel.nValueStart, rel.nValueLength), "alternate"))
            return;
        std::string path;
        RefVerdict verdict;
        if (IsDataUri(std::string_view(page.data() + pos, len)) || !ResolveValue(page.substr(pos, len), path, verdict))
            return;
        std::string mediaText;
        if (FindTagAttribute(tag, "media", media)) mediaText = page.substr(start + media.nStart, media.nEnd - media.nStart);
        SheetVisit visit;
        std::string text;
        if (!InlineSheet(FullResourcePath(path), mediaText, 0, visit, static_cast<std::int32_t>(pos), text)) return;
        m_pPlan->listEdits.push_back(
            TextEdit{static_cast<std::int32_t>(start), static_cast<std::int32_t>(gt + 1 - start), std::move(text)});
    });
}

// False, with a warning the first time, when nMore bytes of sheet text would
// take the message past its budget; strFullPath is the sheet that stays linked.
bool CPageScanner::WithinInlineBudget(std::uint64_t nMore, const std::string& strFullPath) {
    if (m_bInlineBudgetSpent) return false;
    if (nMore <= kMaxInlinedSheets - m_nInlinedBytes) return true;
    m_bInlineBudgetSpent = true;
    m_pPlan->listWarnings.push_back("The style sheets to inline exceed " + std::to_string(kMaxInlinedSheets >> 20) +
                                    " MiB: '" + strFullPath + "' and the sheets after it stay linked.");
    return false;
}

// Appends to strOut the <style> elements for one sheet: those of its local
// imports first, as the cascade has them, then its own text with each url()
// naming a part. strMedia is the attribute text (media="...") or empty.
// A sheet the link has already brought in under the same media is not
// repeated: its rules stand earlier already, and repeating them grew the
// message exponentially when sheets import each other several times. True,
// appending nothing, for such a sheet.
bool CPageScanner::InlineSheet(const std::string& strFullPath, const std::string& strMedia, int nDepth,
                               SheetVisit& visit, std::int32_t nAnchor, std::string& strOut) {
    std::vector<std::string>& chain = visit.chain;
    platform::ResolvedPath real;
    if (nDepth > kMaxImportDepth || m_bInlineBudgetSpent || !m_resolved.Resolve(strFullPath, real) ||
        std::find(chain.begin(), chain.end(), real.strPath) != chain.end())
        return false;
    // Under other media, the sheet is needed again.
    const std::string place = real.strPath + '\0' + strMedia;
    if (visit.inlined.count(place)) return true;
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strFullPath, err);
    if (!file || !WithinInlineBudget(file->Size(), strFullPath)) return false;
    m_pPlan->listSheetsRead.push_back(strFullPath);
    std::string css(static_cast<std::size_t>(file->Size()), '\0');
    std::size_t got = 0;
    if (!file->Read(css.data(), css.size(), got, err) || got != css.size()) return false;

    // The page's charset labels the inlined text: a sheet declaring another is converted.
    const std::string& pageCharset = m_pPlan->strCharset;
    std::string sheetCharset;
    std::size_t stripped = 0;  // bytes taken from the front, so the check finds each address in the file
    if (css.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        css.erase(0, 3);
        stripped = 3;
        sheetCharset = "utf-8";
    }
    if (css.compare(0, 10, "@charset \"") == 0) {
        std::size_t close = css.find("\";", 10);
        if (close != std::string::npos) {
            if (sheetCharset.empty()) sheetCharset = css.substr(10, close - 10);
            css.erase(0, close + 2);
            stripped += close + 2;
        }
    }
    std::string utf8, converted;
    if (!sheetCharset.empty() && !ascii::EqualsNoCase(sheetCharset, pageCharset) &&
        platform::ConvertToUtf8(css, sheetCharset, utf8, [](unsigned char c, std::string& o) { o += static_cast<char>(c); }) &&
        (platform::IsUtf8Codeset(pageCharset) ? (converted = utf8, true)
                                              : platform::ConvertFromUtf8(utf8, pageCharset, converted)))
        css.swap(converted);

    std::string folder;
    GetFolderOfPath(strFullPath, folder);
    std::string pageFolder = CollapseDotSegments(m_pPlan->strHtmlFolder);
    if (pageFolder.empty() || pageFolder.back() != '/') pageFolder += '/';
    // The part's path as the page's own references write it, so that a file
    // named by both shares one part.
    auto pathOf = [&](const std::string& decoded) {
        std::string full = CollapseDotSegments(!decoded.empty() && decoded[0] == '/' ? decoded : folder + decoded);
        return full.rfind(pageFolder, 0) == 0 ? full.substr(pageFolder.size()) : full;
    };
    auto embeddable = [&](std::string& path) {
        RefVerdict ignored;
        return IsEmbeddable(path = pathOf(path), ignored);
    };

    chain.push_back(real.strPath);
    std::string before, own;
    own.reserve(css.size());
    std::size_t copied = 0;
    std::string lowerCss = ascii::ToLower(css);
    ForEachCssUrl(css, [&](std::size_t at, std::size_t length, bool import) {
        if (at < copied) return;
        // An index: the recursion below may note more and move the list.
        const std::size_t noted = m_pPlan->listSheetReferences.size();
        {
            PlannedSheetReference& r = m_pPlan->listSheetReferences.emplace_back();
            r.strSheet = strFullPath;
            r.nLinkPosition = nAnchor;
            r.nLinkPageOffset = PageOffset(static_cast<std::size_t>(nAnchor));
            r.nOffset = at + stripped;
            r.nLength = length;
            r.bImport = import;
        }
        std::string value;
        if (!CssUnescape(std::string_view(css).substr(at, length), value) || value.empty() ||
            IsRemoteAddress(value) || IsSchemeRelative(value))
            return;
        if (import) {
            std::size_t rule = lowerCss.rfind("@import", at);
            std::size_t semi = css.find(';', at + length);
            std::size_t ruleEnd = semi == std::string::npos ? css.size() : semi + 1;
            std::string_view rest = std::string_view(css).substr(at + length, ruleEnd - at - length);
            if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) rest.remove_prefix(1);
            rest = ascii::Trim(rest);
            if (!rest.empty() && rest[0] == ')') rest.remove_prefix(1);
            if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
            rest = ascii::Trim(rest);
            std::string path;
            std::string media = rest.empty() ? "" : "media=\"" + AttributeText(rest) + "\"";
            if (rule == std::string::npos || IsDataUri(value) || !DecodeValue(value, path) || !embeddable(path) ||
                !InlineSheet(FullResourcePath(path), media, nDepth + 1, visit, nAnchor, before))
                return;  // stays as written
            m_pPlan->listSheetReferences[noted].bInlined = true;
            own.append(css, copied, rule - copied);
            copied = ruleEnd;
            return;
        }
        std::string cid;
        if (IsDataUri(value)) {
            std::int32_t index = DataResource(value, nAnchor);
            if (index < 0) return;
            cid = m_pPlan->listParts[static_cast<std::size_t>(index)].strContentId;
        } else {
            std::string path;
            if (!DecodeValue(value, path) || !embeddable(path)) return;
            cid = m_pPlan->listParts[FileResource(path, nAnchor)].strContentId;
        }
        m_setEditContentIds.insert(cid);
        m_pPlan->listSheetReferences[noted].strContentId = cid;
        own.append(css, copied, at - copied);
        own += "cid:" + cid;
        copied = at + length;
    });
    own.append(css, copied, std::string::npos);
    chain.pop_back();

    std::string element = strMedia.empty() ? "<style>" : "<style " + strMedia + ">";
    element += CrLf(EscapeStyleEnd(std::move(own)));
    element += "</style>";
    if (!WithinInlineBudget(element.size(), strFullPath)) return false;
    m_nInlinedBytes += element.size();
    visit.inlined.insert(place);
    strOut += before;
    strOut += element;
    return true;
}

// Possible only when one value holds text that another scan reads as an
// attribute: the reference that starts first stays, so the body is never
// copied backwards; a file left without any reference gets no part.
void CPageScanner::DropOverlappingReferences() {
    std::vector<ReferenceEntry>& rewrites = m_pPlan->listRewrites;
    const std::vector<TextEdit>& edits = m_pPlan->listEdits;
    std::vector<ReferenceEntry> kept;
    kept.reserve(rewrites.size());
    std::int64_t end = -1;
    bool dropped = false;
    auto edit = edits.begin();
    for (ReferenceEntry& r : rewrites) {
        // A value that meets text replaced whole (a style sheet's link) goes: the
        // replacement wins, so the body is still copied forward.
        while (edit != edits.end() && edit->nPosition + edit->nLength <= r.m_nPosition) ++edit;
        bool inEdit = edit != edits.end() &&
                      (edit->nPosition < r.m_nPosition || edit->nPosition < r.m_nPosition + r.m_nLength);
        if (r.m_nPosition < end || inEdit) {
            m_setPositions.erase(r.m_nPosition);
            dropped = true;
            continue;
        }
        end = static_cast<std::int64_t>(r.m_nPosition) + r.m_nLength;
        kept.push_back(std::move(r));
    }
    rewrites.swap(kept);
    if (!dropped) return;

    std::unordered_map<std::string, int> uses;
    for (const ReferenceEntry& r : rewrites) ++uses[r.m_strContentId];
    for (const std::string& cid : m_setEditContentIds) ++uses[cid];
    std::vector<PlannedPart> parts;
    m_mapResourceIndex.clear();
    for (PlannedPart& p : m_pPlan->listParts) {
        if (!uses.count(p.strContentId)) continue;
        m_mapResourceIndex.emplace(p.bData ? '\0' + p.strDataType + '\0' + p.strData : p.strPath, parts.size());
        parts.push_back(std::move(p));
    }
    m_pPlan->listParts.swap(parts);
}

// The references hold the index a part had when they were found. Dropping
// overlapping references may have removed parts since: renumber, and the
// dropped references keep no part.
void CPageScanner::SettleReferences() {
    MessagePlan& plan = *m_pPlan;
    std::int32_t found = 0;
    for (const PlannedReference& r : plan.listReferences) found = std::max(found, r.nPart + 1);
    // Parts made for inlined style sheets come after the page's: the count alone cannot tell.
    const bool renumber = static_cast<std::size_t>(found) != plan.listParts.size() || !plan.listEdits.empty();
    std::unordered_map<std::string, std::int32_t> byCid;
    if (renumber || !plan.listSheetReferences.empty())
        for (std::size_t i = 0; i < plan.listParts.size(); ++i)
            byCid.emplace(plan.listParts[i].strContentId, static_cast<std::int32_t>(i));
    for (PlannedReference& r : plan.listReferences) {
        if (r.verdict != RefVerdict::Embedded) continue;
        if (!m_setPositions.count(r.nPosition)) {
            r.nPart = -1;
            auto edit = std::upper_bound(plan.listEdits.begin(), plan.listEdits.end(), r.nPosition,
                                         [](std::int32_t pos, const TextEdit& e) { return pos < e.nPosition; });
            bool inlined = edit != plan.listEdits.begin() &&
                           std::prev(edit)->nPosition + std::prev(edit)->nLength > r.nPosition;
            r.verdict = inlined ? RefVerdict::Inlined : RefVerdict::Overlapped;
        } else if (renumber) {
            auto kept = std::lower_bound(
                plan.listRewrites.begin(), plan.listRewrites.end(), r.nPosition,
                [](const ReferenceEntry& e, std::int32_t pos) { return e.m_nPosition < pos; });
            r.nPart = byCid[kept->m_strContentId];
        }
    }
    for (PlannedSheetReference& r : plan.listSheetReferences)
        if (!r.strContentId.empty()) r.nPart = byCid[r.strContentId];
}

// Each part's file, type and size; and what the progress counts.
void CPageScanner::ListParts() {
    MessagePlan& plan = *m_pPlan;
    plan.nInputBytes = static_cast<std::uint64_t>(m_nHtmlLength);
    for (PlannedPart& part : plan.listParts) {
        if (part.bData) {
            part.strFullPath = part.strPath;
            part.strContentType = part.strDataType.substr(0, part.strDataType.find(';'));
            part.nSize = part.strData.size();
        } else {
            part.strFullPath = FullResourcePath(part.strPath);
            part.strContentType = ContentTypeOfFile(m_contentTypes, part.strPath);
            part.nSize = NoteInput(plan, part.strFullPath);
        }
        plan.nInputBytes += part.nSize;
    }
    for (const std::string& path : m_job.m_listAttachments) plan.nInputBytes += NoteInput(plan, path);
    for (const std::string& path : plan.listSheetsRead) NoteInput(plan, path);
}

// The page's charset label; a notice joins the warnings when the declared one
// could not be used.
void CPageScanner::DetectCharset() {
    std::string notice;
    m_pPlan->strCharset = ChoosePageCharset(m_strLower, notice);
    if (!notice.empty()) m_pPlan->listWarnings.push_back(notice);
}

// The message carries the plain-text alternative when the option asks for it
// and the page may be parsed.
void CPageScanner::DecideTextAlternative() {
    if (!m_job.m_bPrepareForWebmail) return;
    std::string why = ParseRefusal(m_pPlan->strPage);
    m_pPlan->bTextAlternative = why.empty();
    if (why.empty()) return;
    why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    m_pPlan->listWarnings.push_back(why + ": the message carries no plain-text alternative.");
}

void CPageScanner::MakeBoundary(std::string& strBoundary) {
    strBoundary = "----=_NextPart_";
    unsigned char g[16];
    if (m_env.random->Fill(g, sizeof g)) {
        // Laid out as a GUID: 32-bit, 16-bit and 16-bit fields, then eight bytes.
        unsigned long d1 = g[0] | (g[1] << 8) | (g[2] << 16) | (static_cast<unsigned long>(g[3]) << 24);
        AppendHex(strBoundary, d1);
        strBoundary += '_';
        AppendHex(strBoundary, g[4] | (g[5] << 8));
        strBoundary += '_';
        AppendHex(strBoundary, g[6] | (g[7] << 8));
        strBoundary += '_';
        for (int i = 8; i < 16; ++i) AppendHex(strBoundary, g[i]);
        return;
    }
    int r[5];
    for (int& v : r) v = m_env.random->Next();
    AppendHex(strBoundary, m_env.clock->TickCount());
    strBoundary += '_';
    AppendHex(strBoundary, static_cast<unsigned long>(r[4]));
    strBoundary += '_';
    AppendHex(strBoundary, static_cast<unsigned long>(r[3]));
    strBoundary += '_';
    AppendHex(strBoundary, static_cast<unsigned long>(r[2]));
    AppendHex(strBoundary, static_cast<unsigned long>(r[1]));
    AppendHex(strBoundary, static_cast<unsigned long>(r[0]));
}

// The Content-IDs were drawn first, then these, so a message keeps its bytes
// whichever stage draws them. The alternative, when there is one, encloses the
// related body.
void CPageScanner::DrawFrame() {
    MessagePlan& plan = *m_pPlan;
    const bool mixed = !m_job.m_listAttachments.empty(), text = plan.bTextAlternative;
    MakeBoundary(plan.strBoundary);
    if (mixed || text)
        MakeBoundary(plan.strRelatedBoundary);
    else
        plan.strRelatedBoundary = plan.strBoundary;
    if (text && mixed)
        MakeBoundary(plan.strAlternativeBoundary);
    else if (text)
        plan.strAlternativeBoundary = plan.strBoundary;

    plan.strMessageIdToken = DrawMessageIdToken(*m_env.random);
}

std::string DrawMessageIdToken(platform::Random& random) {
    static const char kHex[] = "0123456789abcdef";
    unsigned char g[16];
    if (!random.Fill(g, sizeof g))
        for (unsigned char& b : g) b = static_cast<unsigned char>(random.Next());
    std::string token;
    for (unsigned char b : g) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}
