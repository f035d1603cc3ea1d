#include "check/PageReport.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <thread>
#include <unordered_set>

#include "compose/CssUrls.h"
#include "compose/HtmlNesting.h"
#include "check/FeatureScan.h"
#include "check/HtmlReferences.h"
#include "compose/MimeComposer.h"
#include "compose/PathUtil.h"
#include "compose/UrlPath.h"
#include "compose/WebmailText.h"
#include "core/Ascii.h"
#include "platform/Codeset.h"
#include "platform/FileInfo.h"

namespace check {
namespace {

struct ReasonRow {
    Reason reason;
    const char* id;
    Severity severity;
    const char* text;
};
// In the order of the enum.
constexpr ReasonRow kReasons[] = {
    {Reason::None, "", Severity::Ok, ""},
    {Reason::Svg, "svg", Severity::Warning, "Outlook for Windows shows no SVG"},
    {Reason::DataImage, "data-image", Severity::Warning, "Gmail shows no data: images"},
    {Reason::DataAddress, "data-address", Severity::Warning,
     "a data: address stays as written; many mail programs drop it"},
    {Reason::MalformedData, "malformed-data-address", Severity::Warning,
     "a malformed data: address stays as written; mail programs drop it"},
    {Reason::CssUrl, "css-url", Severity::Warning,
     "CSS background images in url() stay as written: recipients see no image"},
    {Reason::CssImport, "css-import", Severity::Warning,
     "@import stays as written: recipients' programs do not load that style sheet"},
    {Reason::Srcset, "srcset", Severity::Warning, "srcset stays as written: programs that use it show no image"},
    {Reason::Media, "media", Severity::Warning,
     "video and audio are not embedded, and most mail programs do not play them"},
    {Reason::Poster, "poster", Severity::Warning, "the poster image is not embedded: recipients see no image"},
    {Reason::Frame, "frame", Severity::Warning, "mail programs remove <iframe>"},
    {Reason::ObjectOrEmbed, "object-or-embed", Severity::Warning, "mail programs remove <object> and <embed>"},
    {Reason::NotFoundByComposer, "not-found-by-composer", Severity::Warning,
     "the composer does not find this value as written (for instance after a '>' inside an earlier value): it "
     "stays as written"},
    {Reason::InsideAnotherValue, "inside-another-value", Severity::Warning,
     "lies inside another reference's text: it stays as written"},
    {Reason::RemoteStyleSheet, "remote-style-sheet", Severity::Warning,
     "a remote style sheet stays a link: Gmail and most webmail remove it"},
    {Reason::SheetFileNotEmbedded, "sheet-file-not-embedded", Severity::Warning,
     "stays as written: the file is missing or not safe to send"},
    {Reason::InlinedStyleSheet, "inlined-style-sheet", Severity::Ok, "inlined as a <style> element, which webmail keeps"},
    {Reason::RemoteImage, "remote-image", Severity::Info,
     "left as a remote address: most mail programs block it until the reader allows"},
    {Reason::Remote, "remote", Severity::Info, "left as a remote address"},
    {Reason::NoScheme, "no-scheme", Severity::Warning,
     "an address without its scheme: mail programs have no page address to complete it from; write https:"},
    {Reason::NotAFile, "not-a-file", Severity::Info, "not a file: left as written"},
    {Reason::EmptyValue, "empty-value", Severity::Warning, "empty value: left as written"},
    {Reason::NotEmbeddedForSafety, "not-embedded-for-safety", Severity::Warning,
     "not embedded for safety (outside the page's folder and not an image, style sheet, script, font or icon, or a "
     "private file): left as written"},
    {Reason::MissingFile, "missing-file", Severity::Error, "missing file"},
    {Reason::NotRegularFile, "not-regular-file", Severity::Error, "not a regular file"},
    {Reason::Unreadable, "unreadable", Severity::Error, "this user may not read the file"},
};


const ReasonRow& Of(Reason reason) { return kReasons[static_cast<std::size_t>(reason)]; }

struct FindingRow {
    FindingKind kind;
    const char* id;
    Severity severity;
};
constexpr FindingRow kFindings[] = {
    {FindingKind::CannotCompose, "cannot-compose", Severity::Error},
    {FindingKind::PageUnreadable, "page-unreadable", Severity::Error},
    {FindingKind::PageNotParsed, "page-not-parsed", Severity::Warning},
    {FindingKind::OverSizeLimit, "over-size-limit", Severity::Error},
    {FindingKind::OverServerSizeLimit, "over-server-size-limit", Severity::Error},
    {FindingKind::HtmlPartClipped, "html-part-clipped", Severity::Warning},
    {FindingKind::RemoteImages, "remote-images", Severity::Info},
    {FindingKind::ImageWithoutAlt, "image-without-alt", Severity::Warning},
    {FindingKind::OutOfMemory, "out-of-memory", Severity::Error},
};

// Each table is looked up by its enum's value.
template <std::size_t N, class T, class E>
constexpr bool InEnumOrder(const T (&table)[N], E T::*key, E last) {
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(table[i].*key) != i) return false;
    return static_cast<std::size_t>(last) + 1 == N;
}
static_assert(InEnumOrder(kReasons, &ReasonRow::reason, Reason::Unreadable));
static_assert(InEnumOrder(kFindings, &FindingRow::kind, FindingKind::OutOfMemory));

Finding MakeFinding(FindingKind kind, std::string text) {
    return Finding{kind, kFindings[static_cast<std::size_t>(kind)].severity, std::move(text)};
}

enum class ValueClass { Empty, Remote, NoScheme, Data, NotAFile, Path };

// What kind of address a value is, by the composer's own rule for "remote".
ValueClass Classify(std::string_view value) {
    std::string_view v = ascii::Trim(value);
    if (v.empty()) return ValueClass::Empty;
    if (IsRemoteAddress(v)) return ValueClass::Remote;
    if (IsSchemeRelative(v)) return ValueClass::NoScheme;
    if (IsDataUri(v)) return ValueClass::Data;
    if (v[0] == '#') return ValueClass::NotAFile;
    // A scheme of two letters or more; one letter is a drive.
    std::size_t i = 0;
    while (i < v.size() && (std::isalnum(static_cast<unsigned char>(v[i])) || v[i] == '+' || v[i] == '-' ||
                            v[i] == '.'))
        ++i;
    if (i >= 2 && i < v.size() && v[i] == ':' && std::isalpha(static_cast<unsigned char>(v[0])) &&
        !ascii::StartsWithNoCase(v, "file:"))
        return ValueClass::NotAFile;
    return ValueClass::Path;
}

bool IsSvg(std::string_view value) {
    std::string_view v = ascii::Trim(value);
    if (ascii::StartsWithNoCase(v, "data:")) return ascii::StartsWithNoCase(v, "data:image/svg");
    v = v.substr(0, v.find_first_of("?#"));
    return v.size() >= 4 && ascii::EqualsNoCase(v.substr(v.size() - 4), ".svg");
}

// The reason's own sentence unless why says more.
void Set(Row& row, Verdict verdict, Reason reason, std::string why = {}) {
    row.verdict = verdict;
    row.reason = reason;
    row.severity = Of(reason).severity;
    row.strWhy = why.empty() ? Of(reason).text : std::move(why);
}

// A value the composer does not embed, or a found one it never looks at:
// whatever its kind of reference, these classes mean the same.
bool SetByClass(Row& row, ValueClass cls) {
    switch (cls) {
    case ValueClass::Empty: Set(row, Verdict::NotAFile, Reason::EmptyValue); return true;
    case ValueClass::Remote:
        Set(row, Verdict::Remote, row.bImage ? Reason::RemoteImage : Reason::Remote);
        return true;
    case ValueClass::NoScheme: Set(row, Verdict::NotAFile, Reason::NoScheme); return true;
    case ValueClass::Data:
        Set(row, Verdict::NotEmbedded, row.bImage ? Reason::DataImage : Reason::DataAddress);
        return true;
    case ValueClass::NotAFile: Set(row, Verdict::NotAFile, Reason::NotAFile); return true;
    case ValueClass::Path: return false;
    }
    return false;
}

// Line and column of each offset; columns count UTF-8 characters.
std::vector<Place> Locate(std::string_view text, const std::vector<std::size_t>& offsets) {
    std::vector<std::size_t> order(offsets.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return offsets[a] < offsets[b]; });
    std::vector<Place> places(offsets.size());
    Place at{1, 1};
    std::size_t pos = 0;
    for (std::size_t i : order) {
        std::size_t target = std::min(offsets[i], text.size());
        for (; pos < target; ++pos) {
            auto c = static_cast<unsigned char>(text[pos]);
            if (c == '\n') at = {at.nLine + 1, 1};
            else if ((c & 0xC0) != 0x80) ++at.nColumn;
        }
        places[i] = at;
    }
    return places;
}

