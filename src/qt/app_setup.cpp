#include "qt/app_setup.h"

#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QIcon>

namespace corvane::qt {

void prepareEnvironment() {
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

}  // namespace corvane::qt
