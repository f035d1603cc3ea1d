#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Socket.h"
#include "smtp/SendNotify.h"
#include "smtp/SmtpSecurity.h"

// The inputs of one SMTP delivery. Filled by the send pipeline, then owned by
// the worker, which frees it when the delivery ends.
struct SendJob {
    std::string m_strServer;  // dotted IPv4 address or host name
    int m_nPort = 25;
    std::string m_strFrom;  // bare sender address for MAIL FROM
    std::vector<std::string> m_listRecipients;  // To, then Cc; duplicates kept
    bool m_bAuth = false;  // EHLO + AUTH instead of HELO
    // EHLO even without a login, falling back to HELO: a list send learns
    // whether the server takes pipelined commands.
    bool m_bEhlo = false;
    SmtpSecurity m_nSecurity = kSecurityNone;
    std::string m_strUser;
    std::string m_strPassword;
    SmtpAuthMethod m_nAuthMethod = kAuthAuto;
    std::string m_strOAuthTokenCommand;  // run without a shell; prints the access token
    int m_nTokenTimeoutMs = 30 * 1000;
    std::string m_strMessageFile;
    // The message itself, borrowed, instead of a file: a list's messages.
    const std::string* m_pMessageBytes = nullptr;
    // Called after the body, just before the end-of-data mark goes: false
    // stops there, so the message is not delivered.
    std::function<bool()> m_fnBeforeEndOfData;
    // The message holds 8-bit data (an attached message). A server that does
    // not offer 8BITMIME gets the form this writes instead: the same message
    // with 7-bit data only; it returns that file's path, or false and why.
    bool m_bEightBitData = false;
    std::function<bool(std::string& strPath, std::string& strError)> m_fnSevenBitMessage;
    std::shared_ptr<ISendNotify> m_pNotify;  // receives the log lines and the outcome
    std::uint64_t m_nSendId = 0;  // handed back with every notice
    std::shared_ptr<platform::StopSignal> m_pStop;  // may be null: no cancel
    // The longest wait for a whole reply and before each send call; the
    // end-of-data mark and its reply get the longer one.
    int m_nWaitMs = 60 * 1000;
    int m_nEndOfDataWaitMs = 120 * 1000;
    // Authorities trusted instead of the system's; only tests set it.
    std::string m_strCaFile;
};

// Delivers one message file to one SMTP server: greeting, EHLO + AUTH or
// HELO, MAIL FROM, RCPT TO per recipient, DATA, the file, QUIT. Every command
// and reply line is reported as a log line, the outcome once at the end.
// With security on, the same dialogue runs inside TLS: from the first byte, or
// after EHLO and STARTTLS, and then with one more EHLO.
class CSmtpSender {
public:
    explicit CSmtpSender(const platform::Platform& env = platform::Platform());

    // The whole delivery; reports through the job's notify sink and returns
    // the outcome it reported (also when stopped, when nothing is reported).
    SendOutcome Run(const SendJob& job);

    // Larger than the classic 1400 bytes: the bytes on the wire are the same,
    // and fewer system calls keep a 100 MiB message on a par with curl.
    // The same steps for many messages over one session: Open connects,
    // greets and logs in with the job's server fields; Transfer sends one
    // message of its own job (MAIL to the end mark) and gives its outcome,
    // with the end mark's reply on success; Reset sends RSET; Close, QUIT.
    // Nothing goes to OnSendDone.
    bool Open(const SendJob& session);
    const SendOutcome& OpenOutcome() const { return m_outcome; }
    SendOutcome Transfer(const SendJob& message);
    bool Reset(const SendJob& session);
    void Close(const SendJob& session);
    bool Connected() const { return m_pSock != nullptr; }
    bool OffersEightBitMime() const;

    static constexpr std::size_t kMaxSendChunk = 64 * 1024;
    static constexpr std::size_t kFileReadSize = 64 * 1024;
    // A server that sends more than this in one line or one reply is broken
    // or hostile; reading on would only grow memory and the log.
    static constexpr std::size_t kMaxReplyLine = 64 * 1024;
    static constexpr std::size_t kMaxReply = 1024 * 1024;

protected:
    bool Deliver();
    bool OpenSession();
    bool TransferMessage();
    bool CheckJob(bool bMessage);
    bool Greet();
    bool Authenticate();
    bool AuthXOAuth2();
    bool FetchToken(std::string& token);
    bool UpgradeToTls();   // EHLO, STARTTLS and the handshake
    bool SecureConnection();  // the handshake; m_pSock becomes the encrypted socket
    bool Connect();
    // Opens the message in the form this server takes and makes the
    // parameters of MAIL FROM; false when it cannot go (too large, no file).
    bool PrepareMessage(std::string& strMailParameters);
    bool SendMessageFile();
    bool RefuseRecipients();
    void Begin(const SendJob& job);
    bool PipelineEnvelope(const std::string& mail);
    void TakeRecipientReply(const std::string& rcpt, int code);
    // A reply is taken only for the command it answers: bytes that came
    // before the command went out end the delivery.
    bool NothingPending();
    // Sends all of data, waiting at most waitMs before each call. On failure
    // records the reason in the outcome and logs it.
    bool SendAll(const char* data, std::size_t len, int waitMs);
    // Reads and logs one whole reply within waitMs, keeping its lines; its
    // code, or -1 when it did not come (the outcome says why).
    int ReceiveReply(int waitMs);
    // Logs (as pszLogAs when given) and sends a command, then reads its reply.
    // The reply code, or -1.
    int Command(const std::string& strCommand, int waitMs, const char* pszLogAs = nullptr);
    // Command, then: true when the code is nExpected; otherwise the step failed
    // with the server's reply as its reason.
    bool Expect(const std::string& strCommand, int nExpected, int waitMs, const char* pszLogAs = nullptr);
    bool Fail(SendFailure failure, const std::string& strSystemError = std::string());
    void PostLogLine(LogDirection dir, const std::string& strText);
    void PostDone();
    bool Stopped() const;
    std::string HelloName() const;

    platform::Platform m_env;
    const SendJob* m_pJob = nullptr;
    std::unique_ptr<platform::Socket> m_pSock;
    std::vector<std::string> m_listEhloReply;  // empty after HELO
    std::unique_ptr<platform::InputFile> m_pMessageFile;
    std::string m_strMessagePath;  // of m_pMessageFile
    std::string m_strInput;  // bytes received past the last line taken
    std::vector<std::string> m_listReplyLines;  // of the last reply
    int m_nReplyCode = 0;
    std::uint64_t m_nBodySize = 0;
    SendOutcome m_outcome;
};

// Whether an EHLO reply lists the keyword, or the AUTH mechanism, given.
bool OffersExtension(const std::vector<std::string>& reply, const std::string& keyword);
bool OffersAuthMechanism(const std::vector<std::string>& reply, const std::string& mechanism);
// Whether a refusal of RCPT says that the server does not relay for us
// (5.7.1, or the word), rather than something about the recipient.
bool MeansNoRelay(const std::string& replyLine);
