#include "ui/HelpWindow.h"

#include <QGuiApplication>
#include <algorithm>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

namespace {
// One guide window for the whole program, hidden rather than destroyed when closed.
CHelpWindow* g_pHelp = nullptr;

} // namespace

void PlaceBeside(QWidget* help, QWidget* beside) {
    QScreen* screen = beside->screen();
    if (!screen) return;
    QRect area = screen->availableGeometry(), at = beside->frameGeometry();
    int right = area.right() - at.right(), left = at.left() - area.left();
    int room = std::max(right, left);
    int least = help->fontMetrics().averageCharWidth() * 40;
    if (room < least) return;
    // A window that cannot be made narrower than the room overlaps its
    // neighbour rather than leave the screen.
    int w = std::max(std::min(help->width(), room), help->minimumSizeHint().width());
    help->resize(w, help->height());
    help->move(right >= left ? std::min(at.right() + 1, area.right() + 1 - w) : std::max(at.left() - w, area.left()),
               at.top());
}

CHelpWindow::CHelpWindow() {
    setWindowTitle(QString::fromLatin1(kTitle));
    setOpenExternalLinks(true);
    setSearchPaths({QStringLiteral(":/help")});
    setSource(QUrl(QStringLiteral("qrc:/help/index.html")));
    document()->setDocumentMargin(fontMetrics().averageCharWidth() * 3);
    // About 70 characters a line reads comfortably.
    QFontMetrics fm(font());
    resize(fm.averageCharWidth() * 80, fm.lineSpacing() * 36);
    for (QKeySequence key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* s = new QShortcut(key, this);
        connect(s, &QShortcut::activated, this, &QWidget::close);
    }
}

CHelpWindow* CHelpWindow::Instance() { return g_pHelp; }

CHelpWindow* CHelpWindow::ShowHelp(QWidget* pBeside) {
    if (!g_pHelp) g_pHelp = new CHelpWindow;
    if (!g_pHelp->m_bPlaced && pBeside && pBeside->isVisible()) {
        PlaceBeside(g_pHelp, pBeside);
        g_pHelp->m_bPlaced = true;
    }
    // A minimised guide comes back in the state it had before.
    if (g_pHelp->isMinimized()) g_pHelp->setWindowState(g_pHelp->windowState() & ~Qt::WindowMinimized);
    g_pHelp->show();
    g_pHelp->raise();
    g_pHelp->activateWindow();
    return g_pHelp;
}

void CHelpWindow::CloseHelp() {
    if (g_pHelp) g_pHelp->close();
}

bool CHelpWindow::IsShown() { return g_pHelp && g_pHelp->isVisible(); }
