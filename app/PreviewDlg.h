#pragma once
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "compose/ComposeJob.h"
#include "platform/Platform.h"
#include "platform/TempFile.h"

class CComposeTask;
class CMessagePreview;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QWebEngineView;

// The message as its recipient will see it, in a window of its own: composed
// on a worker thread, read back and drawn with nothing from the network. It
// follows the page: saving the page file composes and draws it again.
class CPreviewDlg : public QWidget {
    Q_OBJECT
public:
    explicit CPreviewDlg(QWidget* parent, const platform::Platform& env = platform::Platform());
    ~CPreviewDlg() override;

    // Composes job (its output path is ignored) and shows the result.
    void ShowMessage(ComposeJob job);
    int PreviewWidth() const;

    QComboBox* WidthChoice() const { return m_pWidth; }
    QLabel* StatusLine() const { return m_pStatus; }
    QWebEngineView* View() const { return m_pView; }

signals:
    // A composition ended and its message is being drawn (ok), or it failed.
    void Composed(bool ok);
    // The drawing of the last message finished.
    void Shown(bool ok);

private:
    void Recompose();
    void OnComposed(int nEnd, const QString& strReason);
    void OnPageChanged();
    void SetWidth();
    void SetStatus(const QString& text, bool bError);

    platform::Platform m_env;
    ComposeJob m_job;
    platform::OwnedTempFile m_message;
    CMessagePreview* m_pPreview;
    QComboBox* m_pWidth;
    QLabel* m_pStatus;
    QWebEngineView* m_pView;
    QFileSystemWatcher* m_pWatcher;
    QTimer m_settle;  // editors write in steps: compose once they are done
    CComposeTask* m_pTask = nullptr;
    bool m_bAgain = false;  // the page changed while it was being composed
    QString m_strNotices;   // what the composer said of the message shown
};
