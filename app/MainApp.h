#pragma once

// Prepares the process, runs the main window and ends when it closes.
class CMainApp {
public:
    // Returns the process's exit code.
    int InitInstance(int argc, char** argv);
};
