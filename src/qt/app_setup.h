#pragma once

#include <QString>
#include "app/composition.h"

namespace corvane::qt {

// Before the application object exists: settings the browser engine reads at start-up, and the
// preview's own URL scheme (qt/preview_site.h), which the engine must know before it starts.
void prepareEnvironment();

// Once the application object exists and before the window is made: chooses how the window is
// composed (app/composition.h), from the OpenGL renderer the machine offers, and sets Qt Quick
// and the browser engine up for it.
Composition setUpComposition();

// Names the program so the desktop links its window to its launcher entry and icon.
void describeApplication();

// Qt's own dialogs, buttons and menus in Simplified Chinese, as the rest of the window, whatever the
// system's language. Returns how many of Qt's catalogues were found; without one its texts stay
// English, which is no failure.
int loadChineseTranslations(const QString& folder = QString());

}  // namespace corvane::qt
