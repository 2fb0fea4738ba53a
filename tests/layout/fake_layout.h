#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "layout/proportional_layout.h"

namespace corvane::testing {

// Logs every access under a key ("name", "get Left", "set X1", "move 4", "scaleWidth", "member 2")
// and fails those listed in `refused`, so a test can break exactly one access.
struct Refusable {
    std::set<std::string> refused;
    std::vector<std::string> log;
    void access(const std::string& key) {
        log.push_back(key);
        if (refused.count(key) != 0) throw LayoutAccessError("refused: " + key);
    }
};

// A control that has only the properties in `props`.
struct FakeControl : LayoutControl, Refusable {
    using Move = std::vector<std::int32_t>;  // the arguments of one Move request
    std::string controlName;
    std::map<std::string, double, std::less<>> props;
    bool line = false;
    bool movable = false;
    std::optional<bool> integralHeight;  // empty: no such property
    std::function<void()> onMove, onIntegralHeight;
    std::vector<Move> moves;

    std::string name() override { return access("name"), controlName; }
    double get(std::string_view p) override { return access("get " + std::string(p)), prop(p); }
    void setInt(std::string_view p, std::int32_t v) override { access("set " + std::string(p)), prop(p) = v; }
    void setBool(std::string_view p, bool v) override {
        access("set " + std::string(p));
        if (!integralHeight) throw LayoutAccessError("no IntegralHeight");
        integralHeight = v;
        if (onIntegralHeight) onIntegralHeight();
    }
    void move(std::int32_t l, std::int32_t t, std::optional<std::int32_t> w,
              std::optional<std::int32_t> h) override {
        Move m{l, t};
        if (w) m.push_back(*w);
        if (h) m.push_back(*h);
        access("move " + std::to_string(m.size()));
        if (!movable) throw LayoutAccessError("no Move");
        if (onMove) onMove();
        moves.push_back(m);
        const char* keys[] = {"Left", "Top", "Width", "Height"};
        for (std::size_t i = 0; i < m.size(); ++i) props[keys[i]] = m[i];
    }
    bool isLine() const noexcept override { return line; }

    double& prop(std::string_view p) {
        auto it = props.find(p);
        if (it == props.end()) throw LayoutAccessError("no " + std::string(p));
        return it->second;
    }
    // {Left, Top, Width, Height} of a box, {X1, Y1, X2, Y2} of a line.
    std::vector<double> geometry() const {
        auto keys = line ? std::vector<std::string>{"X1", "Y1", "X2", "Y2"}
                         : std::vector<std::string>{"Left", "Top", "Width", "Height"};
        std::vector<double> values;
        for (const auto& k : keys) values.push_back(props.at(k));
        return values;
    }
    // The three requests of one pass over a box.
    static std::vector<Move> pass(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) {
        return {{l, t, w, h}, {l, t, w}, {l, t}};
    }
    std::vector<Move> lastPass() const {
        return {moves.end() - std::min<std::size_t>(3, moves.size()), moves.end()};
    }
};

// Window "frmM" with a 9000 × 6000 client area unless changed.
struct FakeWindow : LayoutWindow, Refusable {
    std::string windowName = "frmM";
    double clientWidth = 9000, clientHeight = 6000, outerLeft = 240;
    std::vector<std::unique_ptr<FakeControl>> controls;

    FakeControl& add(std::string name, std::map<std::string, double, std::less<>> props) {
        controls.push_back(std::make_unique<FakeControl>());
        controls.back()->controlName = std::move(name);
        controls.back()->props = std::move(props);
        return *controls.back();
    }
    FakeControl& box(std::string name, double l, double t, double w, double h) {
        FakeControl& c = add(std::move(name), {{"Left", l}, {"Top", t}, {"Width", w}, {"Height", h}});
        c.movable = true;
        return c;
    }
    FakeControl& line(std::string name, double x1, double y1, double x2, double y2) {
        FakeControl& c = add(std::move(name), {{"X1", x1}, {"Y1", y1}, {"X2", x2}, {"Y2", y2}});
        c.line = true;
        return c;
    }
    // A size change followed by the window's resize notification.
    void resizeTo(double width, double height) {
        clientWidth = width;
        clientHeight = height;
        ResizeFormAbsorbingFailures(*this);
    }

    std::string name() override { return access("name"), windowName; }
    double top() override { return access("top"), 120; }
    double left() override { return access("left"), outerLeft; }
    double height() override { return access("height"), 7000; }
    double width() override { return access("width"), 10000; }
    double scaleHeight() override { return access("scaleHeight"), clientHeight; }
    double scaleWidth() override { return access("scaleWidth"), clientWidth; }
    std::size_t memberCount() override { return access("memberCount"), controls.size(); }
    LayoutControl& member(std::size_t i) override {
        return access("member " + std::to_string(i)), *controls.at(i);
    }
};

// Every layout test starts from the tables of a freshly started process.
class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { resetLayoutTables(); }
    void TearDown() override { resetLayoutTables(); }
};

}  // namespace corvane::testing
