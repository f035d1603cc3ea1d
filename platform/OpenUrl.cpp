#include "platform/OpenUrl.h"

#include "platform/DesktopEntry.h"

namespace platform {
namespace {

bool IsTargetCode(const std::string& arg) {
    for (const char* code : {"%u", "%U", "%f", "%F"})
        if (arg.find(code) != std::string::npos) return true;
    return false;
}

} // namespace

bool BuildHtmlCommand(const std::string& strExec, const std::string& strTarget, std::vector<std::string>& argv,
                      std::string& err) {
    std::vector<std::string> args;
    if (!SplitExecLine(strExec, args, err)) return false;
    argv.clear();
    for (const std::string& a : args) {
        if (IsTargetCode(a)) break;  // the placeholder and all after it go
        if (a == "%i" || a == "%c" || a == "%k") continue;  // entry details we do not supply
        std::string plain;
        for (std::size_t i = 0; i < a.size(); ++i) {
            plain += a[i];
            if (a[i] == '%' && i + 1 < a.size() && a[i + 1] == '%') ++i;
        }
        argv.push_back(plain);
    }
    if (argv.empty()) {
        err = "the Exec line names no program: " + strExec;
        return false;
    }
    argv.push_back(strTarget);
    return true;
}

void OpenUrl(Shell& shell, const std::string& strTarget, std::function<void(const LinkResult&)> done) {
    shell.Open(strTarget, [&shell, strTarget, done](const HandOff& opened) {
        LinkResult first;
        if (opened.bOk) {
            first.bOpened = true;
            return done(first);
        }
        first.strReason = opened.strReason;

        std::string exec, why;
        if (!DefaultHtmlCommand(exec, why)) {
            first.strReason += "\n" + why;
            return done(first);
        }
        std::vector<std::string> argv;
        if (!BuildHtmlCommand(exec, strTarget, argv, why)) {
            first.strReason += "\n" + why;
            return done(first);
        }
        shell.Start(argv, [reason = first.strReason, done](const HandOff& started) {
            LinkResult r;
            r.bOpened = started.bOk;
            if (!started.bOk) r.strReason = reason + "\n" + started.strReason;
            done(r);
        });
    });
}

} // namespace platform
