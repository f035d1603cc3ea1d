#pragma once
#include <functional>
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


// Composes job with env's files ("-" as output is standard output), printing
// the composer's notices and failure on err. Returns 0 or 1 when it failed.
// A signal caught during the composition removes its partial output, runs
// atSignal, prints err and ends the process at once with 128 + the signal.
int ComposeForCli(const ComposeJob& job, const platform::Platform& env, platform::InterruptCatcher& interrupts,
                  std::string& err, const std::function<void()>& atSignal);
