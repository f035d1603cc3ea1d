#pragma once
// The desktop's shell: open files and web addresses in their programs, show a
// file in the file manager. Tests substitute a recorder.
#include <string>
#include <vector>

namespace platform {

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a local file path or a URL (http:, mailto:, ...) with the user's program for it.
    virtual bool Open(const std::string& target, std::string& err) = 0;
    // Shows the file selected in the file manager; opens its folder when that is not possible.
    virtual bool ShowInFolder(const std::string& path, std::string& err) = 0;
    // Starts argv[0] with the other elements as its arguments, not waiting for
    // it. On failure errNo is the system's error number (ENOENT, EACCES, ...).
    virtual bool Start(const std::vector<std::string>& argv, int& errNo, std::string& err) = 0;
};

} // namespace platform
