#include "ui/HelpWindow.h"

#include <QGuiApplication>
#include <algorithm>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

namespace {
// One guide window for the whole program, hidden rather than destroyed when closed.
CHelpWindow* g_pHelp = nullptr;

} // namespace

void KeepOnScreen(QWidget* window, const QRect& wanted) {
    QScreen* screen = nullptr;
    int most = 0;
    for (QScreen* s : QGuiApplication::screens()) {
        QRect common = s->availableGeometry() & wanted;
        if (common.width() * common.height() > most) {
            most = common.width() * common.height();
            screen = s;
        }
    }
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry(), inner = window->geometry(), outer = window->frameGeometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                   outer.bottom() - inner.bottom());
    if (frame.isNull()) frame.setTop(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
    QSize room(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom());
    QSize size = wanted.size().boundedTo(room).expandedTo(window->minimumSize());
    int w = size.width() + frame.left() + frame.right(), h = size.height() + frame.top() + frame.bottom();
    // A window larger than the screen even at its least keeps its top left corner in view.
    int x = std::max(std::min(wanted.x(), area.right() + 1 - w), area.left());
    int y = std::max(std::min(wanted.y(), area.bottom() + 1 - h), area.top());
    window->resize(size);
    window->move(x, y);
}

void PlaceBeside(QWidget* help, QWidget* beside) {
    QScreen* screen = beside->screen();
    if (!screen) return;
    QRect area = screen->availableGeometry(), at = beside->frameGeometry();
    int right = area.right() - at.right(), left = at.left() - area.left();
    int room = std::max(right, left);
    int least = help->fontMetrics().averageCharWidth() * 40;
    if (room < least) return KeepOnScreen(help, QRect(help->pos(), help->size()));
    // A window that cannot be made narrower than the room overlaps its
    // neighbour rather than leave the screen.
    int w = std::max(std::min(help->width(), room), help->minimumSizeHint().width());
    KeepOnScreen(help, QRect(right >= left ? std::min(at.right() + 1, area.right() + 1 - w) : std::max(at.left() - w, area.left()),
                             at.top(), w, help->height()));
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

CHelpWindow* CHelpWindow::ShowHelp(QWidget* pBeside, bool bActivate) {
    if (!g_pHelp) g_pHelp = new CHelpWindow;
    if (!g_pHelp->m_bPlaced && pBeside && pBeside->isVisible()) {
        PlaceBeside(g_pHelp, pBeside);
        g_pHelp->m_bPlaced = true;
    }
    // A minimised guide comes back in the state it had before.
    if (g_pHelp->isMinimized()) g_pHelp->setWindowState(g_pHelp->windowState() & ~Qt::WindowMinimized);
    g_pHelp->setAttribute(Qt::WA_ShowWithoutActivating, !bActivate);
    g_pHelp->show();
    g_pHelp->raise();
    if (bActivate) g_pHelp->activateWindow();
    return g_pHelp;
}

void CHelpWindow::CloseHelp() {
    if (g_pHelp) g_pHelp->close();
}

bool CHelpWindow::IsShown() { return g_pHelp && g_pHelp->isVisible(); }
