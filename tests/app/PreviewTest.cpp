// The preview: the composed message drawn as its recipient's program would.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <cstdio>

#include "TestUtil.h"
#include "app/PreviewDlg.h"
#include "compose/MimeComposer.h"
#include "ui/MessagePreview.h"

namespace {

using testutil::TempDir;

MessageContent Composed(const std::string& page, const TempDir& dir, bool webmail = false) {
    CMimeComposer composer;
    composer.m_job.m_strHtmlPath = page;
    composer.m_job.m_bPrepareForWebmail = webmail;
    composer.m_job.m_strOutputPath = dir.Path() + "message.eml";
    MessageContent content;
    std::string err;
    EXPECT_TRUE(composer.Compose()) << composer.GetLastError();
    EXPECT_TRUE(ReadMessageFile(composer.m_job.m_strOutputPath, content, err)) << err;
    return content;
}

// A one-part message around html, with a picture as Content-ID present@x.
MessageContent HandMade(const std::string& html) {
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    red.save(&buffer, "PNG");
    std::string text = "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=R\r\n\r\n--R\r\n"
                       "Content-Type: text/html; charset=UTF-8\r\n\r\n" + html + "\r\n--R\r\n"
                       "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <present@x>\r\n\r\n" +
                       png.toBase64().toStdString() + "\r\n--R--\r\n";
    MessageContent content;
    std::string err;
    EXPECT_TRUE(ReadMessageText(text, content, err)) << err;
    return content;
}

bool LoadAndWait(QWebEnginePage& page, const QUrl& url) {
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.load(url);
    return loaded.wait(20000) && loaded.first().first().toBool();
}

// Each image's natural width, as the page's own DOM has it.
std::string ImageWidths(QWebEnginePage& page) {
    std::string result;
    bool done = false;
    page.runJavaScript(QStringLiteral("Array.from(document.images, i => i.complete + ':' + i.naturalWidth).join(' ')"),
                       QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
                           result = v.toString().toStdString();
                           done = true;
                       });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    return result;
}

// Pixels whose colour differs by more than a rounding step.
int DifferingPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            n += std::abs(qRed(p) - qRed(q)) > 2 || std::abs(qGreen(p) - qGreen(q)) > 2 || std::abs(qBlue(p) - qBlue(q)) > 2;
        }
    return n;
}

QByteArray Png(QColor colour) {
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// A page of everything webmail would lose: a data: picture, CSS pictures in a
// style attribute and a <style> block, a linked sheet in another folder that
// imports a second one, each naming a picture beside itself.
std::string WebmailPage(TempDir& dir) {
    auto write = [&](const std::string& name, const QByteArray& bytes) { dir.Write(name, bytes.toStdString()); };
    write("green.png", Png(Qt::green));
    write("css/blue.png", Png(Qt::blue));
    write("css/deep/red.png", Png(Qt::red));
    dir.Write("css/deep/more.css", ".b { background: url(red.png); width: 48px; height: 24px; }\n");
    dir.Write("css/main.css", "@import url(\"deep/more.css\");\n.a { background: url('blue.png'); width: 48px; height: 24px; }\n");
    return dir.Write("webmail.html",
                     "<html><head><link rel=\"stylesheet\" href=\"css/main.css\">"
                     "<style>.c { background: url(green.png) repeat-x; height: 24px; }</style></head>"
                     "<body style=\"margin: 8px\"><div class=\"a\"></div><div class=\"b\"></div><div class=\"c\"></div>"
                     "<div style=\"background-image: url(css/deep/red.png); width: 24px; height: 24px\"></div>"
                     "<img src=\"data:image/png;base64," + Png(Qt::magenta).toBase64().toStdString() + "\"></body></html>");
}

// The message, drawn from its own parts, looks like the page it came from; so
// does one prepared for webmail, whose pictures and sheets all became parts.
TEST(Preview, MessageLooksLikeThePageAtEachWidth) {
    TempDir dir;
    struct Case {
        std::string page;
        bool webmail;
    } cases[] = {{std::string(QUILLORY_SOURCE_DIR) + "/examples/newsletter/index.html", false},
                 {WebmailPage(dir), true}};
    QWebEngineProfile plain;  // file: access, as a browser would open the page
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        CMessagePreview preview;
        const QUrl message = preview.SetMessage(Composed(c.page, dir, c.webmail));
        for (int width : {kDesktopPreviewWidth, kPhonePreviewWidth}) {
            SCOPED_TRACE(width);
            PreviewShot original, shown;
            QString err;
            ASSERT_TRUE(RenderUrl(&plain, QUrl::fromLocalFile(QString::fromStdString(c.page)), width, 0, original, err))
                << err.toStdString();
            ASSERT_TRUE(RenderUrl(preview.Profile(), message, width, 0, shown, err)) << err.toStdString();
            ASSERT_EQ(shown.image.size(), original.image.size());
            EXPECT_EQ(shown.image.width(), width);
            int differing = DifferingPixels(shown.image, original.image);
            EXPECT_LE(differing, shown.image.width() * shown.image.height() / 1000)
                << "of " << shown.image.width() << "x" << shown.image.height();
        }
        EXPECT_EQ(preview.BlockedRequests(), 0);
    }
}

