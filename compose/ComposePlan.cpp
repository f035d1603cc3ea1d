// The dry run: the real composition into a byte counter.
#include <algorithm>
#include <unordered_map>

#include "compose/MimeComposer.h"

namespace {

class CountingOutput : public platform::OutputFile {
public:
    explicit CountingOutput(std::uint64_t& written) : m_written(written) {}
    bool Write(const void*, std::size_t n, std::string&) override {
        m_written += n;
        return true;
    }
    bool Commit(std::string&) override { return true; }

private:
    std::uint64_t& m_written;
};

// Reads go to the real files (so failures and sizes are the real ones); the
// output only counts. Remembers the size of every file opened.
class CountingFileSystem : public platform::FileSystem {
public:
    explicit CountingFileSystem(platform::FileSystem& real) : m_real(real) {}
    std::unique_ptr<platform::InputFile> OpenRead(const std::string& path, std::string& err) override {
        std::unique_ptr<platform::InputFile> file = m_real.OpenRead(path, err);
        if (file) m_sizes[path] = file->Size();
        return file;
    }
    std::unique_ptr<platform::OutputFile> CreateOutput(const std::string&, platform::ReadOnlyTarget, std::string&) override {
        m_written = 0;
        return std::make_unique<CountingOutput>(m_written);
    }
    bool CheckFolder(const std::string& path, std::string& err) override { return m_real.CheckFolder(path, err); }
    bool IsReadableFile(const std::string& path) override { return m_real.IsReadableFile(path); }
    bool Resolve(const std::string& path, platform::ResolvedPath& out) override { return m_real.Resolve(path, out); }
    Entry ResolveEntry(const std::string& folder, const std::string& name, platform::ResolvedPath& out) override {
        return m_real.ResolveEntry(folder, name, out);
    }

    std::uint64_t Written() const { return m_written; }
    std::uint64_t SizeOf(const std::string& path) const {
        auto found = m_sizes.find(path);
        return found == m_sizes.end() ? 0 : found->second;
    }

private:
    platform::FileSystem& m_real;
    std::uint64_t m_written = 0;
    std::unordered_map<std::string, std::uint64_t> m_sizes;
};

} // namespace

bool CMimeComposer::Plan(ComposePlan& plan) {
    plan = ComposePlan();
    CountingFileSystem counter(*m_env.files);
    platform::FileSystem* files = m_env.files;
    std::string output = m_job.m_strOutputPath;
    if (output.empty()) m_job.m_strOutputPath = m_job.m_strHtmlPath + ".eml";
    m_env.files = &counter;
    m_pPlan = &plan;
    bool ok = Compose();
    m_pPlan = nullptr;
    m_env.files = files;
    m_job.m_strOutputPath = output;

    // The references hold the index a part had when they were found. Dropping
    // overlapping references may have removed parts since: renumber, and the
    // dropped references keep no part.
    std::int32_t found = 0;
    for (const PlannedReference& r : plan.listReferences) found = std::max(found, r.nPart + 1);
    // Parts made for inlined style sheets come after the page's: the count alone cannot tell.
    const bool renumber = static_cast<std::size_t>(found) != m_listResources.size() || !m_listEdits.empty();
    std::unordered_map<std::string, std::int32_t> index;
    if (renumber)
        for (std::size_t i = 0; i < m_listResources.size(); ++i)
            index.emplace(m_listResources[i].m_strContentId, static_cast<std::int32_t>(i));
    for (PlannedReference& r : plan.listReferences) {
        if (r.nPart < 0) continue;
        if (!m_setPositions.count(r.nPosition)) {
            r.nPart = -1;
            auto edit = std::upper_bound(m_listEdits.begin(), m_listEdits.end(), r.nPosition,
                                         [](std::int32_t pos, const TextEdit& e) { return pos < e.nPosition; });
            r.bInlined = edit != m_listEdits.begin() && std::prev(edit)->nPosition + std::prev(edit)->nLength > r.nPosition;
            r.bOverlapped = !r.bInlined;
        } else if (renumber) {
            auto kept = std::lower_bound(
                m_listReferences.begin(), m_listReferences.end(), r.nPosition,
                [](const ReferenceEntry& e, std::int32_t pos) { return e.m_nPosition < pos; });
            r.nPart = index[kept->m_strContentId];
        }
    }
    std::unordered_map<std::string, std::int32_t> byCid;
    for (std::size_t i = 0; i < m_listResources.size(); ++i)
        byCid.emplace(m_listResources[i].m_strContentId, static_cast<std::int32_t>(i));
    for (PlannedSheetReference& r : plan.listSheetReferences)
        if (!r.strContentId.empty()) r.nPart = byCid[r.strContentId];
    for (const ResourceEntry& e : m_listResources) {
        PlannedPart part;
        part.strPath = e.m_strPath;
        part.strFullPath = e.m_bData || (!e.m_strPath.empty() && e.m_strPath[0] == '/') ? e.m_strPath : m_strHtmlFolder + e.m_strPath;
        part.strContentId = e.m_strContentId;
        part.strContentType = ResolveContentType(e.m_strPath);
        part.nSize = e.m_bData ? e.m_strData.size() : counter.SizeOf(part.strFullPath);
        if (e.m_bData) part.strContentType = e.m_strDataType.substr(0, e.m_strDataType.find(';'));
        plan.listParts.push_back(std::move(part));
    }
    // Each rewritten value becomes "cid:" and its Content-ID.
    plan.nHtmlPartSize = static_cast<std::uint64_t>(m_nHtmlLength);
    for (const ReferenceEntry& r : m_listReferences)
        plan.nHtmlPartSize += 4 + r.m_strContentId.size() - static_cast<std::uint64_t>(r.m_nLength);
    for (const TextEdit& e : m_listEdits) plan.nHtmlPartSize += e.strText.size() - static_cast<std::uint64_t>(e.nLength);
    plan.nMessageSize = counter.Written();
    return ok;
}
