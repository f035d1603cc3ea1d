#include "platform/Process.h"

#include "platform/Socket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pthread.h>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

constexpr std::size_t kStderrKept = 4096;
constexpr std::size_t kMaxOutput = 64 * 1024;
constexpr int kExitCheckMs = 50;

std::string Describe(const std::string& program, int errNo) {
    return "cannot start '" + program + "': " + std::strerror(errNo);
}

// The one place a program is started. stdinFd, stdoutFd and stderrFd become
// the child's descriptors 0, 1 and 2 (-1: /dev/null).
int Spawn(const std::vector<std::string>& argv, int stdoutFd, int stderrFd, bool newSession, pid_t& pid,
          int stdinFd = -1, char** envp = environ) {
    if (argv.empty() || argv[0].empty()) return ENOENT;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (stderrFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    // Signals this process ignores (SIGPIPE for the sockets) start at their defaults.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (newSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attr, flags);

    int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), envp);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

// A write to a pipe whose reader has gone is EPIPE here, not the SIGPIPE that
// would end this program: the signal is blocked for the call and, when it
// came, taken back before it is unblocked.
ssize_t WriteToPipe(int fd, const char* data, std::size_t n) {
    sigset_t pipeOnly, old;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    bool wasPending = false;
    sigset_t pending;
    if (::sigpending(&pending) == 0) wasPending = sigismember(&pending, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &old);
    ssize_t written = ::write(fd, data, n);
    int savedErrno = errno;
    if (written < 0 && savedErrno == EPIPE && !wasPending) {
        const timespec now{0, 0};
        while (::sigtimedwait(&pipeOnly, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = savedErrno;
    return written;
}

} // namespace

bool StartProcess(const std::vector<std::string>& argv, ChildProcess& child, int& errNo, std::string& err) {
    std::string program = argv.empty() ? std::string() : argv[0];
    int errFd = ::memfd_create("quillory-child-stderr", MFD_CLOEXEC);
    pid_t pid = -1;
    errNo = Spawn(argv, -1, errFd, true, pid);
    if (errNo != 0) {
        if (errFd >= 0) ::close(errFd);
        err = Describe(program, errNo);
        return false;
    }
    child.pid = pid;
    child.errFd = errFd;
    return true;
}

bool PollProcess(ChildProcess& child, ChildEnd& end) {
    if (child.pid < 0) return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(child.pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    end = ChildEnd();
    if (r > 0) {
        end.nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
        end.nSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    } else {
        end.nExitCode = 127;  // not our child any more: nothing can be said of it
    }
    if (child.errFd >= 0) {
        char buf[kStderrKept];
        ssize_t n = ::pread(child.errFd, buf, sizeof buf, 0);
        if (n > 0) end.strStderr.assign(buf, static_cast<std::size_t>(n));
        ::close(child.errFd);
    }
    child = ChildProcess();
    return true;
}

void KillProcess(ChildProcess& child) {
    if (child.pid < 0) return;
    ::kill(-child.pid, SIGKILL);
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (child.errFd >= 0) ::close(child.errFd);
    child = ChildProcess();
}

bool RunForOutput(const std::vector<std::string>& argv, std::string& out, std::string& err, int timeoutMs) {
    out.clear();
    std::string program = argv.empty() ? std::string() : argv[0];
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) {
        err = Describe(program, errno);
        return false;
    }
    // A session of its own, so that a time-out ends whatever it started too.
    pid_t pid = 0;
    int rc = Spawn(argv, pipefd[1], -1, true, pid);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        err = Describe(program, rc);
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    enum { Running, Exited, TimedOut, TooLong } state = Running;
    int status = 0;
    bool ended = false;  // the program itself has exited
    char buf[4096];
    for (;;) {
        // Wake now and then to see whether the program itself has ended: a
        // helper it left behind may hold the pipe open long after.
        int waitMs = kExitCheckMs;
        if (timeoutMs >= 0) {
            auto used = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            waitMs = static_cast<int>(std::min<long long>(waitMs, timeoutMs - used.count()));
            if (waitMs <= 0) {
                state = TimedOut;
                break;
            }
        }
        pollfd p{pipefd[0], POLLIN, 0};
        int r = ::poll(&p, 1, waitMs);
        if (r < 0 && errno != EINTR) break;
        if (r > 0) {
            ssize_t n = ::read(pipefd[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
            if (out.size() > kMaxOutput) {
                state = TooLong;
                break;
            }
            continue;
        }
        // Nothing more to read now: once the program has exited, a complete
        // first line is all it will give.
        if (!ended) {
            pid_t w = ::waitpid(pid, &status, WNOHANG);
            ended = w == pid;
        }
        if (ended && out.find('\n') != std::string::npos) {
            state = Exited;
            break;
        }
    }
    ::close(pipefd[0]);
    if (state == TimedOut || state == TooLong) ::kill(-pid, SIGKILL);
    while (!ended && ::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            err = "'" + program + "' could not be waited for: " + std::strerror(errno);
            return false;
        }
    }
    if (state == TimedOut) {
        err = "'" + program + "' did not finish within " + std::to_string(timeoutMs / 1000.0).substr(0, 4) + " s";
        return false;
    }
    if (state == TooLong) {
        err = "'" + program + "' wrote more than " + std::to_string(kMaxOutput / 1024) + " KiB";
        out.clear();
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        err = "'" + program + "' failed (status " +
              std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ")";
        return false;
    }
    return true;
}

RunResult RunWithInput(const std::vector<std::string>& argv, const std::string& input, std::size_t maxOutput,
                       int timeoutMs, const StopSignal* stop, const std::vector<std::string>& setEnv) {
    using State = RunResult::State;
    std::vector<std::string> envText(setEnv);
    for (char** e = environ; *e; ++e) {
        const std::string_view var(*e);
        const std::string_view name = var.substr(0, var.find('='));
        bool replaced = false;
        for (const std::string& s : setEnv) replaced = replaced || std::string_view(s).substr(0, s.find('=')) == name;
        if (!replaced) envText.emplace_back(var);
    }
    std::vector<char*> envp;
    for (std::string& var : envText) envp.push_back(var.data());
    envp.push_back(nullptr);
    RunResult result;
    const std::string program = argv.empty() ? std::string() : argv[0];
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        result.strError = Describe(program, errno);
        return result;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        result.strError = Describe(program, errno);
        ::close(in[0]);
        ::close(in[1]);
        return result;
    }
    int errFd = ::memfd_create("quillory-child-stderr", MFD_CLOEXEC);
    pid_t pid = 0;
    int rc = Spawn(argv, out[1], errFd, true, pid, in[0], envp.data());
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(out[0]);
        if (errFd >= 0) ::close(errFd);
        result.state = State::CannotStart;
        result.strError = Describe(program, rc);
        return result;
    }
    // The input goes in as the program takes it, never blocking: it may write
    // its output before it has read all of its input.
    ::fcntl(in[1], F_SETFL, O_NONBLOCK);
    int inFd = input.empty() ? (::close(in[1]), -1) : in[1];
    int outFd = out[0];
    std::size_t sent = 0;
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    bool ended = false;
    State state = State::Exited;
    char buf[16384];
    while (!ended || outFd >= 0) {
        if (stop && stop->IsRequested()) {
            state = State::Stopped;
            break;
        }
        int waitMs = kExitCheckMs;
        if (timeoutMs >= 0) {
            auto used = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            waitMs = static_cast<int>(std::min<long long>(waitMs, timeoutMs - used.count()));
            if (waitMs <= 0) {
                state = State::TimedOut;
                break;
            }
        }
        pollfd p[3] = {{outFd, POLLIN, 0}, {inFd, POLLOUT, 0}, {stop ? stop->WaitHandle() : -1, POLLIN, 0}};
        int r = ::poll(p, 3, waitMs);
        if (r < 0 && errno != EINTR) {
            state = State::Failed;
            result.strError = "'" + program + "' could not be watched: " + std::strerror(errno);
            break;
        }
        if (r > 0 && p[1].revents) {
            ssize_t n = WriteToPipe(inFd, input.data() + sent, std::min<std::size_t>(input.size() - sent, 65536));
            if (n > 0) sent += static_cast<std::size_t>(n);
            // A program that stops reading early (EPIPE) has all it wants.
            if (sent == input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                ::close(inFd);
                inFd = -1;
            }
        }
        if (r > 0 && p[0].revents) {
            ssize_t n = ::read(outFd, buf, sizeof buf);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) {
                ::close(outFd);
                outFd = -1;
            } else if (result.strOutput.size() < maxOutput) {
                result.strOutput.append(buf, std::min<std::size_t>(static_cast<std::size_t>(n),
                                                                   maxOutput - result.strOutput.size()));
            }
        }
        if (!ended && ::waitpid(pid, &status, WNOHANG) == pid) ended = true;
    }
    if (inFd >= 0) ::close(inFd);
    if (outFd >= 0) ::close(outFd);
    if (!ended) {
        // Stopped, timed out or failed: nothing it started may outlive the run.
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (errFd >= 0) {
        char err[kStderrKept];
        ssize_t n = ::pread(errFd, err, sizeof err, 0);
        if (n > 0) result.strStderr.assign(err, static_cast<std::size_t>(n));
        ::close(errFd);
    }
    result.state = state;
    if (state == State::TimedOut)
        result.strError = "'" + program + "' did not finish within " + std::to_string(timeoutMs / 1000.0).substr(0, 4) + " s";
    else if (state == State::Stopped)
        result.strError = "'" + program + "' was stopped";
    else if (state == State::Exited)
        result.nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

bool SplitCommandLine(const std::string& text, std::vector<std::string>& words, std::string& err) {
    words.clear();
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
        } else if (c == '\'' || c == '"') {
            std::size_t end = i + 1;
            for (; end < text.size() && text[end] != c; ++end) {
                // Inside double quotes a backslash still escapes " and itself.
                if (c == '"' && text[end] == '\\' && end + 1 < text.size() &&
                    (text[end + 1] == '"' || text[end + 1] == '\\'))
                    ++end;
                word += text[end];
            }
            if (end >= text.size()) {
                err = std::string("unclosed ") + (c == '"' ? "double" : "single") + " quote";
                return false;
            }
            i = end;
        } else {
            word += c;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return true;
}

std::string HelperProgram(const std::string& name) {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return name;
    std::string self(buf, static_cast<std::size_t>(n));
    const std::string folder = self.substr(0, self.rfind('/') + 1);
    // Set by the build from the install folders: libexec's place seen from bin.
    const std::string installed = folder + QUILLORY_LIBEXEC_FROM_BIN "/" + name;
    return ::access(installed.c_str(), X_OK) == 0 ? installed : folder + name;
}

} // namespace platform
