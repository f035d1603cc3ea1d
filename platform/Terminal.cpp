#include "platform/Terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {
termios g_echoOn;  // what a signal handler puts back while echo is off

void RestoreEchoAndDie(int sig) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_echoOn);  // async-signal-safe
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}
} // namespace

bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret) {
    if (!::isatty(STDIN_FILENO)) return false;
    termios old{};
    if (::tcgetattr(STDIN_FILENO, &old) != 0) return false;
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    // Ctrl-C at the prompt must not leave the terminal without echo.
    g_echoOn = old;
    struct sigaction restore {}, saved[3];
    restore.sa_handler = RestoreEchoAndDie;
    const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 3; ++i) ::sigaction(signals[i], &restore, &saved[i]);
    bool ok = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    secret.clear();
    char c;
    while (ok && ::read(STDIN_FILENO, &c, 1) == 1 && c != '\n') secret += c;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    for (int i = 0; i < 3; ++i) ::sigaction(signals[i], &saved[i], nullptr);
    return ok;
}

static_assert(sizeof(sigset_t) <= 128, "sigset_t larger than expected");

namespace {
sigset_t Caught() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}
} // namespace

InterruptCatcher::InterruptCatcher() {
    sigset_t set = platform::Caught();
    sigset_t old;
    ::pthread_sigmask(SIG_BLOCK, &set, &old);
    std::memcpy(m_oldMask, &old, sizeof old);
    m_fd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

InterruptCatcher::~InterruptCatcher() {
    Drain();
    if (m_fd >= 0) ::close(m_fd);
    sigset_t old;
    std::memcpy(&old, m_oldMask, sizeof old);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

bool InterruptCatcher::Drain() {
    signalfd_siginfo info;
    while (m_fd >= 0 && ::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (!m_bCaught) m_nSignal = static_cast<int>(info.ssi_signo);
        m_bCaught = true;
    }
    return m_bCaught;
}

bool InterruptCatcher::Caught() { return Drain(); }

bool InterruptCatcher::WaitUntilCaughtOr(const StopSignal& wake) {
    pollfd p[2] = {{m_fd, POLLIN, 0}, {wake.WaitHandle(), POLLIN, 0}};
    while (!Drain() && !wake.IsRequested()) {
        if (::poll(p, 2, -1) < 0 && errno != EINTR) break;
    }
    return m_bCaught;
}

} // namespace platform
