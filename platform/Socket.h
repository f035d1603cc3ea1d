#pragma once
// Stream sockets for the SMTP client, with readiness waits that a stop request
// cuts short. Tests use the real implementation against servers on 127.0.0.1.
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// A stop request shared by the thread that asks and the worker that waits.
// Every socket wait also watches it, so a request wakes the worker at once.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Request();  // safe from any thread, repeatable
    bool IsRequested() const;
    int WaitHandle() const { return m_fd; }  // readable once requested

private:
    std::atomic<bool> m_bRequested{false};
    int m_fd;
};

enum class WaitResult { Ready, TimedOut, Stopped, Failed };

class Socket {
public:
    virtual ~Socket() = default;
    // Waits up to waitMs for the socket to accept data / to have data (or an end).
    virtual WaitResult WaitWritable(int waitMs) = 0;
    virtual WaitResult WaitReadable(int waitMs) = 0;
    // One send call: bytes taken (at least 1), kWouldBlock when none could be
    // taken now, or -1 when it failed.
    virtual long Send(const void* data, std::size_t n) = 0;
    // One receive call: bytes read, 0 when the peer closed, kWouldBlock when
    // nothing has arrived yet, -1 on an error.
    virtual long Receive(void* buf, std::size_t n) = 0;

    // Lets a layer on top (TLS) tell "not now" from a broken connection.
    static constexpr long kWouldBlock = -2;

    // The local end of the connection as an address literal for EHLO:
    // "[192.0.2.10]" or "[IPv6:2001:db8::1]"; empty when unknown.
    virtual std::string LocalAddressLiteral() const = 0;
};

// Why a connection did not come up.
struct ConnectError {
    enum class Kind { None, HostNotFound, Refused, TimedOut, Stopped, Other } kind = Kind::None;
    std::string text;  // the resolver's or the system's words
};

class Network {
public:
    virtual ~Network() = default;
    // Connects to host:port. A dotted IPv4 address is used as it is; a name is
    // resolved, its first IPv4 address taken, or its first IPv6 address when it
    // has none. The connect itself waits at most waitMs and watches stop.
    // Null on failure, with the reason in err.
    virtual std::unique_ptr<Socket> Connect(const std::string& host, int port, int waitMs, const StopSignal* stop,
                                            ConnectError& err) = 0;
};

Network& RealNetwork();


} // namespace platform
