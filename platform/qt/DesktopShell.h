#pragma once
#include "platform/Shell.h"

namespace platform {

// The shell of a freedesktop.org desktop: xdg-open through Qt, the file
// manager over D-Bus.
class DesktopShell : public Shell {
public:
    bool Open(const std::string& target, std::string& err) override;
    bool ShowInFolder(const std::string& path, std::string& err) override;
    bool Start(const std::vector<std::string>& argv, int& errNo, std::string& err) override;
};

Shell& RealShell();

} // namespace platform
