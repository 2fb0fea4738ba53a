#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <cstdlib>
#include <string_view>

#include "journal/journal_folder.h"
#include "qt/app_setup.h"
#include "qt/main_window.h"

int main(int argc, char* argv[]) {
    corvane::qt::prepareEnvironment();
    QApplication app(argc, argv);
    corvane::qt::describeApplication();
    corvane::qt::setUpComposition();
    corvane::qt::loadChineseTranslations();

    corvane::qt::MainWindow window;
    // Centred on the screen at the design client size.
    if (const QScreen* screen = window.screen()) {
        window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                               screen->availableGeometry()));
    }
    window.show();
    // CORVANE_JOURNAL=0 runs without the recovery journal (to measure what it costs).
    const char* journal = std::getenv("CORVANE_JOURNAL");
    if (journal == nullptr || std::string_view(journal) != "0") {
        window.enableRecoveryJournal(corvane::journal::defaultFolder());
    }
    // A file named on the command line ("Open with" on the desktop) is shown once the window is up.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        QTimer::singleShot(0, &window, [&window, path = arguments.at(1)] { window.openFile(path); });
    }
    return QApplication::exec();
}
