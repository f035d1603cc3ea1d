#pragma once
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "compose/MimeComposer.h"

// Runs "compose": writes the message to the output path, or to standard
// output when it is "-". Ctrl-C, SIGTERM and SIGHUP stop it without leaving
// a partial file. Returns the exit status: 0 written, 1 failed, 128 + the
// signal's number when interrupted.
int RunCompose(const CliRequest& req, std::string& out, std::string& err);

