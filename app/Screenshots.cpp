// Renders each window offscreen into PNG files, to look at them without a desktop.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>

#include "app/AboutDlg.h"
#include "app/CheckDlg.h"
#include "app/MainDlg.h"
#include "app/OptionsDlg.h"
#include "app/PreviewDlg.h"
#include "platform/Process.h"
#include "platform/Socket.h"
#include "platform/qt/DesktopShell.h"
#include "ui/CreateProgressDlg.h"
#include "ui/HelpWindow.h"
#include "ui/MessagePreview.h"
#include "ui/Prompts.h"
#include "ui/SendProgressDlg.h"

namespace {

bool Save(QWidget* w, const QString& folder, const char* name) {
    QString path = folder + "/" + name;
    bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A mail server on 127.0.0.1 for the send window's picture: aiosmtpd, which
// takes every message and keeps none. Port() is 0 when it did not start.
class LocalSmtpServer {
public:
    LocalSmtpServer() {
        std::string out, err;
        int errNo = 0;
        if (!platform::RunForOutput({"/usr/bin/python3", "-c",
                                     "import socket; s = socket.socket(); s.bind(('127.0.0.1', 0)); "
                                     "print(s.getsockname()[1])"},
                                    out, err, 10000) ||
            !platform::StartProcess(
                {"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + out.substr(0, out.find('\n'))},
                m_child, errNo, err)) {
            std::printf("no local mail server: %s\n", err.c_str());
            return;
        }
        int port = std::atoi(out.c_str());
        for (int i = 0; i < 100 && !m_port; ++i) {
            platform::ConnectError why;
            if (platform::RealNetwork().Connect("127.0.0.1", port, 1000, nullptr, why)) m_port = port;
            else QTest::qWait(100);
        }
        if (!m_port) std::printf("no local mail server: aiosmtpd does not answer on port %d\n", port);
    }
    ~LocalSmtpServer() {
        if (m_child.pid > 0) platform::KillProcess(m_child);
    }
    int Port() const { return m_port; }

private:
    platform::ChildProcess m_child;
    int m_port = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareMessagePreview();
    QApplication app(argc, argv);
    QString folder = QDir().absoluteFilePath(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/screenshots"));
    QDir().mkpath(folder);
    // Paths as a user of the example sees them, not this machine's checkout.
    QDir::setCurrent(QStringLiteral(QUILLORY_SOURCE_DIR));
    bool ok = true;

    CMainDlg dlg;
    const CMainDlg::Widgets& ui = dlg.Ui();
    ui.pHtmlEdit->setText("examples/newsletter/index.html");
    ui.pSubjectEdit->setText("Quillory News, December");
    ui.pFromEdit->setText("Ann Example <ann@example.com>");
    ui.pToEdit->setText("bob@example.com; Cy <cy@example.org>");
    dlg.AddAttachment("examples/newsletter/logo.png");
    dlg.AddAttachment("examples/newsletter/style.css");
    dlg.show();
    app.processEvents();
    ok &= Save(&dlg, folder, "main-window.png");

    // The popups as the user meets them: More >> with the pointer on an entry,
    // and the attachment menu with nothing selected, so its file commands are grey.
    dlg.OnMore();
    dlg.MorePopup()->setActiveAction(dlg.Commands().pHomepage);
    app.processEvents();
    ok &= Save(dlg.MorePopup(), folder, "more-menu.png");
    dlg.MorePopup()->hide();
    dlg.AttachPopup()->popup(dlg.mapToGlobal(QPoint(40, 300)));
    dlg.AttachPopup()->setActiveAction(dlg.Commands().pAttachAdd);
    app.processEvents();
    ok &= Save(dlg.AttachPopup(), folder, "attachment-menu.png");
    dlg.AttachPopup()->hide();

    auto* progress = new CCreateProgressDlg(&dlg);
    progress->SetCaption(QStringLiteral("Creating HTML email..."));
    progress->SetBytes(372u << 20, 1024u << 20);
    progress->show();
    app.processEvents();
    ok &= Save(progress, folder, "create-progress.png");
    progress->End();

    // The Check command's report on the example, and the report before Create
    // Email on a page with one of each common problem, written here for the picture.
    {
        ComposeJob job;
        job.m_strHtmlPath = "examples/newsletter/index.html";
        CCheckDlg report(&dlg, check::CheckPage(job, 0, platform::Platform(), &check::DefaultClients()));
        report.resize(980, 560);  // as on a desktop; the offscreen screen is smaller
        report.show();
        app.processEvents();
        ok &= Save(&report, folder, "check-report.png");
        // The clients' support, with the first warning's place shown in the page.
        report.Tabs()->setCurrentIndex(1);
        for (const check::FeatureRow& f : report.Report().clientSupport.listFeatures)
            if (f.bWarning && !f.listPlaces.empty()) {
                report.ShowPlace(f.listPlaces.front());
                break;
            }
        app.processEvents();
        ok &= Save(&report, folder, "check-client-support.png");
    }
    {
        QString page = folder + "/check-page/offer.html";
        QDir().mkpath(folder + "/check-page");
        for (const char* name : {"logo.png", "hero.jpg", "hero-2x.jpg", "badge.svg"}) {
            QFile f(folder + "/check-page/" + name);
            ok &= f.open(QIODevice::WriteOnly) && f.write("x") == 1;
        }
        QFile f(page);
        ok &= f.open(QIODevice::WriteOnly) &&
              f.write("<html><head><title>Winter offer</title>\n"
                      "<style>.top { background: url(stripes.png) }</style></head>\n<body>\n"
                      "<img src=\"logo.png\" alt=\"Shop\">\n"
                      "<img src=\"hero.jpg\" srcset=\"hero-2x.jpg 2x\">\n"
                      "<img src=\"badge.svg\" alt=\"New\">\n"
                      "<img src=\"images/sale.gif\" alt=\"Sale\">\n"
                      "<img src=\"https://cdn.example.com/track.gif\" width=1 height=1>\n"
                      "<p>Ten percent off everything until Sunday.</p>\n</body></html>\n") > 0;
        f.close();
        ComposeJob job;
        job.m_strHtmlPath = QDir::current().relativeFilePath(page).toStdString();
        check::Report report = check::CheckPage(job);
        std::vector<WarningKind> kinds = WarningKinds(report);
        CCheckDlg before(&dlg, std::move(report), QStringLiteral("Create Email"), kinds);
        before.resize(980, 640);
        before.show();
        app.processEvents();
        ok &= Save(&before, folder, "check-before-create.png");
    }

    COptionsDlg options(&dlg, QtPrompts());
    options.m_options.SmtpServer = "smtp.example.com";
    options.m_options.SmtpPort = 587;
    options.m_options.Security = kSecurityStartTls;
    options.m_options.SrvReqAuth = true;
    options.m_options.AuthName = "ann";
    options.m_options.AuthPass = "secret";
    options.m_strPasswordPlace = QStringLiteral("in the keyring");
    options.show();
    app.processEvents();
    ok &= Save(&options, folder, "options.png");
    options.close();

    CAboutDlg about(&dlg, platform::RealShell(), QtPrompts());
    about.show();
    app.processEvents();
    ok &= Save(&about, folder, "about.png");
    about.close();
    // A real delivery from the window to a local server, pictured as it ends:
    // the dialogue and the closing words are the window's own.
    {
        LocalSmtpServer server;
        dlg.m_settings.options.SmtpServer = "127.0.0.1";
        dlg.m_settings.options.SmtpPort = server.Port();
        dlg.m_settings.options.Security = kSecurityNone;
        dlg.m_settings.options.SrvReqAuth = false;
        // The report before sending, when it has something to say, is answered as a user sends anyway.
        QTimer sendAnyway;
        QObject::connect(&sendAnyway, &QTimer::timeout, [] {
            if (auto* report = qobject_cast<CCheckDlg*>(QApplication::activeModalWidget())) report->accept();
        });
        sendAnyway.start(100);
        CSendProgressDlg* send = nullptr;
        if (server.Port()) {
            dlg.OnSendEmail();
            bool ended = QTest::qWaitFor([&] {
                send = dlg.findChild<CSendProgressDlg*>();
                return send && send->IsFinished();
            }, 30000);
            if (!ended) std::printf("the send did not end within 30 s\n");
        }
        app.processEvents();
        if (send) std::printf("send window: %s\n", qPrintable(send->Status()));
        ok &= send && send->IsFinished() && Save(send, folder, "send-progress.png");
        if (send) send->Button()->click();
        app.processEvents();
    }

    // The preview as it opens from the menu: composed, read back and drawn.
    // Waiting runs the event loop throughout: the engine's browser side lives on it.
    QElapsedTimer clock;
    clock.start();
    dlg.OnPreview();
    auto* preview = dlg.findChild<CPreviewDlg*>();
    bool shown = preview && QSignalSpy(preview, &CPreviewDlg::Shown).wait(20000);
    std::printf("preview window: message shown after %lld ms\n", static_cast<long long>(clock.elapsed()));
    QTest::qWait(300);  // the view's frame trails its load
    ok &= shown && Save(preview, folder, "preview-window.png");
    // Again, as after the page is saved: the engine is running by now.
    if (shown) {
        clock.restart();
        dlg.OnPreview();
        QSignalSpy(preview, &CPreviewDlg::Shown).wait(20000);
        std::printf("preview window: shown again after %lld ms\n", static_cast<long long>(clock.elapsed()));
    }

    CHelpWindow* help = CHelpWindow::ShowHelp(&dlg);
    app.processEvents();
    ok &= Save(help, folder, "help.png");
    // On a real display, the whole screen as the window manager arranged it.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        QTest::qWait(500);
        QString path = folder + "/desktop.png";
        bool saved = dlg.screen()->grabWindow(0).save(path);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
        ok &= saved;
    }
    help->close();
    return ok ? 0 : 1;
}
