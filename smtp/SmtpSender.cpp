#include "smtp/SmtpSender.h"

#include <cstdlib>
#include <cstring>

#include "core/AddressList.h"
#include "core/Base64.h"
#include "platform/TlsSocket.h"

namespace {

const char kTimeOut[] = "Time out.";

// "250-..." and the like: more lines of the same reply follow.
bool IsContinuation(const char* line, long len) {
    return len >= 4 && line[0] >= '0' && line[0] <= '9' && line[1] >= '0' && line[1] <= '9' && line[2] >= '0' &&
           line[2] <= '9' && line[3] == '-';
}

std::string Base64Line(const std::string& text) {
    std::string out((text.size() + 2) / 3 * 4, '\0');
    std::size_t n = Base64Encode(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data());
    out.resize(n);
    return out + "\r\n";
}

// The keyword part of an EHLO reply line ("250-AUTH LOGIN PLAIN"), upper-cased.
std::string Capability(const std::string& line) {
    std::string cap = line.size() > 4 ? line.substr(4) : "";
    for (char& c : cap) c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    while (!cap.empty() && (cap.back() == ' ' || cap.back() == '\t')) cap.pop_back();
    return cap;
}

bool Offers(const std::vector<std::string>& reply, const std::string& keyword) {
    for (const std::string& line : reply)
        if (Capability(line) == keyword) return true;
    return false;
}

// Whether the reply lists AUTH mechanisms with PLAIN but without LOGIN. Both
// spellings count: "AUTH LOGIN PLAIN" and the older "AUTH=LOGIN PLAIN".
bool OffersPlainOnly(const std::vector<std::string>& reply) {
    bool plain = false, login = false;
    for (const std::string& line : reply) {
        std::string cap = Capability(line);
        if (cap.size() < 5 || cap.compare(0, 4, "AUTH") != 0 || (cap[4] != ' ' && cap[4] != '=')) continue;
        std::size_t p = 5;
        while (p < cap.size()) {
            std::size_t end = cap.find(' ', p);
            if (end == std::string::npos) end = cap.size();
            std::string mech = cap.substr(p, end - p);
            plain = plain || mech == "PLAIN";
            login = login || mech == "LOGIN";
            p = end + 1;
        }
    }
    return plain && !login;
}

} // namespace

CSmtpSender::CSmtpSender(const platform::Platform& env) : m_env(env) {}

int CSmtpSender::SendThreadProc(std::unique_ptr<SendJob> pJob, platform::Platform env) {
    CSmtpSender sender(env);
    sender.Run(*pJob);
    pJob.reset();  // the job ends with the delivery, after its completion notice
    return 0;
}

bool CSmtpSender::Stopped() const { return m_pJob && m_pJob->m_pStop && m_pJob->m_pStop->IsRequested(); }

void CSmtpSender::PostLogLine(LogDirection dir, const std::string& strText) {
    // After a stop nobody may act on this delivery's notices any more.
    if (!m_pJob || !m_pJob->m_pNotify || Stopped()) return;
    m_pJob->m_pNotify->OnSendLog(m_pJob->m_nSendId, dir, (dir == LogDirection::Outgoing ? ">>> " : "<<< ") + strText);
}

void CSmtpSender::PostDone(bool bSuccess) {
    if (!m_pJob || !m_pJob->m_pNotify || Stopped()) return;
    m_pJob->m_pNotify->OnSendDone(m_pJob->m_nSendId, bSuccess);
}

void CSmtpSender::Run(const SendJob& job) {
    m_pJob = &job;
    PostLogLine(LogDirection::Outgoing, "Initiating...");
    bool bSuccess = CheckJob(job) && Deliver(job);  // Deliver closes its socket
    PostDone(bSuccess);
    m_pJob = nullptr;
}

