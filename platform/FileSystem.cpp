#include "platform/FileSystem.h"

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

class PosixFileSystem : public FileSystem {
public:
    explicit PosixFileSystem(bool bPrivateOutputs = false) : m_bPrivateOutputs(bPrivateOutputs) {}

    std::unique_ptr<InputFile> OpenRead(const std::string& path, std::string& err) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            err = ErrnoText(errno);
            return nullptr;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            err = ErrnoText(errno);
            ::close(fd);
            return nullptr;
        }
        if (S_ISDIR(st.st_mode)) {
            err = ErrnoText(EISDIR);
            ::close(fd);
            return nullptr;
        }
        // Read-ahead advice pays only for files larger than one read.
        if (st.st_size > (1 << 20)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        return std::make_unique<PosixInputFile>(fd, static_cast<std::uint64_t>(st.st_size));
    }

    std::unique_ptr<OutputFile> CreateOutput(const std::string& target, std::string& err) override {
        return FileReplacement::Begin(target, m_bPrivateOutputs ? ReplaceMode::Private : ReplaceMode::KeepExisting, err);
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

private:
    bool m_bPrivateOutputs;
};

} // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

FileSystem& PrivateFileSystem() {
    static PosixFileSystem fs(true);
    return fs;
}

std::string CurrentDirectory() {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) return {};
    std::string s = buf;
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

} // namespace platform
