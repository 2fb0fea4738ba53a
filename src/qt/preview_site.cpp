#include "qt/preview_site.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <atomic>

#include "preview/page_join.h"
#include "qt/preview_file_access.h"
#include "qt/utf8_text.h"

namespace corvane::qt {

namespace {

using Info = QWebEngineUrlRequestInfo;

const QByteArray kUtf8Mark("\xEF\xBB\xBF");
// The host of the page itself; every other document and resource gets a host made up for it.
const QString kPageHost = QStringLiteral("page");

QString cleanPath(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

QUrl withHost(QUrl url, const QString& host) {
    url.setHost(host);
    return url;
}

QString madeUpHost() {
    static std::atomic<quint64> made{0};
    return QStringLiteral("r%1").arg(++made);
}

// A font is loaded only from its document's own origin, as a browser loads it without CORS; no
// script can read a font's bytes.
bool isFont(const QString& path) {
    for (const char* extension : {".woff2", ".woff", ".ttf", ".otf", ".eot"}) {
        if (path.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) return true;
    }
    return false;
}

class PreviewGuard : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl target = info.requestUrl();
        const Info::ResourceType kind = info.resourceType();
        if (target.scheme() != QLatin1String(kPreviewScheme)) {
            if (!previewMayLoad(target, info.firstPartyUrl(), kind)) info.block(true);
            return;
        }
        if (kind == Info::ResourceTypeMainFrame) return;
        const QUrl initiator = info.initiator();
        // Only a previewed page reaches its folder: not a web page, nor a script's own request.
        if (initiator.scheme() != QLatin1String(kPreviewScheme) || !previewShows(kind)) {
            info.block(true);
            return;
        }
        // A document a page frames gets an origin of its own, so the page cannot read it.
        const bool document = kind == Info::ResourceTypeSubFrame || kind == Info::ResourceTypeObject;
        if (document && target.host() == initiator.host()) info.redirect(withHost(target, madeUpHost()));
    }
};

// Whether the scheme may serve `file` to the page whose file is `page`: what lies in the page's
// folder and below, no hidden file or folder, as the files really are.
bool liesInPagesFolder(const QString& file, const QString& page) {
    return previewMayLoad(QUrl::fromLocalFile(file), QUrl::fromLocalFile(page), Info::ResourceTypeImage);
}

}  // namespace

void registerPreviewScheme() {
    QWebEngineUrlScheme scheme(kPreviewScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags({});
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl previewAddress(const QString& path) {
    QUrl url = QUrl::fromLocalFile(cleanPath(path));
    url.setScheme(QString::fromLatin1(kPreviewScheme));
    url.setHost(kPageHost);
    return url;
}

LoopbackFiles::LoopbackFiles(Lookup lookup, QObject* parent)
    : QObject(parent), lookup_(std::move(lookup)), server_(new QTcpServer(this)) {
    renew();
    server_->listen(QHostAddress::LocalHost, 0);
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void LoopbackFiles::renew() {
    const quint64 a = QRandomGenerator::system()->generate64();
    const quint64 b = QRandomGenerator::system()->generate64();
    token_ = QStringLiteral("%1%2").arg(a, 16, 16, QLatin1Char('0')).arg(b, 16, 16, QLatin1Char('0'));
}

QUrl LoopbackFiles::addressOf(const QString& path) const {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(server_->serverPort());
    url.setPath(QLatin1Char('/') + token_ + path);
    return url;
}

QString LoopbackFiles::pathOf(const QUrl& url) const {
    const QString prefix = QLatin1Char('/') + token_;
    if (url.scheme() != QLatin1String("http") || url.port() != server_->serverPort() ||
        !url.path().startsWith(prefix + QLatin1Char('/')))
        return QString();
    return url.path().mid(prefix.size());
}

void LoopbackFiles::answer(QTcpSocket* socket) {
    constexpr qsizetype kMostHead = 64 * 1024;
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() > kMostHead)
            socket->abort();
        else
            socket->setProperty("head", head);
        return;
    }
    socket->disconnect(this);
    const QList<QByteArray> lines = head.left(end).split('\n');
    const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
    QByteArray dest;
    for (const QByteArray& line : lines) {
        if (line.toLower().startsWith("sec-fetch-dest:")) dest = line.mid(15).trimmed().toLower();
    }
    const auto reply = [socket](const QByteArray& status, const QByteArray& type, const QByteArray& body) {
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    };
    const QString path = request.size() == 3 && request[0] == "GET"
                             ? pathOf(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_->serverPort()) +
                                           QString::fromLatin1(request[1])))
                             : QString();
    // A script's own request (XMLHttpRequest, fetch) has the destination "empty".
    std::optional<SiteContent> content;
    if (!path.isEmpty() && dest != "empty") content = lookup_(cleanPath(path));
    if (!content) {
        reply("404 Not Found", "text/plain", QByteArray());
        return;
    }
    if (content->bytes.isNull()) {
        QFile file(content->file);
        if (!file.open(QIODevice::ReadOnly)) {
            reply("404 Not Found", "text/plain", QByteArray());
            return;
        }
        content->bytes = file.readAll();
    }
    reply("200 OK", content->type, content->bytes);
}