// Remote pictures and style sheets stay out: nothing reaches a server on this
// machine, while a page outside the preview does reach it.
TEST(Preview, RemoteContentIsBlockedAndCidWithoutAPartIsBroken) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            ++connections;
            s->close();
        }
    });
    const QString remote = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    const std::string html = "<link rel=\"stylesheet\" href=\"" + remote.toStdString() + "s.css\">"
                             "<img src=\"cid:present@x\"><img src=\"cid:nowhere@x\" width=\"40\" height=\"40\" alt=\"x\">"
                             "<img src=\"" + remote.toStdString() + "a.png\">";

    CMessagePreview preview;
    CMailPage page(preview.Profile(), nullptr, true);
    ASSERT_TRUE(LoadAndWait(page, preview.SetMessage(HandMade(html))));
    EXPECT_EQ(ImageWidths(page), "true:8 true:0 true:0") << "the part shown, the missing one and the remote one broken";
    QTest::qWait(200);
    EXPECT_EQ(connections, 0);
    EXPECT_EQ(preview.BlockedRequests(), 2);

    QWebEngineProfile plain;
    QWebEnginePage browser(&plain);
    QSignalSpy loaded(&browser, &QWebEnginePage::loadFinished);
    browser.setHtml(QString::fromStdString(html), QUrl(remote));
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return connections > 0; }, 5000)) << "the server would have seen the requests";
}

// The window follows the page file, also when an editor replaces it, and says
// why when the page cannot be composed.
TEST(PreviewWindow, RecomposesWhenThePageChanges) {
    TempDir dir;
    const std::string page = dir.Write("page.html", "<p>first</p>");
    CPreviewDlg dlg(nullptr);
    QSignalSpy shown(&dlg, &CPreviewDlg::Shown);
    QSignalSpy composed(&dlg, &CPreviewDlg::Composed);
    ComposeJob job;
    job.m_strHtmlPath = page;
    dlg.ShowMessage(job);
    dlg.show();
    auto text = [&] {
        QString result;
        bool done = false;
        dlg.View()->page()->toPlainText([&](const QString& t) {
            result = t.trimmed();
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
        return result.toStdString();
    };
    ASSERT_TRUE(shown.wait(20000));
    EXPECT_EQ(text(), "first");
    for (const char* next : {"second", "third"}) {
        // Written beside it and renamed over it, as editors save.
        dir.Write("new.html", std::string("<p>") + next + "</p>");
        ASSERT_EQ(std::rename((dir.Path() + "new.html").c_str(), page.c_str()), 0);
        ASSERT_TRUE(shown.wait(20000)) << next;
        EXPECT_EQ(text(), next);
    }
    composed.clear();
    job.m_strHtmlPath = dir.Path() + "gone.html";
    dlg.ShowMessage(job);
    ASSERT_TRUE(composed.wait(20000));
    EXPECT_FALSE(composed.last().first().toBool());
    EXPECT_NE(dlg.StatusLine()->text().indexOf("gone.html"), -1) << dlg.StatusLine()->text().toStdString();

    // Esc and Ctrl+W close it as they close every other window, also from inside the page.
    for (auto [key, mod] : {std::pair{Qt::Key_Escape, Qt::NoModifier}, std::pair{Qt::Key_W, Qt::ControlModifier}}) {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        dlg.View()->setFocus();
        QWidget* inside = dlg.View()->focusProxy() ? dlg.View()->focusProxy() : dlg.View();
        QTest::keyClick(inside, key, mod);
        EXPECT_FALSE(dlg.isVisible()) << key;
    }
}

// quillory-cli preview: usage, a missing page, and a picture of the width asked,
// with no temporary message left behind on any path.
TEST(PreviewCli, ExitStatusesAndThePicture) {
    TempDir dir, tmp;
    dir.Write("page.html", "<body style=\"margin:0\"><div style=\"height:900px\">hello</div>");
    const struct {
        std::string args;
        int status;
        const char* said;
    } cases[] = {
        {"page.html", 2, "no output file given"},
        {"page.html -o shot.png --width wide", 2, "--width takes"},
        {"missing.html -o shot.png", 1, "missing.html"},
        {"page.html -o shot.png --width 375", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::string out;
        EXPECT_EQ(testutil::RunCommand("cd " + dir.Path() + " && TMPDIR=" + tmp.Path() + " " + QUILLORY_CLI +
                                           " preview " + c.args + " 2>&1",
                                       &out),
                  c.status);
        EXPECT_NE(out.find(c.said), std::string::npos) << out;
        for (const std::string& name : testutil::ListFolder(tmp.Path())) EXPECT_NE(name.rfind("EML", 0), 0u) << name;
    }
    QImage shot(QString::fromStdString(dir.Path() + "shot.png"));
    EXPECT_EQ(shot.size(), QSize(375, 900)) << "as tall as the page";
}

} // namespace
