#include "platform/TempFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace platform {

namespace {

std::string TempTemplate(const std::string& prefix) {
    const char* dir = std::getenv("TMPDIR");
    std::string tmpl = std::string(dir && *dir ? dir : "/tmp");
    if (tmpl.back() != '/') tmpl += '/';
    return tmpl + prefix + "XXXXXX";
}

} // namespace

bool CreateTempFile(const std::string& prefix, std::string& path, std::string& err) {
    std::string tmpl = TempTemplate(prefix);
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

bool OwnedTempFolder::Create(const std::string& prefix, std::string& err) {
    Remove();
    std::string tmpl = TempTemplate(prefix);
    if (!::mkdtemp(tmpl.data())) {  // mode 0700
        err = std::strerror(errno);
        return false;
    }
    m_strPath = tmpl;
    return true;
}

void OwnedTempFolder::Remove() {
    if (m_strPath.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(m_strPath, ignored);
    m_strPath.clear();
}

} // namespace platform
