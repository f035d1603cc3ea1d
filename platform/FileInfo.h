#pragma once
// Questions about a path that the attachment list asks of the file system.
#include <cstdint>
#include <string>

namespace platform {

// True when the path names a folder (following symbolic links).
bool IsDirectory(const std::string& path);
// True when the path itself is a symbolic link.
bool IsSymbolicLink(const std::string& path);
// The target of one symbolic link, made absolute against the link's folder;
// false when path is no link or its target does not exist.
bool ResolveSymbolicLink(const std::string& path, std::string& target);
// The size in bytes of what path names; false when it cannot be read.
bool GetFileSize64(const std::string& path, std::uint64_t& size);

// What tells that a file has changed since it was read: its identity, size
// and modification time.
struct FileStamp {
    std::uint64_t nDevice = 0, nInode = 0, nSize = 0;
    std::int64_t nModifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// False when the path cannot be looked at.
bool GetFileStamp(const std::string& path, FileStamp& stamp);

// Why a path cannot be read as a file: what it names, or the system's reason
// when it cannot be looked at (in err).
enum class PathKind { Missing, RegularFile, Folder, Special };
PathKind GetPathKind(const std::string& path, std::string& err);

} // namespace platform
