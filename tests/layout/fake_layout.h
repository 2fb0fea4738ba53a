#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "layout/named_access.h"
#include "layout/proportional_layout.h"

namespace corvane::testing {

// In-memory control for the layout engine. It has only the properties put into `props`; every
// access is logged under a key ("name", "get Left", "set X1", "set IntegralHeight", "move 4") and
// any single key can be refused, so a test can fail exactly one access.
class FakeControl : public LayoutControl {
public:
    struct Move {
        std::int32_t left;
        std::int32_t top;
        std::optional<std::int32_t> width;
        std::optional<std::int32_t> height;
        bool operator==(const Move&) const = default;
    };

    static std::unique_ptr<FakeControl> box(std::string name, double left, double top, double width,
                                            double height) {
        auto c = std::make_unique<FakeControl>(std::move(name));
        c->props = {{"Left", left}, {"Top", top}, {"Width", width}, {"Height", height}};
        c->movable = true;
        return c;
    }

    static std::unique_ptr<FakeControl> line(std::string name, double x1, double y1, double x2, double y2) {
        auto c = std::make_unique<FakeControl>(std::move(name));
        c->props = {{"X1", x1}, {"Y1", y1}, {"X2", x2}, {"Y2", y2}};
        c->lineControl = true;
        return c;
    }

    // A member without position, size or Move, like a menu item.
    static std::unique_ptr<FakeControl> menu(std::string name) {
        return std::make_unique<FakeControl>(std::move(name));
    }

    explicit FakeControl(std::string name) : controlName(std::move(name)) {}

    std::string name() override {
        access("name");
        return controlName;
    }

    double get(std::string_view property) override {
        access("get " + std::string(property));
        auto it = props.find(std::string(property));
        if (it == props.end()) {
            throw LayoutAccessError("no property " + std::string(property));
        }
        return it->second;
    }

    void setInt(std::string_view property, std::int32_t value) override {
        access("set " + std::string(property));
        auto it = props.find(std::string(property));
        if (it == props.end()) {
            throw LayoutAccessError("no property " + std::string(property));
        }
        it->second = value;
    }

    void setBool(std::string_view property, bool value) override {
        access("set " + std::string(property));
        if (property != layout_property::kIntegralHeight || !integralHeight) {
            throw LayoutAccessError("no property " + std::string(property));
        }
        *integralHeight = value;
        if (onIntegralHeightChanged) {
            onIntegralHeightChanged();
        }
    }

    void move(std::int32_t left, std::int32_t top, std::optional<std::int32_t> width,
              std::optional<std::int32_t> height) override {
        access("move " + std::to_string(2 + (width ? 1 : 0) + (height ? 1 : 0)));
        if (!movable) {
            throw LayoutAccessError("no method Move");
        }
        if (onMove) {
            onMove();
        }
        moves.push_back({left, top, width, height});
        props["Left"] = left;
        props["Top"] = top;
        if (width) {
            props["Width"] = *width;
        }
        if (height) {
            props["Height"] = *height;
        }
    }

    bool isLine() const noexcept override { return lineControl; }

    double operator[](const std::string& property) const { return props.at(property); }

    std::string controlName;
    std::map<std::string, double> props;
    bool lineControl = false;
    bool movable = false;
    std::optional<bool> integralHeight;  // empty: the control has no such property
    std::function<void()> onIntegralHeightChanged;
    std::function<void()> onMove;
    std::set<std::string> refused;
    std::vector<std::string> log;
    std::vector<Move> moves;

private:
    void access(const std::string& key) {
        log.push_back(key);
        if (refused.count(key) != 0) {
            throw LayoutAccessError("refused: " + key);
        }
    }
};

// In-memory window: name, outer geometry, client size and an ordered control collection. Window
// reads are refused by key ("name", "top", "scaleWidth", "memberCount", "member 2", ...).
class FakeWindow : public LayoutWindow {
public:
    FakeWindow(std::string name, double clientWidth, double clientHeight)
        : windowName(std::move(name)), clientWidth(clientWidth), clientHeight(clientHeight) {}

    FakeControl& add(std::unique_ptr<FakeControl> control) {
        controls.push_back(std::move(control));
        return *controls.back();
    }

    // A size change followed by the window's resize notification.
    void resizeTo(double width, double height) {
        clientWidth = width;
        clientHeight = height;
        ResizeFormAbsorbingFailures(*this);
    }

    std::string name() override { return read("name", windowName); }
    double top() override { return read("top", outerTop); }
    double left() override { return read("left", outerLeft); }
    double height() override { return read("height", outerHeight); }
    double width() override { return read("width", outerWidth); }
    double scaleHeight() override { return read("scaleHeight", clientHeight); }
    double scaleWidth() override { return read("scaleWidth", clientWidth); }

    std::size_t memberCount() override { return read("memberCount", controls.size()); }
    LayoutControl& member(std::size_t position) override {
        access("member " + std::to_string(position));
        return *controls.at(position);
    }

    std::string windowName;
    double clientWidth;
    double clientHeight;
    double outerTop = 120;
    double outerLeft = 240;
    double outerHeight = 7000;
    double outerWidth = 10000;
    std::vector<std::unique_ptr<FakeControl>> controls;
    std::set<std::string> refused;
    std::vector<std::string> log;

private:
    void access(const std::string& key) {
        log.push_back(key);
        if (refused.count(key) != 0) {
            throw LayoutAccessError("refused: " + key);
        }
    }

    template <typename T>
    T read(const std::string& key, T value) {
        access(key);
        return value;
    }
};

// Every layout test starts from the state of a freshly started process.
class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { resetLayoutTables(); }
    void TearDown() override { resetLayoutTables(); }
};

}  // namespace corvane::testing