// The element name of the tag around a value: back to its '<'.
std::string TagAround(std::string_view page, std::size_t offset) {
    std::size_t lt = page.rfind('<', offset);
    if (lt == std::string_view::npos) return {};
    std::size_t end = lt + 1;
    while (end < page.size() && (std::isalnum(static_cast<unsigned char>(page[end])) || page[end] == '-')) ++end;
    return ascii::ToLower(page.substr(lt + 1, end - lt - 1));
}

std::string Count(std::size_t n, const char* noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

bool ReadWhole(platform::FileSystem& files, const std::string& path, std::string& text, std::string& err) {
    std::unique_ptr<platform::InputFile> file = files.OpenRead(path, err);
    if (!file) return false;
    text.resize(static_cast<std::size_t>(file->Size()));
    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t got = 0;
        if (!file->Read(text.data() + done, text.size() - done, got, err)) return false;
        if (got == 0) break;
        done += got;
    }
    text.resize(done);
    return true;
}

// Where a row goes in the report: a style sheet's rows sort after the page
// reference that links the sheet.
struct RowKey {
    std::size_t nPageOffset;
    std::size_t nSheetOffset;  // 0 for the page's own rows; offset + 1 in a sheet
    bool operator<(const RowKey& o) const {
        return nPageOffset != o.nPageOffset ? nPageOffset < o.nPageOffset : nSheetOffset < o.nSheetOffset;
    }
};

