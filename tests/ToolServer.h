#pragma once
// A server script of tests/tools run by QUILLORY_PYTHON for the life of the
// object: it prints "PORT n" once it listens on 127.0.0.1, and stops when its
// input closes. Port() is 0 when it did not start.
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testutil {

class ToolServer {
public:
    explicit ToolServer(const std::string& script, std::vector<std::string> args = {}) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        args.insert(args.begin(), {QUILLORY_PYTHON, std::string(QUILLORY_SOURCE_DIR) + "/tests/tools/" + script});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if ((m_pid = ::fork()) == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execv(QUILLORY_PYTHON, argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_stdin = in[1];
        FILE* f = ::fdopen(out[0], "r");
        if (f && std::fscanf(f, "PORT %d", &m_port) != 1) m_port = 0;
        if (f) std::fclose(f);
    }
    ~ToolServer() {
        ::close(m_stdin);
        if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
    }
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_port = 0;
};

} // namespace testutil
