#include "qt/preview_site.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QWebEngineProfile>
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
        }
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

void PreviewSite::setPage(const PreviewPage& page) {
    page_ = page;
    address_ = cleanPath(fromUtf8(page.address));
}

std::optional<std::pair<PaneId, int>> PreviewSite::paneLine(const QString& source, int line) const {
    const QUrl url(source);
    if (url.scheme() != QLatin1String(kPreviewScheme)) return std::nullopt;
    const QString path = cleanPath(url.path());
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
        // A redirect the engine follows, so that the response is of the other origin; the
        // interceptor's redirect would only change where the request goes.
        job->redirect(withHost(url, madeUpHost()));
        return;
    }
    if (fromPreview && isFont(path) && url.host() != initiator.host()) {
        job->redirect(withHost(url, initiator.host()));
        return;
    }
    // UTF-8 with its mark, as the pane's characters are, whatever the page declares.
    if (!address_.isEmpty() && path == address_) {
        replyWith("text/html", kUtf8Mark + QByteArray::fromStdString(page_.text));
        return;
    }
    for (const LinkedPane& linked : page_.linked) {
        if (cleanPath(fromUtf8(linked.path)) != path) continue;
        replyWith(linked.pane == PaneId::Css ? "text/css" : "text/javascript",
                  kUtf8Mark + QByteArray::fromStdString(linked.text));
        return;
    }
    if (address_.isEmpty() || !liesInPagesFolder(path, address_)) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    auto* file = new QFile(path, job);
    if (!QFileInfo(path).isFile() || !file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    static const QMimeDatabase mimes;
    job->reply(mimes.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toUtf8(), file);
}

void servePreviewsFrom(QWebEngineProfile* profile, PreviewSite* site) {
    keepLocalFilesPrivate(profile);
    profile->setUrlRequestInterceptor(new PreviewGuard(profile));
    profile->installUrlSchemeHandler(kPreviewScheme, site);
}

}  // namespace corvane::qt