// Puts the rows in the order of their keys, moving each row once.
void SortRows(std::vector<Row>& rows, const std::vector<RowKey>& keys) {
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    // order[i] is the row that belongs at i: follow each cycle with one spare row.
    std::vector<bool> placed(rows.size());
    for (std::size_t start = 0; start < rows.size(); ++start) {
        if (placed[start] || order[start] == start) continue;
        Row spare = std::move(rows[start]);
        std::size_t at = start;
        while (order[at] != start) {
            rows[at] = std::move(rows[order[at]]);
            placed[at] = true;
            at = order[at];
        }
        rows[at] = std::move(spare);
        placed[at] = true;
    }
}

class ReportBuilder {
public:
    ReportBuilder(const ComposeJob& job, const platform::Platform& env, const std::vector<std::string>* clients)
        : m_job(job), m_env(env), m_clients(clients) {}

    Report Build(std::uint64_t serverLimit) {
        m_report.strPage = m_job.m_strHtmlPath;
        m_report.bPrepareForWebmail = m_job.m_bPrepareForWebmail;
        GetFolderOfPath(m_job.m_strHtmlPath, m_folder);
        m_report.figures.nServerSizeLimit = serverLimit;
        std::string err;
        bool read = ReadWhole(*m_env.files, m_job.m_strHtmlPath, m_page, err);
        // The parser needs only the page: it runs beside the composer's dry run.
        std::vector<FoundReference> found;
        std::thread parser;
        const std::string unparsed = read ? ParseRefusal(m_page) : std::string();
        bool parserOutOfMemory = false;
        if (read && unparsed.empty())
            parser = std::thread([&] {
                try {
                    found = FindReferences(m_page, m_clients ? &m_features : nullptr);
                } catch (const std::bad_alloc&) {
                    parserOutOfMemory = true;  // passed on below, where it can be caught
                }
            });

        // Reading the client data takes a while too: beside the others.
        struct Joined {
            std::thread thread;
            ~Joined() {
                if (thread.joinable()) thread.join();
            }
        } loader;
        if (m_clients) loader.thread = std::thread(PreloadClientData);

        CMimeComposer composer(m_env);
        composer.m_job = m_job;
        composer.m_job.m_pProgress = nullptr;
        if (composer.m_job.m_strOutputPath.empty()) composer.m_job.m_strOutputPath = m_job.m_strHtmlPath + ".eml";
        bool composed = false;
        try {
            composed = composer.Plan(m_plan, m_nMessageSize);
        } catch (...) {
            if (parser.joinable()) parser.join();
            throw;
        }
        if (parser.joinable()) parser.join();
        if (parserOutOfMemory) throw std::bad_alloc();
        if (!composed)
            m_report.listFindings.push_back(
                MakeFinding(FindingKind::CannotCompose, "the message cannot be composed: " + composer.GetLastError()));
        if (!read && composed) m_report.listFindings.push_back(MakeFinding(FindingKind::PageUnreadable, "cannot read the page: " + err));
        if (!unparsed.empty())
            m_report.listFindings.push_back(
                MakeFinding(FindingKind::PageNotParsed,
                            unparsed + ": only what the composer finds is listed, not what an HTML parser "
                                       "would (srcset, media, frames, images without alt text)"));

        for (const PlannedPart& p : m_plan.listParts)
            m_report.listParts.push_back(Part{p.strFullPath, p.strContentType, p.strContentId, p.nSize, {}});
        if (read) {
            m_rows.reserve(m_plan.listReferences.size() + found.size());
            m_keys.reserve(m_rows.capacity());
            ComposerRows();
            ParserRows(found);
            PlacePageRows();
            StyleSheetRows();
        }
        SortRows(m_rows, m_keys);
        AddFigures(composed);
        if (m_clients) m_report.clientSupport = ClientSupport(FeatureUses(), *m_clients);
        m_report.plan = std::move(m_plan);
        return std::move(m_report);
    }

private:
    Row& NewRow(std::size_t offset, std::string tag, std::string attribute, std::size_t length) {
        m_keys.push_back(RowKey{offset, 0});
        Row& row = m_rows.emplace_back();
        row.strTag = std::move(tag);
        row.strAttribute = std::move(attribute);
        row.strValue = std::string(m_page.substr(offset, length));
        return row;
    }

