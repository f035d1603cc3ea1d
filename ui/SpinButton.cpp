#include "ui/SpinButton.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

CSpinButtonCtrl::CSpinButtonCtrl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto arrow = [&](Qt::ArrowType type, int delta) {
        auto* b = new QToolButton(this);
        b->setArrowType(type);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);  // the edit box keeps the focus, as with the keys
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        layout->addWidget(b);
        connect(b, &QToolButton::clicked, this, [this, delta] { Step(delta); });
        return b;
    };
    m_pUp = arrow(Qt::UpArrow, 1);
    m_pDown = arrow(Qt::DownArrow, -1);
    setFixedWidth(fontMetrics().height());
}

void CSpinButtonCtrl::SetBuddy(QLineEdit* pBuddy) {
    m_pBuddy = pBuddy;
    pBuddy->installEventFilter(this);
}

void CSpinButtonCtrl::SetRange32(int nLower, int nUpper) {
    m_nLower = nLower;
    m_nUpper = nUpper;
}

void CSpinButtonCtrl::Step(int nDelta) {
    if (!m_pBuddy) return;
    bool ok = false;
    long long value = m_pBuddy->text().toLongLong(&ok);
    if (!ok) value = m_nLower;  // nothing usable typed: start from the bottom
    long long lo = std::min(m_nLower, m_nUpper), hi = std::max(m_nLower, m_nUpper);
    value = std::clamp(value + nDelta, lo, hi);
    m_pBuddy->setText(QString::number(value));
}

bool CSpinButtonCtrl::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_pBuddy && e->type() == QEvent::KeyPress && isEnabled()) {
        int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}
