#pragma once
// Opening a web address or mailto: link in the user's program.
#include <functional>
#include <string>
#include <vector>

#include "platform/Shell.h"

namespace platform {

struct LinkResult {
    bool bOpened = false;
    std::string strReason;  // on failure: what the opener said, or why it could not start, line by line
};

// Opens strTarget with the desktop's opener; when that fails, starts the
// program the desktop names for HTML pages with the target as its argument.
// done gets the outcome once it is known.
void OpenUrl(Shell& shell, const std::string& strTarget, std::function<void(const LinkResult&)> done);

// The arguments that start the HTML program of strExec (an Exec line) on
// strTarget: the line is cut at its first %u, %U, %f or %F argument and the
// target appended, as for a command line with a "%1" placeholder.
bool BuildHtmlCommand(const std::string& strExec, const std::string& strTarget, std::vector<std::string>& argv,
                      std::string& err);

} // namespace platform