bool CSmtpSender::CheckJob(const SendJob& job) {
    bool ok = !job.m_listRecipients.empty() && !job.m_strServer.empty() && !job.m_strFrom.empty() &&
              (!job.m_bAuth || !job.m_strUser.empty()) && !job.m_strMessageFile.empty() && job.m_pNotify &&
              SecurityName(job.m_nSecurity) != nullptr;
    // Front ends refuse such addresses with a message of their own; this is the
    // last line of defence against commands smuggled into the envelope.
    std::string reason;
    ok = ok && CheckEnvelopeAddress(job.m_strFrom, reason);
    for (const std::string& r : job.m_listRecipients) ok = ok && CheckEnvelopeAddress(r, reason);
    if (!ok) PostLogLine(LogDirection::Outgoing, "Parameters error. Please check SMTP settings.");
    return ok;
}

bool CSmtpSender::Deliver(const SendJob& job) {
    PostLogLine(LogDirection::Outgoing, "Connecting to " + job.m_strServer + ":" + std::to_string(job.m_nPort) + "...");
    std::unique_ptr<platform::Socket> sock = Connect(job.m_strServer, job.m_nPort);
    if (!sock) {
        PostLogLine(LogDirection::Outgoing, "Failure");
        return false;
    }
    PostLogLine(LogDirection::Outgoing, "OK");
    const int wait = job.m_nWaitMs;

    if (job.m_nSecurity == kSecurityTls && !SecureConnection(sock, job)) return false;
    if (ReceiveReply(*sock, kLongReplyBuffer, wait) != 220) return false;
    // Never on in plain text once encryption was asked for.
    if (job.m_nSecurity == kSecurityStartTls && !UpgradeToTls(sock, job)) return false;
    if (!Greet(*sock, job)) return false;

    if (!SendCommand(*sock, "MAIL FROM: <" + job.m_strFrom + ">\r\n", 250, wait)) return false;

    int accepted = 0;
    for (const std::string& rcpt : job.m_listRecipients) {
        int code = SendCommandMultiline(*sock, "RCPT TO: <" + rcpt + ">\r\n", kLongReplyBuffer, wait);
        if (code < 0) return false;
        if (code == 250 || code == 251) ++accepted;
    }
    if (accepted == 0) {
        PostLogLine(LogDirection::Incoming, "SMTP Server doesn't relay emails.");
        return false;
    }

    if (!SendCommand(*sock, "DATA\r\n", 354, wait)) return false;
    PostLogLine(LogDirection::Outgoing, "Sending message body...");
    if (!SendMessageFile(*sock, job.m_strMessageFile, wait)) return false;
    PostLogLine(LogDirection::Outgoing, "Done");
    if (!SendCommand(*sock, "\r\n.\r\n", 250, job.m_nEndOfDataWaitMs)) return false;

    // The message is accepted; whatever QUIT gets cannot undo that.
    SendCommand(*sock, "QUIT\r\n", 221, wait);
    return true;
}

// HELO, or EHLO and the login. After STARTTLS the server has forgotten the
// first EHLO, so EHLO comes again even without a login.
bool CSmtpSender::Greet(platform::Socket& sock, const SendJob& job) {
    if (!job.m_bAuth && job.m_nSecurity != kSecurityStartTls) return SendCommand(sock, "HELO host\r\n", 250, job.m_nWaitMs);
    if (!SendCommand(sock, "EHLO host\r\n", 250, job.m_nWaitMs)) return false;
    return !job.m_bAuth || Authenticate(sock, job);
}

