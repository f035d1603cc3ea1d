// Preparing a page for webmail, which drops data: images, CSS images it cannot
// fetch and linked style sheets: each becomes a part or text of the page.
#include <algorithm>
#include <cstdint>

#include "compose/CssUrls.h"
#include "compose/MimeComposer.h"
#include "compose/PathUtil.h"
#include "compose/TagScan.h"
#include "compose/UrlPath.h"
#include "compose/WebmailText.h"
#include "core/Ascii.h"
#include "platform/Codeset.h"

namespace {

// Sheets importing sheets deeper than this are left as written.
constexpr int kMaxImportDepth = 16;

bool IsRemoteValue(std::string_view v) {
    return ascii::StartsWithNoCase(v, "http://") || ascii::StartsWithNoCase(v, "https://") ||
           ascii::StartsWithNoCase(v, "ftp://") || v.substr(0, 2) == "//";
}

// The value of the first attribute named name in a lowered tag's text, with
// its extent in raw (quotes included); false when the tag has none.
bool FindAttribute(std::string_view lowerTag, std::string_view name, std::size_t& start, std::size_t& end,
                   std::string_view& value) {
    for (std::size_t at = lowerTag.find(name); at != std::string_view::npos; at = lowerTag.find(name, at + 1)) {
        if (at == 0 || !IsTagNameEnd(lowerTag[at - 1])) continue;
        std::size_t i = at + name.size();
        while (i < lowerTag.size() && IsHtmlSpace(lowerTag[i])) ++i;
        if (i >= lowerTag.size() || lowerTag[i] != '=') continue;
        ++i;
        while (i < lowerTag.size() && IsHtmlSpace(lowerTag[i])) ++i;
        if (i >= lowerTag.size()) return false;
        start = at;
        if (lowerTag[i] == '"' || lowerTag[i] == '\'') {
            std::size_t close = lowerTag.find(lowerTag[i], i + 1);
            if (close == std::string_view::npos) return false;
            value = lowerTag.substr(i + 1, close - i - 1);
            end = close + 1;
        } else {
            std::size_t close = i;
            while (close < lowerTag.size() && !IsHtmlSpace(lowerTag[close])) ++close;
            value = lowerTag.substr(i, close - i);
            end = close;
        }
        return true;
    }
    return false;
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

} // namespace

bool CMimeComposer::AddDataReference(std::int32_t nPosition, std::int32_t nLength, const std::string& strUri) {
    std::int32_t index = DataResource(strUri, nPosition);
    if (index < 0 || m_setPositions.count(nPosition)) {
        NotePlannedReference(nPosition, nLength, {}, -1, false);
        return false;
    }
    RecordReference(nPosition, nLength, static_cast<std::size_t>(index));
    return true;
}

// The part for a data: URI's content: one per distinct type and bytes; -1 for
// a malformed URI, which stays as written.
std::int32_t CMimeComposer::DataResource(const std::string& strUri, std::int32_t nPosition) {
    ResourceEntry entry;
    if (!ParseDataUri(strUri, entry.m_strDataType, entry.m_strData)) return -1;
    // No path holds a NUL, so these keys never meet a file's.
    std::string key = '\0' + entry.m_strDataType + '\0' + entry.m_strData;
    auto found = m_mapResourceIndex.find(key);
    if (found != m_mapResourceIndex.end()) return static_cast<std::int32_t>(found->second);
    unsigned r1 = static_cast<unsigned>(m_env.random->Next());
    unsigned r2 = static_cast<unsigned>(m_env.random->Next());
    char cid[64];
    std::snprintf(cid, sizeof cid, "%u$%u@%s", static_cast<unsigned>(nPosition) + r2, r1, m_szHostName);
    entry.m_strContentId = cid;
    entry.m_bData = true;
    entry.m_strPath = DataPartName(entry.m_strDataType, ++m_nDataParts);
    std::size_t index = m_listResources.size();
    m_listResources.push_back(std::move(entry));
    m_mapResourceIndex.emplace(std::move(key), index);
    return static_cast<std::int32_t>(index);
}

// url() in style attributes and <style> blocks, found like the tag scans find
// values: by substring over the lowered page, tag by tag.
void CMimeComposer::ScanPageCss() {
    m_listScanReferences.clear();
    m_scanUse = TagUse::Link;
    m_pszScanTag = "";
    m_pszScanAttribute = "url()";
    std::string_view lower(m_pszHtmlLower.get(), static_cast<std::size_t>(m_nHtmlLength));
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
        std::size_t start, end;
        std::string_view value;
        if (FindAttribute(tag, "style", start, end, value))
            scan(lt + static_cast<std::size_t>(value.data() - tag.data()), value);
        if (tag.substr(0, 6) == "<style" && (tag.size() == 6 || IsHtmlSpace(tag[6]))) {
            std::size_t close = lower.find("</style", gt);
            if (close == std::string_view::npos) close = lower.size();
            scan(gt + 1, lower.substr(gt + 1, close - gt - 1));
            gt = close == lower.size() ? close - 1 : close;
        }
        lt = gt;
    }
    MergeScanReferences();
}

