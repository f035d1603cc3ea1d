#include "smtp/SendOutcome.h"

#include <cstdio>

#include "core/Ascii.h"

namespace {

// The server's reply in one line, for a sentence: "535 5.7.8 Bad credentials".
std::string ReplyText(const SendOutcome& o) {
    std::string text;
    for (const std::string& line : o.listReplyLines) {
        std::string_view t = ascii::Trim(line);
        // Continuation lines repeat the code: keep it once.
        if (!text.empty() && t.size() >= 4 && (t[3] == '-' || t[3] == ' ')) t.remove_prefix(4);
        if (!text.empty()) text += ' ';
        text += t;
    }
    constexpr std::size_t kMax = 300;
    if (text.size() > kMax) text = text.substr(0, kMax) + "...";
    return ascii::Printable(text);
}

std::string WithReply(const std::string& sentence, const SendOutcome& o) {
    std::string reply = ReplyText(o);
    return reply.empty() ? sentence : sentence + " (" + reply + ")";
}

// "136850000 bytes (130.5 MiB)": the exact count, and one a person can read.
std::string Bytes(std::uint64_t n) {
    std::string text = std::to_string(n) + " bytes";
    if (n < 1024) return text;
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(n) / 1024;
    int unit = 0;
    for (; value >= 1024 && unit < 3; ++unit) value /= 1024;
    char shown[32];
    std::snprintf(shown, sizeof shown, " (%.1f %s)", value, kUnits[unit]);
    return text + shown;
}

// "b@y.org (550 5.1.1 User unknown); c@z.org (...)"
std::string RefusedWithReplies(const SendOutcome& o) {
    std::string text;
    for (std::size_t i = 0; i < o.listRefused.size(); ++i) {
        if (i) text += "; ";
        text += ascii::Printable(o.listRefused[i]);
        if (i < o.listRefusedReplies.size() && !o.listRefusedReplies[i].empty())
            text += " (" + ascii::Printable(ascii::Trim(o.listRefusedReplies[i])) + ")";
    }
    return text;
}

std::string Where(const SendOutcome& o) { return o.strServer + ":" + std::to_string(o.nPort); }

std::string Refusal(const SendOutcome& o) {
    switch (o.stage) {
    case SendStage::Greeting: return WithReply("The server refused the connection", o);
    case SendStage::Tls: return WithReply("The server refused STARTTLS", o);
    case SendStage::Hello: return WithReply("The server refused the greeting (EHLO/HELO)", o);
    case SendStage::Auth:
        // Only 535 says the credentials were wrong; 530 (encryption first) and
        // 534 (mechanism too weak) are about how the login was attempted.
        if (o.nReplyCode == 535) {
            // XOAUTH2 servers explain themselves in a JSON challenge.
            if (!o.strSystemError.empty())
                return WithReply("The server refused the access token", o) + ": " + ascii::Printable(o.strSystemError);
            return WithReply("The server refused the password", o);
        }
        return WithReply("The server refused the login", o);
    case SendStage::Mail: return WithReply("The server refused the sender", o);
    case SendStage::Data: return WithReply("The server refused to take the message", o);
    case SendStage::EndOfData: return WithReply("The server refused the message", o);
    default: return WithReply("The server refused a command", o);
    }
}

} // namespace

const char* StageName(SendStage stage) {
    switch (stage) {
    case SendStage::Checking: return "checking";
    case SendStage::Composing: return "composing";
    case SendStage::Resolving: return "resolving";
    case SendStage::Connecting: return "connecting";
    case SendStage::Tls: return "TLS";
    case SendStage::Greeting: return "greeting";
    case SendStage::Hello: return "EHLO/HELO";
    case SendStage::Auth: return "AUTH";
    case SendStage::Mail: return "MAIL";
    case SendStage::Rcpt: return "RCPT";
    case SendStage::Data: return "DATA";
    case SendStage::Body: return "body";
    case SendStage::EndOfData: return "end of data";
    case SendStage::Quit: return "QUIT";
    }
    return "";
}

std::string DescribeFailure(const SendOutcome& o) {
    const std::string sys = ascii::Printable(o.strSystemError);
    switch (o.failure) {
    case SendFailure::None: return {};
    case SendFailure::BadFields: return sys;
    case SendFailure::ComposeFailed: return "The message could not be created: " + sys;
    case SendFailure::HostNotFound:
        return "Host not found: " + ascii::Printable(o.strServer) + (sys.empty() ? "" : " (" + sys + ")");
    case SendFailure::ConnectionRefused: return "Connection refused by " + ascii::Printable(Where(o));
    case SendFailure::ConnectFailed: return "Cannot connect to " + ascii::Printable(Where(o)) + ": " + sys;
    case SendFailure::TimedOut:
        return std::string("The server did not answer in time (") + StageName(o.stage) + ")";
    case SendFailure::ConnectionClosed:
        return std::string("The server closed the connection (") + StageName(o.stage) + ")";
    case SendFailure::Refused: return Refusal(o);
    case SendFailure::NoRelay: return WithReply("The server refused every recipient", o);
    case SendFailure::RecipientsRefused:
        return (o.listRefused.size() == 1 ? "The server refused the recipient "
                                          : "The server refused every recipient: ") + RefusedWithReplies(o);
    case SendFailure::TooLarge:
        return "The message is " + Bytes(o.nMessageSize) + ", larger than the " + Bytes(o.nSizeLimit) +
               " the server accepts";
    case SendFailure::NoStartTls: return "The server does not offer STARTTLS";
    case SendFailure::TlsVerification: return "Certificate verification failed: " + sys;
    case SendFailure::TlsHandshake: return "TLS handshake failed: " + sys;
    case SendFailure::ProtocolError: return "The server broke the protocol: " + sys;
    case SendFailure::FileError: return "The message file could not be read: " + sys;
    case SendFailure::TokenFailed: return "The OAuth2 token command failed: " + sys;
    case SendFailure::Cancelled: return "Cancelled";
    }
    return {};
}

std::string DescribeRefused(const SendOutcome& o) {
    if (o.listRefused.empty()) return {};
    std::string text = "Not delivered to: ";
    for (std::size_t i = 0; i < o.listRefused.size(); ++i) {
        if (i) text += ", ";
        text += ascii::Printable(o.listRefused[i]);
    }
    return text;
}

std::string SendOutcomeText(const SendOutcome& o, bool bWithRefused) {
    if (!o.bSuccess) return "\r\nFailed to send email: " + DescribeFailure(o) + ".";
    std::string text = "\r\nSent email successfully.";
    if (bWithRefused && o.PartlyDelivered()) text += "\r\n" + DescribeRefused(o);
    return text;
}

std::string AsLogLine(const std::string& text) {
    std::string_view rest(text);
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == '\n')) rest.remove_suffix(1);
    std::string shown;
    for (;;) {
        std::size_t crlf = rest.find("\r\n");
        shown += ascii::Printable(rest.substr(0, crlf));
        if (crlf == std::string_view::npos) break;
        shown += '\n';
        rest.remove_prefix(crlf + 2);
    }
    return shown + "\n";
}
