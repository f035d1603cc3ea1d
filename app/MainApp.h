#pragma once
#include <string>
#include <vector>

// What the window's command line asked for: quillory [PAGE.html [FILE...]].
struct WindowCommandLine {
    enum class Kind { Run, Help, Version, Usage } kind = Kind::Run;
    std::string page;                // absolute; empty: the last run's page and files come back
    std::vector<std::string> files;  // attachments, absolute, in the order given
    std::string error;               // for Usage: what was wrong
};

// Reads the arguments after the program name, once Qt has taken its own;
// relative paths are taken from cwd (which ends with '/'). Everything after
// --webEngineArgs belongs to the web engine.
WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& args, const std::string& cwd);

const char* WindowUsageText();

// Prepares the process, runs the main window and ends when it closes.
class CMainApp {
public:
    // Returns the process's exit code.
    int InitInstance(int argc, char** argv);
};
