#pragma once
#include <QObject>
#include <thread>

#include "check/PageReport.h"
#include "compose/ComposeJob.h"
#include "platform/Platform.h"

// One check of a page on a thread of its own: a page with 100,000 references
// takes seconds, and the window keeps painting meanwhile. Finished arrives on
// the thread that created the task.
class CCheckTask : public QObject {
    Q_OBJECT
public:
    CCheckTask(ComposeJob job, const platform::Platform& env, QObject* parent = nullptr);
    ~CCheckTask() override;  // waits for a check still running: it cannot be stopped midway

    void Start();
    // The report, once Finished has come.
    check::Report& Report() { return m_report; }

signals:
    void Finished();

private:
    ComposeJob m_job;
    platform::Platform m_env;
    check::Report m_report;
    std::thread m_thread;
};
