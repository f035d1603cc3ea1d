#include "ui/SendProgressDlg.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/AttachmentList.h"
#include "ui/LogEdit.h"

CSendProgressDlg::CSendProgressDlg(QWidget* pOwner)
    : QDialog(pOwner),
      m_pStatus(new QLabel(this)),
      m_pBar(new QProgressBar(this)),
      m_pBytes(new QLabel(this)),
      m_pLog(new CLogEdit(this)),
      m_pButton(new QPushButton(QStringLiteral("Cancel"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Send Email"));
    // A window that follows a piece of work: nothing to maximise.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pBytes->setTextFormat(Qt::PlainText);
    m_pBar->setRange(0, 0);  // busy until the body starts
    m_pBar->setFormat(QStringLiteral("%p %"));
    m_pButton->setAutoDefault(false);
    QFontMetrics fm(font());
    m_pLog->setMinimumSize(fm.averageCharWidth() * 72, fm.lineSpacing() * 14);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pStatus);
    layout->addWidget(m_pBar);
    layout->addWidget(m_pBytes);
    layout->addWidget(m_pLog, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_pButton);
    layout->addLayout(row);
    connect(m_pButton, &QPushButton::clicked, this, &CSendProgressDlg::SendClose);
}

void CSendProgressDlg::SetStatus(const QString& text) { m_pStatus->setText(text); }

QString CSendProgressDlg::Status() const { return m_pStatus->text(); }

void CSendProgressDlg::AppendLog(const std::string& strText) { m_pLog->AppendLog(strText); }

void CSendProgressDlg::SetBytes(std::uint64_t nSent, std::uint64_t nTotal) {
    m_pBar->setRange(0, 1000);
    m_pBar->setValue(nTotal ? static_cast<int>(nSent * 1000 / nTotal) : 0);
    if (nTotal == 0) return m_pBytes->clear();  // nothing counted yet, or a failure before the count
    m_pBytes->setText((m_bComposing ? QStringLiteral("%1 of %2 encoded") : QStringLiteral("%1 of %2 sent"))
                          .arg(QString::fromStdString(FormatFileSize(nSent)),
                               QString::fromStdString(FormatFileSize(nTotal))));
}

void CSendProgressDlg::SetOutcome(bool bOk, const QString& text) {
    m_bFinished = true;
    m_bOk = bOk;
    m_pLog->AppendLog(text.toStdString());
    SetStatus(bOk ? QStringLiteral("Sending email...OK") : QStringLiteral("Sending email...Failure"));
    m_pBar->setRange(0, 1000);
    m_pBar->setValue(1000);
    m_pBar->setTextVisible(false);
    if (!bOk) {
        // The bar itself says it went wrong, not only the text.
        QPalette p = m_pBar->palette();
        p.setColor(QPalette::Highlight, QColor(190, 30, 30));
        m_pBar->setPalette(p);
    }
    m_pButton->setText(QStringLiteral("Close"));
    m_pButton->setDefault(true);
    m_pButton->setFocus();
}

void CSendProgressDlg::End() {
    m_bEnding = true;
    close();
}

void CSendProgressDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Before the end a stray key must not cancel the send.
        if (m_bFinished) emit SendClose();
        e->accept();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

void CSendProgressDlg::closeEvent(QCloseEvent* e) {
    if (m_bEnding) return QDialog::closeEvent(e);
    // The window manager's close is the button: the owner closes the window.
    e->ignore();
    emit SendClose();
}
