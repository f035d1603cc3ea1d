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
#include <sys/stat.h>

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

QByteArray Png(QColor colour) {
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// A one-part message around html, with a 24-pixel picture as Content-ID present@x.
MessageContent HandMade(const std::string& html) {
    std::string text = "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=R\r\n\r\n--R\r\n"
                       "Content-Type: text/html; charset=UTF-8\r\n\r\n" + html + "\r\n--R\r\n"
                       "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <present@x>\r\n\r\n" +
                       Png(Qt::red).toBase64().toStdString() + "\r\n--R--\r\n";
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

// A template in a responsive-e-mail framework's style, each <img on a line of
// its own, with its pictures beside it.
std::string FrameworkPage(TempDir& dir) {
    const std::pair<const char*, QColor> pictures[] = {
        {"images/logo.png", Qt::darkGreen}, {"images/001-tomato.png", Qt::red},
        {"images/002-beans.png", Qt::green}, {"images/003-basil.png", Qt::darkYellow}};
    for (const auto& [name, colour] : pictures) dir.Write(name, Png(colour).toStdString());
    return dir.Write("greenhouse.html",
                     testutil::ReadFile(QUILLORY_SOURCE_DIR "/tests/compose/pages/greenhouse.html"));
}

// The message, drawn from its own parts, looks like the page it came from; so
// does one prepared for webmail, whose pictures and sheets all became parts.
TEST(Preview, MessageLooksLikeThePageAtEachWidth) {
    TempDir dir;
    struct Case {
        std::string page;
        bool webmail;
    } cases[] = {{std::string(QUILLORY_SOURCE_DIR) + "/examples/newsletter/index.html", false},
                 {WebmailPage(dir), true}, {FrameworkPage(dir), false}};
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
    EXPECT_EQ(ImageWidths(page), "true:24 true:0 true:0") << "the part shown, the missing one and the remote one broken";
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

// A looping GIF of two 8x8 frames, red for 100 ms then blue for 10 s, made
// by hand as Qt writes no GIF. The LZW table restarts after every two codes,
// so codes stay 3 bits wide.
std::string RedThenBlueGif() {
    std::string g = std::string("GIF89a\x08\x00\x08\x00\xf0\x00\x00\xff\x00\x00\x00\x00\xff", 19) +
                    std::string("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int colour : {0, 1}) {
        g += std::string("\x21\xf9\x04\x00", 4) + (colour ? "\xe8\x03" : std::string("\x0a\x00", 2)) +
             std::string("\x00\x00\x2c\x00\x00\x00\x00\x08\x00\x08\x00\x00\x02", 13);
        std::string data;
        unsigned bits = 0, held = 0;
        auto put = [&](unsigned code) {
            bits |= code << held;
            for (held += 3; held >= 8; held -= 8, bits >>= 8) data += static_cast<char>(bits & 0xff);
        };
        for (int i = 0; i < 64; i += 2) put(4), put(colour), put(colour);
        put(5);
        if (held > 0) data += static_cast<char>(bits & 0xff);
        g += static_cast<char>(data.size()) + data + '\0';
    }
    return g + ';';
}

// quillory-cli preview: usage, a missing page, an output that is its page (the
// composer's table has the other inputs), and a picture of the width asked,
// with no temporary message left behind on any path. Animations are drawn at
// their start, and a refresh is ignored, as mail programs do.
TEST(PreviewCli, ExitStatusesAndThePicture) {
    TempDir dir, tmp;
    std::string page = dir.Write("page.html", "<body style=\"margin:0\"><div style=\"height:900px\">hello</div>");
    std::string forced = dir.Write("forced.png", "old");
    ASSERT_EQ(::chmod(forced.c_str(), 0444), 0);
    dir.Write("anim.gif", RedThenBlueGif());
    dir.Write("gif.html", "<body style=\"margin:0\"><img src=\"anim.gif\" width=\"64\" height=\"64\">");
    dir.Write("css.html", "<style>@keyframes k { from { background: #f00 } to { background: #00f } }</style>"
                          "<body style=\"margin:0\"><div style=\"animation: k 2s infinite alternate; height: 64px\">");
    dir.Write("marquee.html", "<body style=\"margin:0; background:#f00\"><marquee>moving</marquee>");
    dir.Write("refresh.html", "<meta http-equiv=\"refresh\" content=\"0; url=cid:nowhere@x\">"
                              "<body style=\"margin:0; background:#f00\"><p>stays</p>");
    const struct {
        std::string args;
        int status;
        std::string said;
        QColor atTopLeft;  // of the picture, when one is made
    } cases[] = {
        {"page.html -o page.html", 1, "output file '" + page + "' is the HTML file itself", {}},
        {"page.html -o forced.png", 1, "it is read-only", {}},
        {"page.html -o forced.png --force", 0, "", {}},
        {"page.html", 2, "no output file given", {}},
        {"page.html -o shot.png --width wide", 2, "--width takes", {}},
        {"missing.html -o shot.png", 1, "missing.html", {}},
        {"page.html -o shot.png --width 375", 0, "", {}},
        {"gif.html -o gif.png --width 100 --height 100", 0, "", Qt::red},
        {"css.html -o css.png --width 100 --height 100", 0, "", Qt::red},
        {"marquee.html -o marquee.png --width 100 --height 100", 0, "", Qt::red},
        {"refresh.html -o refresh.png --width 100 --height 100", 0, "", Qt::red},
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
        if (!c.atTopLeft.isValid()) continue;
        const std::size_t from = c.args.find("-o ") + 3;
        QImage shot(QString::fromStdString(dir.Path() + c.args.substr(from, c.args.find(' ', from) - from)));
        ASSERT_FALSE(shot.isNull());
        QColor seen = shot.pixelColor(2, 2);
        EXPECT_LE(std::abs(seen.red() - c.atTopLeft.red()) + std::abs(seen.green() - c.atTopLeft.green()) +
                      std::abs(seen.blue() - c.atTopLeft.blue()),
                  6)
            << seen.name().toStdString();
    }
    EXPECT_EQ(testutil::ReadFile(page).substr(0, 5), "<body");
    EXPECT_EQ(testutil::ReadFile(forced).substr(1, 3), "PNG");
    QImage shot(QString::fromStdString(dir.Path() + "shot.png"));
    EXPECT_EQ(shot.size(), QSize(375, 900)) << "as tall as the page";
}

} // namespace
