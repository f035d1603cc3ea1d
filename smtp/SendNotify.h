#pragma once
// How a send reports to its front end. The worker calls these on its own
// thread; the window queues them onto the GUI thread, the command line prints.
#include <cstdint>
#include <string>

#include "smtp/SendOutcome.h"

enum class LogDirection {
    Outgoing,  // ">>> ": what the client sends or does
    Incoming,  // "<<< ": what came from the server, or did not come
};

class ISendNotify {
public:
    virtual ~ISendNotify() = default;
    // One log line: the four-character prefix, then the text (commands keep
    // their CR LF). nSendId tells a cancelled send's late lines apart.
    virtual void OnSendLog(std::uint64_t nSendId, LogDirection dir, const std::string& strLine) = 0;
    // A new phase began: Composing, then Connecting for the delivery.
    virtual void OnSendStage(std::uint64_t /*nSendId*/, SendStage /*stage*/) {}
    // Something the user should know about the message: a file left out of
    // it, an address only some servers take.
    virtual void OnSendWarning(std::uint64_t /*nSendId*/, const std::string& /*strText*/) {}
    // Progress of the phase: steps of the composition, then bytes of the
    // message handed to the server, each of its total.
    virtual void OnSendProgress(std::uint64_t /*nSendId*/, std::uint64_t /*nDone*/, std::uint64_t /*nTotal*/) {}
    // The send has ended; called once, after its last log line, and never for
    // a send that was stopped.
    virtual void OnSendDone(std::uint64_t nSendId, const SendOutcome& outcome) = 0;
};
