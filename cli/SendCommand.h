#pragma once
#include <string>

#include "cli/CommandLine.h"

// Runs "send": checks the fields, composes into a private temporary file,
// delivers it on a worker thread while printing the dialogue to standard
// output, and removes the file on every path. Returns the exit status:
// 0 sent, 1 failed, 2 missing or bad fields (message in err), 130 interrupted.
int RunSend(const CliRequest& req, std::string& out, std::string& err);
