#pragma once
// How a delivery reports to its front end. The worker calls these on its own
// thread; the window queues them onto the GUI thread, the command line prints.
#include <cstdint>
#include <string>

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
    // The delivery has ended; called once, after its last log line, and never
    // for a delivery that was stopped.
    virtual void OnSendDone(std::uint64_t nSendId, bool bSuccess) = 0;
};
