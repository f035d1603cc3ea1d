#pragma once
// What the command line needs of the terminal and of process signals.
#include <string>

#include "platform/Socket.h"

namespace platform {

// Reads one line from standard input without echo, after writing prompt to
// standard error. False when standard input is not a terminal.
bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret);

// Turns Ctrl-C, SIGTERM and SIGHUP into events the program handles, so that it
// can clean up before it ends. Create it before starting threads: they inherit
// the blocked signals. Destroying it restores the previous behaviour.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // True once a signal has arrived; does not wait.
    bool Caught();
    // The first signal that arrived (SIGINT, SIGTERM or SIGHUP); 0 before.
    int Signal() const { return m_nSignal; }
    // Waits until a signal arrives (true) or wake is requested (false).
    bool WaitUntilCaughtOr(const StopSignal& wake);

private:
    bool Drain();
    int m_fd = -1;
    bool m_bCaught = false;
    int m_nSignal = 0;
    unsigned char m_oldMask[128];  // the sigset_t in force before
};

} // namespace platform
