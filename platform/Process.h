#pragma once
// Starting other programs. The rest of the program reaches these through
// platform::Shell so tests can record instead of start.
#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (searched in PATH when it holds no '/') with the other
// elements as its arguments, in a session of its own, and does not wait for
// it. False when the program could not be started: errNo is the system's error
// number (ENOENT, EACCES, ENOEXEC, ...) and err says what failed.
bool StartDetached(const std::vector<std::string>& argv, int& errNo, std::string& err);

// Runs argv to its end and collects its standard output; its standard input
// is empty and its standard error discarded. False with the reason when it
// could not run or did not exit with status 0. With timeoutMs >= 0 a program
// still running after that long is killed, with its process group, and the
// run fails.
bool RunForOutput(const std::vector<std::string>& argv, std::string& out, std::string& err, int timeoutMs = -1);

// Splits a command line into words as a shell would for plain words, '...',
// "..." and backslash escapes, without running a shell: no variables, globs
// or redirections. False with the reason for an unclosed quote.
bool SplitCommandLine(const std::string& text, std::vector<std::string>& words, std::string& err);

} // namespace platform
