#include "qt/app_setup.h"

#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace corvane::qt {

namespace {

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
    // The browser engine refuses its sandbox as root; only then is it turned off.
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine makes no requests of its own: only the pages the user previews load anything.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const char* flag : {"--disable-background-networking", "--disable-component-update",
                             "--disable-domain-reliability", "--no-pings"}) {
        if (!flags.contains(flag)) flags += QByteArray(" ") + flag;
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
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
