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

// The SMTP value options shared by send and options (--server, --port, --user,
// --security). False with the message in error for a bad value.
bool IsSmtpOption(const std::string& a);
bool ParseSmtpOption(const std::string& a, const std::string& v, AppOptionsOverlay& o, std::string& error);

// Settings warnings as the command line prints them.
std::string WarningLines(const std::vector<std::string>& warnings);