void CMimeComposer::AddCssReference(std::int32_t nPosition, std::int32_t nLength) {
    std::string_view raw(m_pszHtml.get() + nPosition, static_cast<std::size_t>(nLength));
    std::string value;
    if (raw.empty() || !CssUnescape(raw, value)) return NotePlannedReference(nPosition, nLength, {}, -1, false);
    if (IsDataUri(value)) {
        AddDataReference(nPosition, nLength, DecodeEntities(value));
        return;
    }
    if (IsRemoteValue(value)) return NotePlannedReference(nPosition, nLength, {}, -1, true);
    std::string path;
    // Escapes are resolved already: backslashes here are the page's own.
    if (!ResolveValue(value, path)) return NotePlannedReference(nPosition, nLength, path, -1, false);
    AddPathReference(nPosition, nLength, std::move(path));
}

// Each <link rel=stylesheet> naming a local sheet becomes <style> elements
// holding the sheet and the local sheets it imports; a remote sheet stays linked.
void CMimeComposer::InlineStyleSheets(const std::string& strCharset) {
    m_scanUse = TagUse::Link;
    std::string_view lower(m_pszHtmlLower.get(), static_cast<std::size_t>(m_nHtmlLength));
    ScanTagValues(lower, "link", "href", [&](std::size_t start, std::size_t pos, std::size_t len) {
        std::size_t gt = lower.find('>', pos + len);
        std::string_view tag = lower.substr(start, gt - start);
        std::size_t relStart, relEnd, mediaStart, mediaEnd;
        std::string_view rel, media;
        if (!FindAttribute(tag, "rel", relStart, relEnd, rel) || !HasToken(rel, "stylesheet") ||
            HasToken(rel, "alternate"))
            return;
        std::string path;
        if (IsDataUri(std::string_view(m_pszHtml.get() + pos, len)) ||
            !ResolveValue(std::string(m_pszHtml.get() + pos, len), path))
            return;
        std::string mediaText;
        if (FindAttribute(tag, "media", mediaStart, mediaEnd, media))
            mediaText = std::string(m_pszHtml.get() + start + mediaStart, mediaEnd - mediaStart);
        SheetVisit visit;
        std::string text;
        if (!InlineSheet(FullResourcePath(path), mediaText, 0, visit, static_cast<std::int32_t>(pos), strCharset, text))
            return;
        m_listEdits.push_back(TextEdit{static_cast<std::int32_t>(start), static_cast<std::int32_t>(gt + 1 - start),
                                       std::move(text)});
    });
}

