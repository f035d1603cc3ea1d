#include "platform/qt/DesktopShell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Polling is cheap and needs no signal handler; the openers end within seconds.
constexpr int kPollMs = 100;

std::string Trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// xdg-open's documented exit statuses.
const char* XdgOpenStatusText(int code) {
    switch (code) {
    case 1: return "it did not understand its arguments";
    case 2: return "the file does not exist";
    case 3: return "no program is set up for it";
    case 4: return "the program that should open it failed";
    default: return "it failed";
    }
}

std::string DescribeEnd(const std::string& opener, const ChildEnd& end) {
    if (end.nSignal) return opener + " was stopped by signal " + std::to_string(end.nSignal) + " (" + strsignal(end.nSignal) + ")";
    std::string said = Trimmed(end.strStderr);
    std::string status = opener + " ended with status " + std::to_string(end.nExitCode);
    if (opener == "xdg-open") status += ": " + std::string(XdgOpenStatusText(end.nExitCode));
    return said.empty() ? status : said + "\n(" + status + ")";
}

} // namespace

DesktopShell::DesktopShell() {
    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &DesktopShell::Poll);
}

void DesktopShell::Watch(const ChildProcess& child, std::function<void(const ChildEnd&)> onEnd) {
    m_listChildren.push_back({child, std::move(onEnd)});
    if (!m_pollTimer.isActive()) m_pollTimer.start();
}

void DesktopShell::Poll() {
    std::vector<std::pair<std::function<void(const ChildEnd&)>, ChildEnd>> ended;
    for (auto it = m_listChildren.begin(); it != m_listChildren.end();) {
        ChildEnd end;
        if (PollProcess(it->child, end)) {
            ended.emplace_back(std::move(it->onEnd), std::move(end));
            it = m_listChildren.erase(it);
        } else {
            ++it;
        }
    }
    if (m_listChildren.empty()) m_pollTimer.stop();
    // Called last: a callback may start the next hand-off.
    for (auto& [onEnd, end] : ended)
        if (onEnd) onEnd(end);
}

void DesktopShell::Open(const std::string& target, HandOffDone done) {
    ChildProcess child;
    int errNo = 0;
    std::string err;
    std::string opener = "xdg-open";
    bool started = StartProcess({opener, target}, child, errNo, err);
    if (!started && errNo == ENOENT) {
        opener = "gio";
        started = StartProcess({opener, "open", target}, child, errNo, err);
        if (!started && errNo == ENOENT) err = "neither xdg-open nor gio is installed";
    }
    if (!started) {
        HandOff r;
        r.nErrno = errNo;
        r.strReason = err;
        return done(r);
    }
    Watch(child, [opener, done](const ChildEnd& end) {
        HandOff r;
        r.bOk = end.nSignal == 0 && end.nExitCode == 0;
        if (!r.bOk) r.strReason = DescribeEnd(opener, end);
        done(r);
    });
}

void DesktopShell::ShowInFolder(const std::string& path, HandOffDone done) {
    QString file = QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
    std::string folder = QFileInfo(file).absolutePath().toLocal8Bit().toStdString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return Open(folder, done);
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder, done] {
        watcher->deleteLater();
        if (!watcher->isError()) {
            HandOff ok;
            ok.bOk = true;
            return done(ok);
        }
        Open(folder, done);  // no file manager on the bus: open the folder instead
    });
}

void DesktopShell::Start(const std::vector<std::string>& argv, HandOffDone done) {
    ChildProcess child;
    HandOff r;
    r.bOk = StartProcess(argv, child, r.nErrno, r.strReason);
    if (r.bOk) Watch(child, nullptr);  // only to collect its end
    done(r);
}

Shell& RealShell() {
    static DesktopShell* shell = new DesktopShell;  // lives as long as the children it watches
    return *shell;
}

} // namespace platform
