#include "app/MainApp.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/MainDlg.h"
#include "core/Version.h"
#include "ui/MessagePreview.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace {

const char kUsage[] =
    "Usage: quillory [PAGE.html [FILE...]]\n"
    "       quillory --help | --version\n"
    "\n"
    "Opens the Quillory window. Given PAGE.html, it starts a new message for that\n"
    "page with the FILEs attached; without arguments the page, attachments and\n"
    "header fields of the last run come back. Qt's own options (-platform\n"
    "offscreen...) come before the page.\n"
    "\n"
    "  -h, --help   print this text and exit (needs no display)\n"
    "  --version    print the version and exit (needs no display)\n"
    "  --           what follows is the page and the attachments\n";

} // namespace

const char* WindowUsageText() { return kUsage; }

WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& args, const std::string& cwd) {
    WindowCommandLine r;
    std::vector<std::string> paths;
    bool optionsEnd = false;
    for (const std::string& a : args) {
        if (a == "--webEngineArgs") break;
        if (!optionsEnd && a.size() > 1 && a[0] == '-') {
            if (a == "--") {
                optionsEnd = true;
            } else if (a == "--help" || a == "-h") {
                return r.kind = WindowCommandLine::Kind::Help, r;
            } else if (a == "--version") {
                return r.kind = WindowCommandLine::Kind::Version, r;
            } else if (r.error.empty()) {
                r.error = "unknown option '" + a + "'";
            }
            continue;
        }
        if (!a.empty()) paths.push_back(a[0] == '/' ? a : cwd + a);
    }
    // Help and version win over a bad option anywhere, as they must work without a display.
    if (!r.error.empty()) return r.kind = WindowCommandLine::Kind::Usage, r;
    if (!paths.empty()) {
        r.page = paths.front();
        r.files.assign(paths.begin() + 1, paths.end());
    }
    return r;
}

int CMainApp::InitInstance(int argc, char** argv) {
    // Help and version come before Qt, which needs a display.
    WindowCommandLine early = ParseWindowCommandLine(std::vector<std::string>(argv + 1, argv + argc), "");
    if (early.kind == WindowCommandLine::Kind::Help) return std::fputs(kUsage, stdout), 0;
    if (early.kind == WindowCommandLine::Kind::Version) return std::printf("quillory %s\n", kQuilloryVersion), 0;

    PrepareMessagePreview();  // the preview's scheme must be known before the application starts
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.quillory.Quillory"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillory.png")));
    platform::SeedRandom();

    // Qt has taken its own options from argv by now.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    WindowCommandLine cmd = ParseWindowCommandLine(args, platform::CurrentDirectory());
    if (cmd.kind == WindowCommandLine::Kind::Usage) {
        std::fprintf(stderr, "quillory: %s\n%s", cmd.error.c_str(), kUsage);
        return 2;
    }

    // Not modal: the help window must stay usable beside it.
    CMainDlg dlg;
    if (!cmd.page.empty()) dlg.StartWithPage(cmd.page, cmd.files);
    QObject::connect(&dlg, &CMainDlg::Closed, &app, &QApplication::quit);
    dlg.show();
    app.exec();
    return 0;
}
