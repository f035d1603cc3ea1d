#pragma once
// What the user's session tells the program: environment variables and small
// configuration files. Tests substitute it to keep the machine's own files out.
#include <cstddef>
#include <string>

namespace platform {

class Environment {
public:
    virtual ~Environment() = default;
    // False when the variable is not set.
    virtual bool GetVar(const std::string& name, std::string& value) = 0;
    // Reads a whole regular file of at most maxBytes; false when it is missing,
    // unreadable, a folder or larger than that.
    virtual bool ReadTextFile(const std::string& path, std::string& content, std::size_t maxBytes) = 0;
};

Environment& RealEnvironment();

// Reads a variable and removes it from this process's environment, so that no
// program started later inherits it. Call it before any thread starts: the
// environment is not safe to change while another thread may read it.
bool TakeVariable(const std::string& name, std::string& value);

} // namespace platform
