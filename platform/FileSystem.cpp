#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileReplacement.h"

namespace platform {
namespace {

std::string ErrnoText(int e) { return std::strerror(e); }

// 0 with fd open for reading, or the errno: EISDIR for a folder, EINVAL for
// anything else that is not a regular file. Without O_NONBLOCK, opening a FIFO
// waits for a writer, for ever; it stays set, as it changes nothing for a
// regular file.
int OpenRegularFile(const std::string& path, int& fd, struct stat& st) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno;
    int e = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (e != 0) {
        ::close(fd);
        fd = -1;
    }
    return e;
}

class PosixInputFile : public InputFile {
public:
    PosixInputFile(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    ~PosixInputFile() override { ::close(m_fd); }
    std::uint64_t Size() const override { return m_size; }
    bool Read(void* buf, std::size_t n, std::size_t& got, std::string& err) override {
        got = 0;
        // Fill the request unless the file ends, so callers see short reads only at the end.
        while (got < n) {
            ssize_t r = ::read(m_fd, static_cast<char*>(buf) + got, n - got);
            if (r < 0) {
                if (errno == EINTR) continue;
                err = ErrnoText(errno);
                return false;
            }
            if (r == 0) break;
            got += static_cast<std::size_t>(r);
        }
        return true;
    }

private:
    int m_fd;
    std::uint64_t m_size;
};

class StandardOutput : public OutputFile {
public:
    bool Write(const void* data, std::size_t n, std::string& err) override {
        const char* p = static_cast<const char*>(data);
        while (n > 0) {
            ssize_t w = ::write(STDOUT_FILENO, p, n);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                err = ErrnoText(errno);
                return false;
            }
            p += w;
            n -= static_cast<std::size_t>(w);
        }
        return true;
    }
    bool Commit(std::string&) override { return true; }
};

// The content of a file that reported no size, read before anyone asked.
class MemoryInputFile : public InputFile {
public:
    explicit MemoryInputFile(std::string data) : m_data(std::move(data)) {}
    std::uint64_t Size() const override { return m_data.size(); }
    bool Read(void* buf, std::size_t n, std::size_t& got, std::string&) override {
        got = std::min(n, m_data.size() - m_at);
        std::memcpy(buf, m_data.data() + m_at, got);
        m_at += got;
        return true;
    }

private:
    std::string m_data;
    std::size_t m_at = 0;
};

// Pseudo-files are small; a "size 0" file that goes on for longer is refused.
constexpr std::size_t kMaxUnsizedFile = 16u << 20;

class PosixFileSystem : public FileSystem {
public:
    explicit PosixFileSystem(bool bPrivateOutputs = false) : m_bPrivateOutputs(bPrivateOutputs) {}

    std::unique_ptr<InputFile> OpenRead(const std::string& path, std::string& err) override {
        int fd = -1;
        struct stat st {};
        if (int e = OpenRegularFile(path, fd, st)) {
            err = e == EINVAL ? "not a regular file" : ErrnoText(e);
            return nullptr;
        }
        if (st.st_size == 0) {
            PosixInputFile file(fd, 0);
            std::string data;
            char buf[65536];
            for (std::size_t got = sizeof buf; got == sizeof buf && data.size() <= kMaxUnsizedFile;) {
                if (!file.Read(buf, sizeof buf, got, err)) return nullptr;
                data.append(buf, got);
            }
            if (data.size() > kMaxUnsizedFile) {
                err = "it reports no size but goes on for more than 16 MiB";
                return nullptr;
            }
            return MemoryInput(std::move(data));
        }
        // Read-ahead advice pays only for files larger than one read.
        if (st.st_size > (1 << 20)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        return std::make_unique<PosixInputFile>(fd, static_cast<std::uint64_t>(st.st_size));
    }

    std::unique_ptr<OutputFile> CreateOutput(const std::string& target, ReadOnlyTarget readOnly,
                                             std::string& err) override {
        return FileReplacement::Begin(target, m_bPrivateOutputs ? ReplaceMode::Private : ReplaceMode::KeepExisting,
                                      readOnly, err);
    }

    bool CheckFolder(const std::string& path, std::string& err) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            err = ErrnoText(errno);
            return false;
        }
        ::close(fd);
        return true;
    }

    bool IsReadableFile(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
    }

    bool Resolve(const std::string& path, ResolvedPath& out) override {
        char buf[PATH_MAX];
        struct stat st {};
        if (!::realpath(path.c_str(), buf) || ::stat(buf, &st) != 0) return false;
        out.strPath = buf;
        out.device = static_cast<std::uint64_t>(st.st_dev);
        out.inode = static_cast<std::uint64_t>(st.st_ino);
        return true;
    }

    // One lstat instead of a readlink for every component of the path.
    Entry ResolveEntry(const std::string& realFolder, const std::string& name, ResolvedPath& out) override {
        std::string full = realFolder == "/" ? "/" + name : realFolder + "/" + name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? Entry::Missing : Entry::Unknown;
        if (S_ISLNK(st.st_mode)) return Entry::Unknown;
        out.strPath = std::move(full);
        out.device = static_cast<std::uint64_t>(st.st_dev);
        out.inode = static_cast<std::uint64_t>(st.st_ino);
        return Entry::Found;
    }

private:
    bool m_bPrivateOutputs;
};

} // namespace

std::unique_ptr<OutputFile> StandardOutputFile() { return std::make_unique<StandardOutput>(); }

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

FileSystem& PrivateFileSystem() {
    static PosixFileSystem fs(true);
    return fs;
}

int ReadConfigFile(const std::string& path, std::string& text, std::size_t maxBytes) {
    text.clear();
    int fd = -1;
    struct stat st {};
    if (int e = OpenRegularFile(path, fd, st)) return e;
    // The size may change under us, and pseudo-files report none: read to the end.
    std::string data;
    char buf[65536];
    int e = 0;
    for (;;) {
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            e = r < 0 ? errno : 0;
            break;
        }
        data.append(buf, static_cast<std::size_t>(r));
        if (data.size() > maxBytes) {
            e = EFBIG;
            break;
        }
    }
    ::close(fd);
    if (e == 0) text.swap(data);
    return e;
}

std::string CurrentDirectory() {
    // Sized by the C library: a folder deeper than PATH_MAX still has a path,
    // and what is opened through it then fails with the system's reason
    // rather than some relative path being read from elsewhere.
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return {};
    std::string s = cwd;
    std::free(cwd);
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

std::unique_ptr<InputFile> MemoryInput(std::string data) { return std::make_unique<MemoryInputFile>(std::move(data)); }

namespace {
std::string ParentFolder(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}
} // namespace

bool MakeFolders(const std::string& folder, std::string& err) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        err = "'" + folder + "' is not a folder";
        return false;
    }
    std::string parent = ParentFolder(folder);
    if (parent != folder && !MakeFolders(parent, err)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        err = "cannot create folder '" + folder + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace platform
