#pragma once
#include <string>

#include "compose/ComposeJob.h"

// Runs "check": the report on standard output, as text or JSON. Returns the
// exit status: 0 nothing worse than warnings, 1 errors.
int RunCheck(const ComposeJob& job, bool bJson, std::string& out, std::string& err);
