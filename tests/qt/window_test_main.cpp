#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "qt/app_setup.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    corvane::qt::prepareEnvironment();
    QApplication app(argc, argv);
    corvane::qt::describeApplication();
    corvane::qt::setUpComposition();
    corvane::qt::loadChineseTranslations();
    QStandardPaths::setTestModeEnabled(true);
    return RUN_ALL_TESTS();
}
