#pragma once
#include <QTextBrowser>

// The user guide, in a window of its own titled "Quillory Help".
class CHelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    CHelpWindow();
    static constexpr const char* kTitle = "Quillory Help";

    // Shows the guide, creating the window on first use; maximised when asked.
    static CHelpWindow* ShowHelp(bool bMaximised = false);
    // Closes the guide's window if it is open.
    static void CloseHelp();
    static CHelpWindow* Instance();
    static bool IsShown();
};
