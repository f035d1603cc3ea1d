#include "platform/ResolveCache.h"

namespace platform {

bool ResolveCache::Resolve(const std::string& path, ResolvedPath& out) {
    std::size_t slash = path.rfind('/');
    // "." and ".." go back through the folder, which only a full resolution follows.
    if (slash == std::string::npos) return m_files.Resolve(path, out);
    std::string name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return m_files.Resolve(path, out);
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    auto found = m_folders.find(folder);
    if (found == m_folders.end()) {
        ResolvedPath real;
        std::string where = m_files.Resolve(folder, real) ? real.strPath : "";
        found = m_folders.emplace(std::move(folder), std::move(where)).first;
    }
    if (found->second.empty()) return m_files.Resolve(path, out);
    switch (m_files.ResolveEntry(found->second, name, out)) {
    case FileSystem::Entry::Found: return true;
    case FileSystem::Entry::Missing: return false;
    case FileSystem::Entry::Unknown: break;
    }
    return m_files.Resolve(path, out);
}

} // namespace platform