// Follows the EHLO, whose reply is still in m_listReplyLines.
bool CSmtpSender::Authenticate(platform::Socket& sock, const SendJob& job) {
    const int wait = job.m_nWaitMs;
    // Inside TLS a server without LOGIN gets PLAIN; in plain text the login
    // stays exactly what it always was.
    if (job.m_nSecurity != kSecurityNone && OffersPlainOnly(m_listReplyLines)) {
        std::string credentials = std::string(1, '\0') + job.m_strUser + '\0' + job.m_strPassword;
        return SendCommandMultiline(sock, "AUTH PLAIN " + Base64Line(credentials), kReplyBuffer, wait,
                                    "AUTH PLAIN ********\r\n") == 235;
    }
    if (!SendCommand(sock, "AUTH LOGIN\r\n", 334, wait)) return false;
    if (!SendCommand(sock, Base64Line(job.m_strUser), 334, wait)) return false;
    // The log is what users paste into support requests; base64 hides nothing.
    return SendCommandMultiline(sock, Base64Line(job.m_strPassword), kReplyBuffer, wait, "********\r\n") == 235;
}

bool CSmtpSender::UpgradeToTls(std::unique_ptr<platform::Socket>& sock, const SendJob& job) {
    if (!SendCommand(*sock, "EHLO host\r\n", 250, job.m_nWaitMs)) return false;
    if (!Offers(m_listReplyLines, "STARTTLS")) {
        PostLogLine(LogDirection::Incoming, "Server does not offer STARTTLS.");
        return false;
    }
    if (!SendCommand(*sock, "STARTTLS\r\n", 220, job.m_nWaitMs)) return false;
    return SecureConnection(sock, job);
}

bool CSmtpSender::SecureConnection(std::unique_ptr<platform::Socket>& sock, const SendJob& job) {
    platform::TlsOptions options;
    options.strCaFile = job.m_strCaFile;
    platform::TlsOutcome outcome;
    sock = platform::StartTls(std::move(sock), job.m_strServer, job.m_nWaitMs, options, outcome);
    switch (outcome.failure) {
    case platform::TlsFailure::None:
        PostLogLine(LogDirection::Outgoing, "TLS handshake OK: " + outcome.text);
        return true;
    case platform::TlsFailure::Verification:
        PostLogLine(LogDirection::Outgoing, "Certificate verification failed: " + outcome.text + ".");
        return false;
    case platform::TlsFailure::TimedOut:
        PostLogLine(LogDirection::Incoming, kTimeOut);  // a silent server, as at any other step
        return false;
    case platform::TlsFailure::Stopped:
        return false;
    case platform::TlsFailure::Handshake:
        break;
    }
    PostLogLine(LogDirection::Outgoing, "TLS handshake failed: " + outcome.text + ".");
    return false;
}

std::unique_ptr<platform::Socket> CSmtpSender::Connect(const std::string& strHost, int nPort) {
    std::string err;
    return m_env.net->Connect(strHost, nPort, m_pJob->m_nWaitMs, m_pJob->m_pStop.get(), err);
}

long CSmtpSender::SendBytes(platform::Socket& sock, const char* data, std::size_t len, int waitMs) {
    std::size_t sent = 0;
    while (sent < len) {
        if (sock.WaitWritable(waitMs) != platform::WaitResult::Ready) break;
        std::size_t n = len - sent < kMaxSendChunk ? len - sent : kMaxSendChunk;
        long r = sock.Send(data + sent, n);
        if (r < 0) return -1;
        sent += static_cast<std::size_t>(r);
    }
    return static_cast<long>(sent);
}

long CSmtpSender::ReceiveLine(platform::Socket& sock, char* buf, std::size_t capacity, int waitMs,
                              bool& bWholeLine) {
    buf[0] = '\0';
    bWholeLine = false;
    std::size_t len = 0;
    // One byte per call: never read past the line, so nothing is held back
    // between replies.
    while (len + 1 < capacity) {
        if (sock.WaitReadable(waitMs) != platform::WaitResult::Ready) return -1;
        char c;
        if (sock.Receive(&c, 1) != 1) return -1;
        buf[len++] = c;
        if (c == '\n') {
            --len;
            if (len > 0 && buf[len - 1] == '\r') --len;
            bWholeLine = true;
            break;
        }
    }
    buf[len] = '\0';
    return static_cast<long>(len);
}

