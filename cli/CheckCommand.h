#pragma once
#include <string>
#include <vector>

#include "compose/ComposeJob.h"

struct CheckRun {
    bool bJson = false;
    bool bSpam = true;
    bool bLinks = false;
    std::vector<std::string> listClientGlobs;  // empty: the default clients
};

// Runs "check". JSON goes to out as one document at the end; the text report
// goes to standard output at once, and the spam and link sections follow as
// each finishes. Returns the exit status: 0 nothing worse than warnings, 1
// errors, 2 globs that name no client. Spam and links never change it.
int RunCheck(const ComposeJob& job, const CheckRun& run, std::string& out, std::string& err);
