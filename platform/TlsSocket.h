#pragma once
// TLS (OpenSSL) over a connected Socket. The result is a Socket again, so the
// SMTP session reads and writes the same way whether or not the bytes are
// encrypted; waits and stop requests pass through to the socket underneath.
#include <memory>
#include <string>

#include "platform/Socket.h"

namespace platform {

struct TlsOptions {
    // PEM file of the authorities to trust instead of the system's store.
    // Only tests set it: they bring their own authority.
    std::string strCaFile;
};

enum class TlsFailure {
    None,
    Verification,  // the certificate or its name was not accepted
    TimedOut,  // the server fell silent during the handshake
    Stopped,  // a stop was requested
    Handshake,  // anything else: protocol error, closed connection, no common version
};

struct TlsOutcome {
    TlsFailure failure = TlsFailure::None;
    // On success the protocol and cipher ("TLSv1.3, TLS_AES_256_GCM_SHA384"),
    // otherwise the reason.
    std::string text;
};

// Runs the client handshake over sock: TLS 1.2 at the least, the server's
// chain verified against the trusted authorities and its name checked against
// host (sent as SNI unless it is an address). waitMs is the longest the whole
// handshake may take, as for every reply. Returns the encrypted socket, or null with
// the reason in outcome; sock is closed then.
std::unique_ptr<Socket> StartTls(std::unique_ptr<Socket> sock, const std::string& host, int waitMs,
                                 const TlsOptions& options, TlsOutcome& outcome);

} // namespace platform