    void NoteSvg(Row& row) const {
        bool svg = IsSvg(row.strValue) ||
                   (row.nPart >= 0 && m_report.listParts[static_cast<std::size_t>(row.nPart)].strContentType ==
                                          "image/svg+xml");
        if (!row.bImage || !svg) return;
        if (!row.strWhy.empty()) row.strWhy += "; ";
        row.strWhy += Of(Reason::Svg).text;
        row.bSvg = true;
        row.severity = std::max(row.severity, Severity::Warning);
    }

    static const char* TagName(RefTag tag) {
        switch (tag) {
        case RefTag::Link: return "link";
        case RefTag::Script: return "script";
        case RefTag::Img: return "img";
        case RefTag::Input: return "input";
        case RefTag::Style: return "style";
        case RefTag::Any: break;
        }
        return "";
    }

    // What the composer's scans found, with what the composer decided.
    void ComposerRows() {
        m_partSeen.assign(m_report.listParts.size(), false);
        m_composerOffsets.assign(m_page.size() + 1, false);
        for (const PlannedReference& r : m_plan.listReferences) {
            const std::size_t start = r.nPageOffset;
            // Two scans may read the same value; it is one reference.
            if (start > m_page.size() || m_composerOffsets[start]) continue;
            m_composerOffsets[start] = true;
            const bool css = r.attribute == RefAttribute::CssUrl;
            std::string tag = r.tag == RefTag::Any ? TagAround(m_page, start) : TagName(r.tag);
            // As the parser names them: the style attribute, or url() in a <style> block.
            const char* attribute = css ? (r.tag == RefTag::Style ? "url()" : "style")
                                    : r.attribute == RefAttribute::Href       ? "href"
                                    : r.attribute == RefAttribute::Background ? "background"
                                                                              : "src";
            Row& row = NewRow(start, std::move(tag), attribute, r.nPageLength);
            row.bImage = r.attribute == RefAttribute::Background || r.tag == RefTag::Img || r.tag == RefTag::Input || css;
            const bool data = IsDataUri(ascii::Trim(row.strValue));
            switch (r.verdict) {
            case RefVerdict::Inlined:
                Set(row, Verdict::Inlined, Reason::InlinedStyleSheet);
                row.bFixedByWebmail = true;
                m_inlinedLinks.insert(start);
                break;
            case RefVerdict::Remote: SetByClass(row, ValueClass::Remote); break;
            case RefVerdict::Embedded: {
                row.nPart = r.nPart;
                std::size_t part = static_cast<std::size_t>(r.nPart);
                Set(row, m_partSeen[part] ? Verdict::SamePart : Verdict::Embedded, Reason::None);
                m_partSeen[part] = true;
                row.bFixedByWebmail = css || data;
                break;
            }
            case RefVerdict::Overlapped: Set(row, Verdict::NotEmbedded, Reason::InsideAnotherValue); break;
            case RefVerdict::DataUri:
            case RefVerdict::LeftOutForSafety:
            case RefVerdict::NotFound:
            case RefVerdict::Unusable:
                if (!SetByClass(row, Classify(row.strValue))) {
                    if (r.verdict == RefVerdict::LeftOutForSafety) {
                        row.strFile = r.strFullPath;
                        Set(row, Verdict::NotEmbeddedForSafety, Reason::NotEmbeddedForSafety);
                    } else
                        LocalVerdict(row, r.strFullPath);
                } else if (data && m_job.m_bPrepareForWebmail) {
                    Set(row, Verdict::NotEmbedded, Reason::MalformedData);
                } else {
                    row.bFixedByWebmail = data && WouldEmbed(row.strValue, m_folder, false);
                }
                break;
            }
            NoteSvg(row);
        }
    }

    // With the option off: whether it would embed the value, written in a
    // file of folder (the page's or a style sheet's).
    bool WouldEmbed(const std::string& value, const std::string& folder, bool inCss) const {
        std::string v(ascii::Trim(value)), type, bytes, path;
        if (inCss && !CssUnescape(std::string(v), v)) return false;
        if (IsDataUri(v)) return ParseDataUri(DecodeEntities(v), type, bytes);
        if (Classify(v) != ValueClass::Path) return false;
        if (ascii::StartsWithNoCase(v, "file:///")) v.erase(0, 7);
        DecodeUrlPath(v, path, platform::LocaleCodeset());
        return m_env.files->IsReadableFile(!path.empty() && path[0] == '/' ? path : folder + path);
    }

