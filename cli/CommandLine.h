#pragma once
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "compose/ComposeJob.h"

// The options that "options" was asked to change; the rest stay as saved.
struct OptionChanges {
    std::optional<std::string> server;
    std::optional<std::int32_t> port;
    std::optional<std::int32_t> auth;
    std::optional<std::string> user;
    bool bPasswordFromStdin = false;
    std::optional<std::int32_t> browseFolder;
    std::optional<std::int32_t> openEml;
    std::optional<std::int32_t> security;
    bool Any() const {
        return server || port || auth || user || bPasswordFromStdin || browseFolder || openEml || security;
    }
};

// Where and how "send" delivers; the header fields travel in the ComposeJob.
struct SendOptions {
    std::string server;
    int port = 25;
    bool auth = false;
    std::string user;
    int security = 0;  // an SmtpSecurity value
    // What was given on the command line; the rest comes from the saved settings.
    bool bServerGiven = false, bPortGiven = false, bAuthGiven = false, bUserGiven = false, bSecurityGiven = false;
    std::string storedPassword;  // the saved password, for the saved account only
};

// What the command line asked for.
struct CliRequest {
    enum class Kind { Compose, Send, Options, Help, Version, Usage } kind = Kind::Usage;
    ComposeJob job;  // for Send: no output path, the HTML path may be empty
    std::string error;  // for Usage: what was wrong
    // Compose and Send: the header fields given; the others come from the saved settings.
    bool bSubjectGiven = false, bFromGiven = false, bToGiven = false, bCcGiven = false;
    OptionChanges options;
    SendOptions send;
};

// Parses the arguments after the program name; relative paths are taken
// relative to cwd (which ends with '/').
CliRequest ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd);

const char* UsageText();

// Runs the request; returns the process's exit code and writes to out/err.
// in supplies the password for --password-stdin.
int RunCli(const std::vector<std::string>& args, const std::string& cwd, std::string& out, std::string& err,
           std::istream* in = nullptr);
