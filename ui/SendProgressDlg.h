#pragma once
#include <QDialog>
#include <QPointer>

#include "ui/CreateProgressDlg.h"

class CLogEdit;
class QLabel;
class QProgressBar;
class QPushButton;

// The window of one send: its phase, the composer's progress, the dialogue
// with the server and the Cancel/Close button. It has no title bar, ignores
// Enter and Esc, is closed only by its owner, and deletes itself when closed.
class CSendProgressDlg : public QDialog {
    Q_OBJECT
public:
    // Not a child of pOwner (a disabled owner would disable it too); it is
    // only centred over it.
    explicit CSendProgressDlg(QWidget* pOwner);

    void SetStatus(const QString& text);
    QString Status() const;
    // Appends one line to the log box.
    void AppendLog(const std::string& strText);
    // The send has ended: the button now reads "Close".
    void SetFinished();
    // Closes the window for its owner; it deletes itself.
    void End();

    QProgressBar* ProgressBar() const { return m_pBar; }
    IProgress* Progress() { return &m_progress; }
    CLogEdit* LogBox() const { return m_pLog; }
    QPushButton* Button() const { return m_pButton; }

signals:
    // The button was pressed; the owner decides what that means.
    void SendClose();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QPointer<QWidget> m_pOwner;
    QLabel* m_pStatus;
    QProgressBar* m_pBar;
    CLogEdit* m_pLog;
    QPushButton* m_pButton;
    CProgressAdapter m_progress;
    bool m_bEnding = false;
};
