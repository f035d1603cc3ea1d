#pragma once
// The freedesktop.org way of naming the user's program for a kind of file:
// a desktop entry chosen by xdg-mime, whose Exec line starts the program.
#include <string>
#include <vector>

namespace platform {

// The Exec value of the desktop entry that xdg-mime names as the default for
// text/html, found in $XDG_DATA_HOME and $XDG_DATA_DIRS. False with the reason
// when xdg-mime names none or the entry cannot be found or holds no Exec line.
bool DefaultHtmlCommand(std::string& strExec, std::string& err);

// The Exec key of the [Desktop Entry] group of the entry with the given id
// (such as "firefox-esr.desktop"), searched in the XDG data folders.
bool FindDesktopEntryExec(const std::string& strId, std::string& strExec, std::string& err);

// Splits an Exec value into its arguments by the desktop entry quoting rules;
// field codes such as %u stay as they are. False when a quote is left open.
bool SplitExecLine(const std::string& strExec, std::vector<std::string>& args, std::string& err);

} // namespace platform
