#pragma once
#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "compose/ComposeJob.h"
#include "smtp/Options.h"

// Runs "send" through the send pipeline, printing the dialogue to standard
// output as it goes, and the reason of a failure after it. The options are
// the saved ones with the command line's changes over them. The saved
// password goes only to the server, port and user it was saved for; a login
// goes unencrypted only when the command line says --security none. Returns
// the exit status: 0 sent, 1 failed, 2 missing or bad fields (message in
// err), 4 sent but some recipients refused, 130 interrupted.
int RunSend(const ComposeJob& message, const AppOptions& saved, const AppOptionsOverlay& given,
            const std::optional<std::string>& envPassword, std::string& out, std::string& err);

// Runs "send-list": the page to every row of the list, printing the dialogue
// and each recipient's state, then the summary and the report's path.
// Returns 0 all sent, 1 failed or interrupted (the next run continues),
// 2 bad usage or fields, 4 some refused, failed or unknown.
int RunSendList(const ComposeJob& message, const CliRequest::ListArgs& list, const AppOptions& saved,
                const AppOptionsOverlay& given, const std::optional<std::string>& envPassword, std::string& err);
