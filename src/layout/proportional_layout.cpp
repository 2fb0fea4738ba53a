#include "layout/proportional_layout.h"

#include <optional>
#include <stdexcept>

#include "layout/layout_arithmetic.h"

namespace corvane {

std::vector<LayoutRecord> formTable;
std::int32_t formCount = 0;
std::vector<LayoutRecord> controlTable;
std::int32_t controlCount = 0;

namespace {

namespace prop = layout_property;

// Runs one step of a resize; whatever it throws only skips that step, by design: a window full
// of odd members (menus, lines, list boxes) must still get the rest of its layout.
template <typename Step>
void attempt(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// Starts a fresh record at position count, dropping one left behind by a registration that
// failed before it was counted.
LayoutRecord& growTable(std::vector<LayoutRecord>& table, std::int32_t count) {
    table.resize(static_cast<std::size_t>(count));
    return table.emplace_back();
}

const LayoutRecord& controlRecord(std::int32_t r) {
    if (r < 0 || r >= controlCount) {
        throw std::out_of_range("control has no layout record");
    }
    return controlTable[static_cast<std::size_t>(r)];
}

// Compares the value as read; an unreadable value counts as negative, so a control whose
// position cannot be seen is kept on the hidden side.
bool readsBelowZero(LayoutControl& control, std::string_view property) {
    try {
        return control.get(property) < 0;
    } catch (...) {
        return true;
    }
}

std::int32_t scaledField(std::int32_t r, std::int32_t LayoutRecord::*field, std::int32_t percent) {
    return scaled(controlRecord(r).*field, percent);
}

// A horizontal position: scaled from the record, and shifted back left of zero when the control
// currently sits there.
std::int32_t placedX(LayoutControl& control, std::string_view property, std::int32_t r,
                     std::int32_t LayoutRecord::*field, std::int32_t percent) {
    const bool hidden = readsBelowZero(control, property);
    const std::int32_t x = scaledField(r, field, percent);
    return hidden ? checkedInt32(std::int64_t{x} - NegativeXOffset) : x;
}

std::int32_t registeredForm(LayoutWindow& window) {
    const std::int32_t i = FindFormRecord(window);
    return i == kNoRecord ? RegisterForm(window) : i;
}

}  // namespace

std::int32_t OffsetNegativeX(std::int32_t v) { return v < 0 ? v + NegativeXOffset : v; }

std::int32_t FindFormRecord(LayoutWindow& window) {
    if (formCount == 0) {
        return kNoRecord;
    }
    const std::string name = window.name();
    for (std::int32_t p = 0; p < formCount; ++p) {
        if (formTable[static_cast<std::size_t>(p)].name == name) {
            return p;
        }
    }
    return kNoRecord;
}

std::int32_t RegisterForm(LayoutWindow& window) {
    LayoutRecord& record = growTable(formTable, formCount);
    record.name = window.name();
    record.top = storedValue(window.top());
    record.left = storedValue(window.left());
    record.height = storedValue(window.height());
    record.width = storedValue(window.width());
    record.scaleHeight = storedValue(window.scaleHeight());
    record.scaleWidth = storedValue(window.scaleWidth());
    const std::string windowName = record.name;

    const std::int32_t result = formCount;
    formCount = nextCount(formCount);

    const std::size_t members = window.memberCount();
    for (std::size_t i = 0; i < members; ++i) {
        LayoutControl& member = window.member(i);
        if (FindControlRecord(member, windowName) == kNoRecord) {
            RegisterControl(member, windowName);
        }
    }
    return result;
}

std::int32_t FindControlRecord(LayoutControl& control, const std::string& windowName) {
    // The control's own name and index are read once, and only when some record needs them.
    std::optional<std::string> name;
    std::optional<double> index;
    for (std::int32_t p = 0; p < controlCount; ++p) {
        const LayoutRecord& record = controlTable[static_cast<std::size_t>(p)];
        if (record.formName != windowName) {
            continue;
        }
        if (!name) {
            name = control.name();
        }
        if (record.name != *name) {
            continue;
        }
        if (!index) {
            try {
                index = control.get(prop::kIndex);
            } catch (...) {
                // Not an element of a control array: the names alone identify it.
                return p;
            }
        }
        if (*index == record.index) {
            return p;
        }
    }
    return kNoRecord;
}

std::int32_t RegisterControl(LayoutControl& control, const std::string& windowName) {
    LayoutRecord& record = growTable(controlTable, controlCount);
    attempt([&] { record.name = control.name(); });
    attempt([&] { record.index = storedValue(control.get(prop::kIndex)); });
    record.formName = windowName;
    if (control.isLine()) {
        attempt([&] { record.top = storedValue(control.get(prop::kY1)); });
        attempt([&] { record.left = OffsetNegativeX(storedValue(control.get(prop::kX1))); });
        attempt([&] { record.height = storedValue(control.get(prop::kY2)); });
        attempt([&] { record.width = OffsetNegativeX(storedValue(control.get(prop::kX2))); });
    } else {
        attempt([&] { record.top = storedValue(control.get(prop::kTop)); });
        attempt([&] { record.left = OffsetNegativeX(storedValue(control.get(prop::kLeft))); });
        attempt([&] { record.height = storedValue(control.get(prop::kHeight)); });
        attempt([&] { record.width = storedValue(control.get(prop::kWidth)); });
    }
    // A list box snaps its height to whole rows; it must take the scaled height exactly. Done
    // after the snapshot so the design height is the one recorded.
    attempt([&] { control.setBool(prop::kIntegralHeight, false); });

    const std::int32_t result = controlCount;
    controlCount = nextCount(controlCount);
    return result;
}

std::int32_t WidthPercent(LayoutWindow& window) {
    const std::int32_t i = registeredForm(window);
    return percentOf(window.scaleWidth(), formTable[static_cast<std::size_t>(i)].scaleWidth);
}

std::int32_t HeightPercent(LayoutWindow& window) {
    const std::int32_t i = registeredForm(window);
    return percentOf(window.scaleHeight(), formTable[static_cast<std::size_t>(i)].scaleHeight);
}

void ResizeControl(LayoutControl& control, LayoutWindow& window) noexcept {
    // Defaults stand in for failed steps: a lost percentage scales to 0, a lost record makes
    // every read of it fail, a lost coordinate is moved to as 0.
    std::int32_t pY = 0;
    std::int32_t pX = 0;
    std::int32_t r = kNoRecord;
    attempt([&] { pY = HeightPercent(window); });
    attempt([&] { pX = WidthPercent(window); });
    attempt([&] { r = FindControlRecord(control, window.name()); });

    std::int32_t newLeft = 0;
    std::int32_t newTop = 0;
    std::int32_t newWidth = 0;
    std::int32_t newHeight = 0;
    attempt([&] { newLeft = placedX(control, prop::kLeft, r, &LayoutRecord::left, pX); });
    attempt([&] { newTop = scaledField(r, &LayoutRecord::top, pY); });
    attempt([&] { newWidth = scaledField(r, &LayoutRecord::width, pX); });
    attempt([&] { newHeight = scaledField(r, &LayoutRecord::height, pY); });

    if (control.isLine()) {
        // Each end point is written only when its value could be worked out.
        attempt([&] { control.setInt(prop::kX1, placedX(control, prop::kX1, r, &LayoutRecord::left, pX)); });
        attempt([&] { control.setInt(prop::kY1, scaledField(r, &LayoutRecord::top, pY)); });
        attempt([&] { control.setInt(prop::kX2, placedX(control, prop::kX2, r, &LayoutRecord::width, pX)); });
        attempt([&] { control.setInt(prop::kY2, scaledField(r, &LayoutRecord::height, pY)); });
        return;
    }
    // Controls that accept only part of a full move still get what they accept.
    attempt([&] { control.move(newLeft, newTop, newWidth, newHeight); });
    attempt([&] { control.move(newLeft, newTop, newWidth, std::nullopt); });
    attempt([&] { control.move(newLeft, newTop, std::nullopt, std::nullopt); });
}

void ResizeForm(LayoutWindow& window) {
    const std::size_t members = window.memberCount();
    for (std::size_t i = 0; i < members; ++i) {
        ResizeControl(window.member(i), window);
    }
}

void ResizeFormAbsorbingFailures(LayoutWindow& window) noexcept {
    attempt([&] { ResizeForm(window); });
}

void resetLayoutTables() {
    formTable.clear();
    formCount = 0;
    controlTable.clear();
    controlCount = 0;
}

}  // namespace corvane