    // Why a local value the composer found no readable file for stays as written.
    void LocalVerdict(Row& row, const std::string& full) {
        if (full.empty()) return Set(row, Verdict::Missing, Reason::MissingFile, "missing file: the path is too long");
        // The system would read the name only up to the NUL, and look up another file.
        if (full.find('\0') != std::string::npos)
            return Set(row, Verdict::Missing, Reason::MissingFile, "missing file: a NUL (%00) in a path names no file");
        row.strFile = full;
        std::string err;
        switch (platform::GetPathKind(full, err)) {
        case platform::PathKind::Missing: return Set(row, Verdict::Missing, Reason::MissingFile, "missing file: " + err);
        case platform::PathKind::Folder:
            return Set(row, Verdict::NotRegularFile, Reason::NotRegularFile, "not a regular file: a folder");
        case platform::PathKind::Special:
            return Set(row, Verdict::NotRegularFile, Reason::NotRegularFile, "not a regular file: a pipe, socket or device");
        case platform::PathKind::RegularFile: break;
        }
        Set(row, Verdict::Unreadable, Reason::Unreadable);
    }

    // What the HTML5 parser finds and the composer does not embed.
    void ParserRows(const std::vector<FoundReference>& found) {
        for (const FoundReference& f : found) {
            if (f.kind == FoundKind::ImageWithoutAlt) {
                m_withoutAlt.push_back(f.nOffset);
                continue;
            }
            if (f.kind == FoundKind::Anchor) {
                m_anchors.push_back(&f);
                continue;
            }
            const bool css = f.kind == FoundKind::CssUrl || f.kind == FoundKind::CssImport;
            if ((f.kind == FoundKind::TagScanned || css) && m_composerOffsets[f.nOffset]) {
                if (f.bStyleSheetLink) m_styleSheetLinks.insert(f.nOffset);
                continue;
            }
            Row& row = NewRow(f.nOffset, f.strTag, f.strAttribute, f.nLength);
            row.bImage = f.kind == FoundKind::Srcset || f.kind == FoundKind::CssUrl || f.kind == FoundKind::Poster ||
                         (f.kind == FoundKind::TagScanned && f.strTag != "link" && f.strTag != "script");
            if (f.kind == FoundKind::InlineSvg) {
                row.strValue.clear();
                row.bImage = true;
                Set(row, Verdict::NotEmbedded, Reason::Svg);
                continue;
            }
            Reason why = Reason::None;
            switch (f.kind) {
            case FoundKind::Media: why = Reason::Media; break;
            case FoundKind::Frame: why = Reason::Frame; break;
            case FoundKind::ObjectOrEmbed: why = Reason::ObjectOrEmbed; break;
            default: break;
            }
            // Whatever they name, mail programs drop these elements.
            if (why != Reason::None) Set(row, Verdict::NotEmbedded, why);
            else if (!SetByClass(row, Classify(row.strValue))) Set(row, Verdict::NotEmbedded, WhyForPath(f.kind));
            row.bFixedByWebmail = f.kind == FoundKind::CssUrl && !m_job.m_bPrepareForWebmail && WouldEmbed(row.strValue, m_folder, true);
            NoteSvg(row);
        }
    }

    static Reason WhyForPath(FoundKind kind) {
        switch (kind) {
        case FoundKind::Srcset: return Reason::Srcset;
        case FoundKind::CssUrl: return Reason::CssUrl;
        case FoundKind::CssImport: return Reason::CssImport;
        case FoundKind::Poster: return Reason::Poster;
        default: return Reason::NotFoundByComposer;
        }
    }

