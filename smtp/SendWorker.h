#pragma once
// One running delivery as its front end holds it: the worker thread, the stop
// request and the identity that its notices carry.
#include <cstdint>
#include <memory>
#include <thread>

#include "smtp/SmtpSender.h"

class CSendWorker {
public:
    CSendWorker() = default;
    ~CSendWorker();  // stops a running delivery and waits for it (promptly)
    CSendWorker(const CSendWorker&) = delete;
    CSendWorker& operator=(const CSendWorker&) = delete;

    // Gives the job a fresh identity and a stop signal and starts the worker,
    // which owns the job from here on. Returns the identity.
    std::uint64_t Start(std::unique_ptr<SendJob> pJob, platform::Platform env = platform::Platform());
    // Asks the worker to stop; returns at once. It closes its socket, frees its
    // job and reports nothing more.
    void Cancel();
    // Waits for the worker thread to end.
    void Join();
    bool Running() const { return m_thread.joinable(); }
    std::uint64_t SendId() const { return m_nSendId; }

private:
    std::thread m_thread;
    std::shared_ptr<platform::StopSignal> m_pStop;
    std::uint64_t m_nSendId = 0;
};
