#pragma once
// Clock, randomness and host identity, behind interfaces so tests can fix them.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::time_t Now() = 0;
    // Milliseconds since an arbitrary start, wrapping at 32 bits.
    virtual std::uint32_t TickCount() = 0;
    virtual void SleepMs(unsigned ms) = 0;
};

class Random {
public:
    virtual ~Random() = default;
    // Fills buf from the system's random source; false when it fails.
    virtual bool Fill(void* buf, std::size_t n) = 0;
    // The C library's pseudo-random generator: 0 .. 32767.
    virtual int Next() = 0;
};

class HostInfo {
public:
    virtual ~HostInfo() = default;
    // The machine's host name as the system reports it.
    virtual bool Name(std::string& name) = 0;
    // The fully qualified name, when the name or the resolver's canonical
    // name for it has a dot; empty otherwise.
    virtual std::string FullyQualifiedName();
};

// Local time of t with its offset from UTC in seconds (daylight time included).
bool ToLocalTime(std::time_t t, std::tm& out, long& gmtoffSeconds);

// Seeds the C generator from the time of day and the tick count, once per
// process, so Content-IDs and fallback boundaries differ from run to run.
void SeedRandom();

// Lets the calling thread yield to the others of the process (nice 10), so
// long background work never keeps a window from painting.
void LowerThreadPriority();

// True when the process runs with the superuser's rights (effective user 0).
bool IsSuperuser();

Clock& RealClock();
Random& RealRandom();
HostInfo& RealHost();

} // namespace platform
