#include "ui/MessagePreview.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
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
    // A followed link would only show the engine's page for a blocked request.
    return type != NavigationTypeLinkClicked && QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

// Answers cid: requests from the message's parts; the HTML part itself has an
// address of its own, so pages of any size load (setHtml stops at 2 MB).
class CCidSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
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
        }
        auto* body = new QBuffer(job);
        body->setData(data);
        body->open(QIODevice::ReadOnly);
        job->reply(type, body);
    }

private:
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
// seconds to show anything.
constexpr int kSteadyMs = 300;
constexpr int kBlankMs = 5000;

QImage Grab(QWidget& view) { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A view of the page with the mail program's settings, width x height.
struct PageView {
    QWebEngineView view;
    QWebEnginePage* page;
    int loaded = -1;
    PageView(QWebEngineProfile* profile, int width, int height) : page(new CMailPage(profile, &view, true)) {
        view.setPage(page);
        view.resize(width, height);
        view.show();
        QObject::connect(page, &QWebEnginePage::loadFinished, &view, [this](bool ok) { loaded = ok; });
    }
    // Waits for the load; each() runs on every turn meanwhile.
    template <typename Each>
    bool Load(const QUrl& url, QString& error, Each each) {
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
                return false;
            }
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
