#include "smtp/RealSmtpServer.h"

#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testutil {

RealSmtpServer::RealSmtpServer(const std::string& user, const std::string& password,
                               const std::vector<std::string>& extra) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::string script = std::string(QUILLORY_SOURCE_DIR) + "/tests/tools/smtp_server.py";
    std::vector<std::string> args = {QUILLORY_PYTHON, script, "--dir", m_dir.Path(), "--user", user,
                                     "--password", password};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::execv(QUILLORY_PYTHON, argv.data());
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
