#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

StopSignal::StopSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
    if (m_fd >= 0) ::close(m_fd);
}

void StopSignal::Request() {
    m_bRequested = true;
    std::uint64_t one = 1;
    // The counter only has to become non-zero; a full counter is already set.
    ssize_t r = ::write(m_fd, &one, sizeof one);
    (void)r;
}

bool StopSignal::IsRequested() const { return m_bRequested; }

namespace {

// poll() rather than select(): descriptors above 1023 are fine.
WaitResult WaitFor(int fd, short events, int waitMs, const StopSignal* stop) {
    pollfd p[2] = {{fd, events, 0}, {stop ? stop->WaitHandle() : -1, POLLIN, 0}};
    for (;;) {
        int r = ::poll(p, stop ? 2 : 1, waitMs);
        if (r < 0 && errno == EINTR) continue;  // a signal is not the end of the wait
        if (r < 0) return WaitResult::Failed;
        if (stop && p[1].revents) return WaitResult::Stopped;
        if (r == 0) return WaitResult::TimedOut;
        // Errors and hang-ups count as ready: the following call reports them.
        return WaitResult::Ready;
    }
}

class PosixSocket : public Socket {
public:
    PosixSocket(int fd, const StopSignal* stop) : m_fd(fd), m_pStop(stop) {}
    ~PosixSocket() override { ::close(m_fd); }
    WaitResult WaitWritable(int waitMs) override { return WaitFor(m_fd, POLLOUT, waitMs, m_pStop); }
    WaitResult WaitReadable(int waitMs) override { return WaitFor(m_fd, POLLIN, waitMs, m_pStop); }
    long Send(const void* data, std::size_t n) override {
        for (;;) {
            // MSG_NOSIGNAL: a peer that went away is an error result, not SIGPIPE.
            ssize_t r = ::send(m_fd, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
            return r <= 0 ? -1 : static_cast<long>(r);
        }
    }
    long Receive(void* buf, std::size_t n) override {
        for (;;) {
            ssize_t r = ::recv(m_fd, buf, n, MSG_DONTWAIT);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
            return r < 0 ? -1 : static_cast<long>(r);
        }
    }

    std::string LocalAddressLiteral() const override {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return {};
        char text[INET6_ADDRSTRLEN] = {};
        if (addr.ss_family == AF_INET) {
            ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&addr)->sin_addr, text, sizeof text);
            return std::string("[") + text + "]";
        }
        if (addr.ss_family == AF_INET6) {
            ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr, text, sizeof text);
            return std::string("[IPv6:") + text + "]";
        }
        return {};
    }

private:
    int m_fd;
    const StopSignal* m_pStop;
};

bool Resolve(const std::string& host, int port, sockaddr_storage& addr, socklen_t& len, ConnectError& err) {
    std::memset(&addr, 0, sizeof addr);
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        auto* sin = reinterpret_cast<sockaddr_in*>(&addr);
        sin->sin_family = AF_INET;
        sin->sin_addr = v4;
        sin->sin_port = htons(static_cast<std::uint16_t>(port));
        len = sizeof *sin;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        err.kind = rc == EAI_SYSTEM ? ConnectError::Kind::Other : ConnectError::Kind::HostNotFound;
        err.text = rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc);
        return false;
    }
    const addrinfo* pick = nullptr;
    for (const addrinfo* a = list; a && !pick; a = a->ai_next)
        if (a->ai_family == AF_INET) pick = a;
    for (const addrinfo* a = list; a && !pick; a = a->ai_next)
        if (a->ai_family == AF_INET6) pick = a;
    if (!pick) {
        ::freeaddrinfo(list);
        err = {ConnectError::Kind::HostNotFound, "no IPv4 or IPv6 address"};
        return false;
    }
    std::memcpy(&addr, pick->ai_addr, pick->ai_addrlen);
    len = pick->ai_addrlen;
    ::freeaddrinfo(list);
    std::uint16_t nport = htons(static_cast<std::uint16_t>(port));
    if (addr.ss_family == AF_INET) reinterpret_cast<sockaddr_in*>(&addr)->sin_port = nport;
    else reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port = nport;
    return true;
}

class PosixNetwork : public Network {
public:
    std::unique_ptr<Socket> Connect(const std::string& host, int port, int waitMs, const StopSignal* stop,
                                    ConnectError& err) override {
        if (host.empty()) {
            err = {ConnectError::Kind::HostNotFound, "no host"};
            return nullptr;
        }
        if (port < 1 || port > 65535) {
            err = {ConnectError::Kind::Other, "port out of range"};
            return nullptr;
        }
        sockaddr_storage addr;
        socklen_t len = 0;
        if (!Resolve(host, port, addr, len, err)) return nullptr;
        int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            err = {ConnectError::Kind::Other, std::strerror(errno)};
            return nullptr;
        }
        auto sock = std::make_unique<PosixSocket>(fd, stop);
        // Commands go out whole in one call; waiting to merge them with the next
        // one only adds a delayed-acknowledgement pause to every exchange.
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) return sock;
        if (errno != EINPROGRESS) {
            err = {errno == ECONNREFUSED ? ConnectError::Kind::Refused : ConnectError::Kind::Other, std::strerror(errno)};
            return nullptr;
        }
        WaitResult w = sock->WaitWritable(waitMs);
        if (w != WaitResult::Ready) {
            if (w == WaitResult::TimedOut) err = {ConnectError::Kind::TimedOut, "connection timed out"};
            else if (w == WaitResult::Stopped) err = {ConnectError::Kind::Stopped, "stopped"};
            else err = {ConnectError::Kind::Other, "wait failed"};
            return nullptr;
        }
        int soerr = 0;
        socklen_t sl = sizeof soerr;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &sl) != 0) soerr = errno;
        if (soerr != 0) {
            err = {soerr == ECONNREFUSED ? ConnectError::Kind::Refused : ConnectError::Kind::Other, std::strerror(soerr)};
            return nullptr;
        }
        return sock;
    }
};

} // namespace

Network& RealNetwork() {
    static PosixNetwork n;
    return n;
}

} // namespace platform
