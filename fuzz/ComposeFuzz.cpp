// A whole composition of an arbitrary page, in memory: some values name
// files, some do not, and the rewritten body must still be a forward copy.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "compose/MimeComposer.h"

namespace {

std::string g_page;

class NullOutput : public platform::OutputFile {
public:
    bool Write(const void*, std::size_t, std::string&) override { return true; }
    bool Commit(std::string&) override { return true; }
};

// The page is the fuzz input; a resource exists when its name's length is odd.
class MemoryFileSystem : public platform::FileSystem {
public:
    std::unique_ptr<platform::InputFile> OpenRead(const std::string& path, std::string&) override {
        if (path == "/site/page.html") return platform::MemoryInput(g_page);
        return platform::MemoryInput(path);
    }
    std::unique_ptr<platform::OutputFile> CreateOutput(const std::string&, platform::ReadOnlyTarget, std::string&) override {
        return std::make_unique<NullOutput>();
    }
    bool CheckFolder(const std::string&, std::string&) override { return true; }
    bool IsReadableFile(const std::string& path) override { return path.size() % 2 == 1; }
    // Every path is its own file, and all lie in the page's folder.
    bool Resolve(const std::string& path, platform::ResolvedPath& out) override {
        out.strPath = path[0] == '/' ? path : "/site/" + path;
        out.inode = std::hash<std::string>()(out.strPath);
        return true;
    }
};

class NoEnvironment : public platform::Environment {
public:
    bool GetVar(const std::string&, std::string&) override { return false; }
    bool ReadTextFile(const std::string&, std::string&, std::size_t) override { return false; }
};

class Probe : public CMimeComposer {
public:
    using CMimeComposer::CMimeComposer;
    // References and replaced texts together must run forward without overlap.
    void CheckReferences() const {
        const MessagePlan& plan = LastPlan();
        const auto length = static_cast<std::int64_t>(plan.strPage.size());
        std::vector<std::pair<std::int64_t, std::int64_t>> spans;
        for (const ReferenceEntry& r : plan.listRewrites) spans.emplace_back(r.m_nPosition, r.m_nLength);
        for (const TextEdit& e : plan.listEdits) spans.emplace_back(e.nPosition, e.nLength);
        std::sort(spans.begin(), spans.end());
        std::int64_t end = 0;
        for (const auto& [pos, len] : spans) {
            if (pos < end || len < 0 || pos + len > length) std::abort();
            end = pos + len;
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    g_page.assign(reinterpret_cast<const char*>(data), size);
    static MemoryFileSystem fs;
    static NoEnvironment env;
    platform::Platform p;
    p.files = &fs;
    p.environment = &env;
    for (bool webmail : {false, true}) {
        Probe c(p);
        c.m_job.m_strHtmlPath = "/site/page.html";
        c.m_job.m_strOutputPath = "/site/out.eml";
        c.m_job.m_bPrepareForWebmail = webmail;
        if (!c.Compose()) std::abort();
        c.CheckReferences();
    }
    return 0;
}
