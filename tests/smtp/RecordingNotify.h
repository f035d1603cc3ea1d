#pragma once
// Collects what a send reports, from whichever thread it runs on; and the
// plain job the SMTP tests start from.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "smtp/SendNotify.h"
#include "smtp/SmtpSender.h"

namespace testutil {

class RecordingNotify : public ISendNotify {
public:
    void OnSendLog(std::uint64_t id, LogDirection, const std::string& line) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_ids.insert(id);
        m_log += AsLogLine(line);
        m_changed.notify_all();
    }
    void OnSendDone(std::uint64_t id, const SendOutcome& outcome) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_ids.insert(id);
        ++m_nDone;
        m_outcome = outcome;
        m_changed.notify_all();
    }
    // The log as the command line shows it.
    std::string Log() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_log;
    }
    bool WaitForLog(const std::string& text, int ms) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, std::chrono::milliseconds(ms),
                                  [&] { return m_log.find(text) != std::string::npos; });
    }
    int DoneCount() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_nDone;
    }
    // The send ids the notices carried.
    std::set<std::uint64_t> Ids() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_ids;
    }
    SendOutcome Outcome() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_outcome;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::string m_log;
    int m_nDone = 0;
    std::set<std::uint64_t> m_ids;
    SendOutcome m_outcome;
};

// From a@x.org to b@y.org at 127.0.0.1:port, no login, short waits.
inline SendJob PlainJob(int port, const std::string& messageFile, std::shared_ptr<ISendNotify> notify) {
    SendJob job;
    job.m_strServer = "127.0.0.1";
    job.m_nPort = port;
    job.m_strFrom = "a@x.org";
    job.m_listRecipients = {"b@y.org"};
    job.m_strUser = "ann";
    job.m_strPassword = "secret";
    job.m_strMessageFile = messageFile;
    job.m_pNotify = std::move(notify);
    job.m_nWaitMs = 2000;
    job.m_nEndOfDataWaitMs = 4000;
    return job;
}

} // namespace testutil
