#include "app/ComposeTask.h"

#include <QMetaObject>

#include "compose/MimeComposer.h"
#include "platform/System.h"

CComposeTask::CComposeTask(ComposeJob job, MessagePlan plan, const platform::Platform& env, QObject* parent)
    : QObject(parent), m_job(std::move(job)), m_plan(std::move(plan)), m_env(env) {
    m_job.m_pProgress = this;
}

CComposeTask::~CComposeTask() {
    Cancel();
    Wait();
}

void CComposeTask::Start() { m_thread = std::thread([this] { Run(); }); }

bool CComposeTask::Cancel() {
    int phase = kRunning;
    return m_phase.compare_exchange_strong(phase, kCancelled) || phase == kCancelled;
}

bool CComposeTask::OnCommitting() {
    int phase = kRunning;
    if (!m_phase.compare_exchange_strong(phase, kFinishing)) return false;
    QMetaObject::invokeMethod(this, [this] { emit Finishing(); }, Qt::QueuedConnection);
    return true;
}

void CComposeTask::Wait() {
    if (m_thread.joinable()) m_thread.join();
}

bool CComposeTask::OnBytes(std::uint64_t nDone, std::uint64_t nTotal) {
    m_nDone = nDone;
    m_nTotal = nTotal;
    // One queued update at a time, and only when the bar would move: the GUI
    // thread is never flooded, however many small files there are.
    std::uint64_t shown = nTotal ? nDone * 1000 / nTotal : 0;
    if (shown != m_nLastShown && !m_bProgressQueued.exchange(true)) {
        m_nLastShown = shown;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_bProgressQueued = false;
                emit Progress(m_nDone.load(), m_nTotal.load());
            },
            Qt::QueuedConnection);
    }
    return m_phase != kCancelled;
}

void CComposeTask::Run() {
    platform::LowerThreadPriority();
    CMimeComposer composer(m_env);
    composer.m_job = m_job;
    composer.UsePlan(std::move(m_plan));
    bool ok = composer.Compose();
    End end = ok ? End::Written : (m_phase == kCancelled ? End::Cancelled : End::Failed);
    // A written message may still have left files out: the user hears of them.
    QString reason;
    if (!ok) reason = QString::fromStdString(composer.GetLastError());
    for (const std::string& line : ok ? composer.Notices() : std::vector<std::string>())
        reason += (reason.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(line);
    m_bEnded = true;
    QMetaObject::invokeMethod(this, [this, end, reason] { emit Finished(end, reason); }, Qt::QueuedConnection);
}
