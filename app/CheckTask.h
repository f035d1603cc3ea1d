#pragma once
#include <QObject>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "check/PageReport.h"
#include "compose/ComposeJob.h"
#include "platform/Platform.h"
#include "platform/Socket.h"

// One check of a page on a thread of its own: a page with 100,000 references
// takes seconds, and the window keeps painting meanwhile. The Check command's
// check goes on with SpamAssassin's verdict once the report is there, and
// checks the links on request; those two can be stopped, and stop with the
// task. Signals arrive on the thread that created the task.
class CCheckTask : public QObject {
    Q_OBJECT
public:
    // With clients (ids of the caniemail data), the report says which of them
    // support the page's features; with bSpam, SpamVerdictCame follows Finished.
    CCheckTask(ComposeJob job, const platform::Platform& env, std::vector<std::string> clients = {},
               bool bSpam = false, QObject* parent = nullptr);
    // Stops the spam and link checks and waits for the threads: a page check
    // still running has no point to stop at, and runs to its end.
    ~CCheckTask() override;

    void Start();
    // The report, once Finished has come.
    check::Report& Report() { return m_report; }

    // Checks the http(s) links and remote images of the report; LinksChecked follows.
    void CheckLinks(const check::Report& report);
    bool IsSpamRunning() const { return m_bSpamRunning; }
    bool AreLinksRunning() const { return m_bLinksRunning; }
    // Stops the spam and link checks under way: each still ends with its signal, as stopped.
    void Stop();

signals:
    void Finished();
    void SpamVerdictCame(const check::SpamVerdict& verdict);
    void LinksChecked(const check::LinkReport& links);

private:
    ComposeJob m_job;
    platform::Platform m_env;
    std::vector<std::string> m_clients;
    bool m_bSpam;
    check::Report m_report;
    bool m_bSpamRunning = false, m_bLinksRunning = false;
    platform::StopSignal m_stopSpam;
    std::unique_ptr<platform::StopSignal> m_pStopLinks;  // one per run: a signal cannot be taken back
    std::thread m_thread, m_linkThread;
};
