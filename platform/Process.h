#pragma once
// Starting other programs: the one way is posix_spawnp, with the C library's
// PATH search. The window reaches these through platform::Shell so tests can
// record instead of start.
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// A started program that has not been waited for yet.
struct ChildProcess {
    int pid = -1;
    int errFd = -1;  // a private file that holds what it wrote to standard error
};

// How a child ended.
struct ChildEnd {
    int nExitCode = 0;       // valid when nSignal is 0
    int nSignal = 0;         // the signal that killed it, or 0
    std::string strStderr;   // the first few KiB it wrote to standard error
};

// Starts argv[0] (searched in PATH when it holds no '/') with the other
// elements as its arguments, in a session of its own, with standard input and
// output on /dev/null. Does not wait for it: PollProcess must be called until
// it reports the end. False when the program could not be started: errNo is
// the system's error number (ENOENT, EACCES, ENOEXEC, ...) and err says so.
bool StartProcess(const std::vector<std::string>& argv, ChildProcess& child, int& errNo, std::string& err);

// Never blocks. True once the child has ended: end says how, and child is
// released. False while it still runs.
bool PollProcess(ChildProcess& child, ChildEnd& end);

// Kills a started child with everything in its session and waits for it.
void KillProcess(ChildProcess& child);

// Runs argv to its end and collects its standard output, 64 KiB at most; its
// standard input is empty and its standard error discarded. False with the
// reason when it could not run, did not exit with status 0, or wrote more (it
// is then killed at once, with its process group). The run is over at the
// end of the output, or when the program has exited after a complete line: a
// helper it left running may hold the pipe. With timeoutMs >= 0 a program
// still running after that long is killed, with its process group, and the
// run fails.
bool RunForOutput(const std::vector<std::string>& argv, std::string& out, std::string& err, int timeoutMs = -1);

class StopSignal;

// How RunWithInput went.
struct RunResult {
    enum class State { Exited, CannotStart, TimedOut, Stopped, Failed } state = State::Failed;
    int nExitCode = 0;      // for Exited; 128 + the signal when one killed it
    std::string strOutput;  // the first maxOutput bytes of standard output; the rest is read and dropped
    std::string strStderr;  // the first few KiB of standard error
    std::string strError;   // why, for everything but Exited
};

// Runs argv to its end in a session of its own with input on its standard
// input, and hands back its exit status and output without judging them.
// With timeoutMs >= 0 a program still running after that long is killed with
// its process group, as it is when stop is requested meanwhile. setEnv
// ("NAME=value") replaces or adds variables of this process's environment.
RunResult RunWithInput(const std::vector<std::string>& argv, const std::string& input, std::size_t maxOutput,
                       int timeoutMs, const StopSignal* stop = nullptr, const std::vector<std::string>& setEnv = {});

// Splits a command line into words as a shell would for plain words, '...',
// "..." and backslash escapes, without running a shell: no variables, globs
// or redirections. False with the reason for an unclosed quote.
bool SplitCommandLine(const std::string& text, std::vector<std::string>& words, std::string& err);

// The path of the helper program `name` that comes with this one: once
// installed it lives in libexec/quillory/ (found from this program's own
// place, so any prefix works); in the build folder it sits beside this one.
std::string HelperProgram(const std::string& name);

} // namespace platform