    void PlacePageRows() {
        std::vector<std::size_t> offsets;
        offsets.reserve(m_rows.size() + m_withoutAlt.size());
        for (const RowKey& k : m_keys) offsets.push_back(k.nPageOffset);
        offsets.insert(offsets.end(), m_withoutAlt.begin(), m_withoutAlt.end());
        for (const FoundReference* f : m_anchors) offsets.push_back(f->nOffset);
        std::vector<Place> places = Locate(m_page, offsets);
        const std::size_t firstAnchor = places.size() - m_anchors.size();
        for (std::size_t i = 0; i < m_anchors.size(); ++i) {
            LinkResult link;
            link.strUrl = DecodeEntities(std::string(m_page.substr(m_anchors[i]->nOffset, m_anchors[i]->nLength)));
            link.nLine = places[firstAnchor + i].nLine;
            link.nColumn = places[firstAnchor + i].nColumn;
            m_report.listAnchors.push_back(std::move(link));
        }
        places.resize(firstAnchor);
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            m_rows[i].nLine = places[i].nLine;
            m_rows[i].nColumn = places[i].nColumn;
        }
        m_report.figures.listImagesWithoutAlt.assign(places.begin() + static_cast<std::ptrdiff_t>(m_rows.size()),
                                                     places.end());
        for (const Row& row : m_rows)
            if (row.verdict == Verdict::Embedded)
                m_report.listParts[static_cast<std::size_t>(row.nPart)].first = {row.nLine, row.nColumn};
    }

    // The addresses inside each embedded style sheet the page links.
    void StyleSheetRows() {
        std::size_t pageRows = m_rows.size();
        InlinedSheetRows();
        for (std::size_t i = 0; i < pageRows; ++i) {
            if (m_rows[i].verdict == Verdict::Remote && m_styleSheetLinks.count(m_keys[i].nPageOffset))
                Set(m_rows[i], Verdict::Remote, Reason::RemoteStyleSheet);
            if (m_rows[i].verdict != Verdict::Embedded || !m_styleSheetLinks.count(m_keys[i].nPageOffset)) continue;
            m_rows[i].bFixedByWebmail = true;
            const std::size_t linkOffset = m_keys[i].nPageOffset;
            const std::string sheet = m_report.listParts[static_cast<std::size_t>(m_rows[i].nPart)].strFile;
            std::string sheetFolder;
            GetFolderOfPath(sheet, sheetFolder);
            std::string css, err;
            if (!ReadWhole(*m_env.files, sheet, css, err)) continue;  // the composition reports it
            std::vector<std::size_t> offsets;
            std::size_t first = m_rows.size();
            ForEachCssUrl(css, [&](std::size_t at, std::size_t length, bool import) {
                m_keys.push_back(RowKey{linkOffset, at + 1});
                Row& row = m_rows.emplace_back();
                row.strSource = sheet;
                row.strAttribute = import ? "@import" : "url()";
                row.strValue = css.substr(at, length);
                row.bImage = !import;
                if (!SetByClass(row, Classify(row.strValue)))
                    Set(row, Verdict::NotEmbedded, import ? Reason::CssImport : Reason::CssUrl);
                row.bFixedByWebmail = WouldEmbed(row.strValue, sheetFolder, true);
                NoteSvg(row);
                offsets.push_back(at);
            });
            std::vector<Place> places = Locate(css, offsets);
            for (std::size_t j = 0; j < places.size(); ++j) {
                m_rows[first + j].nLine = places[j].nLine;
                m_rows[first + j].nColumn = places[j].nColumn;
            }
        }
    }

    // The addresses in the sheets the option inlined, as the composer decided them.
    void InlinedSheetRows() {
        if (m_inlinedLinks.empty()) return;
        std::string sheet, css, err;
        std::vector<std::size_t> offsets;
        std::size_t first = m_rows.size(), order = 0;
        auto place = [&] {
            std::vector<Place> places = Locate(css, offsets);
            for (std::size_t j = 0; j < places.size(); ++j) {
                m_rows[first + j].nLine = places[j].nLine;
                m_rows[first + j].nColumn = places[j].nColumn;
            }
            offsets.clear();
            first = m_rows.size();
        };
        for (const PlannedSheetReference& r : m_plan.listSheetReferences) {
            if (r.strSheet != sheet) {
                place();
                sheet = r.strSheet;
                if (!ReadWhole(*m_env.files, sheet, css, err)) css.clear();
            }
            if (r.nOffset + r.nLength > css.size()) continue;  // changed since the composer read it
            m_keys.push_back(RowKey{r.nLinkPageOffset, ++order});
            Row& row = m_rows.emplace_back();
            row.strSource = sheet;
            row.strAttribute = r.bImport ? "@import" : "url()";
            row.strValue = css.substr(r.nOffset, r.nLength);
            row.bImage = !r.bImport;
            row.bFixedByWebmail = r.nPart >= 0 || r.bInlined;
            if (r.nPart >= 0) {
                row.nPart = r.nPart;
                std::size_t part = static_cast<std::size_t>(r.nPart);
                Set(row, m_partSeen[part] ? Verdict::SamePart : Verdict::Embedded, Reason::None);
                m_partSeen[part] = true;
            } else if (r.bInlined) {
                Set(row, Verdict::Inlined, Reason::InlinedStyleSheet);
            } else if (!SetByClass(row, Classify(row.strValue))) {
                Set(row, Verdict::NotEmbedded, Reason::SheetFileNotEmbedded);
            }
            NoteSvg(row);
            offsets.push_back(r.nOffset);
        }
        place();
    }

    void AddFigures(bool composed) {
        check::Figures& f = m_report.figures;
        f.bSizeKnown = composed;
        f.nMessageSize = composed ? m_nMessageSize : 0;
        f.nHtmlPartSize = m_plan.RewrittenSize();
        for (const Row& row : m_report.listRows)
            if (row.verdict == Verdict::Remote && row.bImage) ++f.nRemoteImages;
        auto add = [&](FindingKind kind, std::string text) { m_report.listFindings.push_back(MakeFinding(kind, std::move(text))); };
        auto mb = [](std::uint64_t n) { return std::to_string(n / 1024 / 1024) + "." + std::to_string(n * 10 / 1024 / 1024 % 10) + " MB"; };
        if (composed && f.nMessageSize > kMessageSizeLimit)
            add(FindingKind::OverSizeLimit, "the message is " + mb(f.nMessageSize) + ": over the 25 MB Gmail and Outlook.com accept");
        if (composed && f.nServerSizeLimit && f.nMessageSize > f.nServerSizeLimit)
            add(FindingKind::OverServerSizeLimit, "the message is " + std::to_string(f.nMessageSize) + " bytes: over the " +
                                     std::to_string(f.nServerSizeLimit) + " bytes the server accepts");
        if (f.nHtmlPartSize > kGmailClipSize)
            add(FindingKind::HtmlPartClipped, "the HTML part is " + std::to_string((f.nHtmlPartSize + 1023) / 1024) +
                                       " KB: Gmail clips it at 102 KB and hides the rest behind a link");
        if (f.nRemoteImages)
            add(FindingKind::RemoteImages, Count(f.nRemoteImages, "remote image") +
                                    ": most mail programs block them until the reader allows");
        if (!f.listImagesWithoutAlt.empty())
            add(FindingKind::ImageWithoutAlt, Count(f.listImagesWithoutAlt.size(), "image") +
                                       " without alt text: with images blocked, or to a screen reader, "
                                       "they are nothing");
    }

    // The features the page, its style sheets and its parts use, placed.
    std::vector<FeatureUse> FeatureUses() {
        // The style sheets the message carries: as parts, or inlined by the option.
        std::vector<std::string> sheets, texts{std::string()};
        for (const Part& part : m_report.listParts)
            if (part.strContentType == "text/css") sheets.push_back(part.strFile);
        sheets.insert(sheets.end(), m_plan.listSheetsRead.begin(), m_plan.listSheetsRead.end());
        sheets.erase(std::unique(sheets.begin(), sheets.end()), sheets.end());
        for (const std::string& sheet : sheets) {
            std::string css, err;
            if (!ReadWhole(*m_env.files, sheet, css, err)) css.clear();  // the composition reports it
            m_features.SetSource(static_cast<std::uint32_t>(texts.size()));
            m_features.StyleSheet(css, 0);
            texts.push_back(std::move(css));
        }
        std::vector<FeatureUse> uses;
        // A <link> the option inlined reaches the recipient as a <style> element.
        std::unordered_set<std::size_t> inlinedTags;
        for (std::size_t href : m_inlinedLinks) inlinedTags.insert(m_page.rfind('<', href));
        std::vector<std::size_t> links, styles;
        for (std::size_t tag : m_features.LinkTags()) (inlinedTags.count(tag) ? styles : links).push_back(tag);
        auto tagUse = [&](const char* name, const std::vector<std::size_t>& tags) {
            if (tags.empty()) return;
            std::vector<Place> places = Locate(m_page, std::vector<std::size_t>(
                                                           tags.begin(), tags.begin() + std::min(tags.size(), FeatureScan::kPlacesKept)));
            FeatureUse& u = uses.emplace_back(FeatureUse{name, tags.size(), {}});
            for (const Place& p : places) u.listPlaces.push_back(FeaturePlace{"", p.nLine, p.nColumn});
        };
        if (!inlinedTags.empty()) {
            tagUse("element:link", links);
            tagUse("element:style", styles);
        }
        // Every offset of one text is placed in one pass over it.
        std::vector<std::vector<std::size_t>> offsets(texts.size());
        std::vector<std::vector<FeaturePlace*>> targets(texts.size());
        uses.reserve(m_features.Uses().size() + 8);
        for (const auto& [name, use] : m_features.Uses()) {
            if (!inlinedTags.empty() && name == "element:link") continue;  // counted above
            FeatureUse& u = uses.emplace_back(FeatureUse{name, use.nCount, {}});
            u.listPlaces.resize(use.listFirst.size());
            for (std::size_t i = 0; i < use.listFirst.size(); ++i) {
                const FeatureScan::At& at = use.listFirst[i];
                u.listPlaces[i].strSource = at.nSource ? sheets[at.nSource - 1] : std::string();
                offsets[at.nSource].push_back(at.nOffset);
                targets[at.nSource].push_back(&u.listPlaces[i]);
            }
        }
        for (std::size_t t = 0; t < texts.size(); ++t) {
            std::vector<Place> places = Locate(t ? std::string_view(texts[t]) : std::string_view(m_page), offsets[t]);
            for (std::size_t i = 0; i < places.size(); ++i) {
                targets[t][i]->nLine = places[i].nLine;
                targets[t][i]->nColumn = places[i].nColumn;
            }
        }
        // Image formats, from the parts' content types; data: images that stay as written.
        std::map<std::string, FeatureUse> images;
        for (const Row& row : m_rows) {
            std::string name;
            if (row.nPart >= 0 && row.bImage)
                name = "image:" + m_report.listParts[static_cast<std::size_t>(row.nPart)].strContentType;
            else if (row.reason == Reason::DataImage)
                name = "image:base64";
            else
                continue;
            FeatureUse& u = images[name];
            u.strName = name;
            if (u.nCount++ < FeatureScan::kPlacesKept) u.listPlaces.push_back(FeaturePlace{row.strSource, row.nLine, row.nColumn});
        }
        for (auto& [name, use] : images) uses.push_back(std::move(use));
        return uses;
    }

    const ComposeJob& m_job;
    platform::Platform m_env;
    const std::vector<std::string>* m_clients;
    FeatureScan m_features;
    MessagePlan m_plan;
    std::uint64_t m_nMessageSize = 0;
    std::string m_page;
    Report m_report;
    std::vector<Row>& m_rows = m_report.listRows;
    std::vector<RowKey> m_keys;
    std::vector<bool> m_composerOffsets;  // by page offset: a value the composer's scans found
    std::unordered_set<std::size_t> m_styleSheetLinks;
    std::unordered_set<std::size_t> m_inlinedLinks;  // page offsets of links the option replaced
    std::vector<bool> m_partSeen;
    std::string m_folder;  // the page's, with its '/' 
    std::vector<std::size_t> m_withoutAlt;
    std::vector<const FoundReference*> m_anchors;  // into the parser's list, which outlives them
};

} // namespace

