#include "smtp/RealSmtpServer.h"

#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testutil {

RealSmtpServer::RealSmtpServer(const std::string& user, const std::string& password) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::string script = std::string(QUILLORY_SOURCE_DIR) + "/tests/tools/smtp_server.py";
    std::string dir = m_dir.Path();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::execl(QUILLORY_PYTHON, QUILLORY_PYTHON, script.c_str(), "--dir", dir.c_str(), "--user", user.c_str(),
                "--password", password.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    FILE* f = ::fdopen(out[0], "r");
    if (!f || std::fscanf(f, "PORT %d", &m_port) != 1) {
        if (f) std::fclose(f);
        throw std::runtime_error("aiosmtpd did not start (is python3-aiosmtpd installed?)");
    }
    std::fclose(f);
}

RealSmtpServer::~RealSmtpServer() {
    ::close(m_stdin);  // the server stops when its input ends
    int status = 0;
    ::waitpid(m_pid, &status, 0);
}

} // namespace testutil
