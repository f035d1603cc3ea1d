#pragma once
#include <string>

// The text the log gets when a delivery ends, as the window shows it:
// it begins with CR LF, so an empty line stands before it.
std::string SendOutcomeText(bool bSuccess);

// One log line as it is shown: the line ends at its end are replaced by a
// single "\n", and a CR LF inside ("\r\n.\r\n") starts a new line.
std::string AsLogLine(std::string text);
