#include "platform/System.h"

#include <netdb.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <sys/random.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

class RealClockImpl : public Clock {
public:
    std::time_t Now() override { return std::time(nullptr); }
    std::uint32_t TickCount() override {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
    void SleepMs(unsigned ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

class RealRandomImpl : public Random {
public:
    bool Fill(void* buf, std::size_t n) override {
        auto* p = static_cast<unsigned char*>(buf);
        while (n > 0) {
            ssize_t r = ::getrandom(p, n, 0);
            if (r <= 0) return false;
            p += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    int Next() override { return std::rand() % 32768; }
};

class RealHostImpl : public HostInfo {
public:
    bool Name(std::string& name) override {
        char buf[HOST_NAME_MAX + 1] = {};
        if (::gethostname(buf, sizeof buf - 1) != 0) return false;
        name = buf;
        return true;
    }
};

} // namespace

std::string HostInfo::FullyQualifiedName() {
    std::string name;
    if (!Name(name) || name.empty()) return {};
    if (name.find('.') != std::string::npos) return name;
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) return {};
    std::string canon = list && list->ai_canonname ? list->ai_canonname : "";
    ::freeaddrinfo(list);
    return canon.find('.') != std::string::npos && canon.back() != '.' ? canon : std::string();
}

bool ToLocalTime(std::time_t t, std::tm& out, long& gmtoffSeconds) {
    if (!::localtime_r(&t, &out)) return false;
    gmtoffSeconds = out.tm_gmtoff;
    return true;
}

void SeedRandom() {
    Clock& clock = RealClock();
    std::srand(static_cast<unsigned>(clock.Now()) * clock.TickCount());
}

Clock& RealClock() {
    static RealClockImpl c;
    return c;
}
Random& RealRandom() {
    static RealRandomImpl r;
    return r;
}
HostInfo& RealHost() {
    static RealHostImpl h;
    return h;
}

void LowerThreadPriority() {
    // On Linux a thread's nice value is its own: the GUI thread keeps its place.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}

bool IsSuperuser() { return ::geteuid() == 0; }

} // namespace platform
