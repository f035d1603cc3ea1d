#pragma once
#include <string>
#include <vector>

#include "compose/ComposeJob.h"

// Where and how "send" delivers; the header fields travel in the ComposeJob.
struct SendOptions {
    std::string server;
    int port = 25;
    bool auth = false;
    std::string user;
};

// What the command line asked for.
struct CliRequest {
    enum class Kind { Compose, Send, Help, Version, Usage } kind = Kind::Usage;
    ComposeJob job;  // for Send: no output path, the HTML path may be empty
    std::string error;  // for Usage: what was wrong
    SendOptions send;
};

// Parses the arguments after the program name; relative paths are taken
// relative to cwd (which ends with '/').
CliRequest ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd);

const char* UsageText();

// Runs the request; returns the process's exit code and writes to out/err.
int RunCli(const std::vector<std::string>& args, const std::string& cwd, std::string& out, std::string& err);
