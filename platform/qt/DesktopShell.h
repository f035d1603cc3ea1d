#pragma once
#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

#include "platform/Process.h"
#include "platform/Shell.h"

namespace platform {

// The shell of a freedesktop.org desktop: xdg-open (or gio open where
// xdg-open is missing) as a child process whose end is watched from the event
// loop, and the file manager over D-Bus.
class DesktopShell : public QObject, public Shell {
    Q_OBJECT
public:
    DesktopShell();
    void Open(const std::string& target, HandOffDone done) override;
    void ShowInFolder(const std::string& path, HandOffDone done) override;
    void Start(const std::vector<std::string>& argv, HandOffDone done) override;

private:
    struct Watched {
        ChildProcess child;
        std::function<void(const ChildEnd&)> onEnd;
    };
    void Watch(const ChildProcess& child, std::function<void(const ChildEnd&)> onEnd);
    void Poll();

    std::vector<Watched> m_listChildren;
    QTimer m_pollTimer;
};

Shell& RealShell();

} // namespace platform
