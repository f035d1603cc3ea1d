#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Socket.h"
#include "smtp/SendNotify.h"
#include "smtp/SmtpSecurity.h"

// The inputs of one SMTP delivery. Filled by the front end, then owned by the
// worker, which frees it when the delivery ends.
struct SendJob {
    std::string m_strServer;  // dotted IPv4 address or host name
    int m_nPort = 25;
    std::string m_strFrom;  // bare sender address for MAIL FROM
    std::vector<std::string> m_listRecipients;  // To, then Cc; duplicates kept
    bool m_bAuth = false;  // EHLO + AUTH LOGIN instead of HELO
    int m_nSecurity = kSecurityNone;  // an SmtpSecurity value; others are refused
    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strMessageFile;
    std::shared_ptr<ISendNotify> m_pNotify;  // receives the log lines and the outcome
    std::uint64_t m_nSendId = 0;  // handed back with every notice
    std::shared_ptr<platform::StopSignal> m_pStop;  // may be null: no cancel
    // Longest silence allowed before each byte of a reply and before each send
    // call; the end-of-data mark and its reply get the longer one.
    int m_nWaitMs = 60 * 1000;
    int m_nEndOfDataWaitMs = 120 * 1000;
    // Authorities trusted instead of the system's; only tests set it.
    std::string m_strCaFile;
};

// Delivers one message file to one SMTP server: greeting, EHLO + AUTH LOGIN
// or HELO, MAIL FROM, RCPT TO per recipient, DATA, the file, QUIT. Every command
// and reply line is reported as a log line, the outcome once at the end.
// With security on, the same dialogue runs inside TLS: from the first byte, or
// after EHLO and STARTTLS, and then with one more EHLO.
class CSmtpSender {
public:
    explicit CSmtpSender(const platform::Platform& env = platform::Platform());

    // Worker thread entry: runs the delivery, then frees the job. Returns 0.
    static int SendThreadProc(std::unique_ptr<SendJob> pJob, platform::Platform env = platform::Platform());

    // The whole delivery; reports only through the job's notify sink.
    void Run(const SendJob& job);

    // Larger than the classic 1400 bytes: the bytes on the wire are the same,
    // and fewer system calls keep a 100 MiB message on a par with curl.
    static constexpr std::size_t kMaxSendChunk = 64 * 1024;
    static constexpr std::size_t kFileReadSize = 64 * 1024;
    static constexpr std::size_t kLongReplyBuffer = 2048;  // greeting, RCPT
    static constexpr std::size_t kReplyBuffer = 1024;

protected:
    bool Deliver(const SendJob& job);
    bool CheckJob(const SendJob& job);
    bool Greet(platform::Socket& sock, const SendJob& job);
    bool Authenticate(platform::Socket& sock, const SendJob& job);
    // EHLO, STARTTLS and the handshake; sock becomes the encrypted socket.
    bool UpgradeToTls(std::unique_ptr<platform::Socket>& sock, const SendJob& job);
    // The handshake over sock, logged; sock becomes the encrypted socket.
    bool SecureConnection(std::unique_ptr<platform::Socket>& sock, const SendJob& job);
    std::unique_ptr<platform::Socket> Connect(const std::string& strHost, int nPort);
    // Bytes sent; less than len when a writability wait ended; -1 when a send failed.
    long SendBytes(platform::Socket& sock, const char* data, std::size_t len, int waitMs);
    // One line without its line end into buf (at most capacity - 1 bytes, NUL
    // added); bWholeLine is false when the buffer filled first. -1 on failure.
    long ReceiveLine(platform::Socket& sock, char* buf, std::size_t capacity, int waitMs, bool& bWholeLine);
    // Reads and logs a reply to its last line, keeping its lines in
    // m_listReplyLines; its code, or -1 when it did not come.
    int ReceiveReply(platform::Socket& sock, std::size_t capacity, int waitMs);
    bool SendCommand(platform::Socket& sock, const std::string& strCommand, int nExpected, int waitMs);
    // Logs (as strLogAs when given) and sends a command, then reads its whole
    // reply. The reply code, or -1 when sending or receiving failed.
    int SendCommandMultiline(platform::Socket& sock, const std::string& strCommand, std::size_t capacity,
                             int waitMs, const char* pszLogAs = nullptr);
    bool SendMessageFile(platform::Socket& sock, const std::string& strPath, int waitMs);
    void PostLogLine(LogDirection dir, const std::string& strText);
    void PostDone(bool bSuccess);
    bool Stopped() const;

    platform::Platform m_env;
    const SendJob* m_pJob = nullptr;
    std::vector<std::string> m_listReplyLines;  // of the last reply
};
