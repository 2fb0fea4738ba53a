#pragma once

namespace corvane::qt {

// Before the application object exists: settings the browser engine reads at start-up.
void prepareEnvironment();

// Names the program so the desktop links its window to its launcher entry and icon.
void describeApplication();

}  // namespace corvane::qt
