#include "platform/qt/DesktopShell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/Process.h"

namespace platform {
namespace {

QUrl ToUrl(const std::string& target) {
    QString t = QString::fromLocal8Bit(target.data(), static_cast<qsizetype>(target.size()));
    if (t.startsWith('/')) return QUrl::fromLocalFile(t);
    return QUrl(t);
}

} // namespace

bool DesktopShell::Open(const std::string& target, std::string& err) {
    if (QDesktopServices::openUrl(ToUrl(target))) return true;
    err = "no program could be started to open '" + target + "'";
    return false;
}

bool DesktopShell::ShowInFolder(const std::string& path, std::string& err) {
    QUrl file = ToUrl(path);
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{file.toString()} << QString();
    QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    // No file manager on the bus: open the folder instead.
    QString folder = QFileInfo(file.toLocalFile()).absolutePath();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) return true;
    err = "no file manager could show '" + path + "'";
    return false;
}

bool DesktopShell::Start(const std::vector<std::string>& argv, int& errNo, std::string& err) {
    return StartDetached(argv, errNo, err);
}

Shell& RealShell() {
    static DesktopShell shell;
    return shell;
}

} // namespace platform
