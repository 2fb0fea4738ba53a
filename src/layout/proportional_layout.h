#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout/named_access.h"

namespace corvane {

// One snapshot: a window's client size, or a control's design geometry (for a line control its
// end points, X1/Y1 in left/top and X2/Y2 in width/height). Horizontal positions of controls are
// kept through OffsetNegativeX.
struct LayoutRecord {
    std::string name;
    std::int32_t index = 0;
    std::string formName;
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t scaleHeight = 0;
    std::int32_t scaleWidth = 0;

    bool operator==(const LayoutRecord&) const = default;
};

// Process-wide snapshots, filled on a window's first resize and never changed afterwards.
// Positions 0..count-1 are valid; a position is a record's handle.
extern std::vector<LayoutRecord> formTable;
extern std::int32_t formCount;
extern std::vector<LayoutRecord> controlTable;
extern std::int32_t controlCount;

// Controls parked left of zero (hidden off-window) are stored shifted by this much, so that
// scaling keeps them hidden at every size.
inline constexpr std::int32_t NegativeXOffset = 75000;
inline constexpr std::int32_t kNoRecord = -1;

std::int32_t OffsetNegativeX(std::int32_t v);

std::int32_t FindFormRecord(LayoutWindow& window);
std::int32_t RegisterForm(LayoutWindow& window);
std::int32_t FindControlRecord(LayoutControl& control, const std::string& windowName);
std::int32_t RegisterControl(LayoutControl& control, const std::string& windowName);
std::int32_t WidthPercent(LayoutWindow& window);
std::int32_t HeightPercent(LayoutWindow& window);

// Never throws: every failing step is skipped and the remaining steps still run.
void ResizeControl(LayoutControl& control, LayoutWindow& window) noexcept;
// Places every member from its snapshot, registering the window first if needed. Throws only
// what the window's collection throws.
void ResizeForm(LayoutWindow& window);
// What the window's Form_Resize runs: a pass that ends early ends silently.
void ResizeFormAbsorbingFailures(LayoutWindow& window) noexcept;

// FOR TESTS ONLY: empties both tables so each test starts from a fresh process state. The
// program itself never forgets a snapshot.
void resetLayoutTables();

}  // namespace corvane
