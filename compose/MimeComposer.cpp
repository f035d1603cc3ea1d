#include "compose/MimeComposer.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "compose/HtmlNesting.h"
#include "compose/PathUtil.h"
#include "core/Ascii.h"
#include "platform/Codeset.h"
#include "platform/SettingsFile.h"
#include "platform/XdgFolders.h"
#include "platform/FileInfo.h"

namespace {
const char kFallbackHost[] = "Quillnode";

std::uint64_t FileSizeOr0(const std::string& path) {
    std::uint64_t size = 0;
    return platform::GetFileSize64(path, size) ? size : 0;
}
} // namespace

CMimeComposer::CMimeComposer(const platform::Platform& env)
    : m_env(env),
      m_strFileNameCodeset(platform::LocaleCodeset()),
      m_contentTypes(*env.environment, DefaultContentTypePaths(*env.environment)) {
    std::string name;
    bool ok = m_env.host->Name(name);
    if (ok) name = name.substr(0, name.find('.'));
    if (!ok || name.empty() || name.size() >= sizeof m_szHostName) {
        std::memcpy(m_szHostName, kFallbackHost, sizeof kFallbackHost);
        return;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        m_szHostName[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    m_szHostName[name.size()] = '\0';
}

CMimeComposer::~CMimeComposer() { ReleaseHtml(); }

bool CMimeComposer::Fail(std::string reason) {
    if (m_strError.empty()) m_strError = std::move(reason);
    return false;
}

void CMimeComposer::ReleaseHtml() {
    m_pszHtml.reset();
    m_pszHtmlLower.reset();
}

bool CMimeComposer::ReportBytes(std::uint64_t n) {
    m_nBytesDone += n;
    if (!m_job.m_pProgress || m_job.m_pProgress->OnBytes(m_nBytesDone, std::max(m_nBytesDone, m_nBytesTotal))) return true;
    return Fail("the composition was cancelled");
}

bool CMimeComposer::LoadHtml() {
    std::uint64_t size = m_hHtmlFile->Size();
    if (size > kMaxHtmlLength)
        return Fail("HTML file '" + m_job.m_strHtmlPath + "' is too large: pages of 2 GiB or more are not supported");
    std::unique_ptr<char[]> raw(new char[size + 1]);
    std::size_t got = 0;
    std::string err;
    if (!m_hHtmlFile->Read(raw.get(), size, got, err))
        return Fail("cannot read HTML file '" + m_job.m_strHtmlPath + "': " + err);
    if (got != size) return Fail("cannot read HTML file '" + m_job.m_strHtmlPath + "': the file was shortened while it was read");

    // A lone LF becomes CR LF; CR LF stays; a lone CR stays.
    std::uint64_t normalised = size;
    for (std::uint64_t i = 0; i < size; ++i)
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) ++normalised;
    if (normalised > kMaxHtmlLength)
        return Fail("HTML file '" + m_job.m_strHtmlPath + "' is too large: pages of 2 GiB or more are not supported");

    m_pszHtml.reset(new char[normalised + 1]);
    m_pszHtmlLower.reset(new char[normalised + 1]);
    char* out = m_pszHtml.get();
    char* lower = m_pszHtmlLower.get();
    std::uint64_t o = 0;
    for (std::uint64_t i = 0; i < size; ++i) {
        char c = raw[i];
        if (c == '\n' && (i == 0 || raw[i - 1] != '\r')) {
            out[o] = lower[o] = '\r';
            ++o;
        }
        out[o] = c;
        lower[o] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        ++o;
    }
    out[o] = lower[o] = '\0';
    m_nHtmlLength = static_cast<std::int32_t>(o);
    return true;
}

bool CMimeComposer::Compose() {
    m_strError.clear();
    m_listWarnings.clear();
    if (m_job.m_strHtmlPath.empty()) return Fail("no HTML file given");
    if (m_job.m_strOutputPath.empty()) return Fail("no output file given");
    if (!GetFolderOfPath(m_job.m_strHtmlPath, m_strHtmlFolder))
        return Fail("HTML file '" + m_job.m_strHtmlPath + "' is not given with its folder");
    std::string err;
    // Relative resource paths resolve against this folder; the process's
    // current directory is left alone.
    if (!m_env.files->CheckFolder(m_strHtmlFolder, err))
        return Fail("cannot open folder '" + m_strHtmlFolder + "': " + err);
    m_resolved.emplace(*m_env.files);
    platform::ResolvedPath real;
    m_strRealHtmlFolder = m_env.files->Resolve(m_strHtmlFolder, real) ? real.strPath : m_strHtmlFolder;
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

    bool ok = false;
    do {
        m_hHtmlFile = m_env.files->OpenRead(m_job.m_strHtmlPath, err);
        if (!m_hHtmlFile) {
            Fail("cannot open HTML file '" + m_job.m_strHtmlPath + "': " + err);
            break;
        }
        if (!LoadHtml()) break;
        m_hHtmlFile.reset();

        m_listResources.clear();
        m_listReferences.clear();
        m_mapResourceIndex.clear();
        m_setMissingPaths.clear();
        m_setPositions.clear();
        m_listLeftOut.clear();
        m_listEdits.clear();
        m_setEditContentIds.clear();
        m_nDataParts = 0;
        m_nInlinedBytes = 0;
        m_bInlineBudgetSpent = false;
        m_listSheetsRead.clear();
        std::string charset;
        ScanTag("link", "href");
        ScanTag("script", "src");
        ScanTag("img", "src");
        ScanTag("", "background");
        ScanTag("input", "src");
        if (m_job.m_bPrepareForWebmail) {
            ScanPageCss();
            charset = DetectCharset();
            InlineStyleSheets(charset);
        }
        DropOverlappingReferences();
        // Refused for one tag but embedded for another: it travels after all.
        std::erase_if(m_listLeftOut, [&](const LeftOutEntry& e) { return m_mapResourceIndex.count(e.m_strPath) > 0; });

        // The total is known before writing, so progress can be shown in bytes.
        m_nBytesDone = 0;
        m_nBytesTotal = static_cast<std::uint64_t>(m_nHtmlLength);
        for (const ResourceEntry& entry : m_listResources)
            m_nBytesTotal += entry.m_bData ? entry.m_strData.size() : FileSizeOr0(ResourcePath(entry));
        for (const std::string& path : m_job.m_listAttachments) m_nBytesTotal += FileSizeOr0(path);

        if (charset.empty()) charset = DetectCharset();

        if (!CheckOutputIsNoInput()) break;
        m_hOutFile = m_env.files->CreateOutput(
            m_job.m_strOutputPath,
            m_job.m_bReplaceReadOnly ? platform::ReadOnlyTarget::Replace : platform::ReadOnlyTarget::Refuse, err);
        if (!m_hOutFile) {
            Fail("cannot create output file '" + m_job.m_strOutputPath + "': " + err);
            break;
        }

        m_bTextAlternative = false;
        if (m_job.m_bPrepareForWebmail) {
            std::string why = ParseRefusal(std::string_view(m_pszHtml.get(), static_cast<std::size_t>(m_nHtmlLength)));
            m_bTextAlternative = why.empty();
            if (!why.empty()) {
                why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
                m_listWarnings.push_back(why + ": the message carries no plain-text alternative.");
            }
        }
        MakeBoundaries();
        if (!WriteHeaders()) break;
        if (m_bTextAlternative && !WriteTextPart(charset)) break;
        if (!WriteHtmlPart(charset) || !ReportBytes(static_cast<std::uint64_t>(m_nHtmlLength))) break;
        bool partsOk = true;
        for (const ResourceEntry& entry : m_listResources) {
            if (!WriteInlinePart(entry)) {
                partsOk = false;
                break;
            }
        }
        if (!partsOk) break;

        if (!WriteInnerClosingBoundaries()) break;
        if (!WriteAttachments()) break;

        if (!WriteClosingBoundary() || !FlushOut()) break;
        // The wait for the disk is the long part of the end: a cancel during it still counts.
        if (!m_hOutFile->Sync(err)) {
            Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
            break;
        }
        if (m_job.m_pProgress && !m_job.m_pProgress->OnCommitting()) {
            Fail("the composition was cancelled");
            break;
        }
        if (!m_hOutFile->Commit(err)) {
            Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
            break;
        }
        ok = true;
    } while (false);

    ReleaseHtml();
    m_resolved.reset();
    m_strOutBuffer.clear();
    m_hHtmlFile.reset();
    // Without a commit the temporary file goes; whatever was at the output path stays.
    m_hOutFile.reset();
    return ok;
}

// Writing over a file the composition read would destroy an input, so no
// output of the run may be one (links and hard links included): not the page,
// an embedded file, an inlined style sheet, an attachment or a content type table.
bool CMimeComposer::CheckOutputIsNoInput() {
    std::vector<std::string> outputs = m_job.m_listOtherOutputs;
    outputs.insert(outputs.begin(), m_job.m_strOutputPath);
    for (const std::string& output : outputs) {
        platform::ResolvedPath out, in;
        if (!m_env.files->Resolve(output, out)) continue;  // a new file is no input
        auto same = [&](const std::string& path) { return m_resolved->Resolve(path, in) && in.SameFile(out); };
        std::string refuse = "output file '" + output + "' is ";
        if (same(m_job.m_strHtmlPath)) return Fail(refuse + "the HTML file itself");
        for (const ResourceEntry& e : m_listResources) {
            if (!e.m_bData && same(FullResourcePath(e.m_strPath)))
                return Fail(refuse + "the resource file '" + e.m_strPath + "'");
        }
        for (const std::string& path : m_listSheetsRead)
            if (same(path)) return Fail(refuse + "the style sheet '" + path + "'");
        for (const std::string& path : m_job.m_listAttachments)
            if (same(path)) return Fail(refuse + "the attachment '" + path + "'");
        ContentTypePaths tables = DefaultContentTypePaths(*m_env.environment);
        tables.listAssociationFiles.insert(tables.listAssociationFiles.end(), tables.listGlobFiles.begin(),
                                           tables.listGlobFiles.end());
        for (const std::string& path : tables.listAssociationFiles)
            if (same(path)) return Fail(refuse + "the content type table '" + path + "'");
    }
    return true;
}

std::string CMimeComposer::ParseRefusal(std::string_view html) {
    if (html.size() > kMaxParsedPage) return "the page is over " + std::to_string(kMaxParsedPage >> 20) + " MB";
    if (NestsDeeperThan(html))
        return "the page nests elements more than " + std::to_string(kMaxParsedNesting) + " deep";
    return {};
}

std::vector<std::string> CMimeComposer::Notices() const {
    // They quote the page and the names of its files: shown the way server
    // replies are, so no byte of theirs acts on a terminal.
    std::vector<std::string> lines;
    for (const std::string& w : m_listWarnings) lines.push_back(ascii::Printable(w));
    for (const LeftOutEntry& e : m_listLeftOut)
        lines.push_back(ascii::Printable("'" + e.m_strPath + "' is left out: " + e.m_strReason));
    return lines;
}
