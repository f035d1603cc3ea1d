#pragma once
#include <string>
#include <vector>

#include "compose/ComposeJob.h"

// Runs "check": the report on standard output, as text or JSON, with the
// support of the clients the globs choose (the default ones when empty).
// Returns the exit status: 0 nothing worse than warnings, 1 errors, 2 globs
// that name no client.
int RunCheck(const ComposeJob& job, bool bJson, const std::vector<std::string>& clientGlobs, std::string& out,
             std::string& err);
