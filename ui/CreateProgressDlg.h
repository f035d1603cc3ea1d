#pragma once
#include <QDialog>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

// The window shown while a message file is written: what is being written,
// the bytes done of the total as a bar with its percentage, and Cancel. Esc
// and the window's close button cancel too. It deletes itself when closed.
class CCreateProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCreateProgressDlg(QWidget* pOwner);
    void SetCaption(const QString& text);
    void SetBytes(std::uint64_t nDone, std::uint64_t nTotal);
    // The work can no longer be stopped: Cancel is disabled and the caption says so.
    void SetFinishing();
    // The work has ended: the window goes without asking anything more.
    void End();

    QProgressBar* ProgressBar() const { return m_pBar; }
    QLabel* BytesLabel() const { return m_pBytes; }
    QPushButton* CancelButton() const { return m_pCancel; }

signals:
    void CancelRequested();

public slots:
    void reject() override;  // Esc and the close button: Cancel

private:
    QLabel* m_pCaption;
    QProgressBar* m_pBar;
    QLabel* m_pBytes;
    QPushButton* m_pCancel;
    bool m_bEnding = false;
    bool m_bFinishing = false;
};
