#include "platform/FileReplacement.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

const char kNotRegular[] = "not a regular file";

std::string FolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

mode_t CurrentUmask() {
    // umask() can only be read by setting it; put it straight back.
    mode_t m = ::umask(077);
    ::umask(m);
    return m;
}

// 0 when the target is missing or a regular file (st then says which), else EINVAL.
int CheckTarget(const std::string& target, struct stat& st, bool& exists) {
    exists = ::lstat(target.c_str(), &st) == 0;
    if (!exists) return errno == ENOENT ? 0 : errno;
    return S_ISREG(st.st_mode) ? 0 : EINVAL;
}

bool IsReadOnly(const std::string& target, const struct stat& st) {
    // Root may write anything; the mode still says what its owner meant.
    if (::geteuid() == 0) return (st.st_mode & 0222) == 0;
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

} // namespace

bool IsReadOnlyFile(const std::string& path) {
    std::string target = FinalPath(path);
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && IsReadOnly(target, st);
}

std::string FinalPath(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit on a chain
        char buf[PATH_MAX];
        ssize_t n = ::readlink(at.c_str(), buf, sizeof buf);
        if (n <= 0 || n >= static_cast<ssize_t>(sizeof buf)) break;
        std::string next(buf, static_cast<std::size_t>(n));
        at = next[0] == '/' ? next : FolderOf(at) + next;
    }
    return at;
}

std::unique_ptr<FileReplacement> FileReplacement::Begin(const std::string& path, ReplaceMode mode,
                                                        ReadOnlyTarget readOnly, std::string& err) {
    std::string target = FinalPath(path);
    struct stat st {};
    bool exists = false;
    if (int e = CheckTarget(target, st, exists)) {
        err = e == EINVAL ? kNotRegular : std::strerror(e);
        return nullptr;
    }
    if (exists && readOnly == ReadOnlyTarget::Refuse && IsReadOnly(target, st)) {
        err = "it is read-only";
        return nullptr;
    }
    std::string::size_type slash = target.rfind('/');
    std::string temp = FolderOf(target) + "." + target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        err = std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<FileReplacement>(new FileReplacement(fd, temp, target, mode));
}

FileReplacement::FileReplacement(int fd, std::string temp, std::string target, ReplaceMode mode)
    : m_fd(fd), m_strTemp(std::move(temp)), m_strTarget(std::move(target)), m_mode(mode) {}

FileReplacement::~FileReplacement() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_bCommitted) ::unlink(m_strTemp.c_str());
}

void FileReplacement::Abandon() { ::unlink(m_strTemp.c_str()); }

bool FileReplacement::Write(const void* data, std::size_t n, std::string& err) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = ::write(m_fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            err = std::strerror(errno);
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool FileReplacement::Sync(std::string& err) {
    if (m_fd >= 0 && ::fsync(m_fd) == 0) return true;
    err = std::strerror(m_fd < 0 ? EBADF : errno);
    return false;
}

bool FileReplacement::Commit(std::string& err) {
    if (m_fd < 0) {
        err = std::strerror(EBADF);
        return false;
    }
    // Looked at again: the target may have changed while the content was written.
    struct stat st {};
    bool exists = false;
    if (int e = CheckTarget(m_strTarget, st, exists)) {
        err = e == EINVAL ? kNotRegular : std::strerror(e);
        return false;
    }
    mode_t mode = 0600;
    if (m_mode == ReplaceMode::KeepExisting) {
        mode = exists ? st.st_mode & 07777 : 0666 & ~CurrentUmask();
        // The owner can be kept only by root, the group by a member of it;
        // otherwise the file is the caller's, as a new one would be.
        if (exists && ::fchown(m_fd, st.st_uid, st.st_gid) != 0) {
            [[maybe_unused]] int ignored = ::fchown(m_fd, static_cast<uid_t>(-1), st.st_gid);
        }
    }
    // After the change of owner, which clears the set-id bits.
    if (::fchmod(m_fd, mode) != 0 || ::fsync(m_fd) != 0) {
        err = std::strerror(errno);
        return false;
    }
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 || ::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0) {
        err = std::strerror(errno);
        return false;
    }
    m_bCommitted = true;
    // Make the rename itself durable.
    std::string folder = FolderOf(m_strTarget);
    int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace platform
