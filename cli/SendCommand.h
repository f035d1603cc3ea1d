#pragma once
#include <optional>
#include <string>

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
