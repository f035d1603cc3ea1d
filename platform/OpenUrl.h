#pragma once
// Opening a web address or mailto: link in the user's program.
#include <functional>
#include <string>
#include <vector>

#include "platform/Shell.h"

namespace platform {

// Why a link could not be opened. The numbers are those the error texts of
// the link box are keyed by; a system error outside this list is given as its
// negated error number.
enum LinkError : int {
    kLinkOutOfResources = 0,
    kLinkFileNotFound = 2,
    kLinkPathNotFound = 3,
    kLinkAccessDenied = 5,
    kLinkOutOfMemory = 8,
    kLinkBadFormat = 11,
    kLinkSharingViolation = 26,
    kLinkAssocIncomplete = 27,
    kLinkNoAssoc = 31,
    kLinkLibraryNotFound = 32,
};

struct LinkResult {
    bool bOpened = false;
    int nCode = kLinkNoAssoc;  // on failure: a LinkError or a negated errno
    std::string strReason;     // on failure: what the system said
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

// The LinkError for a system error number of a failed start.
int LinkErrorFromErrno(int errNo);

} // namespace platform
