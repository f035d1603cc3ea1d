#pragma once
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "compose/ComposeJob.h"
#include "compose/MessageReader.h"
#include "smtp/Options.h"

// What the command line asked for.
struct CliRequest {
    enum class Kind { Compose, Send, Check, Preview, Options, Help, Version, Usage } kind = Kind::Usage;
    ComposeJob job;  // for Send: no output path, the HTML path may be empty
    std::string error;  // for Usage: what was wrong
    // Header fields and options given; the others come from the saved settings.
    MailFieldsOverlay mail;
    AppOptionsOverlay options;
    bool bPasswordFromStdin = false;  // options: the password is the first line of input
    bool bJson = false;               // check: one JSON document instead of text
    bool bSpam = true;                // check: SpamAssassin's verdict, when it is installed
    bool bLinks = false;              // check: ask the web whether links and remote images answer
    // check: the client-support globs of --clients; empty for the default clients
    std::vector<std::string> listClientGlobs;
    // preview: the picture's size in pixels (height 0: as tall as the page);
    // the job's output path names the PNG file.
    int nPreviewWidth = kDesktopPreviewWidth;
    int nPreviewHeight = 0;
};

// Parses the arguments after the program name; relative paths are taken
// relative to cwd (which ends with '/').
CliRequest ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd);

const char* UsageText();

// Runs the request; returns the process's exit code and writes to out/err.
// in supplies the password for --password-stdin; envPassword is the one the
// environment gave (see kPasswordVariable).
int RunCli(const std::vector<std::string>& args, const std::string& cwd, std::string& out, std::string& err,
           std::istream* in = nullptr, const std::optional<std::string>& envPassword = std::nullopt);
