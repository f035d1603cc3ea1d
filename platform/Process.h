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

// Runs argv to its end and collects its standard output; its standard error
// is discarded. False with the reason when it could not run or did not exit
// with status 0.
bool RunForOutput(const std::vector<std::string>& argv, std::string& out, std::string& err);

} // namespace platform
