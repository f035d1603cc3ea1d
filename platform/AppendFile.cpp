#include "platform/AppendFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

AppendFile::~AppendFile() { Close(); }

bool AppendFile::Open(const std::string& path, std::string& err) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd >= 0) return true;
    err = std::strerror(errno);
    return false;
}

bool AppendFile::Append(const std::string& text, std::string& err) {
    for (std::size_t done = 0; done < text.size();) {
        ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fdatasync(m_fd) == 0) return true;
    err = std::strerror(errno);
    return false;
}

void AppendFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

} // namespace platform
