#include "platform/Process.h"

#include <cerrno>
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

bool RunForOutput(const std::vector<std::string>& argv, std::string& out, std::string& err) {
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
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = program.empty() ? ENOENT : ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        err = Describe(program, rc);
        return false;
    }
    char buf[4096];
    for (;;) {
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        err = "'" + program + "' failed (status " +
              std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ")";
        return false;
    }
    return true;
}

} // namespace platform
