#pragma once
// The desktop's shell: open files and web addresses in their programs, show a
// file in the file manager. Every hand-off reports how it ended, later, through
// its callback. Tests substitute a recorder.
#include <functional>
#include <string>
#include <vector>

namespace platform {

// How a hand-off to another program ended.
struct HandOff {
    bool bOk = false;
    int nErrno = 0;         // the system's error when no program could be started
    std::string strReason;  // on failure: what failed and why, for people
};
using HandOffDone = std::function<void(const HandOff&)>;

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a local file path or a URL (http:, mailto:, ...) with the user's
    // program for it; done gets the opener's outcome once it has ended.
    virtual void Open(const std::string& target, HandOffDone done) = 0;
    // Shows the file selected in the file manager, or opens its folder.
    virtual void ShowInFolder(const std::string& path, HandOffDone done) = 0;
    // Starts argv[0] with the other elements as its arguments; done says only
    // whether it started, since a program such as a browser may run for hours.
    virtual void Start(const std::vector<std::string>& argv, HandOffDone done) = 0;
};

} // namespace platform
