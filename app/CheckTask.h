#pragma once
#include <QObject>
#include <string>
#include <thread>
#include <vector>

#include "check/PageReport.h"
#include "compose/ComposeJob.h"
#include "platform/Platform.h"

// One check of a page on a thread of its own: a page with 100,000 references
// takes seconds, and the window keeps painting meanwhile. Finished arrives on
// the thread that created the task.
class CCheckTask : public QObject {
    Q_OBJECT
public:
    // With clients (ids of the caniemail data), the report says which of them support the page's features.
    CCheckTask(ComposeJob job, const platform::Platform& env, std::vector<std::string> clients = {},
               QObject* parent = nullptr);
    ~CCheckTask() override;  // waits for a check still running: it cannot be stopped midway

    void Start();
    // The report, once Finished has come.
    check::Report& Report() { return m_report; }

signals:
    void Finished();

private:
    ComposeJob m_job;
    platform::Platform m_env;
    std::vector<std::string> m_clients;
    check::Report m_report;
    std::thread m_thread;
};
