#pragma once
// Collects what a delivery reports, from whichever thread it runs on.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "smtp/SendNotify.h"

namespace testutil {

class RecordingNotify : public ISendNotify {
public:
    void OnSendLog(std::uint64_t, LogDirection dir, const std::string& line) override {
        std::lock_guard<std::mutex> g(m_lock);
        // The prefix must agree with the direction the line was reported with.
        bool agrees = line.rfind(dir == LogDirection::Outgoing ? ">>> " : "<<< ", 0) == 0;
        m_lines.push_back(agrees ? line : "[wrong direction] " + line);
        m_changed.notify_all();
    }
    void OnSendDone(std::uint64_t, bool bSuccess) override {
        std::lock_guard<std::mutex> g(m_lock);
        ++m_nDone;
        m_bSuccess = bSuccess;
        m_lines.push_back(bSuccess ? "[done: success]" : "[done: failure]");
        m_changed.notify_all();
    }
    // The log one line per notice, CR and LF inside a line shown as \r and \n.
    std::string Log() {
        std::lock_guard<std::mutex> g(m_lock);
        std::string out;
        for (const std::string& l : m_lines) {
            for (char c : l) out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
            out += '\n';
        }
        return out;
    }
    bool WaitForLine(const std::string& line, int ms) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, std::chrono::milliseconds(ms), [&] {
            for (const std::string& l : m_lines)
                if (l == line) return true;
            return false;
        });
    }
    int DoneCount() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_nDone;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    int m_nDone = 0;
    bool m_bSuccess = false;
};

} // namespace testutil
