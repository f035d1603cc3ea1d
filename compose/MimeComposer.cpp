#include "compose/MimeComposer.h"

#include <cstring>

#include "compose/MessageWriter.h"
#include "compose/PageScan.h"
#include "core/Ascii.h"
#include "platform/ResolveCache.h"

namespace {
const char kFallbackHost[] = "Quillnode";
} // namespace

CMimeComposer::CMimeComposer(const platform::Platform& env)
    : m_env(env), m_contentTypes(*env.environment, DefaultContentTypePaths(*env.environment)) {
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

bool CMimeComposer::Fail(std::string reason) {
    if (m_strError.empty()) m_strError = std::move(reason);
    return false;
}

// The plan handed over when it still fits the job, else a new scan.
bool CMimeComposer::TakePlan() {
    std::string err;
    if (m_earlierPlan.StillFits(m_job))
        m_plan = std::move(m_earlierPlan);
    else if (!CPageScanner(m_job, m_env, m_contentTypes, m_szHostName).Scan(m_plan, err))
        return Fail(err);
    m_earlierPlan = MessagePlan();
    return true;
}

bool CMimeComposer::Compose() {
    m_strError.clear();
    m_listWarnings.clear();
    if (m_job.m_strHtmlPath.empty()) return Fail("no HTML file given");
    if (m_job.m_strOutputPath.empty()) return Fail("no output file given");
    if (!TakePlan()) return false;
    return Write();
}

bool CMimeComposer::ComposeInto(platform::OutputFile& out) {
    m_strError.clear();
    if (!TakePlan()) return false;
    m_listWarnings = m_plan.listWarnings;
    CMessageWriter writer(m_plan, m_job, m_env, m_contentTypes, m_szHostName);
    std::string err;
    bool ok = writer.Write(out, err);
    m_listWarnings.insert(m_listWarnings.end(), writer.Warnings().begin(), writer.Warnings().end());
    m_bEightBitData = writer.HasEightBitData();
    return ok || Fail(err);
}

bool CMimeComposer::Write() {
    m_listWarnings = m_plan.listWarnings;
    if (!CheckOutputIsNoInput()) return false;
    std::string err;
    std::unique_ptr<platform::OutputFile> out = m_env.files->CreateOutput(
        m_job.m_strOutputPath,
        m_job.m_bReplaceReadOnly ? platform::ReadOnlyTarget::Replace : platform::ReadOnlyTarget::Refuse, err);
    if (!out) return Fail("cannot create output file '" + m_job.m_strOutputPath + "': " + err);
    CMessageWriter writer(m_plan, m_job, m_env, m_contentTypes, m_szHostName);
    bool ok = writer.Write(*out, err);
    m_listWarnings.insert(m_listWarnings.end(), writer.Warnings().begin(), writer.Warnings().end());
    m_bEightBitData = writer.HasEightBitData();
    if (!ok) return Fail(err);
    // The wait for the disk is the long part of the end: a cancel during it still counts.
    // Without a commit the temporary file goes; whatever was at the output path stays.
    if (!out->Sync(err)) return Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
    if (m_job.m_pProgress && !m_job.m_pProgress->OnCommitting()) return Fail("the composition was cancelled");
    if (!out->Commit(err)) return Fail("cannot write output file '" + m_job.m_strOutputPath + "': " + err);
    return true;
}

bool CMimeComposer::Plan(MessagePlan& plan, std::uint64_t& nMessageSize) {
    m_strError.clear();
    m_listWarnings.clear();
    nMessageSize = 0;
    std::string err;
    bool ok = CPageScanner(m_job, m_env, m_contentTypes, m_szHostName).Scan(m_plan, err);
    if (!ok) Fail(err);
    if (ok) {
        CMessageWriter writer(m_plan, m_job, m_env, m_contentTypes, m_szHostName);
        ok = writer.Measure(nMessageSize, err) || Fail(err);
        m_listWarnings = m_plan.listWarnings;
        m_listWarnings.insert(m_listWarnings.end(), writer.Warnings().begin(), writer.Warnings().end());
        m_bEightBitData = writer.HasEightBitData();
    }
    plan = std::move(m_plan);
    m_plan = MessagePlan();
    return ok;
}

// Writing over a file the composition read would destroy an input, so no
// output of the run may be one (links and hard links included): not the page,
// an embedded file, an inlined style sheet, an attachment or a content type table.
bool CMimeComposer::CheckOutputIsNoInput() {
    std::vector<std::string> outputs = m_job.m_listOtherOutputs;
    outputs.insert(outputs.begin(), m_job.m_strOutputPath);
    platform::ResolveCache resolved(*m_env.files);  // the parts share few folders
    for (const std::string& output : outputs) {
        platform::ResolvedPath out, in;
        if (!m_env.files->Resolve(output, out)) continue;  // a new file is no input
        auto same = [&](const std::string& path) { return resolved.Resolve(path, in) && in.SameFile(out); };
        std::string refuse = "output file '" + output + "' is ";
        if (same(m_job.m_strHtmlPath)) return Fail(refuse + "the HTML file itself");
        for (const PlannedPart& p : m_plan.listParts)
            if (!p.bData && same(p.strFullPath)) return Fail(refuse + "the resource file '" + p.strPath + "'");
        for (const std::string& path : m_plan.listSheetsRead)
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

std::vector<std::string> CMimeComposer::Notices() const {
    // They quote the page and the names of its files: shown the way server
    // replies are, so no byte of theirs acts on a terminal.
    std::vector<std::string> lines;
    for (const std::string& w : m_listWarnings) lines.push_back(ascii::Printable(w));
    for (const LeftOutEntry& e : m_plan.listLeftOut)
        lines.push_back(ascii::Printable("'" + e.m_strPath + "' is left out: " + e.m_strReason));
    return lines;
}