PreviewSite::PreviewSite(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent),
      files_(new LoopbackFiles([this](const QString& path) { return contentOf(path); }, this)) {}

std::optional<SiteContent> PreviewSite::contentOf(const QString& path) const {
    // UTF-8 with its mark, as the pane's characters are, whatever the page declares.
    if (!address_.isEmpty() && path == address_)
        return SiteContent{"text/html", kUtf8Mark + QByteArray::fromStdString(page_.text), QString()};
    for (const LinkedPane& linked : page_.linked) {
        if (cleanPath(fromUtf8(linked.path)) != path) continue;
        return SiteContent{linked.pane == PaneId::Css ? "text/css" : "text/javascript",
                           kUtf8Mark + QByteArray::fromStdString(linked.text), QString()};
    }
    if (address_.isEmpty() || !liesInPagesFolder(path, address_) || !QFileInfo(path).isFile())
        return std::nullopt;
    static const QMimeDatabase mimes;
    return SiteContent{mimes.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toUtf8(),
                       QByteArray(), path};
}

void PreviewSite::setPage(const PreviewPage& page) {
    // An address a page has seen (and could have sent away) is good only while that page is shown.
    files_->renew();
    page_ = page;
    address_ = cleanPath(fromUtf8(page.address));
}

std::optional<std::pair<PaneId, int>> PreviewSite::paneLine(const QString& source, int line) const {
    const QUrl url(source);
    const QString served = files_->pathOf(url);
    if (url.scheme() != QLatin1String(kPreviewScheme) && served.isEmpty()) return std::nullopt;
    const QString path = cleanPath(served.isEmpty() ? url.path() : served);
    if (path == address_) {
        if (const auto found = paneLineOf(page_.lines, line)) return std::pair{found->pane, found->line};
        return std::nullopt;
    }
    for (const LinkedPane& linked : page_.linked) {
        if (cleanPath(fromUtf8(linked.path)) == path) return std::pair{linked.pane, line};
    }
    return std::nullopt;
}

void PreviewSite::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    const QUrl initiator = job->initiator();
    const auto replyWith = [job](const QByteArray& type, const QByteArray& bytes) {
        auto* buffer = new QBuffer(job);
        buffer->setData(bytes);
        job->reply(type, buffer);
    };
    const bool fromPreview = initiator.scheme() == QLatin1String(kPreviewScheme);
    // The run button's own navigation has no initiator; a web page never reaches the folder.
    if (!initiator.isEmpty() && !fromPreview) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QString path = cleanPath(url.path());
    if (fromPreview && !isFont(path) && url.host() == initiator.host()) {
        // A picture, style sheet, script or media file of the page's own origin: served from
        // another origin over the loopback, where the engine marks what a page may not read of it.
        job->redirect(files_->addressOf(path));
        return;
    }
    if (fromPreview && isFont(path) && url.host() != initiator.host()) {
        job->redirect(withHost(url, initiator.host()));
        return;
    }
    std::optional<SiteContent> content = contentOf(path);
    if (!content) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    if (!content->bytes.isNull()) {
        replyWith(content->type, content->bytes);
        return;
    }
    auto* file = new QFile(content->file, job);
    if (!file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply(content->type, file);
}

