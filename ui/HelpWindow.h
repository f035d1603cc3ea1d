#pragma once
#include <QTextBrowser>

// Gives window the frame rectangle wanted (the frame's top left, the inside's
// size), moved and shrunk as far as needed to lie within the available area
// of the screen that shows most of it. Before the window manager has framed
// it, room for a title bar is kept.
void KeepOnScreen(QWidget* window, const QRect& wanted);

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
    // Without bActivate the focus stays where it is.
    static CHelpWindow* ShowHelp(QWidget* pBeside = nullptr, bool bActivate = true);
    // Closes the guide's window if it is open.
    static void CloseHelp();
    static CHelpWindow* Instance();
    static bool IsShown();

private:
    bool m_bPlaced = false;
};
