#pragma once
#include <QDialog>

#include "compose/ComposeJob.h"

class QLabel;
class QProgressBar;

// Drives a progress bar for the composer and repaints it at each step, since
// the composition blocks the event loop.
class CProgressAdapter : public IProgress {
public:
    explicit CProgressAdapter(QProgressBar* bar) : m_pBar(bar) {}
    void SetRange(int nLower, int nUpper) override;
    void SetStep(int nStep) override { m_nStep = nStep; }
    void SetPos(int nPos) override;
    void StepIt() override;

private:
    QProgressBar* m_pBar;
    int m_nStep = 1;
};

// The small window shown while a message file is written. It has no title bar,
// ignores Enter and Esc, and deletes itself when closed.
class CCreateProgressDlg : public QDialog {
    Q_OBJECT
public:
    CCreateProgressDlg();
    void SetCaption(const QString& text);
    QProgressBar* ProgressBar() const { return m_pBar; }
    IProgress* Progress() { return &m_progress; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    QLabel* m_pCaption;
    QProgressBar* m_pBar;
    CProgressAdapter m_progress;
};
