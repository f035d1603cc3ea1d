#include "ui/CreateProgressDlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include "ui/DialogUnits.h"
#include "ui/KeyFilter.h"

void CProgressAdapter::SetRange(int nLower, int nUpper) { m_pBar->setRange(nLower, nUpper); }

void CProgressAdapter::SetPos(int nPos) {
    m_pBar->setValue(nPos);
    m_pBar->repaint();
}

void CProgressAdapter::StepIt() {
    int next = m_pBar->value() + m_nStep;
    // Like the classic control: past the end wraps to the start.
    if (next > m_pBar->maximum()) next = m_pBar->minimum() + (next - m_pBar->maximum());
    m_pBar->setValue(next);
    m_pBar->repaint();
}

CCreateProgressDlg::CCreateProgressDlg()
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint),
      m_pCaption(new QLabel(this)),
      m_pBar(new QProgressBar(this)),
      m_progress(m_pBar) {
    setAttribute(Qt::WA_DeleteOnClose);
    DialogUnits du(font());
    setFixedSize(du.X(320), du.Y(38));
    m_pCaption->setGeometry(du.Rect(7, 7, 306, 8));
    m_pBar->setGeometry(du.Rect(7, 18, 306, 13));
    m_pBar->setTextVisible(false);
    m_pBar->setRange(0, 100);
    m_pBar->setValue(0);
}

void CCreateProgressDlg::SetCaption(const QString& text) { m_pCaption->setText(text); }

void CCreateProgressDlg::keyPressEvent(QKeyEvent* e) {
    if (!SwallowEnterAndEsc(e)) QDialog::keyPressEvent(e);
}

void CCreateProgressDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}
