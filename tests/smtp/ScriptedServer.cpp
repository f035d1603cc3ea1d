#include "smtp/ScriptedServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testutil {
namespace {

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[++i];
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool SendAll(int fd, const std::string& s) {
    std::size_t off = 0;
    while (off < s.size()) {
        ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

// Waits for data; false after 10 s so that a broken test cannot hang.
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 10000) > 0;
}

} // namespace

ScriptedServer::ScriptedServer(std::string script, int receiveBuffer) : m_script(std::move(script)) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (receiveBuffer > 0) ::setsockopt(m_listen, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 1) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("scripted server cannot listen");
    m_port = ntohs(a.sin_port);
    m_thread = std::thread(&ScriptedServer::Serve, this);
}

ScriptedServer::~ScriptedServer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    ::close(m_listen);
}

std::string ScriptedServer::Finish() {
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> g(m_lock);
    return m_errors;
}

std::string ScriptedServer::Data() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_data;
}

void ScriptedServer::Fail(const std::string& why) {
    std::lock_guard<std::mutex> g(m_lock);
    m_errors += why + "\n";
}

bool ScriptedServer::ReadLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (Readable(fd) && ::recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (c == '\n') return true;
    }
    return false;
}

void ScriptedServer::Serve() {
    auto accept = [this] {
        int fd = -1;
        auto start = std::chrono::steady_clock::now();
        while (fd < 0 && !m_stop && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        }
        return fd;
    };
    int fd = accept();
    if (fd < 0) return;  // nobody came: the test says whether someone should have

    std::istringstream steps(m_script);
    std::string step;
    bool closed = false;  // by K: or E:; only N: goes on
    while (std::getline(steps, step)) {
        if (step.empty()) continue;
        std::string op = step.substr(0, 2), arg = step.size() > 3 ? step.substr(3) : "";
        if (closed && op != "N:") break;
        if (op == "N:") {
            ::close(fd);
            if ((fd = accept()) < 0) return Fail("the client did not come back");
            closed = false;
        } else if (op == "S:" || op == "R:") {
            if (!SendAll(fd, op == "S:" ? arg + "\r\n" : Unescape(arg))) break;
        } else if (op == "C:") {
            std::string line;
            if (!ReadLine(fd, line)) {
                Fail("client closed or went silent; expected: " + arg);
                break;
            }
            if (arg != "*" && line != arg + "\r\n") {
                Fail("expected: " + arg + "\n     got: " + line);
                break;
            }
        } else if (op == "D:") {
            std::string data;
            char buf[65536];
            while (data.size() < 5 || data.compare(data.size() - 5, 5, "\r\n.\r\n") != 0) {
                if (!Readable(fd)) break;
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                data.append(buf, static_cast<std::size_t>(n));
            }
            std::lock_guard<std::mutex> g(m_lock);
            m_data += data;
        } else if (op == "P:") {
            // Ends early once the client has hung up or the test is over: a
            // pause only matters to a client still waiting.
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::stoi(arg));
            pollfd p{fd, POLLRDHUP, 0};
            while (!m_stop && std::chrono::steady_clock::now() < until && ::poll(&p, 1, 10) == 0) {
            }
        } else if (op == "K:" || op == "E:") {
            std::size_t want = op == "K:" ? std::stoul(arg) : SIZE_MAX, got = 0;
            char buf[65536];
            while (got < want && Readable(fd)) {
                ssize_t n = ::recv(fd, buf, std::min(sizeof buf, want - got), 0);
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            ::shutdown(fd, SHUT_RDWR);
            closed = true;
        } else {
            Fail("bad script step: " + step);
            break;
        }
    }
    ::close(fd);
}

} // namespace testutil
