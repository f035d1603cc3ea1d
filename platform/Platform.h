#pragma once
// The set of operating-system services one component uses; tests replace any of them.
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Socket.h"
#include "platform/System.h"

namespace platform {

struct Platform {
    FileSystem* files = &RealFileSystem();
    Clock* clock = &RealClock();
    Random* random = &RealRandom();
    HostInfo* host = &RealHost();
    Environment* environment = &RealEnvironment();
    Network* net = &RealNetwork();
};

} // namespace platform
