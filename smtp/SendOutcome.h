#pragma once
// How one send ended, as a value: the front ends make their words from it,
// and tests assert it instead of comparing log texts.
#include <cstdint>
#include <string>
#include <vector>

// The steps of a send, in the order they are reached.
enum class SendStage {
    Checking,   // the fields and the job
    Composing,  // the temporary message
    Resolving,  // the server's name
    Connecting,
    Tls,        // the handshake, or STARTTLS and its reply
    Greeting,
    Hello,      // EHLO or HELO
    Auth,
    Mail,
    Rcpt,
    Data,
    Body,
    EndOfData,
    Quit,       // reached only by a delivery
};

enum class SendFailure {
    None,
    BadFields,          // the user's input was refused before anything happened
    ComposeFailed,      // the message could not be written
    HostNotFound,
    ConnectionRefused,
    ConnectFailed,      // any other reason the connection did not come up
    TimedOut,           // the server stayed silent, or stopped reading
    ConnectionClosed,   // the server closed the connection
    Refused,            // the server answered with a code other than the one needed
    NoRelay,            // every recipient refused, because the server does not relay
    RecipientsRefused,  // every recipient refused, for reasons of their own
    TooLarge,           // larger than the server's advertised SIZE limit
    NoStartTls,         // STARTTLS asked for, not offered
    TlsVerification,
    TlsHandshake,
    ProtocolError,      // a reply no server should send (too long, malformed)
    FileError,          // the message file could not be read
    TokenFailed,        // the OAuth2 token command gave no token
    Cancelled,
};

struct SendOutcome {
    bool bSuccess = false;  // the server took the message (some recipients may be refused)
    SendStage stage = SendStage::Checking;  // where it ended
    SendFailure failure = SendFailure::None;
    int nReplyCode = 0;  // of the failing step's reply, when one came
    std::vector<std::string> listReplyLines;  // that reply, as received
    std::string strSystemError;  // errno, resolver or TLS text; the composer's reason
    std::string strServer;
    int nPort = 0;
    std::vector<std::string> listAccepted;  // recipients the server took
    std::vector<std::string> listRefused;   // recipients it refused, each with its reply
    std::vector<std::string> listRefusedReplies;
    bool bEndOfDataSent = false;  // the end mark went out: the message may be delivered
    std::uint64_t nMessageSize = 0;  // bytes, once known
    std::uint64_t nSizeLimit = 0;    // the server's SIZE, when it named one

    bool PartlyDelivered() const { return bSuccess && !listRefused.empty(); }
};

const char* StageName(SendStage stage);

// One sentence saying why the send failed, e.g. "Connection refused by
// 127.0.0.1:8026" or "The server refused the password (535 5.7.8 ...)".
// Empty for a success. Every front end builds its text on this.
std::string DescribeFailure(const SendOutcome& outcome);

// "Not delivered to: a@b, c@d"; empty when every recipient was taken.
std::string DescribeRefused(const SendOutcome& outcome);

// The text the log gets when a delivery ends; it begins with CR LF, so an
// empty line stands before it. A partial delivery adds the refused
// recipients on a line of their own, unless the caller reports them itself.
std::string SendOutcomeText(const SendOutcome& outcome, bool bWithRefused = true);

// One log line as it is shown: the line end at its end is dropped, a CR LF
// inside ("\r\n.\r\n") starts a new line, and control bytes from the server
// are shown as \xNN so that they cannot act on a terminal. Ends with "\n".
std::string AsLogLine(const std::string& text);
