#include "platform/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

mode_t CurrentUmask() {
    // umask() can only be read by setting it; put it straight back.
    mode_t m = ::umask(077);
    ::umask(m);
    return m;
}

class PosixOutputFile : public OutputFile {
public:
    PosixOutputFile(int fd, std::string tmp, std::string target, bool bPrivate)
        : m_fd(fd), m_strTemp(std::move(tmp)), m_strTarget(std::move(target)), m_bPrivate(bPrivate) {}
    ~PosixOutputFile() override {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_bCommitted) ::unlink(m_strTemp.c_str());
    }
    bool Write(const void* data, std::size_t n, std::string& err) override {
        const char* p = static_cast<const char*>(data);
        while (n > 0) {
            ssize_t w = ::write(m_fd, p, n);
            if (w < 0) {
                if (errno == EINTR) continue;
                err = ErrnoText(errno);
                return false;
            }
            p += w;
            n -= static_cast<std::size_t>(w);
        }
        return true;
    }
    bool Commit(std::string& err) override {
        mode_t mode = m_bPrivate ? 0600 : (0666 & ~CurrentUmask());
        if (::fchmod(m_fd, mode) != 0 || ::fsync(m_fd) != 0) {
            err = ErrnoText(errno);
            return false;
        }
        int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            err = ErrnoText(errno);
            return false;
        }
        if (::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0) {
            err = ErrnoText(errno);
            return false;
        }
        m_bCommitted = true;
        return true;
    }

private:
    int m_fd;
    std::string m_strTemp;
    std::string m_strTarget;
    bool m_bPrivate;
    bool m_bCommitted = false;
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
        std::string::size_type slash = target.rfind('/');
        std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        std::string tmpl = folder + "." + name + ".XXXXXX";
        std::string buf = tmpl;
        int fd = ::mkostemp(buf.data(), O_CLOEXEC);
        if (fd < 0) {
            err = ErrnoText(errno);
            return nullptr;
        }
        return std::make_unique<PosixOutputFile>(fd, buf, target, m_bPrivateOutputs);
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
