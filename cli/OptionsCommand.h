#pragma once
// "quillory-cli options": shows the saved settings or changes the options group.
#include <iosfwd>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "cli/CommandLine.h"

// Reads the arguments after "options" into r; on a mistake r becomes a usage error.
void ParseOptionsCommand(const std::vector<std::string>& args, CliRequest& r);

// One line per value; the password only as stars.
std::string FormatSettings(const AppSettings& s);

int RunOptionsCommand(const CliRequest& req, std::istream* in, std::string& out, std::string& err);

// Reads the value of an option's flag into the overlay; false with the
// message for the user when the value does not check.
bool ParseOptionFlag(const OptionRow& row, const std::string& value, AppOptionsOverlay& o, std::string& error);

// Settings warnings as the command line prints them.
std::string WarningLines(const std::vector<std::string>& warnings);
