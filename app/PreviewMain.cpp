// quillory-preview MESSAGE.eml -o SHOT.png [--width N] [--height N] [--force] [--timing]
// Draws a composed message's HTML part into a PNG file, offscreen. quillory-cli
// preview runs it; it lives apart so that the web engine stays out of
// quillory-cli.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "compose/MessageReader.h"
#include "platform/FileSystem.h"
#include "platform/System.h"
#include "ui/MessagePreview.h"

namespace {

int Fail(const std::string& why, int status) {
    std::fprintf(stderr, "quillory-preview: %s\n", why.c_str());
    if (status == 2) std::fputs("Usage: quillory-preview MESSAGE.eml -o SHOT.png [--width N] [--height N] [--force] [--timing]\n", stderr);
    return status;
}

void SetDefault(const char* name, const char* value) {
    if (qEnvironmentVariableIsEmpty(name)) qputenv(name, value);
}

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string message, shot, error;
    int width = kDesktopPreviewWidth, height = 0;
    bool timing = false, force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--timing") {
            timing = true;
        } else if (a == "--force") {
            force = true;
        } else if (a == "-o" || a == "--width" || a == "--height") {
            if (i + 1 >= args.size()) return Fail("option '" + a + "' needs a value", 2);
            const std::string& v = args[++i];
            if (a == "-o") shot = v;
            else if (!ParsePreviewSize(a, v, a == "--width" ? width : height, error)) return Fail(error, 2);
        } else if (a.empty() || a[0] == '-' || !message.empty()) {
            return Fail("unexpected argument '" + a + "'", 2);
        } else {
            message = a;
        }
    }
    if (message.empty() || shot.empty()) return Fail("a message and an output file are needed", 2);

    MessageContent content;
    if (!ReadMessageFile(message, content, error)) return Fail(error, 1);

    // No display is needed, and without one a GPU process only costs start-up time.
    SetDefault("QT_QPA_PLATFORM", "offscreen");
    SetDefault("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --log-level=3");
    PrepareMessagePreview();
    // The engine's notes on its set-up are not the user's business; failures are
    // reported below, as values.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);

    CMessagePreview preview;
    preview.ServeStill(true);
    QUrl root = preview.SetMessage(std::move(content));
    PreviewShot picture;
    QString why;
    if (!RenderUrl(preview.Profile(), root, width, height, picture, why)) return Fail(why.toStdString(), 1);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.image.save(&buffer, "PNG");
    auto file = platform::RealFileSystem().CreateOutput(
        shot, force ? platform::ReadOnlyTarget::Replace : platform::ReadOnlyTarget::Refuse, error);
    if (!file || !file->Write(png.constData(), static_cast<std::size_t>(png.size()), error) || !file->Commit(error))
        return Fail("cannot write " + shot + ": " + error, 1);
    if (timing)
        std::fprintf(stderr, "first paint after %lld ms, picture taken after %lld ms of the load; written %lld ms after start\n",
                     static_cast<long long>(picture.msFirstPaint), static_cast<long long>(picture.msDrawn),
                     static_cast<long long>(sinceStart.elapsed()));
    return 0;
}
