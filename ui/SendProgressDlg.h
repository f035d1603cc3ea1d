#pragma once
#include <QDialog>
#include <cstdint>

class CLogEdit;
class QLabel;
class QProgressBar;
class QPushButton;

// The window of one send: its phase, the bytes of the body sent, the dialogue
// with the server and the Cancel/Close button. A normal window that can be
// moved; Enter and Esc close it once the send has ended. Its owner closes it
// (End), and it deletes itself then.
class CSendProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSendProgressDlg(QWidget* pOwner);

    void SetStatus(const QString& text);
    QString Status() const;
    // Appends one line to the log box.
    void AppendLog(const std::string& strText);
    // nSent of nTotal bytes of the message body have gone to the server, or,
    // while the message is being composed, of its inputs have been encoded.
    void SetBytes(std::uint64_t nSent, std::uint64_t nTotal);
    void SetComposing(bool bComposing) { m_bComposing = bComposing; }
    // The send has ended: the outcome in words goes under the log, the status
    // and the bar show success or failure, and the button reads "Close".
    void SetOutcome(bool bOk, const QString& text);
    // Closes the window for its owner; it deletes itself.
    void End();

    bool IsFinished() const { return m_bFinished; }
    bool IsFailed() const { return m_bFinished && !m_bOk; }
    QProgressBar* ProgressBar() const { return m_pBar; }
    QLabel* BytesLabel() const { return m_pBytes; }
    CLogEdit* LogBox() const { return m_pLog; }
    QPushButton* Button() const { return m_pButton; }

signals:
    // The button, Enter or Esc after the end, or the window's close button:
    // the owner decides what that means.
    void SendClose();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QLabel* m_pStatus;
    QProgressBar* m_pBar;
    QLabel* m_pBytes;
    CLogEdit* m_pLog;
    QPushButton* m_pButton;
    bool m_bComposing = false;
    bool m_bFinished = false;
    bool m_bOk = false;
    bool m_bEnding = false;
};
