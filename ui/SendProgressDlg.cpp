#include "ui/SendProgressDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "ui/DialogUnits.h"
#include "ui/KeyFilter.h"
#include "ui/LogEdit.h"

CSendProgressDlg::CSendProgressDlg(QWidget* pOwner)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint),
      m_pOwner(pOwner),
      m_pStatus(new QLabel(this)),
      m_pBar(new QProgressBar(this)),
      m_pLog(new CLogEdit(this)),
      m_pButton(new QPushButton(QStringLiteral("Cancel"), this)),
      m_progress(m_pBar) {
    setAttribute(Qt::WA_DeleteOnClose);
    DialogUnits du(font());
    setFixedSize(du.X(320), du.Y(170));
    m_pStatus->setGeometry(du.Rect(7, 7, 306, 8));
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pBar->setGeometry(du.Rect(7, 18, 306, 13));
    m_pBar->setTextVisible(false);
    m_pBar->setRange(0, 100);
    m_pBar->setValue(0);
    m_pLog->setGeometry(du.Rect(7, 36, 306, 107));
    m_pButton->setGeometry(du.Rect(263, 149, 50, 14));
    m_pButton->setAutoDefault(false);
    connect(m_pButton, &QPushButton::clicked, this, &CSendProgressDlg::SendClose);
}

void CSendProgressDlg::SetStatus(const QString& text) { m_pStatus->setText(text); }

QString CSendProgressDlg::Status() const { return m_pStatus->text(); }

void CSendProgressDlg::AppendLog(const std::string& strText) { m_pLog->AppendLog(strText); }

void CSendProgressDlg::SetFinished() { m_pButton->setText(QStringLiteral("Close")); }

void CSendProgressDlg::End() {
    m_bEnding = true;
    close();
}

void CSendProgressDlg::keyPressEvent(QKeyEvent* e) {
    if (!SwallowEnterAndEsc(e)) QDialog::keyPressEvent(e);
}

void CSendProgressDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    QRect area = m_pOwner ? m_pOwner->frameGeometry() : QRect();
    if (area.isEmpty())
        if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
    move(area.center() - rect().center());
}

void CSendProgressDlg::closeEvent(QCloseEvent* e) {
    // The window manager's close would leave the owner disabled for good.
    if (m_bEnding)
        QDialog::closeEvent(e);
    else
        e->ignore();
}

void CSendProgressDlg::paintEvent(QPaintEvent* e) {
    QDialog::paintEvent(e);
    // Without a title bar the window needs an edge of its own to stand out.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
