#include "ui/MessagePreview.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImageReader>
#include <QWebEngineLoadingInfo>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <cmath>

#include "platform/System.h"

namespace {

const QByteArray kCid = QByteArrayLiteral("cid");

} // namespace

void PrepareMessagePreview() {
    if (platform::IsSuperuser() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QWebEngineUrlScheme scheme(kCid);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}

CMailPage::CMailPage(QWebEngineProfile* profile, QObject* parent, bool chromeless) : QWebEnginePage(profile, parent) {
    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::ShowScrollBars, !chromeless);
}

bool CMailPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    // The page shows only what this program loads into it: a followed link or
    // a <meta http-equiv="refresh"> (which mail programs ignore) would only
    // show the engine's page for a blocked request, or reload for ever.
    if (isMainFrame ? type != NavigationTypeTyped : type == NavigationTypeRedirect || type == NavigationTypeReload)
        return false;
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

// Answers cid: requests from the message's parts; the HTML part itself has an
// address of its own, so pages of any size load (setHtml stops at 2 MB).
class CCidSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    bool m_bStill = false;  // animated pictures are served as their first frame

    void SetMessage(MessageContent content, QString rootId) {
        m_content = std::make_shared<const MessageContent>(std::move(content));
        m_strRootId = std::move(rootId);
    }
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QString id = job->requestUrl().path(QUrl::FullyDecoded);
        if (!m_content) return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        QByteArray type, data;
        if (id == m_strRootId) {
            type = "text/html";
            if (!m_content->m_strHtmlCharset.empty())
                type += "; charset=" + QByteArray::fromStdString(m_content->m_strHtmlCharset);
            data = QByteArray::fromStdString(m_content->m_strHtml);
        } else {
            auto it = m_content->m_mapParts.find(id.toStdString());
            if (it == m_content->m_mapParts.end()) return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            // The engine takes no parameter but the charset.
            type = QByteArray::fromStdString(it->second.m_strContentType);
            if (!it->second.m_strCharset.empty()) type += "; charset=" + QByteArray::fromStdString(it->second.m_strCharset);
            data = QByteArray::fromStdString(it->second.m_strData);
            if (m_bStill) FirstFrame(type, data);
        }
        auto* body = new QBuffer(job);
        body->setData(data);
        body->open(QIODevice::ReadOnly);
        job->reply(type, body);
    }

private:
    // A picture of an animated GIF (or another animated format Qt reads) is
    // of its first frame; PNG keeps it exact.
    static void FirstFrame(QByteArray& type, QByteArray& data) {
        QBuffer in(&data);
        QImageReader reader(&in);
        if (!reader.supportsAnimation() || reader.imageCount() == 1) return;
        QImage first = reader.read();
        if (first.isNull()) return;
        QByteArray png;
        QBuffer out(&png);
        out.open(QIODevice::WriteOnly);
        if (!first.save(&out, "PNG")) return;
        type = "image/png";
        data = png;
    }
    std::shared_ptr<const MessageContent> m_content;
    QString m_strRootId;
};

// Lets only the message's own parts and inline data through.
class CRemoteBlocker : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme == QLatin1String(kCid) || scheme == QLatin1String("data")) return;
        info.block(true);
        ++m_nBlocked;
    }
    std::atomic<int> m_nBlocked{0};
};

CMessagePreview::CMessagePreview(QObject* parent)
    : QObject(parent),
      m_pProfile(new QWebEngineProfile(this)),  // no storage name: off the record
      m_pHandler(std::make_unique<CCidSchemeHandler>()),
      m_pBlocker(std::make_unique<CRemoteBlocker>()) {
    m_pProfile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_pProfile->installUrlSchemeHandler(kCid, m_pHandler.get());
    m_pProfile->setUrlRequestInterceptor(m_pBlocker.get());
}

CMessagePreview::~CMessagePreview() {
    // Pages still open must not reach the handler or the blocker while they go.
    m_pProfile->removeAllUrlSchemeHandlers();
    m_pProfile->setUrlRequestInterceptor(nullptr);
}

QUrl CMessagePreview::SetMessage(MessageContent content) {
    // A new address each time, so no cache hands back an earlier message.
    static int generation = 0;
    QString rootId = QStringLiteral("message-%1.preview@quillory.invalid").arg(++generation);
    m_pHandler->SetMessage(std::move(content), rootId);
    return QUrl(QStringLiteral("cid:") + rootId);
}

int CMessagePreview::BlockedRequests() const { return m_pBlocker->m_nBlocked; }

void CMessagePreview::ServeStill(bool still) { m_pHandler->m_bStill = still; }

