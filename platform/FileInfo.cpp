#include "platform/FileInfo.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool ResolveSymbolicLink(const std::string& path, std::string& target) {
    target.clear();
    char buf[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n < 0 || n >= static_cast<ssize_t>(sizeof buf)) return false;
    std::string t(buf, static_cast<std::size_t>(n));
    if (t.empty()) return false;
    if (t[0] != '/') {
        std::string::size_type slash = path.rfind('/');
        t = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + t;
    }
    // A dangling link resolves to nothing: it is kept as the link itself.
    struct stat st {};
    if (::lstat(t.c_str(), &st) != 0) return false;
    target = t;
    return true;
}

bool GetFileSize64(const std::string& path, std::uint64_t& size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool GetFileStamp(const std::string& path, FileStamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    stamp.nDevice = static_cast<std::uint64_t>(st.st_dev);
    stamp.nInode = static_cast<std::uint64_t>(st.st_ino);
    stamp.nSize = static_cast<std::uint64_t>(st.st_size);
    stamp.nModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

PathKind GetPathKind(const std::string& path, std::string& err) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        err = std::strerror(errno);
        return PathKind::Missing;
    }
    if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Special;
}

} // namespace platform
