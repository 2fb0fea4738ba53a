#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineUrlSchemeHandler>
#include <functional>
#include <optional>
#include <utility>

#include "platform/controls.h"

class QWebEngineProfile;
class QTcpServer;
class QTcpSocket;

namespace corvane::qt {

// The preview shows a page under a scheme of its own, at the address of the page's file:
// "corvane-page://page/home/me/site/page.html". The page comes from the HTML pane, a linked style
// sheet or script whose file is the CSS or JS pane's file from that pane, and the other files of
// the page's folder and below from the disk. Every document and every resource that a page loads
// from its folder gets an origin of its own (a host made up for it), so the page shows them as a
// browser shows a page opened from disk, but its scripts can read none of them: not a frame's
// document, not a picture's pixels on a canvas, not a style sheet's rules, not a script's error
// text; and XMLHttpRequest and fetch of them are refused.
inline constexpr char kPreviewScheme[] = "corvane-page";

// Must run before the application object is made.
void registerPreviewScheme();

// The address at which the preview shows the page whose file is `path`.
QUrl previewAddress(const QString& path);

// What the preview may show for a local path: the page itself or a linked pane from memory, a
// file of the page's folder from disk.
struct SiteContent {
    QByteArray type;
    QByteArray bytes;
    QString file;  // read from disk when `bytes` is not given
};

// The pictures, style sheets, scripts and media of the page's folder, served over the loopback at
// an address known only to this program (a random part in every path), so that they are of an
// origin other than the page's: the engine then keeps the page's scripts from reading them (the
// pixels of a canvas, a style sheet's rules, a script's error text). A script's own request of
// them is refused.
class LoopbackFiles : public QObject {
    Q_OBJECT
public:
    using Lookup = std::function<std::optional<SiteContent>(const QString& path)>;
    LoopbackFiles(Lookup lookup, QObject* parent);
    QUrl addressOf(const QString& path) const;
    // A new random part: the addresses given before no longer answer.
    void renew();
    // The local path of one of its addresses, or an empty string.
    QString pathOf(const QUrl& url) const;

private:
    void answer(QTcpSocket* socket);
    Lookup lookup_;
    QTcpServer* server_;
    QString token_;
};

// What the scheme serves: the page now previewed. Installed on the preview's profile.
class PreviewSite : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit PreviewSite(QObject* parent);
    void setPage(const PreviewPage& page);
    const PreviewPage& page() const { return page_; }
    // The pane and line a message of the page's `source` at `line` came from, or none.
    std::optional<std::pair<PaneId, int>> paneLine(const QString& source, int line) const;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
    std::optional<SiteContent> contentOf(const QString& path) const;

private:
    PreviewPage page_;
    QString address_;
    LoopbackFiles* files_;
};

// The preview's page: it hands on what the page writes to its console and its uncaught errors.
class PreviewWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

signals:
    void consoleMessage(int level, const QString& message, int line, const QString& source);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                  const QString& source) override {
        emit consoleMessage(static_cast<int>(level), message, line, source);
    }
};

// A page may hand the editor this many console messages a second; the rest of that second's are
// counted, not sent, so a page that logs in a tight loop does not load the editor. Of those it
// does send, the first kConsoleMessagesAlone of a second go one by one, the others (where they
// hold only text and numbers) together every kConsoleBatchMs. A message carries where in the
// page it was written (see pageConsoleMessages).
inline constexpr int kConsoleMessagesASecond = 100;
inline constexpr int kConsoleMessagesAlone = 5;
inline constexpr int kConsoleBatchMs = 500;

// What a console message of a preview page says and where it came from, the marks put on it by the
// preview's console (installed by servePreviewsFrom) taken off; `dropped` counts the messages the
// page wrote beyond its share in a second, when the message says only that.
struct ConsoleMessage {
    QString text;
    QString source;
    int line = 0;
    int dropped = 0;
};
// The messages one console message of the page brings: one, or those the page sent together.
QList<ConsoleMessage> pageConsoleMessages(const QString& message, const QString& source, int line);

// The pages of `profile` load their local files only through the scheme, each with an origin of
// its own, and read none of them (see above).
void servePreviewsFrom(QWebEngineProfile* profile, PreviewSite* site);

}  // namespace corvane::qt
