#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

namespace corvane::qt {

// Colour values are 0x00BBGGRR; 0x80000000 plus an index names a system colour.
inline QColor fromColorValue(std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    return QColor(static_cast<int>(v & 0xff), static_cast<int>((v >> 8) & 0xff),
                  static_cast<int>((v >> 16) & 0xff));
}

inline std::int32_t toColorValue(const QColor& color) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(color.red()) |
                                     (static_cast<std::uint32_t>(color.green()) << 8) |
                                     (static_cast<std::uint32_t>(color.blue()) << 16));
}

// The system colours the window uses, taken from the platform's palette: 3 the inactive title
// bar (a quiet tint of the selection colour), 5 window backgrounds, 15 button faces.
QColor systemColor(std::uint32_t value, const QPalette& palette);

}  // namespace corvane::qt
