#include "platform/Environment.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

class RealEnvironmentImpl : public Environment {
public:
    bool GetVar(const std::string& name, std::string& value) override {
        const char* v = std::getenv(name.c_str());
        if (!v) return false;
        value = v;
        return true;
    }

    bool ReadTextFile(const std::string& path, std::string& content, std::size_t maxBytes) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat st {};
        bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= maxBytes;
        std::string text;
        if (ok) {
            text.resize(static_cast<std::size_t>(st.st_size));
            std::size_t got = 0;
            // The size may change under us; read what is there, up to the limit.
            while (ok && got < text.size()) {
                ssize_t r = ::read(fd, text.data() + got, text.size() - got);
                if (r < 0 && errno == EINTR) continue;
                if (r < 0) ok = false;
                else if (r == 0) break;
                else got += static_cast<std::size_t>(r);
            }
            text.resize(got);
        }
        ::close(fd);
        if (ok) content.swap(text);
        return ok;
    }
};

} // namespace

Environment& RealEnvironment() {
    static RealEnvironmentImpl e;
    return e;
}

} // namespace platform
