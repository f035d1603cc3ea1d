#include "app/MainApp.h"

#include <QApplication>
#include <cstdlib>

#include "app/MainDlg.h"
#include "ui/MessagePreview.h"
#include "platform/System.h"

int CMainApp::InitInstance(int argc, char** argv) {
    PrepareMessagePreview();  // the preview's scheme must be known before the application starts
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillory.png")));
    platform::SeedRandom();

    // Not modal: the help window must stay usable beside it.
    CMainDlg dlg;
    QObject::connect(&dlg, &QDialog::finished, &app, &QApplication::quit);
    dlg.show();
    app.exec();
    return 0;
}
