#include "platform/TlsSocket.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace platform {

namespace {

// OpenSSL reads and writes through the Socket interface rather than the raw
// descriptor: its sends carry MSG_NOSIGNAL, so a server that hangs up is an
// error result and not SIGPIPE, and waits keep watching the stop request.
int BioWrite(BIO* b, const char* data, std::size_t n, std::size_t* done) {
    auto* sock = static_cast<Socket*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    long r = sock->Send(data, n);
    if (r > 0) {
        *done = static_cast<std::size_t>(r);
        return 1;
    }
    if (r == Socket::kWouldBlock) BIO_set_retry_write(b);
    return 0;
}

int BioRead(BIO* b, char* buf, std::size_t n, std::size_t* got) {
    auto* sock = static_cast<Socket*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    long r = sock->Receive(buf, n);
    if (r > 0) {
        *got = static_cast<std::size_t>(r);
        return 1;
    }
    if (r == Socket::kWouldBlock) BIO_set_retry_read(b);
    return 0;  // 0 without retry: the connection ended or broke
}

long BioCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

BIO_METHOD* SocketBioMethod() {
    // Made once and kept for the life of the process.
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quillory socket");
        BIO_meth_set_write_ex(m, BioWrite);
        BIO_meth_set_read_ex(m, BioRead);
        BIO_meth_set_ctrl(m, BioCtrl);
        BIO_meth_set_create(m, BioCreate);
        return m;
    }();
    return method;
}

using Clock = std::chrono::steady_clock;

// Waits for what OpenSSL needs before it can go on, at most until the
// deadline: a record or a handshake that comes a byte at a time gets no more
// time than one that comes at once.
WaitResult WaitForWant(Socket& sock, int sslError, Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    int waitMs = left > 0 ? static_cast<int>(left) : 0;
    if (sslError == SSL_ERROR_WANT_READ) return sock.WaitReadable(waitMs);
    if (sslError == SSL_ERROR_WANT_WRITE) return sock.WaitWritable(waitMs);
    return WaitResult::Failed;
}

Clock::time_point Deadline(int waitMs) { return Clock::now() + std::chrono::milliseconds(waitMs); }

std::string LastErrorText(const char* fallback) {
    unsigned long e = ERR_peek_last_error();
    const char* reason = e ? ERR_reason_error_string(e) : nullptr;
    ERR_clear_error();
    return reason ? reason : fallback;
}

class TlsSocket : public Socket {
public:
    TlsSocket(std::unique_ptr<Socket> inner, SSL* ssl) : m_inner(std::move(inner)), m_ssl(ssl) {}
    ~TlsSocket() override {
        // One close_notify if the session is up and sound; never waits for it.
        if (SSL_is_init_finished(m_ssl) && !m_bEnded) {
            ERR_clear_error();
            SSL_shutdown(m_ssl);
        }
        SSL_free(m_ssl);
        ERR_clear_error();
    }

    Socket& Inner() { return *m_inner; }

    std::string LocalAddressLiteral() const override { return m_inner->LocalAddressLiteral(); }

    WaitResult WaitWritable(int waitMs) override {
        m_nWaitMs = waitMs;
        return m_inner->WaitWritable(waitMs);
    }

    // Ready once decrypted bytes are at hand or the session has ended.
    WaitResult WaitReadable(int waitMs) override {
        const Clock::time_point deadline = Deadline(waitMs);
        while (m_nPos == m_nLen && !m_bEnded) {
            int e = Fill();
            if (e == SSL_ERROR_NONE) break;
            WaitResult w = WaitForWant(*m_inner, e, deadline);
            if (w != WaitResult::Ready) return w;
        }
        return WaitResult::Ready;
    }

    // A record the socket takes only in part is finished here: OpenSSL wants
    // the same call repeated; the wait of the last WaitWritable covers the whole call.
    long Send(const void* data, std::size_t n) override {
        if (m_bEnded) return -1;
        const Clock::time_point deadline = Deadline(m_nWaitMs);
        for (;;) {
            ERR_clear_error();
            std::size_t done = 0;
            int r = SSL_write_ex(m_ssl, data, n, &done);
            if (r == 1) return static_cast<long>(done);
            int e = SSL_get_error(m_ssl, r);
            if (WaitForWant(*m_inner, e, deadline) != WaitResult::Ready) {
                m_bEnded = true;
                return -1;
            }
        }
    }

