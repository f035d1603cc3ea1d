#include "smtp/SmtpSender.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/AddressList.h"
#include "core/Ascii.h"
#include "core/Base64.h"
#include "platform/Process.h"
#include "platform/TlsSocket.h"
#include "smtp/DotStuffing.h"

namespace {

const char kTimeOut[] = "Time out.";
const char kClosed[] = "Connection closed by the server.";

// "250-..." and the like: more lines of the same reply follow.
bool IsContinuation(const std::string& line) {
    return line.size() >= 4 && line[0] >= '0' && line[0] <= '9' && line[1] >= '0' && line[1] <= '9' &&
           line[2] >= '0' && line[2] <= '9' && line[3] == '-';
}

std::string Base64Line(const std::string& text) {
    std::string out((text.size() + 2) / 3 * 4, '\0');
    std::size_t n = Base64Encode(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data());
    out.resize(n);
    return out + "\r\n";
}

// The keyword part of an EHLO reply line ("250-AUTH LOGIN PLAIN"), upper-cased.
std::string Capability(const std::string& line) {
    return ascii::ToUpper(ascii::Trim(line.size() > 4 ? std::string_view(line).substr(4) : std::string_view()));
}

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

bool OffersExtension(const std::vector<std::string>& reply, const std::string& keyword) {
    for (const std::string& line : reply)
        if (Capability(line) == keyword) return true;
    return false;
}

// Both spellings count: "AUTH LOGIN PLAIN" and the older "AUTH=LOGIN PLAIN".
bool OffersAuthMechanism(const std::vector<std::string>& reply, const std::string& mechanism) {
    for (const std::string& line : reply) {
        std::string cap = Capability(line);
        if (cap.size() < 5 || cap.compare(0, 4, "AUTH") != 0 || (cap[4] != ' ' && cap[4] != '=')) continue;
        for (std::size_t p = 5; p < cap.size();) {
            std::size_t end = cap.find(' ', p);
            if (end == std::string::npos) end = cap.size();
            if (cap.compare(p, end - p, mechanism) == 0 && end - p == mechanism.size()) return true;
            p = end + 1;
        }
    }
    return false;
}

CSmtpSender::CSmtpSender(const platform::Platform& env) : m_env(env) {}

bool CSmtpSender::Stopped() const { return m_pJob && m_pJob->m_pStop && m_pJob->m_pStop->IsRequested(); }

void CSmtpSender::PostLogLine(LogDirection dir, const std::string& strText) {
    // After a stop nobody may act on this delivery's notices any more.
    if (!m_pJob || !m_pJob->m_pNotify || Stopped()) return;
    m_pJob->m_pNotify->OnSendLog(m_pJob->m_nSendId, dir, (dir == LogDirection::Outgoing ? ">>> " : "<<< ") + strText);
}

void CSmtpSender::PostDone() {
    if (!m_pJob || !m_pJob->m_pNotify || Stopped()) return;
    m_pJob->m_pNotify->OnSendDone(m_pJob->m_nSendId, m_outcome);
}

bool CSmtpSender::Fail(SendFailure failure, const std::string& strSystemError) {
    if (Stopped()) failure = SendFailure::Cancelled;
    m_outcome.failure = failure;
    m_outcome.strSystemError = strSystemError;
    if (failure == SendFailure::Refused || failure == SendFailure::NoRelay ||
        failure == SendFailure::RecipientsRefused || failure == SendFailure::NoStartTls) {
        m_outcome.nReplyCode = m_nReplyCode;
        m_outcome.listReplyLines = m_listReplyLines;
    }
    return false;
}

// A new session's state; the first log line.
void CSmtpSender::Begin(const SendJob& job) {
    m_pJob = &job;
    m_outcome = SendOutcome();
    m_strInput.clear();
    m_listEhloReply.clear();
    m_outcome.strServer = job.m_strServer;
    m_outcome.nPort = job.m_nPort;
    PostLogLine(LogDirection::Outgoing, "Initiating...");
}

SendOutcome CSmtpSender::Run(const SendJob& job) {
    Begin(job);
    if (CheckJob(true)) Deliver();
    m_pSock.reset();
    m_pMessageFile.reset();
    PostDone();
    m_pJob = nullptr;
    return m_outcome;
}

bool CSmtpSender::CheckJob(bool bMessage) {
    const SendJob& job = *m_pJob;
    bool ok = !job.m_strServer.empty() && (!job.m_bAuth || !job.m_strUser.empty()) && job.m_pNotify &&
              SecurityName(job.m_nSecurity) != nullptr;
    ok = ok && (!bMessage || (!job.m_listRecipients.empty() && !job.m_strFrom.empty() &&
                              (!job.m_strMessageFile.empty() || job.m_pMessageBytes)));
    // Front ends refuse such addresses with a message of their own; this is the
    // last line of defence against commands smuggled into the envelope.
    std::string reason;
    ok = ok && CheckEnvelopeAddress(job.m_strFrom, reason);
    for (const std::string& r : job.m_listRecipients) ok = ok && CheckEnvelopeAddress(r, reason);
    if (ok) return true;
    PostLogLine(LogDirection::Outgoing, "Parameters error. Please check SMTP settings.");
    return Fail(SendFailure::BadFields, reason.empty() ? "the SMTP settings are incomplete" : reason);
}

bool CSmtpSender::Deliver() {
    if (!OpenSession() || !TransferMessage()) return false;
    // The message is accepted; whatever QUIT gets cannot undo that.
    m_outcome.bSuccess = true;
    m_outcome.stage = SendStage::Quit;
    SendOutcome delivered = m_outcome;
    Command("QUIT\r\n", m_pJob->m_nWaitMs);
    m_outcome = delivered;
    return true;
}

// The session's steps: connection, TLS, greeting, hello and login.
bool CSmtpSender::OpenSession() {
    const SendJob& job = *m_pJob;
    if (!Connect()) return false;
    if (job.m_nSecurity == kSecurityTls && !SecureConnection()) return false;
    m_outcome.stage = SendStage::Greeting;
    int code = ReceiveReply(job.m_nWaitMs);
    if (code < 0) return false;
    if (code != 220) return Fail(SendFailure::Refused);
    // Never on in plain text once encryption was asked for.
    if (job.m_nSecurity == kSecurityStartTls && !UpgradeToTls()) return false;
    return Greet();
}

// One message's steps: MAIL, RCPT per recipient, DATA, the body, the end mark.
bool CSmtpSender::TransferMessage() {
    const SendJob& job = *m_pJob;
    const int wait = job.m_nWaitMs;
    m_outcome.stage = SendStage::Mail;
    std::string parameters;
    if (!PrepareMessage(parameters)) return false;
    const std::string mail = "MAIL FROM:<" + job.m_strFrom + ">" + parameters + "\r\n";
    if (OffersExtension(m_listEhloReply, "PIPELINING")) {
        if (!PipelineEnvelope(mail)) return false;
    } else {
        if (!Expect(mail, 250, wait)) return false;
        m_outcome.stage = SendStage::Rcpt;
        for (const std::string& rcpt : job.m_listRecipients) {
            int code = Command("RCPT TO:<" + rcpt + ">\r\n", wait);
            if (code < 0) return false;
            TakeRecipientReply(rcpt, code);
        }
        if (m_outcome.listAccepted.empty()) return RefuseRecipients();
        m_outcome.stage = SendStage::Data;
        if (!Expect("DATA\r\n", 354, wait)) return false;
    }
    m_outcome.stage = SendStage::Body;
    if (!NothingPending()) return false;
    PostLogLine(LogDirection::Outgoing, "Sending message body...");
    if (!SendMessageFile()) return false;
    PostLogLine(LogDirection::Outgoing, "Done");
    if (job.m_fnBeforeEndOfData && !job.m_fnBeforeEndOfData()) {
        PostLogLine(LogDirection::Outgoing, "Stopped before the end of the data.");
        return Fail(SendFailure::FileError, "the journal could not be written");
    }
    m_outcome.stage = SendStage::EndOfData;
    const std::string mark = "\r\n.\r\n";
    if (!NothingPending()) return false;
    PostLogLine(LogDirection::Outgoing, mark);
    if (!SendAll(mark.data(), mark.size(), job.m_nEndOfDataWaitMs)) return false;
    // From here the server may have the message, whether or not a reply comes.
    m_outcome.bEndOfDataSent = true;
    int code = ReceiveReply(job.m_nEndOfDataWaitMs);
    return code == 250 || (code >= 0 && Fail(SendFailure::Refused));
}

void CSmtpSender::TakeRecipientReply(const std::string& rcpt, int code) {
    if (code == 250 || code == 251) {
        m_outcome.listAccepted.push_back(rcpt);
    } else {
        m_outcome.listRefused.push_back(rcpt);
        m_outcome.listRefusedReplies.push_back(m_listReplyLines.empty() ? std::string() : m_listReplyLines.back());
    }
}

// RFC 2920: MAIL, every RCPT and DATA go out in one write and their replies
// come back in order, so a message costs one round trip before its data, not
// two plus one per recipient. Every reply is read, whatever the first said,
// to keep the session in step for the next message.
bool CSmtpSender::PipelineEnvelope(const std::string& mail) {
    const SendJob& job = *m_pJob;
    const int wait = job.m_nWaitMs;
    std::string batch = mail;
    PostLogLine(LogDirection::Outgoing, mail);
    for (const std::string& rcpt : job.m_listRecipients) {
        batch += "RCPT TO:<" + rcpt + ">\r\n";
        PostLogLine(LogDirection::Outgoing, "RCPT TO:<" + rcpt + ">\r\n");
    }
    batch += "DATA\r\n";
    PostLogLine(LogDirection::Outgoing, "DATA\r\n");
    if (!NothingPending() || !SendAll(batch.data(), batch.size(), wait)) return false;

    const int mailCode = ReceiveReply(wait);
    if (mailCode < 0) return false;
    const std::vector<std::string> mailReply = m_listReplyLines;
    m_outcome.stage = SendStage::Rcpt;
    for (const std::string& rcpt : job.m_listRecipients) {
        int code = ReceiveReply(wait);
        if (code < 0) return false;
        if (mailCode == 250) TakeRecipientReply(rcpt, code);
    }
    m_outcome.stage = SendStage::Data;
    const int dataCode = ReceiveReply(wait);
    if (dataCode < 0) return false;
    if (dataCode == 354 && (mailCode != 250 || m_outcome.listAccepted.empty())) {
        // A server that opened the data anyway gets an empty message ended at
        // once; its reply does not matter, the envelope already failed.
        PostLogLine(LogDirection::Outgoing, ".\r\n");
        if (!SendAll(".\r\n", 3, wait) || ReceiveReply(wait) < 0) return false;
    }
    if (mailCode != 250) {
        m_outcome.stage = SendStage::Mail;
        m_nReplyCode = mailCode;
        m_listReplyLines = mailReply;
        return Fail(SendFailure::Refused);
    }
    if (m_outcome.listAccepted.empty()) {
        m_outcome.stage = SendStage::Rcpt;
        // The refusal is the last recipient's, as without pipelining.
        if (!m_outcome.listRefusedReplies.empty()) {
            m_listReplyLines = {m_outcome.listRefusedReplies.back()};
            m_nReplyCode = std::atoi(m_listReplyLines.back().c_str());
        }
        return RefuseRecipients();
    }
    return dataCode == 354 || Fail(SendFailure::Refused);
}

bool CSmtpSender::Open(const SendJob& session) {
    Begin(session);
    bool ok = CheckJob(false) && OpenSession();
    if (!ok) m_pSock.reset();
    m_pJob = nullptr;
    return ok;
}

SendOutcome CSmtpSender::Transfer(const SendJob& message) {
    m_pJob = &message;
    SendOutcome opened = m_outcome;
    m_outcome = SendOutcome();
    m_outcome.strServer = opened.strServer;
    m_outcome.nPort = opened.nPort;
    m_outcome.stage = SendStage::Mail;
    if (!m_pSock) {
        Fail(SendFailure::ConnectionClosed);
    } else if (CheckJob(true) && TransferMessage()) {
        m_outcome.bSuccess = true;
        m_outcome.listReplyLines = m_listReplyLines;
        m_outcome.nReplyCode = m_nReplyCode;
    }
    // After a reply that refuses, the session goes on; after anything else
    // its state is unknown (a cut connection, data half sent).
    const SendFailure f = m_outcome.failure;
    if (!m_outcome.bSuccess && f != SendFailure::Refused && f != SendFailure::RecipientsRefused &&
        f != SendFailure::NoRelay && f != SendFailure::TooLarge)
        m_pSock.reset();
    m_pMessageFile.reset();
    m_pJob = nullptr;
    return m_outcome;
}

bool CSmtpSender::OffersEightBitMime() const { return OffersExtension(m_listEhloReply, "8BITMIME"); }

bool CSmtpSender::Reset(const SendJob& session) {
    m_pJob = &session;
    bool ok = m_pSock && Expect("RSET\r\n", 250, session.m_nWaitMs);
    m_pJob = nullptr;
    return ok;
}

void CSmtpSender::Close(const SendJob& session) {
    m_pJob = &session;
    if (m_pSock) Command("QUIT\r\n", session.m_nWaitMs);
    m_pSock.reset();
    m_pJob = nullptr;
}

std::string CSmtpSender::HelloName() const {
    // A name servers can check, or the address they see us at.
    std::string name = m_env.host->FullyQualifiedName();
    if (!name.empty()) return name;
    name = m_pSock ? m_pSock->LocalAddressLiteral() : std::string();
    return name.empty() ? "[127.0.0.1]" : name;
}

// HELO, or EHLO and the login. After STARTTLS the server has forgotten the
// first EHLO, so EHLO comes again even without a login.
bool CSmtpSender::Greet() {
    const SendJob& job = *m_pJob;
    m_outcome.stage = SendStage::Hello;
    if (!job.m_bAuth && job.m_nSecurity != kSecurityStartTls) {
        if (!job.m_bEhlo) return Expect("HELO " + HelloName() + "\r\n", 250, job.m_nWaitMs);
        const int code = Command("EHLO " + HelloName() + "\r\n", job.m_nWaitMs);
        if (code < 0) return false;
        if (code == 250) {
            m_listEhloReply = m_listReplyLines;
            return true;
        }
        // A server that does not know EHLO still takes HELO.
        return Expect("HELO " + HelloName() + "\r\n", 250, job.m_nWaitMs);
    }
    if (!Expect("EHLO " + HelloName() + "\r\n", 250, job.m_nWaitMs)) return false;
    m_listEhloReply = m_listReplyLines;
    return !job.m_bAuth || Authenticate();
}

// Follows the EHLO, whose reply is still in m_listReplyLines.
bool CSmtpSender::Authenticate() {
    const SendJob& job = *m_pJob;
    const int wait = job.m_nWaitMs;
    m_outcome.stage = SendStage::Auth;
    SmtpAuthMethod method = job.m_nAuthMethod;
    if (method == kAuthAuto) {
        // Inside TLS a server without LOGIN gets PLAIN; in plain text the login
        // stays exactly what it always was.
        if (!job.m_strOAuthTokenCommand.empty() && OffersAuthMechanism(m_listReplyLines, "XOAUTH2"))
            method = kAuthXOAuth2;
        else if (job.m_nSecurity != kSecurityNone && OffersAuthMechanism(m_listReplyLines, "PLAIN") &&
                 !OffersAuthMechanism(m_listReplyLines, "LOGIN"))
            method = kAuthPlain;
        else
            method = kAuthLogin;
    }
    if (method == kAuthXOAuth2) return AuthXOAuth2();
    if (method == kAuthPlain) {
        std::string credentials = std::string(1, '\0') + job.m_strUser + '\0' + job.m_strPassword;
        return Expect("AUTH PLAIN " + Base64Line(credentials), 235, wait, "AUTH PLAIN ********\r\n");
    }
    if (!Expect("AUTH LOGIN\r\n", 334, wait)) return false;
    if (!Expect(Base64Line(job.m_strUser), 334, wait)) return false;
    // The log is what users paste into support requests; base64 hides nothing.
    return Expect(Base64Line(job.m_strPassword), 235, wait, "********\r\n");
}

bool CSmtpSender::FetchToken(std::string& token) {
    std::vector<std::string> argv;
    std::string err;
    if (m_pJob->m_strOAuthTokenCommand.empty()) err = "no token command is set";
    else if (!platform::SplitCommandLine(m_pJob->m_strOAuthTokenCommand, argv, err)) err = "bad token command: " + err;
    else if (argv.empty()) err = "no token command is set";
    std::string out;
    if (err.empty() && platform::RunForOutput(argv, out, err, m_pJob->m_nTokenTimeoutMs)) {
        token = std::string(ascii::Trim(std::string_view(out).substr(0, out.find('\n'))));
        // The token goes into a protocol line: a NUL or a control byte would end or bend it.
        bool printable = std::all_of(token.begin(), token.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
        if (!token.empty() && printable) return true;
        err = "'" + argv[0] + "' printed " +
              (token.empty() ? "no token" : "a token with bytes other than printable ASCII");
    }
    PostLogLine(LogDirection::Outgoing, "OAuth2 token command failed: " + err);
    return Fail(SendFailure::TokenFailed, err);
}

// RFC 7628's form as the big providers take it: one initial response; on a
// 334 challenge the server's JSON error comes back, answered by an empty line.
bool CSmtpSender::AuthXOAuth2() {
    const int wait = m_pJob->m_nWaitMs;
    std::string token;
    if (!FetchToken(token)) return false;
    std::string response = "user=" + m_pJob->m_strUser + "\x01" "auth=Bearer " + token + "\x01\x01";
    int code = Command("AUTH XOAUTH2 " + Base64Line(response), wait, "AUTH XOAUTH2 ********\r\n");
    if (code < 0) return false;
    if (code == 235) return true;
    if (code != 334) return Fail(SendFailure::Refused);
    std::string json;
    const std::string& challenge = m_listReplyLines.back();
    if (!Base64Decode(challenge.size() > 4 ? std::string_view(challenge).substr(4) : std::string_view(), json))
        json = "(an undecodable challenge)";
    code = Command("\r\n", wait);
    if (code < 0) return false;
    return code == 235 || Fail(SendFailure::Refused, json);
}

bool CSmtpSender::UpgradeToTls() {
    m_outcome.stage = SendStage::Tls;
    if (!Expect("EHLO " + HelloName() + "\r\n", 250, m_pJob->m_nWaitMs)) return false;
    if (!OffersExtension(m_listReplyLines, "STARTTLS")) {
        PostLogLine(LogDirection::Outgoing, "Server does not offer STARTTLS.");
        return Fail(SendFailure::NoStartTls);
    }
    if (!Expect("STARTTLS\r\n", 220, m_pJob->m_nWaitMs)) return false;
    // Anything that came with the plain-text reply would be taken as if it had
    // come through TLS: a known way to inject commands.
    if (!m_strInput.empty()) {
        PostLogLine(LogDirection::Outgoing, "TLS handshake failed: the server sent data before the handshake.");
        return Fail(SendFailure::ProtocolError, "the server sent data before the TLS handshake");
    }
    return SecureConnection();
}

bool CSmtpSender::SecureConnection() {
    m_outcome.stage = SendStage::Tls;
    platform::TlsOptions options;
    options.strCaFile = m_pJob->m_strCaFile;
    platform::TlsOutcome outcome;
    m_pSock = platform::StartTls(std::move(m_pSock), m_pJob->m_strServer, m_pJob->m_nWaitMs, options, outcome);
    switch (outcome.failure) {
    case platform::TlsFailure::None:
        PostLogLine(LogDirection::Outgoing, "TLS handshake OK: " + outcome.text);
        return true;
    case platform::TlsFailure::Verification:
        PostLogLine(LogDirection::Outgoing, "Certificate verification failed: " + outcome.text + ".");
        return Fail(SendFailure::TlsVerification, outcome.text);
    case platform::TlsFailure::TimedOut:
        PostLogLine(LogDirection::Incoming, kTimeOut);  // a silent server, as at any other step
        return Fail(SendFailure::TimedOut);
    case platform::TlsFailure::Stopped:
        return Fail(SendFailure::Cancelled);
    case platform::TlsFailure::Handshake:
        break;
    }
    PostLogLine(LogDirection::Outgoing, "TLS handshake failed: " + outcome.text + ".");
    return Fail(SendFailure::TlsHandshake, outcome.text);
}

bool CSmtpSender::Connect() {
    const SendJob& job = *m_pJob;
    std::string where = job.m_strServer + ":" + std::to_string(job.m_nPort);
    PostLogLine(LogDirection::Outgoing, "Connecting to " + where + "...");
    m_outcome.stage = SendStage::Connecting;
    platform::ConnectError err;
    m_pSock = m_env.net->Connect(job.m_strServer, job.m_nPort, job.m_nWaitMs, job.m_pStop.get(), err);
    if (m_pSock) {
        PostLogLine(LogDirection::Outgoing, "OK");
        return true;
    }
    using Kind = platform::ConnectError::Kind;
    switch (err.kind) {
    case Kind::HostNotFound:
        m_outcome.stage = SendStage::Resolving;
        PostLogLine(LogDirection::Outgoing, "Host not found: " + job.m_strServer);
        return Fail(SendFailure::HostNotFound, err.text);
    case Kind::Refused:
        PostLogLine(LogDirection::Outgoing, "Connection refused (" + where + ")");
        return Fail(SendFailure::ConnectionRefused, err.text);
    case Kind::TimedOut:
        PostLogLine(LogDirection::Outgoing, kTimeOut);
        return Fail(SendFailure::TimedOut, err.text);
    case Kind::Stopped:
        return Fail(SendFailure::Cancelled);
    default:
        PostLogLine(LogDirection::Outgoing, "Failure: " + err.text);
        return Fail(SendFailure::ConnectFailed, err.text);
    }
}

bool CSmtpSender::SendAll(const char* data, std::size_t len, int waitMs) {
    for (std::size_t sent = 0; sent < len;) {
        platform::WaitResult w = m_pSock->WaitWritable(waitMs);
        if (w == platform::WaitResult::Stopped) return Fail(SendFailure::Cancelled);
        if (w != platform::WaitResult::Ready) {
            PostLogLine(LogDirection::Outgoing, kTimeOut);
            return Fail(SendFailure::TimedOut, "the server stopped taking data");
        }
        std::size_t n = len - sent < kMaxSendChunk ? len - sent : kMaxSendChunk;
        long r = m_pSock->Send(data + sent, n);
        if (r == platform::Socket::kWouldBlock) continue;
        if (r < 0) {
            PostLogLine(LogDirection::Outgoing, kClosed);
            return Fail(SendFailure::ConnectionClosed);
        }
        sent += static_cast<std::size_t>(r);
    }
    return true;
}

int CSmtpSender::ReceiveReply(int waitMs) {
    m_listReplyLines.clear();
    m_nReplyCode = 0;
    const long long deadline = NowMs() + waitMs;
    std::size_t replyBytes = 0;
    for (;;) {
        std::size_t lf = m_strInput.find('\n');
        if (lf == std::string::npos) {
            if (m_strInput.size() > kMaxReplyLine) {
                PostLogLine(LogDirection::Outgoing, "The server sent a reply line longer than 64 KiB.");
                return Fail(SendFailure::ProtocolError, "reply line longer than 64 KiB"), -1;
            }
            long long left = deadline - NowMs();
            platform::WaitResult w =
                left > 0 ? m_pSock->WaitReadable(static_cast<int>(left)) : platform::WaitResult::TimedOut;
            if (w == platform::WaitResult::Stopped) return Fail(SendFailure::Cancelled), -1;
            if (w != platform::WaitResult::Ready) {
                PostLogLine(LogDirection::Incoming, kTimeOut);
                return Fail(SendFailure::TimedOut), -1;
            }
            char buf[16 * 1024];
            long n = m_pSock->Receive(buf, sizeof buf);
            if (n == platform::Socket::kWouldBlock) continue;
            if (n <= 0) {
                PostLogLine(LogDirection::Outgoing, kClosed);
                return Fail(SendFailure::ConnectionClosed), -1;
            }
            m_strInput.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        std::string line = m_strInput.substr(0, lf);
        m_strInput.erase(0, lf + 1);
        replyBytes += lf + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        PostLogLine(LogDirection::Incoming, line);
        m_nReplyCode = std::atoi(line.c_str());
        m_listReplyLines.push_back(std::move(line));
        if (!IsContinuation(m_listReplyLines.back())) return m_nReplyCode;
        if (replyBytes > kMaxReply) {
            PostLogLine(LogDirection::Outgoing, "The server sent a reply longer than 1 MiB.");
            return Fail(SendFailure::ProtocolError, "reply longer than 1 MiB"), -1;
        }
    }
}

int CSmtpSender::Command(const std::string& strCommand, int waitMs, const char* pszLogAs) {
    if (!NothingPending()) return -1;
    PostLogLine(LogDirection::Outgoing, pszLogAs ? pszLogAs : strCommand);
    if (!SendAll(strCommand.data(), strCommand.size(), waitMs)) return -1;
    return ReceiveReply(waitMs);
}

bool CSmtpSender::Expect(const std::string& strCommand, int nExpected, int waitMs, const char* pszLogAs) {
    int code = Command(strCommand, waitMs, pszLogAs);
    if (code < 0) return false;
    return code == nExpected || Fail(SendFailure::Refused);
}

bool CSmtpSender::SendMessageFile() {
    const std::string& path = m_strMessagePath;
    std::string err;
    platform::InputFile* file = m_pMessageFile.get();
    const std::uint64_t total = file->Size();
    std::uint64_t done = 0;
    CDotStuffer stuffer;
    std::unique_ptr<char[]> in(new char[kFileReadSize]);
    std::string out;
    out.reserve(2 * kFileReadSize);  // every byte may be a stuffed '.'
    for (;;) {
        std::size_t got = 0;
        if (!file->Read(in.get(), kFileReadSize, got, err)) {
            // Ending the data here would deliver half a message as a whole one.
            PostLogLine(LogDirection::Outgoing, "Failed to read file " + path + ".");
            return Fail(SendFailure::FileError, err);
        }
        if (got == 0) break;
        out.clear();
        stuffer.Feed(in.get(), got, out);
        if (!SendAll(out.data(), out.size(), m_pJob->m_nWaitMs)) return false;
        done += got;
        if (m_pJob->m_pNotify && !Stopped()) m_pJob->m_pNotify->OnSendProgress(m_pJob->m_nSendId, done, total);
    }
    return true;
}

bool CSmtpSender::NothingPending() {
    // Also what has arrived but not been read yet: a server that answers
    // ahead in a packet of its own is as wrong as one that answers in the same.
    while (m_strInput.empty() && m_pSock->WaitReadable(0) == platform::WaitResult::Ready) {
        char buf[4096];
        long n = m_pSock->Receive(buf, sizeof buf);
        if (n <= 0) break;  // an end or an error: the next read reports it
        m_strInput.append(buf, static_cast<std::size_t>(n));
    }
    if (m_strInput.empty()) return true;
    std::size_t end = std::min<std::size_t>(m_strInput.find_first_of("\r\n"), 300);
    PostLogLine(LogDirection::Incoming, m_strInput.substr(0, end));
    PostLogLine(LogDirection::Outgoing, "The server replied before the command was sent.");
    return Fail(SendFailure::ProtocolError, "a reply came before the command it answers");
}

bool CSmtpSender::PrepareMessage(std::string& strMailParameters) {
    const SendJob& job = *m_pJob;
    m_strMessagePath = job.m_strMessageFile;
    const bool eightBitMime = OffersExtension(m_listEhloReply, "8BITMIME");
    if (job.m_bEightBitData && !eightBitMime) {
        // RFC 6152: without the offer, only 7-bit data may go.
        PostLogLine(LogDirection::Outgoing, "The server does not take 8-bit data; the message goes in 7-bit form.");
        std::string err = "the message holds 8-bit data, which the server does not take";
        if (!job.m_fnSevenBitMessage || !job.m_fnSevenBitMessage(m_strMessagePath, err)) {
            PostLogLine(LogDirection::Outgoing, "Failure: " + err);
            return Fail(SendFailure::ComposeFailed, err);
        }
    }
    std::string err;
    if (job.m_pMessageBytes) m_pMessageFile = platform::MemoryInput(*job.m_pMessageBytes);
    else m_pMessageFile = m_env.files->OpenRead(m_strMessagePath, err);
    if (!m_pMessageFile) {
        PostLogLine(LogDirection::Outgoing, "Failed to open file " + m_strMessagePath + ".");
        return Fail(SendFailure::FileError, err);
    }
    m_outcome.nMessageSize = m_pMessageFile->Size();
    if (job.m_bEightBitData && eightBitMime) strMailParameters += " BODY=8BITMIME";
    // RFC 1870: "SIZE" alone, or with 0, sets no limit.
    for (const std::string& line : m_listEhloReply) {
        std::string cap = Capability(line);
        if (cap != "SIZE" && cap.compare(0, 5, "SIZE ") != 0) continue;
        strMailParameters += " SIZE=" + std::to_string(m_outcome.nMessageSize);
        std::uint64_t limit = cap.size() > 5 ? std::strtoull(cap.c_str() + 5, nullptr, 10) : 0;
        if (limit == 0 || m_outcome.nMessageSize <= limit) break;
        m_outcome.nSizeLimit = limit;
        Fail(SendFailure::TooLarge);
        PostLogLine(LogDirection::Outgoing, DescribeFailure(m_outcome) + ".");
        return false;
    }
    return true;
}

bool MeansNoRelay(const std::string& replyLine) {
    std::string_view text = replyLine.size() > 4 ? std::string_view(replyLine).substr(4) : std::string_view();
    return text.substr(0, 6) == "5.7.1 " || text == "5.7.1" || ascii::ToUpper(text).find("RELAY") != std::string::npos;
}

// The old sentence stays for what it always meant; any other refusal names
// each recipient with its reply, which says what is wrong with it.
bool CSmtpSender::RefuseRecipients() {
    bool relay = true;
    for (const std::string& reply : m_outcome.listRefusedReplies) relay = relay && MeansNoRelay(reply);
    if (relay) {
        PostLogLine(LogDirection::Outgoing, "SMTP Server doesn't relay emails.");
        return Fail(SendFailure::NoRelay);
    }
    Fail(SendFailure::RecipientsRefused);
    PostLogLine(LogDirection::Outgoing, DescribeFailure(m_outcome) + ".");
    return false;
}
