#include "app/CheckTask.h"

#include <QMetaObject>

#include "platform/System.h"

CCheckTask::CCheckTask(ComposeJob job, const platform::Platform& env, std::vector<std::string> clients,
                       QObject* parent)
    : QObject(parent), m_job(std::move(job)), m_env(env), m_clients(std::move(clients)) {}

CCheckTask::~CCheckTask() {
    if (m_thread.joinable()) m_thread.join();
}

void CCheckTask::Start() {
    m_thread = std::thread([this] {
        platform::LowerThreadPriority();
        m_report = check::CheckPage(m_job, 0, m_env, m_clients.empty() ? nullptr : &m_clients);
        // Queued to this object: a task deleted meanwhile drops it.
        QMetaObject::invokeMethod(this, [this] { emit Finished(); }, Qt::QueuedConnection);
    });
}
