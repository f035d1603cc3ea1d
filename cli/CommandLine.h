#pragma once
#include <string>
#include <vector>

#include "compose/ComposeJob.h"

// What the command line asked for.
struct CliRequest {
    enum class Kind { Compose, Help, Version, Usage } kind = Kind::Usage;
    ComposeJob job;
    std::string error;  // for Usage: what was wrong
};

// Parses the arguments after the program name; relative paths are taken
// relative to cwd (which ends with '/').
CliRequest ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd);

const char* UsageText();

// Runs the request; returns the process's exit code and writes to out/err.
int RunCli(const std::vector<std::string>& args, const std::string& cwd, std::string& out, std::string& err);