    long Receive(void* buf, std::size_t n) override {
        if (m_nPos == m_nLen && !m_bEnded) {
            int e = Fill();
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return kWouldBlock;
        }
        if (m_nPos == m_nLen) return m_bFailed ? -1 : 0;
        std::size_t take = n < m_nLen - m_nPos ? n : m_nLen - m_nPos;
        std::memcpy(buf, m_buf + m_nPos, take);
        m_nPos += take;
        return static_cast<long>(take);
    }

private:
    // Decrypts what has arrived into m_buf. SSL_ERROR_NONE when bytes came or
    // the session ended (m_bEnded), else what OpenSSL waits for.
    int Fill() {
        ERR_clear_error();
        std::size_t got = 0;
        int r = SSL_read_ex(m_ssl, m_buf, sizeof m_buf, &got);
        if (r == 1) {
            m_nPos = 0;
            m_nLen = got;
            return SSL_ERROR_NONE;
        }
        int e = SSL_get_error(m_ssl, r);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return e;
        m_bEnded = true;
        m_bFailed = e != SSL_ERROR_ZERO_RETURN;  // a close_notify is an orderly end
        ERR_clear_error();
        return SSL_ERROR_NONE;
    }

    std::unique_ptr<Socket> m_inner;  // outlives m_ssl, whose BIO points at it
    SSL* m_ssl;
    char m_buf[16 * 1024];  // one record's plain text at most
    std::size_t m_nPos = 0, m_nLen = 0;
    bool m_bEnded = false, m_bFailed = false;
    int m_nWaitMs = 60 * 1000;
};

bool IsAddress(const std::string& host) {
    unsigned char addr[16];
    return ::inet_pton(AF_INET, host.c_str(), addr) == 1 || ::inet_pton(AF_INET6, host.c_str(), addr) == 1;
}

// The client context: TLS 1.2 or later, and a certificate must check out.
SSL_CTX* MakeContext(const TlsOptions& options, std::string& err) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        err = LastErrorText("cannot create a TLS context");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    bool trusted = options.strCaFile.empty() ? SSL_CTX_set_default_verify_paths(ctx) == 1
                                             : SSL_CTX_load_verify_file(ctx, options.strCaFile.c_str()) == 1;
    if (!trusted) {
        err = "cannot load the trusted certificates: " + LastErrorText("unknown reason");
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

} // namespace

std::unique_ptr<Socket> StartTls(std::unique_ptr<Socket> sock, const std::string& host, int waitMs,
                                 const TlsOptions& options, TlsOutcome& outcome) {
    outcome = TlsOutcome();
    outcome.failure = TlsFailure::Handshake;
    SSL_CTX* ctx = MakeContext(options, outcome.text);
    if (!ctx) return nullptr;
    SSL* ssl = SSL_new(ctx);
    SSL_CTX_free(ctx);  // the session holds its own reference
    BIO* bio = ssl ? BIO_new(SocketBioMethod()) : nullptr;
    if (!bio) {
        SSL_free(ssl);
        outcome.text = LastErrorText("cannot create a TLS session");
        return nullptr;
    }
    BIO_set_data(bio, sock.get());
    SSL_set_bio(ssl, bio, bio);
    auto tls = std::make_unique<TlsSocket>(std::move(sock), ssl);  // frees ssl and the socket on every path

    // Name checks: an address must be in the certificate's IP entries; a name
    // goes out as SNI and must match a DNS entry, with whole-label wildcards only.
    bool named = IsAddress(host) ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1
                                 : SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 &&
                                       SSL_set1_host(ssl, host.c_str()) == 1;
    if (!named) {
        outcome.text = "cannot check the name " + host + ": " + LastErrorText("unknown reason");
        return nullptr;
    }
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);

    const Clock::time_point deadline = Deadline(waitMs);
    for (;;) {
        ERR_clear_error();
        int r = SSL_connect(ssl);
        if (r == 1) break;
        int e = SSL_get_error(ssl, r);
        long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK) {
            outcome.failure = TlsFailure::Verification;
            outcome.text = X509_verify_cert_error_string(verify);
            ERR_clear_error();
            return nullptr;
        }
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
            outcome.text = LastErrorText("the server closed the connection");
            return nullptr;
        }
        WaitResult w = WaitForWant(tls->Inner(), e, deadline);
        if (w != WaitResult::Ready) {
            outcome.failure = w == WaitResult::TimedOut  ? TlsFailure::TimedOut
                              : w == WaitResult::Stopped ? TlsFailure::Stopped
                                                         : TlsFailure::Handshake;
            outcome.text = w == WaitResult::TimedOut ? "no reply within the wait" : "the wait ended";
            return nullptr;
        }
    }
    outcome.failure = TlsFailure::None;
    outcome.text = std::string(SSL_get_version(ssl)) + ", " + SSL_get_cipher_name(ssl);
    return tls;
}

} // namespace platform
