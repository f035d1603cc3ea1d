#include "platform/Environment.h"

#include <cstdlib>

#include "platform/FileSystem.h"

namespace platform {
namespace {

class RealEnvironmentImpl : public Environment {
public:
    bool GetVar(const std::string& name, std::string& value) override {
        const char* v = std::getenv(name.c_str());
        if (!v) return false;
        value = v;
        return true;
    }

    bool ReadTextFile(const std::string& path, std::string& content, std::size_t maxBytes) override {
        return ReadConfigFile(path, content, maxBytes) == 0;
    }
};

} // namespace

Environment& RealEnvironment() {
    static RealEnvironmentImpl e;
    return e;
}

bool TakeVariable(const std::string& name, std::string& value) {
    const char* v = std::getenv(name.c_str());
    if (!v) return false;
    value = v;
    ::unsetenv(name.c_str());
    return true;
}

} // namespace platform
