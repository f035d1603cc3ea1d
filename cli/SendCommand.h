#pragma once
#include <string>

#include "compose/ComposeJob.h"
#include "smtp/Options.h"

// Runs "send" through the send pipeline, printing the dialogue to standard
// output as it goes, and the reason of a failure after it. Returns the exit
// status: 0 sent, 1 failed, 2 missing or bad fields (message in err), 4 sent
// but some recipients refused, 130 interrupted.
int RunSend(const ComposeJob& message, const AppOptions& options, std::string& out, std::string& err);
