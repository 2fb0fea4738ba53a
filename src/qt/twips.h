#pragma once

#include <QWidget>
#include <cmath>

namespace corvane::qt {

// Twips are 1/1440 inch: 15 to a pixel at 96 dots per inch, and they follow the screen's real DPI.
inline double twipsPerPixel(const QWidget* widget) {
    const int dpi = widget != nullptr ? widget->logicalDpiX() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

inline int toPixels(double twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips / twipsPerPixel(widget)));
}

inline int toTwips(int pixels, const QWidget* widget) {
    return static_cast<int>(std::lround(pixels * twipsPerPixel(widget)));
}

}  // namespace corvane::qt
