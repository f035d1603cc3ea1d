#include "app/CheckTask.h"

#include <QMetaObject>

#include "platform/System.h"

CCheckTask::CCheckTask(ComposeJob job, const platform::Platform& env, std::vector<std::string> clients, bool bSpam,
                       QObject* parent)
    : QObject(parent), m_job(std::move(job)), m_env(env), m_clients(std::move(clients)), m_bSpam(bSpam) {}

CCheckTask::~CCheckTask() {
    Stop();
    if (m_thread.joinable()) m_thread.join();
    if (m_linkThread.joinable()) m_linkThread.join();
}

void CCheckTask::Start() {
    m_bSpamRunning = m_bSpam;
    m_thread = std::thread([this] {
        platform::LowerThreadPriority();
        m_report = check::CheckPage(m_job, 0, m_env, m_clients.empty() ? nullptr : &m_clients);
        // The report goes to the window at once; SpamAssassin takes a second or more.
        MessagePlan plan;
        if (m_bSpam && m_report.figures.bSizeKnown) plan = m_report.plan;
        const bool composed = m_report.figures.bSizeKnown;
        // Queued to this object: a task deleted meanwhile drops it.
        QMetaObject::invokeMethod(this, [this] { emit Finished(); }, Qt::QueuedConnection);
        if (!m_bSpam) return;
        check::SpamVerdict verdict;
        if (composed) verdict = check::CheckSpam(plan, m_job, m_env, &m_stopSpam);
        QMetaObject::invokeMethod(this, [this, verdict = std::move(verdict)] {
            m_bSpamRunning = false;
            emit SpamVerdictCame(verdict);
        }, Qt::QueuedConnection);
    });
}

void CCheckTask::CheckLinks(const check::Report& report) {
    if (m_bLinksRunning) return;
    if (m_linkThread.joinable()) m_linkThread.join();  // has ended: its signal came
    m_pStopLinks = std::make_unique<platform::StopSignal>();
    m_bLinksRunning = true;
    m_linkThread = std::thread([this, report, stop = m_pStopLinks.get()] {
        check::LinkReport links = check::CheckLinks(report, check::LinkOptions(), stop);
        QMetaObject::invokeMethod(this, [this, links = std::move(links)] {
            m_bLinksRunning = false;
            emit LinksChecked(links);
        }, Qt::QueuedConnection);
    });
}

void CCheckTask::Stop() {
    m_stopSpam.Request();
    if (m_pStopLinks) m_pStopLinks->Request();
}
