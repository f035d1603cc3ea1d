#include "smtp/SendWorker.h"

#include <atomic>

namespace {
std::atomic<std::uint64_t> g_nextSendId{1};
}

CSendWorker::~CSendWorker() {
    Cancel();
    Join();
}

std::uint64_t CSendWorker::Start(std::unique_ptr<SendJob> pJob, platform::Platform env) {
    Cancel();
    Join();
    m_pStop = std::make_shared<platform::StopSignal>();
    m_nSendId = g_nextSendId++;
    pJob->m_pStop = m_pStop;
    pJob->m_nSendId = m_nSendId;
    m_thread = std::thread(&CSmtpSender::SendThreadProc, std::move(pJob), env);
    return m_nSendId;
}

void CSendWorker::Cancel() {
    if (m_pStop) m_pStop->Request();
}

void CSendWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}
