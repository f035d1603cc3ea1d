#pragma once
// Resolving many files of a few folders: each folder's real location is
// looked up once, and each file's own entry every time, so a file that is (or
// becomes) a symbolic link is still followed. Lives for one run over files
// that are not expected to move meanwhile (one composition); a folder
// relinked after that is only seen by a new cache.
#include <string>
#include <unordered_map>

#include "platform/FileSystem.h"

namespace platform {

class ResolveCache {
public:
    explicit ResolveCache(FileSystem& files) : m_files(files) {}
    // The same answer as files.Resolve(path).
    bool Resolve(const std::string& path, ResolvedPath& out);

private:
    FileSystem& m_files;
    // Folder as written -> its real location, empty when it has none.
    std::unordered_map<std::string, std::string> m_folders;
};

} // namespace platform
