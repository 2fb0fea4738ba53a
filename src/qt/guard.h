#pragma once

#include <QString>
#include <functional>

namespace corvane::qt {

// Tells the user that an operation failed and why. The window shows a message box; tests record it.
using FailureReporter = std::function<void(const QString& operation, const QString& reason)>;

// Runs one event handler. A failure ends the handler at its failing step and is reported; it
// never ends the program.
void runGuarded(const FailureReporter& report, const std::function<void()>& handler);

}  // namespace corvane::qt
