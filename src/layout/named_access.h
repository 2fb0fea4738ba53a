#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane {

// Thrown by an adapter when a control or window lacks the property or method asked for, or refuses
// the request. The layout engine only cares that the access failed, never why.
class LayoutAccessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The names by which the layout engine reaches a control's geometry.
namespace layout_property {
inline constexpr std::string_view kIndex = "Index";
inline constexpr std::string_view kLeft = "Left";
inline constexpr std::string_view kTop = "Top";
inline constexpr std::string_view kWidth = "Width";
inline constexpr std::string_view kHeight = "Height";
inline constexpr std::string_view kX1 = "X1";
inline constexpr std::string_view kY1 = "Y1";
inline constexpr std::string_view kX2 = "X2";
inline constexpr std::string_view kY2 = "Y2";
inline constexpr std::string_view kIntegralHeight = "IntegralHeight";
}  // namespace layout_property

// One member of a window's control collection, reached by property and method name. Every call
// except isLine() may throw (LayoutAccessError or anything else) when the member cannot do it:
// a menu item has no geometry, a box has no end points, a line cannot be moved.
class LayoutControl {
public:
    virtual ~LayoutControl() = default;

    virtual std::string name() = 0;
    // Numeric reads: Index, Left, Top, Width, Height, X1, Y1, X2, Y2.
    virtual double get(std::string_view property) = 0;
    // Integer writes: X1, Y1, X2, Y2.
    virtual void setInt(std::string_view property, std::int32_t value) = 0;
    // Boolean writes: IntegralHeight.
    virtual void setBool(std::string_view property, bool value) = 0;
    // "Move" with two, three or four arguments; height is only given together with width.
    virtual void move(std::int32_t left, std::int32_t top, std::optional<std::int32_t> width,
                      std::optional<std::int32_t> height) = 0;
    // A type test rather than a named access, so it cannot fail: a line is placed by its end
    // points instead of by a box.
    virtual bool isLine() const noexcept = 0;
};

// The window handed to the layout engine: its name, outer geometry, client size, and its control
// collection in order. Every call may throw; a failing member() ends a pass part-way.
class LayoutWindow {
public:
    virtual ~LayoutWindow() = default;

    virtual std::string name() = 0;
    virtual double top() = 0;
    virtual double left() = 0;
    virtual double height() = 0;
    virtual double width() = 0;
    virtual double scaleHeight() = 0;
    virtual double scaleWidth() = 0;

    virtual std::size_t memberCount() = 0;
    virtual LayoutControl& member(std::size_t position) = 0;
};

}  // namespace corvane