namespace {

// Runs the event loop until done() holds or ms milliseconds have gone.
template <typename Done>
bool WaitFor(Done done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// A grab shows the last frame the engine delivered, and frames trail the
// load: the background comes before what is drawn on it. A picture counts
// once it has shown something and stayed the same for kSteadyMs. A page that
// really is blank is taken after kBlankMs: tall pages on a busy machine take
// seconds to show anything. One that still moves after kMovingMs (an
// animation not paused) is taken as it is then.
constexpr int kSteadyMs = 300;
constexpr int kBlankMs = 5000;
constexpr int kMovingMs = 4000;

// CSS animations, transitions and marquees held at their start, as a still
// picture of the message shows them; run in the page's isolated world, since
// the page itself has no scripts.
const char kPauseAnimations[] =
    "for (const a of document.getAnimations()) { a.pause(); a.currentTime = 0; }"
    "for (const m of document.getElementsByTagName('marquee')) m.stop();";

QImage Grab(QWidget& view) { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A view of the page with the mail program's settings, width x height.
struct PageView {
    QWebEngineView view;
    QWebEnginePage* page;
    int loaded = -1;
    QUrl target;
    PageView(QWebEngineProfile* profile, int width, int height) : page(new CMailPage(profile, &view, true)) {
        view.setPage(page);
        view.resize(width, height);
        view.show();
        // Only the end of this load counts: a navigation the page starts
        // (a refresh) is refused, and ends as failed.
        QObject::connect(page, &QWebEnginePage::loadingChanged, &view, [this](const QWebEngineLoadingInfo& info) {
            if (info.url() != target) return;
            if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) loaded = 1;
            else if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus) loaded = 0;
        });
    }
    // Waits for the load; each() runs on every turn meanwhile.
    template <typename Each>
    bool Load(const QUrl& url, QString& error, Each each) {
        target = url;
        page->load(url);
        bool inTime = WaitFor([&] { return each(), loaded >= 0; }, 30000);
        if (inTime && loaded) return true;
        error = inTime ? QStringLiteral("the message's HTML part did not load")
                       : QStringLiteral("the message's HTML part did not load within 30 s");
        return false;
    }
};

} // namespace

bool RenderUrl(QWebEngineProfile* profile, const QUrl& url, int width, int height, PreviewShot& shot, QString& error) {
    QElapsedTimer clock;
    clock.start();
    if (height <= 0) {
        // Measured in a short view, so the content's height is not the window's.
        // A resized view would keep delivering frames of its old size for a
        // while, so the picture is taken by a view made at the final size.
        PageView measure(profile, width, 64);
        if (!measure.Load(url, error, [] {})) return false;
        // The load ends after the pictures have come, but the size the view
        // reports may still be that of the layout before them: ask the page.
        double measured = -1;
        measure.page->runJavaScript(
            QStringLiteral("Math.max(document.documentElement.scrollHeight, document.body ? document.body.scrollHeight : 0)"),
            QWebEngineScript::ApplicationWorld, [&](const QVariant& v) { measured = v.isValid() ? v.toDouble() : 0; });
        WaitFor([&] { return measured >= 0; }, 2000);
        if (measured <= 0) {
            WaitFor([&] { return measure.page->contentsSize().height() > 0; }, 2000);
            measured = measure.page->contentsSize().height();
        }
        height = std::clamp(static_cast<int>(std::ceil(measured)), 1, kMaxPreviewHeight);
    }
    PageView shown(profile, width, height);
    const QImage blank = Grab(shown.view);
    qint64 firstPaint = -1;
    auto notePaint = [&](const QImage& now) {
        if (firstPaint < 0 && now != blank) firstPaint = clock.elapsed();
    };
    if (!shown.Load(url, error, [&] { notePaint(Grab(shown.view)); })) return false;
    shown.page->runJavaScript(QString::fromLatin1(kPauseAnimations), QWebEngineScript::ApplicationWorld);
    QElapsedTimer waited;
    waited.start();
    QImage candidate;
    QElapsedTimer steady;
    bool drawn = WaitFor(
        [&] {
            QImage now = Grab(shown.view);
            notePaint(now);
            if (now != candidate) {
                candidate = now;
                steady.start();
            }
            if (now != blank && waited.elapsed() > kMovingMs) return true;
            return steady.elapsed() >= kSteadyMs && (now != blank || waited.elapsed() > kBlankMs);
        },
        20000);
    if (!drawn) {
        error = QStringLiteral("the message was not drawn within 20 s");
        return false;
    }
    shot.image = candidate;
    shot.msDrawn = clock.elapsed();
    shot.msFirstPaint = firstPaint >= 0 ? firstPaint : shot.msDrawn;
    return true;
}
