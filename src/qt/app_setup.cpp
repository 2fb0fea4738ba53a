#include "qt/app_setup.h"

#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <QLibraryInfo>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QTranslator>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "qt/preview_site.h"

namespace corvane::qt {

namespace {

void addChromiumFlags(std::initializer_list<const char*> wanted) {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const char* flag : wanted) {
        if (!flags.contains(flag)) flags += QByteArray(" ") + flag;
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

// The renderer of an OpenGL context made on this display, or nothing when none can be made. Only
// the X11 and Wayland platforms are asked: elsewhere (offscreen, for one) a context either
// cannot be made or is not what shows the window.
std::optional<QByteArray> openGlRenderer() {
    const QString platform = QGuiApplication::platformName();
    if (!platform.startsWith(QLatin1String("xcb")) && !platform.startsWith(QLatin1String("wayland")))
        return std::nullopt;
    QOpenGLContext context;
    if (!context.create()) return std::nullopt;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface)) return std::nullopt;
    const auto* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    QByteArray name(renderer != nullptr ? renderer : "");
    context.doneCurrent();
    return name;
}

// Qt WebEngine 6.4 on Linux gives a screen reader nothing of the page unless this is set
// (QTBUG-59922); with it set, the engine builds the page's tree only while an assistive technology
// has switched Qt's accessibility on, so nobody else pays for it.
void letScreenReadersReadThePreview() {
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
}

}  // namespace

void prepareEnvironment() {
    letScreenReadersReadThePreview();
    registerPreviewScheme();
    // The browser engine refuses its sandbox as root; only then is it turned off.
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine makes no requests of its own: only the pages the user previews load anything.
    addChromiumFlags({"--disable-background-networking", "--disable-component-update",
                      "--disable-domain-reliability", "--no-pings"});
}

Composition setUpComposition() {
    const char* forced = std::getenv("CORVANE_OPENGL");
    // Asked for software, the program never loads an OpenGL driver at all.
    const std::optional<QByteArray> renderer =
        forced != nullptr && std::string_view(forced) == "0" ? std::nullopt : openGlRenderer();
    const Composition choice =
        chooseComposition(forced, renderer.has_value(), renderer ? renderer->toStdString() : std::string());
    if (choice == Composition::Software) {
        // Qt Quick, which the browser view draws through, paints on the CPU; the window stays a
        // plain raster window, and Chromium composes its frames in software.
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        addChromiumFlags({"--disable-gpu", "--disable-gpu-compositing"});
    }
    return choice;
}

void describeApplication() {
    QApplication::setApplicationName(QStringLiteral("corvane"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral("2.5"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.corvane.Corvane"));
}

int loadChineseTranslations(const QString& folder) {
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    int loaded = 0;
    for (const char* catalogue : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QLatin1String(catalogue), where) &&
            QCoreApplication::installTranslator(translator)) {
            ++loaded;
        } else {
            delete translator;
        }
    }
    return loaded;
}

}  // namespace corvane::qt
