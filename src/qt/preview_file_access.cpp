#include "qt/preview_file_access.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace corvane::qt {

namespace {

using Info = QWebEngineUrlRequestInfo;

}  // namespace

// What a page asks for in order to show it. A script's own request (XMLHttpRequest, fetch),
// pings, workers and everything else are left out.
bool previewShows(Info::ResourceType kind) {
    switch (kind) {
        case Info::ResourceTypeSubFrame:
        case Info::ResourceTypeStylesheet:
        case Info::ResourceTypeScript:
        case Info::ResourceTypeImage:
        case Info::ResourceTypeFontResource:
        case Info::ResourceTypeObject:
        case Info::ResourceTypeMedia:
        case Info::ResourceTypeFavicon:
        case Info::ResourceTypePrefetch:
            return true;
        default:
            return false;
    }
}

bool previewMayLoad(const QUrl& target, const QUrl& page, Info::ResourceType kind) {
    if (!target.isLocalFile() || kind == Info::ResourceTypeMainFrame) return true;
    if (!previewShows(kind) || !page.isLocalFile()) return false;
    // Compared as the files really are, so that no link leads out of the page's folder.
    const QFileInfo pageFile(page.toLocalFile());
    const QString folder = QFileInfo(pageFile.isDir() ? pageFile.absoluteFilePath() : pageFile.absolutePath())
                               .canonicalFilePath();
    const QString file = QFileInfo(target.toLocalFile()).canonicalFilePath();
    if (folder.isEmpty() || file.isEmpty()) return false;
    const QString inside = QDir(folder).relativeFilePath(file);
    if (QDir::isAbsolutePath(inside)) return false;
    // Outside the folder, or hidden in it as ~/.ssh is in a page's folder when the page is in ~.
    for (const QStringView part : QStringView(inside).split(u'/')) {
        if (part.startsWith(u'.')) return false;
    }
    return true;
}

// The engine's own setting for this (LocalContentCanAccessFileUrls) would keep a page from reading
// other files, but in Qt WebEngine 6.4 it also keeps the page from showing its own pictures, style
// sheets and scripts; so the setting stays on and every request of a local file is looked at by
// the preview's interceptor (preview_site.cpp).
void keepLocalFilesPrivate(QWebEngineProfile* profile) {
    profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
}

}  // namespace corvane::qt
