#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "qt/main_window.h"

// QTest's waiting checks report their failure to a QTest run, which these tests are not: a failed
// one would only return from the test, and the test would pass. Here they fail it.
#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY
#undef QTRY_COMPARE_WITH_TIMEOUT
#undef QTRY_COMPARE
#define QTRY_VERIFY_WITH_TIMEOUT(expr, timeout) \
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(expr); }, timeout)) << "waited for " #expr
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 5000)
#define QTRY_COMPARE_WITH_TIMEOUT(actual, expected, timeout) \
    ASSERT_TRUE(QTest::qWaitFor([&] { return (actual) == (expected); }, timeout)) \
        << "waited for " #actual " == " #expected
#define QTRY_COMPARE(actual, expected) QTRY_COMPARE_WITH_TIMEOUT(actual, expected, 5000)

namespace corvane::qt::testing {

// Runs `answer` on the next modal widget that opens, from inside its own event loop, so a test
// can trigger a command that shows a dialog and answer that dialog.
inline void whenModalOpens(std::function<void(QWidget*)> answer, int timeoutMs = 10000) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, started, timeoutMs] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (started->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Types a path into an open file dialog and accepts it, as a person does.
inline void acceptFileDialog(QWidget* modal, const QString& path) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
        // Another dialog came first: the test fails here rather than wait on it for ever.
        ADD_FAILURE() << "a file dialog was expected, " << modal->metaObject()->className() << " \""
                      << modal->windowTitle().toStdString() << "\" opened";
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        return;
    }
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name != nullptr) name->setText(path);
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
}

// A shown main window whose failure reports are recorded instead of shown.
struct ShownWindow {
    MainWindow window;
    QStringList failures;

    ShownWindow() {
        window.setFailureReporter([this](const QString& operation, const QString& reason) {
            failures << operation + " | " + reason;
        });
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    ~ShownWindow() {
        // Leave without the quit question.
        window.form().htmlDirty = 0;
        window.form().cssDirty = 0;
        window.form().jsDirty = 0;
    }
};

}  // namespace corvane::qt::testing
