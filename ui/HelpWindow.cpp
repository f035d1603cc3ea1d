#include "ui/HelpWindow.h"

#include <QUrl>

namespace {
// One guide window for the whole program, hidden rather than destroyed when closed.
CHelpWindow* g_pHelp = nullptr;
}

CHelpWindow::CHelpWindow() {
    setWindowTitle(QString::fromLatin1(kTitle));
    setOpenExternalLinks(true);
    setSearchPaths({QStringLiteral(":/help")});
    setSource(QUrl(QStringLiteral("qrc:/help/index.html")));
    resize(720, 560);
}

CHelpWindow* CHelpWindow::Instance() { return g_pHelp; }

CHelpWindow* CHelpWindow::ShowHelp(bool bMaximised) {
    if (!g_pHelp) g_pHelp = new CHelpWindow;
    if (bMaximised) {
        g_pHelp->showMaximized();
    } else {
        // A minimised guide comes back in the state it had before.
        if (g_pHelp->isMinimized()) g_pHelp->setWindowState(g_pHelp->windowState() & ~Qt::WindowMinimized);
        g_pHelp->show();
    }
    g_pHelp->raise();
    g_pHelp->activateWindow();
    return g_pHelp;
}

void CHelpWindow::CloseHelp() {
    if (g_pHelp) g_pHelp->close();
}

bool CHelpWindow::IsShown() { return g_pHelp && g_pHelp->isVisible(); }
