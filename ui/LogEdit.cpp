#include "ui/LogEdit.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextCursor>

#include "smtp/SendOutcome.h"

CLogEdit::CLogEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A long reply or the closing summary is read whole, not scrolled to.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void CLogEdit::AppendLog(const std::string& strText) {
    std::string shown = AsLogLine(strText);
    QString line = QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
    // Like an edit control at its limit: what does not fit is dropped.
    line.truncate(std::max<qsizetype>(0, kTextLimit - m_nLength));
    if (line.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    bool bFollow = bar->value() == bar->maximum();
    // A cursor of our own, so that the user's selection stays where it is.
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(line);
    m_nLength += line.size();
    if (bFollow) bar->setValue(bar->maximum());
}

void CLogEdit::keyPressEvent(QKeyEvent* e) {
    // Copying and selecting all are kept; nothing else typed here has an effect.
    if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll))
        QPlainTextEdit::keyPressEvent(e);
    else
        e->accept();
}

void CLogEdit::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

void CLogEdit::contextMenuEvent(QContextMenuEvent* e) { e->accept(); }
