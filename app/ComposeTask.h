#pragma once
#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

#include "compose/ComposeJob.h"
#include "compose/MessagePlan.h"
#include "platform/Platform.h"

// One composition on a thread of its own, so the window keeps painting. Its
// signals arrive on the thread that created it.
class CComposeTask : public QObject, private IProgress {
    Q_OBJECT
public:
    enum class End { Written, Failed, Cancelled };

    // plan: the check's, written from while it fits the job; empty for none.
    CComposeTask(ComposeJob job, MessagePlan plan, const platform::Platform& env, QObject* parent = nullptr);
    ~CComposeTask() override;  // cancels a running composition and waits for it

    void Start();
    // Asks the composition to stop at its next buffer; it then removes its file.
    // False when it is too late: the message is being put in place.
    bool Cancel();
    // Waits until the composition has ended and its file is settled.
    void Wait();
    bool IsRunning() const { return m_thread.joinable() && !m_bEnded; }

signals:
    // Bytes encoded so far; sent at most once per per-mille of the total.
    void Progress(quint64 nDone, quint64 nTotal);
    // The message is being put in place: from now on Cancel is refused.
    void Finishing();
    // Once, at the end; strReason says why when it failed, and what was left
    // out of a message that was written.
    void Finished(CComposeTask::End end, const QString& strReason);

private:
    bool OnBytes(std::uint64_t nDone, std::uint64_t nTotal) override;
    bool OnCommitting() override;
    void Run();

    ComposeJob m_job;
    MessagePlan m_plan;
    platform::Platform m_env;
    std::thread m_thread;
    // Running, then either cancelled or finishing: whichever comes first wins.
    enum Phase { kRunning, kCancelled, kFinishing };
    std::atomic<int> m_phase{kRunning};
    std::atomic<bool> m_bEnded{false};
    std::atomic<std::uint64_t> m_nDone{0}, m_nTotal{0};
    std::atomic<bool> m_bProgressQueued{false};
    std::uint64_t m_nLastShown = UINT64_MAX;  // composing thread only
};