unsigned Report::Count(Severity severity) const {
    unsigned n = 0;
    for (const Row& row : listRows) n += row.severity == severity;
    for (const Finding& f : listFindings) n += f.severity == severity;
    return n;
}

std::string WhyText(const Report& report, const Row& row) {
    if (row.nPart < 0 || static_cast<std::size_t>(row.nPart) >= report.listParts.size()) return row.strWhy;
    const Part& part = report.listParts[static_cast<std::size_t>(row.nPart)];
    std::string text = row.verdict == Verdict::SamePart
                           ? "same file as " + std::to_string(part.first.nLine) + ":" +
                                 std::to_string(part.first.nColumn) + ": shares its part <" + part.strContentId + ">"
                           : "embedded as part <" + part.strContentId + ">";
    return row.strWhy.empty() ? text : text + "; " + row.strWhy;
}

Report CheckPage(const ComposeJob& job, std::uint64_t nServerSizeLimit, const platform::Platform& env,
                 const std::vector<std::string>* clients) {
    try {
        return ReportBuilder(job, env, clients).Build(nServerSizeLimit);
    } catch (const std::bad_alloc&) {
        // What was built is gone with the exception, which leaves room for this.
        Report report;
        report.strPage = job.m_strHtmlPath;
        report.listFindings.push_back(MakeFinding(FindingKind::OutOfMemory, "there is not enough memory to check this page"));
        return report;
    }
}

