#pragma once
#include <QTextBrowser>

// Places a window beside another, on the side with more room, narrowed to fit
// when it must; on a screen too small for both, wherever the window manager puts it.
void PlaceBeside(QWidget* window, QWidget* beside);

// The user guide, in a window of its own titled "Quillory Help": a normal
// window sized for reading, closed by Esc and Ctrl+W.
class CHelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    CHelpWindow();
    static constexpr const char* kTitle = "Quillory Help";

    // Shows the guide, creating the window on first use. The first time it is
    // placed beside pBeside (the main window) rather than over it.
    static CHelpWindow* ShowHelp(QWidget* pBeside = nullptr);
    // Closes the guide's window if it is open.
    static void CloseHelp();
    static CHelpWindow* Instance();
    static bool IsShown();

private:
    bool m_bPlaced = false;
};
