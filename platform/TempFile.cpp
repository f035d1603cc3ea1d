#include "platform/TempFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace platform {

bool CreateTempFile(const std::string& prefix, std::string& path, std::string& err) {
    const char* dir = std::getenv("TMPDIR");
    std::string tmpl = std::string(dir && *dir ? dir : "/tmp");
    if (tmpl.back() != '/') tmpl += '/';
    tmpl += prefix + "XXXXXX";
    int fd = ::mkstemp(tmpl.data());  // mkstemp creates with mode 0600
    if (fd < 0) {
        err = std::strerror(errno);
        return false;
    }
    ::close(fd);
    path = tmpl;
    return true;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

} // namespace platform