int CSmtpSender::ReceiveReply(platform::Socket& sock, std::size_t capacity, int waitMs) {
    std::unique_ptr<char[]> buf(new char[capacity]);
    m_listReplyLines.clear();
    bool bLineStart = true;
    bool bMore = false;
    int code = 0;
    for (;;) {
        bool bWhole = false;
        long n = ReceiveLine(sock, buf.get(), capacity, waitMs, bWhole);
        if (n < 0) {
            PostLogLine(LogDirection::Incoming, kTimeOut);
            return -1;
        }
        m_listReplyLines.emplace_back(buf.get(), static_cast<std::size_t>(n));
        PostLogLine(LogDirection::Incoming, m_listReplyLines.back());
        // The rest of an over-long line is logged but judged by its start.
        if (bLineStart) {
            code = std::atoi(buf.get());
            bMore = IsContinuation(buf.get(), n);
        }
        bLineStart = bWhole;
        if (bWhole && !bMore) return code;
    }
}

int CSmtpSender::SendCommandMultiline(platform::Socket& sock, const std::string& strCommand, std::size_t capacity,
                                      int waitMs, const char* pszLogAs) {
    PostLogLine(LogDirection::Outgoing, pszLogAs ? pszLogAs : strCommand);
    if (SendBytes(sock, strCommand.data(), strCommand.size(), waitMs) != static_cast<long>(strCommand.size())) {
        PostLogLine(LogDirection::Outgoing, kTimeOut);
        return -1;
    }
    return ReceiveReply(sock, capacity, waitMs);
}

bool CSmtpSender::SendCommand(platform::Socket& sock, const std::string& strCommand, int nExpected, int waitMs) {
    return SendCommandMultiline(sock, strCommand, kReplyBuffer, waitMs) == nExpected;
}

bool CSmtpSender::SendMessageFile(platform::Socket& sock, const std::string& strPath, int waitMs) {
    std::string err;
    std::unique_ptr<platform::InputFile> file = m_env.files->OpenRead(strPath, err);
    if (!file) {
        PostLogLine(LogDirection::Outgoing, "Failed to open file " + strPath + ".");
        return false;
    }
    // Dot-stuffing: a line that starts with '.' gets one more in front, or a
    // lone "." would end the data early. Lines end with CR LF, which may fall
    // across the edge of two reads, so the state carries over.
    enum { kLineStart, kInLine, kAfterCr } state = kLineStart;
    std::unique_ptr<char[]> inBuf(new char[kFileReadSize]);
    std::unique_ptr<char[]> outBuf(new char[2 * kFileReadSize]);  // every byte may be a stuffed '.'
    char* in = inBuf.get();
    char* out = outBuf.get();
    for (;;) {
        std::size_t got = 0;
        if (!file->Read(in, kFileReadSize, got, err)) {
            // Ending the data here would deliver half a message as a whole one.
            PostLogLine(LogDirection::Outgoing, "Failed to read file " + strPath + ".");
            return false;
        }
        if (got == 0) break;
        // Line by line: copy up to each LF, then judge whether it ended a line.
        std::size_t n = 0;
        for (std::size_t i = 0; i < got;) {
            if (state == kLineStart && in[i] == '.') out[n++] = '.';
            const char* lf = static_cast<const char*>(std::memchr(in + i, '\n', got - i));
            std::size_t end = lf ? static_cast<std::size_t>(lf - in) + 1 : got;
            std::memcpy(out + n, in + i, end - i);
            n += end - i;
            if (!lf) state = in[got - 1] == '\r' ? kAfterCr : kInLine;
            else if (end - i >= 2) state = in[end - 2] == '\r' ? kLineStart : kInLine;
            else state = state == kAfterCr ? kLineStart : kInLine;  // the CR ended the previous read
            i = end;
        }
        if (SendBytes(sock, out, n, waitMs) != static_cast<long>(n)) {
            PostLogLine(LogDirection::Outgoing, kTimeOut);
            return false;
        }
    }
    return true;
}
