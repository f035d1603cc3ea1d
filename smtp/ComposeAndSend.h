#pragma once
// Send Email from start to end, for every front end: check the fields, compose
// the message into a private temporary file, deliver it, and report through one
// notify interface. The temporary file never outlives the send.
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "compose/ComposeJob.h"
#include "compose/MessagePlan.h"
#include "platform/Platform.h"
#include "smtp/Options.h"
#include "smtp/SendFields.h"
#include "smtp/SendNotify.h"

struct SendRequest {
    ComposeJob message;   // page, attachments and header fields; the output path is ours
    // The plan the check before the send made: the message is written from it
    // while it fits the message (MessagePlan::StillFits), without scanning the page again.
    MessagePlan plan;
    AppOptions options;   // server, port, security and login; AuthPass is the password to use
    // Tests shorten the waits and bring their own authority.
    int nWaitMs = 60 * 1000;
    int nEndOfDataWaitMs = 120 * 1000;
    std::string strCaFile;
};

// A request whose fields have passed CheckSendRequest, with the envelope
// addresses they gave. The composition and the send go on from this value, so
// what was checked is what is sent.
struct CheckedSend {
    SendRequest request;
    SendAddresses addresses;
};

// Checks the fields of request once (CheckSendFields). On failure false with
// the message for the user and its field.
bool CheckSendRequest(SendRequest request, CheckedSend& checked, SendField& field, std::string& message);

class CComposeAndSend {
public:
    explicit CComposeAndSend(const platform::Platform& env = platform::Platform());
    ~CComposeAndSend();  // cancels a running send and waits for it
    CComposeAndSend(const CComposeAndSend&) = delete;
    CComposeAndSend& operator=(const CComposeAndSend&) = delete;

    // Composes and sends on a worker thread, which reports to notify: the
    // stage, log lines and progress as they come, then one outcome.
    void Start(CheckedSend checked, std::shared_ptr<ISendNotify> notify);
    // CheckSendRequest, then Start; a refusal says which field and why, and
    // nothing starts. Returns false only for a refusal.
    bool Start(SendRequest request, std::shared_ptr<ISendNotify> notify, SendField& field, std::string& message);
    // Asks the worker to stop; returns at once. A stopped send reports nothing more.
    void Cancel();
    void Join();
    bool Running() const { return m_thread.joinable(); }
    // The identity the running send's notices carry.
    std::uint64_t SendId() const { return m_nSendId; }

private:
    platform::Platform m_env;
    std::thread m_thread;
    std::shared_ptr<platform::StopSignal> m_pStop;
    std::uint64_t m_nSendId = 0;
};