const char* SeverityName(Severity severity) {
    switch (severity) {
    case Severity::Ok: return "ok";
    case Severity::Info: return "info";
    case Severity::Warning: return "warning";
    case Severity::Error: return "error";
    }
    return "";
}

const char* KindName(Reason reason) { return Of(reason).id; }

const char* KindName(FindingKind kind) { return kFindings[static_cast<std::size_t>(kind)].id; }

std::vector<Reason> RowKinds(const Row& row) {
    std::vector<Reason> kinds;
    if (row.reason != Reason::None) kinds.push_back(row.reason);
    if (row.bSvg && row.reason != Reason::Svg) kinds.push_back(Reason::Svg);
    return kinds;
}

const char* ReasonText(Reason reason) { return Of(reason).text; }

Severity ReasonSeverity(Reason reason) { return Of(reason).severity; }

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Embedded: return "embedded";
    case Verdict::SamePart: return "same-part";
    case Verdict::Remote: return "remote";
    case Verdict::Missing: return "missing";
    case Verdict::NotRegularFile: return "not-regular-file";
    case Verdict::Unreadable: return "unreadable";
    case Verdict::NotEmbeddedForSafety: return "not-embedded-for-safety";
    case Verdict::NotEmbedded: return "not-embedded";
    case Verdict::NotAFile: return "not-a-file";
    case Verdict::Inlined: return "inlined";
    }
    return "";
}

} // namespace check
