#pragma once
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "compose/MimeComposer.h"
#include "platform/Terminal.h"

// Runs "compose": writes the message to the output path, or to standard
// output when it is "-". Ctrl-C, SIGTERM and SIGHUP stop it without leaving
// a partial file. Returns the exit status: 0 written, 1 failed, 128 + the
// signal's number when interrupted.
int RunCompose(const CliRequest& req, std::string& out, std::string& err);


// Composes job with env's files, printing the composer's notices and failure
// on err. Returns 0, 1 when it failed, or 128 + the signal interrupts caught.
int ComposeForCli(const ComposeJob& job, const platform::Platform& env, platform::InterruptCatcher& interrupts,
                  std::string& err);
