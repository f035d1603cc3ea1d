#include "platform/Process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// The file exec would run for name, found before forking so the child only
// has to call exec. False with ENOENT or EACCES as execvp would report them.
bool ResolveProgram(const std::string& name, std::string& path, int& errNo) {
    if (name.empty()) {
        errNo = ENOENT;
        return false;
    }
    if (name.find('/') != std::string::npos) {
        path = name;
        return true;
    }
    const char* env = std::getenv("PATH");
    std::string dirs = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
    bool sawDenied = false;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            if (::access(candidate.c_str(), X_OK) == 0) {
                path = candidate;
                return true;
            }
            sawDenied = true;
        }
        start = end + 1;
    }
    errNo = sawDenied ? EACCES : ENOENT;
    return false;
}

std::vector<char*> ArgPointers(const std::vector<std::string>& argv) {
    std::vector<char*> p;
    for (const std::string& a : argv) p.push_back(const_cast<char*>(a.c_str()));
    p.push_back(nullptr);
    return p;
}

std::string Describe(const std::string& program, int errNo) {
    return "cannot start '" + program + "': " + std::strerror(errNo);
}

} // namespace

bool StartDetached(const std::vector<std::string>& argv, int& errNo, std::string& err) {
    errNo = 0;
    std::string program = argv.empty() ? std::string() : argv[0];
    std::string path;
    if (!ResolveProgram(program, path, errNo)) {
        err = Describe(program, errNo);
        return false;
    }
    std::vector<char*> args = ArgPointers(argv);

    // The grandchild runs the program, so nobody has to wait for it; it
    // reports a failed exec through the pipe, which closes itself on success.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        errNo = errno;
        err = Describe(program, errNo);
        return false;
    }
    pid_t child = ::fork();
    if (child < 0) {
        errNo = errno;
        ::close(report[0]);
        ::close(report[1]);
        err = Describe(program, errNo);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::setsid();
            ::execv(path.c_str(), args.data());
        }
        if (grandchild > 0) ::_exit(0);
        int e = errno;  // of the failed fork or exec
        ssize_t w = ::write(report[1], &e, sizeof e);
        (void)w;
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int childErr = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &childErr, sizeof childErr);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof childErr)) {
        errNo = childErr;
        err = Describe(program, errNo);
        return false;
    }
    return true;
}

bool RunForOutput(const std::vector<std::string>& argv, std::string& out, std::string& err, int timeoutMs) {
    out.clear();
    std::string program = argv.empty() ? std::string() : argv[0];
    std::vector<char*> args = ArgPointers(argv);
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) {
        err = Describe(program, errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // A group of its own, so that a time-out ends whatever it started too.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    int rc = program.empty() ? ENOENT : ::posix_spawnp(&pid, program.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        err = Describe(program, rc);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    char buf[4096];
    for (;;) {
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{pipefd[0], POLLIN, 0};
            int r = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) {
                timedOut = true;
                ::kill(-pid, SIGKILL);
                break;
            }
        }
        ssize_t n = ::read(pipefd[0], buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipefd[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            err = "'" + program + "' could not be waited for: " + std::strerror(errno);
            return false;
        }
    }
    if (timedOut) {
        err = "'" + program + "' did not finish within " + std::to_string(timeoutMs / 1000.0).substr(0, 4) + " s";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        err = "'" + program + "' failed (status " +
              std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ")";
        return false;
    }
    return true;
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

} // namespace platform
