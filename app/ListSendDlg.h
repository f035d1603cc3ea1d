#pragma once
#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "smtp/ListSend.h"

class IPrompts;
class WindowState;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;

// Send to List: the list chosen and looked at (its columns, the rows left
// out, the first messages filled in), then the send with its progress, Pause
// and Cancel, and its report. The page, From, Subject, attachments and server
// are the main window's, as Send Email would use them. A send under way is
// recorded in the window's state until it ends, so the next start can offer
// to continue it; the journal beside the list does the continuing.
class CListSendDlg : public QDialog {
    Q_OBJECT
public:
    CListSendDlg(QWidget* pOwner, IPrompts& prompts, WindowState& state, const platform::Platform& env,
                 SendRequest send);
    ~CListSendDlg() override;  // a send still running is stopped and waited for

    struct Widgets {
        QLineEdit* pListEdit;  // the list's path, chosen with Browse
        QPushButton* pBrowse;
        QComboBox* pColumn;  // the address column
        QSpinBox* pRate;     // messages a minute, 0 for no limit
        QLineEdit* pUnsubscribe;
        QLabel* pColumns;   // the columns the fields can name
        QLabel* pProblem;   // why the list cannot be sent as it stands; hidden when it can
        QTableWidget* pLeftOut;  // bad and duplicate rows: line, address, why
        QTableWidget* pPreview;  // the first recipients: To, Subject
        QPlainTextEdit* pPageText;  // the selected recipient's page text, filled
        QStackedWidget* pPages;  // the look before the send, then the send
        QProgressBar* pBar;  // n of N
        QLabel* pPace;       // rate and time left, or "Paused"
        QTableWidget* pRecipients;  // per recipient: address, line, state, detail
        QLabel* pSummary;    // at the end: the counts and the report file
        QPushButton* pSend;
        QPushButton* pPause;  // Pause or Resume while sending
        QPushButton* pClose;  // Cancel while sending, Close otherwise
    };
    const Widgets& Ui() const { return m_ui; }

    // Reads the list at path, with column as its address column (empty:
    // "email", or the column chosen last), and shows what it holds.
    void LoadList(const QString& path, const QString& column = QString());
    // Asks for the list in a file dialog, and reads it.
    void Browse();
    void SetRate(int nPerMinute);
    void SetUnsubscribe(const QString& text);
    bool IsSending() const { return m_pWorker && !m_bEnded; }
    bool IsEnded() const { return m_bEnded; }
    const ListSendReport& Report() const { return m_report; }
    // Stops a send under way and waits until its worker has ended.
    void Stop();

    // Notices of send nSendId, queued from its worker.
    void OnRecipient(std::uint64_t nSendId, std::size_t nIndex, const RecipientResult& r);
    void OnListProgress(std::uint64_t nSendId, const ListProgress& progress);
    void OnListDone(std::uint64_t nSendId, const ListSendReport& report);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void OnSend();
    void OnPause();
    void OnClose();
    void Refresh();  // the list read again with the fields as they stand
    void ShowPageText();
    void SetProblem(const QString& text);
    void done(int r) override;
    ListSendRequest Request() const;
    void SetRecipientRow(int nRow, const RecipientResult& r);
    void Record(bool bRunning);

    IPrompts& m_prompts;
    WindowState& m_state;
    platform::Platform m_env;
    SendRequest m_send;
    Widgets m_ui{};
    RecipientList m_list;
    std::vector<PersonalPreview> m_listPreviews;
    std::unique_ptr<CListSend> m_pWorker;
    ListSendReport m_report;
    bool m_bEnded = false;
};
