#pragma once
// Send to a list: the send pipeline's form for many messages. The page is
// scanned once; each recipient gets a message of their own (To, Subject and
// page text filled from their row, own Message-ID and Date) whose shared
// parts are encoded once. The messages go over one SMTP session at a steady
// pace, and a journal beside the list makes a second run continue where the
// first stopped, never sending anyone twice.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "compose/Personalise.h"
#include "core/CsvList.h"
#include "platform/Platform.h"
#include "smtp/ComposeAndSend.h"
#include "smtp/SendNotify.h"

enum class RecipientState {
    Pending,   // not tried yet in any run
    Sending,   // its message is on its way
    Deferred,  // a 4xx reply: tried again later, with a growing wait
    Sent,      // the server took it (strReply)
    Refused,   // a 5xx reply: never tried again (strReply)
    Failed,    // could not be sent: the reason, or 4xx replies until the last try
    Unknown,   // the end of its data went out, no reply came: may have been delivered
    Skipped,   // a bad or duplicate row, or Unknown from an earlier run
};
const char* RecipientStateName(RecipientState state);  // "sent", "refused", ...

struct RecipientResult {
    std::string strAddress;  // envelope form
    std::size_t nLine = 0;   // in the list file
    RecipientState state = RecipientState::Pending;
    std::string strDetail;   // the server's reply, or why
    int nAttempts = 0;       // in this run
};

struct ListSendRequest {
    // Page, attachments, From, Subject and the SMTP options, as for one send;
    // To and Cc are not used, each message goes to its recipient alone.
    SendRequest send;
    std::string strListPath;
    std::string strAddressColumn;  // empty: "email"
    int nRatePerMinute = 60;       // 0: as fast as the server takes them
    std::string strJournalPath;    // empty: DefaultJournalPath(strListPath)
    std::string strUnsubscribe;    // URL or mailto:, fields allowed; empty: none
    bool bResendUnknown = false;
    // Not empty: write each message as NNNN.eml into this folder, send nothing.
    std::string strDryRunFolder;
    // A 4xx reply is retried after nRetryWaitMs, then twice that, ... at most
    // nMaxAttempts tries in all.
    int nMaxAttempts = 5;
    int nRetryWaitMs = 60 * 1000;
};

std::string DefaultJournalPath(const std::string& strListPath);  // LIST.csv.quillory-journal
std::string ReportPath(const std::string& strJournalPath);       // beside it: ...-report.csv

struct ListProgress {
    std::size_t nDone = 0;    // recipients settled in this run (sent, refused, failed, unknown)
    std::size_t nTotal = 0;   // recipients this run has to settle
    double dPerMinute = 0;    // messages a minute over the run so far
    double dSecondsLeft = 0;  // at that pace, or the limit's when that is lower
    bool bPaused = false;
};

struct ListSendReport {
    std::vector<RecipientResult> listRecipients;  // the list's rows in order, then the skipped rows
    std::size_t nSent = 0, nRefused = 0, nFailed = 0, nUnknown = 0, nSkipped = 0;
    // Set when the whole run failed (list, page, journal, connection or login):
    // the outcome of the step that failed.
    bool bFailed = false;
    SendOutcome failure;
    std::string strError;  // why, when bFailed and no SMTP step says it
    bool bStopped = false;  // cancelled; the next run continues
    std::string strReportPath;  // the CSV written, or empty
    // 0 all sent, 4 some refused, failed or unknown, 1 the run failed.
    int ExitStatus() const;
    std::string Summary() const;  // "198 sent, 1 refused, 1 unknown: may have been delivered"
};

// The send-notify of one send plus the list's own notices. Log lines come
// as for one send (OnSendLog); OnSendDone is not called.
class IListSendNotify : public ISendNotify {
public:
    void OnSendDone(std::uint64_t, const SendOutcome&) override {}
    // A recipient's state changed; nIndex into the report's listRecipients.
    virtual void OnRecipient(std::uint64_t /*nSendId*/, std::size_t /*nIndex*/, const RecipientResult& /*r*/) {}
    virtual void OnListProgress(std::uint64_t /*nSendId*/, const ListProgress& /*progress*/) {}
    // Called once, at the end, also after a stop.
    virtual void OnListDone(std::uint64_t nSendId, const ListSendReport& report) = 0;
};

// Reads the list file for a look before the send (columns, rows, problems).
bool LoadRecipientList(const platform::Platform& env, const std::string& strListPath,
                       const std::string& strAddressColumn, RecipientList& list, std::string& strError);
// Reads the list and the page and fills row nRow; false with why (an unknown
// field among them).
bool PreviewListRow(const platform::Platform& env, const ListSendRequest& request, std::size_t nRow,
                    PersonalPreview& preview, std::string& strError);

// Holds the worker between two messages while paused; a stop also releases it.
class ListPause {
public:
    void Pause();
    void Resume();
    bool Paused() const { return m_bPaused; }
    // Waits while paused; false when stop was requested.
    bool WaitWhilePaused(const platform::StopSignal& stop);
    void Wake();  // after a stop

private:
    std::atomic<bool> m_bPaused{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// Runs a list send on the calling thread and returns its report (also given
// to notify.OnListDone).
ListSendReport RunListSend(const ListSendRequest& request, IListSendNotify& notify, std::uint64_t nSendId,
                           std::shared_ptr<platform::StopSignal> stop, ListPause* pPause,
                           const platform::Platform& env = platform::Platform());

// The same on a worker thread, for the window.
class CListSend {
public:
    explicit CListSend(const platform::Platform& env = platform::Platform());
    ~CListSend();  // stops a running send and waits for it
    CListSend(const CListSend&) = delete;
    CListSend& operator=(const CListSend&) = delete;

    void Start(ListSendRequest request, std::shared_ptr<IListSendNotify> notify);
    void Pause();
    void Resume();
    // Stops the send, also inside a message (whose recipient is then
    // "unknown" if its end mark went out); returns at once. The journal keeps
    // where it stopped, and OnListDone still comes.
    void Cancel();
    void Join();
    bool Running() const { return m_thread.joinable(); }
    bool Paused() const { return m_pause && m_pause->Paused(); }
    std::uint64_t SendId() const { return m_nSendId; }

private:
    platform::Platform m_env;
    std::thread m_thread;
    std::shared_ptr<platform::StopSignal> m_pStop;
    std::shared_ptr<ListPause> m_pause;
    std::uint64_t m_nSendId = 0;
};
