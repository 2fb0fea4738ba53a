#pragma once

#include <QUrl>
#include <QWebEngineUrlRequestInfo>

class QWebEngineProfile;

namespace corvane::qt {

// Whether a page shown in the preview may load `target`. A page may show what lies in its own
// folder and the folders below it (pictures, style sheets, scripts, fonts, media, frames), but no
// hidden file or folder, no other local file, and no local file at all by XMLHttpRequest or fetch.
// Any page may be shown in the preview's place, and the web is left to the engine's own rules.
bool previewMayLoad(const QUrl& target, const QUrl& page, QWebEngineUrlRequestInfo::ResourceType kind);

// Whether a request of this kind is one that shows something (a picture, a frame …), as against a
// script's own request.
bool previewShows(QWebEngineUrlRequestInfo::ResourceType kind);

// The engine's settings for local files that previewMayLoad relies on.
void keepLocalFilesPrivate(QWebEngineProfile* profile);

}  // namespace corvane::qt
