#include "ui/CreateProgressDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/AttachmentList.h"

CCreateProgressDlg::CCreateProgressDlg(QWidget* pOwner)
    : QDialog(pOwner),
      m_pCaption(new QLabel(this)),
      m_pBar(new QProgressBar(this)),
      m_pBytes(new QLabel(this)),
      m_pCancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Create Email"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_pCaption->setTextFormat(Qt::PlainText);
    m_pBar->setRange(0, 1000);
    m_pBar->setValue(0);
    m_pBar->setFormat(QStringLiteral("%p %"));
    m_pBar->setMinimumWidth(m_pBar->fontMetrics().averageCharWidth() * 50);
    m_pBytes->setTextFormat(Qt::PlainText);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pCaption);
    layout->addWidget(m_pBar);
    auto* row = new QHBoxLayout;
    row->addWidget(m_pBytes, 1);
    row->addWidget(m_pCancel);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_pCancel, &QPushButton::clicked, this, &CCreateProgressDlg::reject);
}

void CCreateProgressDlg::SetCaption(const QString& text) { m_pCaption->setText(text); }

void CCreateProgressDlg::SetBytes(std::uint64_t nDone, std::uint64_t nTotal) {
    m_pBar->setValue(nTotal ? static_cast<int>(nDone * 1000 / nTotal) : 0);
    if (nTotal == 0) return m_pBytes->clear();
    m_pBytes->setText(QStringLiteral("%1 of %2")
                          .arg(QString::fromStdString(FormatFileSize(nDone)),
                               QString::fromStdString(FormatFileSize(nTotal))));
}

void CCreateProgressDlg::SetFinishing() {
    m_bFinishing = true;
    m_pCancel->setEnabled(false);
    m_pCaption->setText(QStringLiteral("Finishing..."));
}

void CCreateProgressDlg::End() {
    m_bEnding = true;
    close();
}

void CCreateProgressDlg::reject() {
    if (m_bEnding) return QDialog::reject();
    if (m_bFinishing) return;
    m_pCancel->setEnabled(false);
    m_pCaption->setText(QStringLiteral("Cancelling..."));
    emit CancelRequested();
}
