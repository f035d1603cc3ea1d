// Renders each window offscreen into PNG files, to look at them without a desktop.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QTreeWidget>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/ControlIds.h"
#include "app/MainDlg.h"
#include "app/OptionsDlg.h"
#include "platform/qt/DesktopShell.h"
#include "ui/CreateProgressDlg.h"
#include "ui/HelpWindow.h"
#include "ui/Prompts.h"
#include "ui/SendProgressDlg.h"

namespace {

bool Save(QWidget* w, const QString& folder, const char* name) {
    QString path = folder + "/" + name;
    bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/screenshots");
    QDir().mkpath(folder);
    bool ok = true;

    CMainDlg dlg;
    static_cast<QLineEdit*>(dlg.Control(IDC_HTML_FILE))->setText("/home/ann/newsletter/index.html");
    dlg.AddAttachment(QUILLORY_SOURCE_DIR "/examples/newsletter/logo.png");
    dlg.AddAttachment(QUILLORY_SOURCE_DIR "/examples/newsletter/style.css");
    dlg.show();
    app.processEvents();
    ok &= Save(&dlg, folder, "main-window.png");

    // The popups as the user meets them: More >> with the pointer on an entry,
    // and the attachment menu with nothing selected, so its file commands are grey.
    auto entry = [](QMenu* menu, int id) -> QAction* {
        for (QAction* a : menu->actions())
            if (!a->isSeparator() && a->data().toInt() == id) return a;
        return nullptr;
    };
    dlg.OnMore();
    dlg.MorePopup()->setActiveAction(entry(dlg.MorePopup(), ID_HOMEPAGE));
    app.processEvents();
    ok &= Save(dlg.MorePopup(), folder, "more-menu.png");
    dlg.MorePopup()->hide();
    for (int id : {ID_ATTACH_OPEN, ID_ATTACH_BROWSE, IDC_ATTACH_REMOVE, ID_ATTACH_REMOVE_ALL})
        entry(dlg.AttachPopup(), id)->setEnabled(false);
    dlg.AttachPopup()->popup(dlg.mapToGlobal(QPoint(40, 300)));
    dlg.AttachPopup()->setActiveAction(entry(dlg.AttachPopup(), IDC_ATTACH_ADD));
    app.processEvents();
    ok &= Save(dlg.AttachPopup(), folder, "attachment-menu.png");
    dlg.AttachPopup()->hide();

    auto* progress = new CCreateProgressDlg;
    progress->SetCaption(QStringLiteral("Creating HTML email..."));
    progress->ProgressBar()->setRange(0, 10);
    progress->ProgressBar()->setValue(6);
    progress->show();
    app.processEvents();
    ok &= Save(progress, folder, "create-progress.png");
    progress->close();

    COptionsDlg options(&dlg, QtPrompts());
    options.SmtpServer = "smtp.example.com";
    options.SmtpPort = 587;
    options.SrvReqAuth = 1;
    options.AuthName = "ann";
    options.AuthPass = "secret";
    options.show();
    app.processEvents();
    ok &= Save(&options, folder, "options.png");
    options.close();

    CAboutDlg about(&dlg, platform::RealShell(), QtPrompts());
    about.show();
    app.processEvents();
    ok &= Save(&about, folder, "about.png");
    about.close();
    // A send that has just ended, with the last part of its dialogue in view.
    auto* send = new CSendProgressDlg(&dlg);
    send->ProgressBar()->setValue(100);
    for (const char* line :
         {">>> Initiating...", ">>> Connecting to mail.example.com:25...", ">>> OK",
          "<<< 220 mail.example.com ESMTP ready", ">>> HELO host\r\n", "<<< 250 mail.example.com",
          ">>> MAIL FROM: <ann@example.com>\r\n", "<<< 250 2.1.0 Ok", ">>> RCPT TO: <bob@example.com>\r\n",
          "<<< 250 2.1.5 Ok", ">>> DATA\r\n", "<<< 354 End data with <CR><LF>.<CR><LF>",
          ">>> Sending message body...", ">>> Done", ">>> \r\n.\r\n", "<<< 250 2.0.0 Ok: queued as 4F2A1C",
          ">>> QUIT\r\n", "<<< 221 2.0.0 Bye", "\r\nSent email successfully."})
        send->AppendLog(line);
    send->SetStatus(QStringLiteral("Sending email...OK"));
    send->SetFinished();
    send->show();
    app.processEvents();
    ok &= Save(send, folder, "send-progress.png");
    send->End();

    CHelpWindow* help = CHelpWindow::ShowHelp();
    app.processEvents();
    ok &= Save(help, folder, "help.png");
    help->close();
    return ok ? 0 : 1;
}
