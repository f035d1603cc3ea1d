#pragma once
#include <QKeyEvent>

// Enter and Esc do nothing in our windows: true when the key was one of them
// and has been taken.
inline bool SwallowEnterAndEsc(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        e->accept();
        return true;
    default:
        return false;
    }
}