// False, with a warning the first time, when nMore bytes of sheet text would
// take the message past its budget; strFullPath is the sheet that stays linked.
bool CMimeComposer::WithinInlineBudget(std::uint64_t nMore, const std::string& strFullPath) {
    if (m_bInlineBudgetSpent) return false;
    if (nMore <= kMaxInlinedSheets - m_nInlinedBytes) return true;
    m_bInlineBudgetSpent = true;
    m_listWarnings.push_back("The style sheets to inline exceed " + std::to_string(kMaxInlinedSheets >> 20) +
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
bool CMimeComposer::InlineSheet(const std::string& strFullPath, const std::string& strMedia, int nDepth,
                                SheetVisit& visit, std::int32_t nAnchor, const std::string& strCharset,
                                std::string& strOut) {
    std::vector<std::string>& chain = visit.chain;
    platform::ResolvedPath real;
    if (nDepth > kMaxImportDepth || m_bInlineBudgetSpent || !m_resolved->Resolve(strFullPath, real) ||
        std::find(chain.begin(), chain.end(), real.strPath) != chain.end())
        return false;
    // Under other media, the sheet is needed again.
    const std::string place = real.strPath + '\0' + strMedia;
    if (visit.inlined.count(place)) return true;
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strFullPath, err);
    if (!file || !WithinInlineBudget(file->Size(), strFullPath)) return false;
    m_listSheetsRead.push_back(strFullPath);
    std::string css(static_cast<std::size_t>(file->Size()), '\0');
    std::size_t got = 0;
    if (!file->Read(css.data(), css.size(), got, err) || got != css.size()) return false;

    // The page's charset labels the inlined text: a sheet declaring another is converted.
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
    if (!sheetCharset.empty() && !ascii::EqualsNoCase(sheetCharset, strCharset) &&
        platform::ConvertToUtf8(css, sheetCharset, utf8, [](unsigned char c, std::string& o) { o += static_cast<char>(c); }) &&
        (platform::IsUtf8Codeset(strCharset) ? (converted = utf8, true) : platform::ConvertFromUtf8(utf8, strCharset, converted)))
        css.swap(converted);

    std::string folder;
    GetFolderOfPath(strFullPath, folder);
    std::string pageFolder = CollapseDotSegments(m_strHtmlFolder);
    if (pageFolder.empty() || pageFolder.back() != '/') pageFolder += '/';
    // The part's path as the page's own references write it, so that a file
    // named by both shares one part.
    auto pathOf = [&](const std::string& decoded) {
        std::string full = CollapseDotSegments(!decoded.empty() && decoded[0] == '/' ? decoded : folder + decoded);
        return full.rfind(pageFolder, 0) == 0 ? full.substr(pageFolder.size()) : full;
    };

    chain.push_back(real.strPath);
    std::string before, own;
    own.reserve(css.size());
    std::size_t copied = 0;
    std::string lowerCss = ascii::ToLower(css);
    ForEachCssUrl(css, [&](std::size_t at, std::size_t length, bool import) {
        if (at < copied) return;
        // An index: the recursion below may note more and move the list.
        std::size_t noted = SIZE_MAX;
        if (m_pPlan) {
            noted = m_pPlan->listSheetReferences.size();
            PlannedSheetReference& r = m_pPlan->listSheetReferences.emplace_back();
            r.strSheet = strFullPath;
            r.nLinkPosition = nAnchor;
            r.nOffset = at + stripped;
            r.nLength = length;
            r.bImport = import;
        }
        std::string value;
        if (!CssUnescape(std::string_view(css).substr(at, length), value) || value.empty() || IsRemoteValue(value))
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
            if (rule == std::string::npos || IsDataUri(value) || !DecodeValue(value, path) ||
                !IsEmbeddable(path = pathOf(path)) ||
                !InlineSheet(FullResourcePath(path), media, nDepth + 1, visit, nAnchor, strCharset, before))
                return;  // stays as written
            if (m_pPlan) m_pPlan->listSheetReferences[noted].bInlined = true;
            own.append(css, copied, rule - copied);
            copied = ruleEnd;
            return;
        }
        std::string cid;
        if (IsDataUri(value)) {
            std::int32_t index = DataResource(value, nAnchor);
            if (index < 0) return;
            cid = m_listResources[static_cast<std::size_t>(index)].m_strContentId;
        } else {
            std::string path;
            if (!DecodeValue(value, path) || !IsEmbeddable(path = pathOf(path))) return;
            cid = m_listResources[FileResource(path, nAnchor)].m_strContentId;
        }
        m_setEditContentIds.insert(cid);
        if (m_pPlan) m_pPlan->listSheetReferences[noted].strContentId = cid;
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