namespace {

// U+2063 (invisible separator) marks the preview console's own part of a message.
constexpr char16_t kMark = u'\u2063';

// Wraps the page's console methods before any script of the page runs. Within the page's share, a
// message goes on with the file and line of the code that wrote it in front (the console would
// otherwise name this wrapper's); beyond it, the message is counted and, a second later, the count
// is sent instead. The first few of a second go at once, each by itself; the rest of the share,
// where they hold only text and numbers, wait and go together a few times a second, so that a page
// that logs in a loop hands the editor a few messages a second, not a hundred. What waits goes
// before any message that does not, and before the page's uncaught errors.
const char kConsoleScript[] = R"js((() => {
  const mark = '\u2063', share = %1, alone = %2, together = %3;
  const send = console.log;
  let second = -1, sent = 0, dropped = 0, pending = false, waiting = [], timer = 0;
  const where = () => {
    const frames = String(new Error().stack || '').split('\n');
    const m = /\(?([^()\s]+):(\d+):\d+\)?\s*$/.exec(frames[3] || '');
    return m ? m[1] + mark + m[2] : mark + '0';
  };
  const plain = (v) => v === null || !['object', 'function', 'symbol'].includes(typeof v);
  const flush = () => {
    if (timer) clearTimeout(timer);
    timer = 0;
    if (waiting.length === 0) return;
    const batch = JSON.stringify(waiting);
    waiting = [];
    send.call(console, mark + 'batch' + mark + batch);
  };
  const tell = () => {
    pending = false;
    flush();
    if (dropped > 0) send.call(console, mark + 'dropped' + mark + dropped);
    dropped = 0;
  };
  addEventListener('error', flush, true);
  addEventListener('unhandledrejection', flush, true);
  for (const name of ['log', 'info', 'warn', 'error', 'debug']) {
    const original = console[name];
    if (typeof original !== 'function') continue;
    console[name] = function (...args) {
      const now = Math.floor(performance.now() / 1000);
      if (now !== second) { second = now; sent = 0; }
      if (++sent > share) {
        ++dropped;
        if (!pending) { pending = true; setTimeout(tell, 1000); }
        return;
      }
      const at = where();
      if (sent > alone && args.every(plain)) {
        waiting.push(at + mark + args.map(String).join(' '));
        if (!timer) timer = setTimeout(flush, together);
        return;
      }
      flush();
      return original.call(console, mark + at + mark, ...args);
    };
  }
})();)js";

// A message of the page written as "<file><mark><line><mark><text>", or none without the marks.
std::optional<ConsoleMessage> markedMessage(const QString& marked) {
    const qsizetype file = marked.indexOf(kMark);
    const qsizetype text = file < 0 ? -1 : marked.indexOf(kMark, file + 1);
    if (text < 0) return std::nullopt;
    return ConsoleMessage{marked.mid(text + 1), marked.left(file), marked.mid(file + 1, text - file - 1).toInt(), 0};
}

}  // namespace

QList<ConsoleMessage> pageConsoleMessages(const QString& message, const QString& source, int line) {
    if (!message.startsWith(kMark)) return {{message, source, line, 0}};
    const QString said = message.mid(1);
    const QString dropped = QStringLiteral("dropped") + kMark;
    if (said.startsWith(dropped)) return {{QString(), QString(), 0, said.mid(dropped.size()).toInt()}};
    const QString batch = QStringLiteral("batch") + kMark;
    QList<ConsoleMessage> messages;
    if (said.startsWith(batch)) {
        for (const QJsonValue& entry : QJsonDocument::fromJson(said.mid(batch.size()).toUtf8()).array()) {
            if (std::optional<ConsoleMessage> one = markedMessage(entry.toString())) messages.append(*one);
        }
        return messages;
    }
    std::optional<ConsoleMessage> one = markedMessage(said);
    if (!one) return {{message, source, line, 0}};
    // The console puts a space between its arguments: between the marks and the text.
    if (one->text.startsWith(u' ')) one->text.remove(0, 1);
    return {*one};
}

void servePreviewsFrom(QWebEngineProfile* profile, PreviewSite* site) {
    QWebEngineScript console;
    console.setName(QStringLiteral("corvane-console"));
    console.setInjectionPoint(QWebEngineScript::DocumentCreation);
    console.setWorldId(QWebEngineScript::MainWorld);
    console.setRunsOnSubFrames(true);
    console.setSourceCode(QString::fromUtf8(kConsoleScript)
                              .arg(kConsoleMessagesASecond)
                              .arg(kConsoleMessagesAlone)
                              .arg(kConsoleBatchMs));
    profile->scripts()->insert(console);
    keepLocalFilesPrivate(profile);
    profile->setUrlRequestInterceptor(new PreviewGuard(profile));
    profile->installUrlSchemeHandler(kPreviewScheme, site);
}

}  // namespace corvane::qt
