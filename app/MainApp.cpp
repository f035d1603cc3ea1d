#include "app/MainApp.h"

#include <QApplication>
#include <cstdlib>

#include "app/MainDlg.h"
#include "platform/System.h"

int CMainApp::InitInstance(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillory.png")));
    // The C generator backs the boundary fallback; seed it once per process.
    platform::Clock& clock = platform::RealClock();
    std::srand(static_cast<unsigned>(clock.Now()) * clock.TickCount());

    // Not modal: the help window must stay usable beside it.
    CMainDlg dlg;
    QObject::connect(&dlg, &QDialog::finished, &app, &QApplication::quit);
    dlg.show();
    app.exec();
    return 0;
}
