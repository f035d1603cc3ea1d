#pragma once
// Shows a composed message as its recipient's mail program would: the HTML
// part, its pictures from the message's own parts by cid:, and nothing from
// the network.
#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <atomic>
#include <memory>

#include "compose/MessageReader.h"

class QWebEngineProfile;
class CCidSchemeHandler;
class CRemoteBlocker;

// Registers the cid: scheme with the web engine and, for the superuser, turns
// Chromium's sandbox off (it refuses to start as root otherwise, unless told
// so). Must run before the QApplication is made.
void PrepareMessagePreview();

// A page with a mail program's settings: no scripts, nothing from the network,
// and links that do not navigate away from the message. Chromeless, it has no
// scroll bars either, so a picture of it is just the page.
class CMailPage : public QWebEnginePage {
    Q_OBJECT
public:
    CMailPage(QWebEngineProfile* profile, QObject* parent, bool chromeless);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

// A private profile that serves one message at a time.
class CMessagePreview : public QObject {
    Q_OBJECT
public:
    explicit CMessagePreview(QObject* parent = nullptr);
    ~CMessagePreview() override;

    // Serves this message from now on; returns the address of its HTML part.
    QUrl SetMessage(MessageContent content);
    QWebEngineProfile* Profile() const { return m_pProfile; }
    // Requests refused since the profile was made: they would have left the machine.
    int BlockedRequests() const;
    // For a still picture: animated pictures are served as their first frame.
    void ServeStill(bool still);

private:
    QWebEngineProfile* m_pProfile;
    std::unique_ptr<CCidSchemeHandler> m_pHandler;
    std::unique_ptr<CRemoteBlocker> m_pBlocker;
};

// Loads url into a page of profile, width pixels wide, and captures it. With
// height 0 the picture is as tall as the page's content, up to
// kMaxPreviewHeight.
struct PreviewShot {
    QImage image;
    qint64 msFirstPaint = 0;  // from the load to the first frame that showed anything
    qint64 msDrawn = 0;       // from the load to the picture taken
};
bool RenderUrl(QWebEngineProfile* profile, const QUrl& url, int width, int height, PreviewShot& shot, QString& error);
