#pragma once

#include "app/composition.h"

namespace corvane::qt {

// Before the application object exists: settings the browser engine reads at start-up.
void prepareEnvironment();

// Once the application object exists and before the window is made: chooses how the window is
// composed (app/composition.h), from the OpenGL renderer the machine offers, and sets Qt Quick
// and the browser engine up for it.
Composition setUpComposition();

// Names the program so the desktop links its window to its launcher entry and icon.
void describeApplication();

}  // namespace corvane::qt
