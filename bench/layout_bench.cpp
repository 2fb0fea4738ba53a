// Cost of one resize pass of the layout engine alone, against in-memory controls that cost next
// to nothing. Every control's record is found by a linear scan of the control table, so a pass
// is expected to grow roughly with the square of the number of controls. Two kinds of control:
// plain ones, whose missing "Index" is a thrown and absorbed failure on every lookup, and control
// array elements, whose "Index" reads fine, which leaves the scan itself to be measured.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "layout/named_access.h"
#include "layout/proportional_layout.h"

namespace {

using namespace corvane;

class BenchControl : public LayoutControl {
public:
    BenchControl(int n, bool arrayElement)
        : name_("Text" + std::to_string(n)),
          arrayElement_(arrayElement),
          left_(n * 10.0),
          top_(n * 5.0),
          width_(900),
          height_(300) {}

    std::string name() override { return name_; }
    double get(std::string_view property) override {
        if (property == layout_property::kLeft) return left_;
        if (property == layout_property::kTop) return top_;
        if (property == layout_property::kWidth) return width_;
        if (property == layout_property::kHeight) return height_;
        if (property == layout_property::kIndex && arrayElement_) return 0;
        throw LayoutAccessError("no such property");
    }
    void setInt(std::string_view, std::int32_t) override { throw LayoutAccessError("no end points"); }
    void setBool(std::string_view, bool) override { throw LayoutAccessError("no such property"); }
    void move(std::int32_t left, std::int32_t top, std::optional<std::int32_t> width,
              std::optional<std::int32_t> height) override {
        left_ = left;
        top_ = top;
        if (width) width_ = *width;
        if (height) height_ = *height;
    }
    bool isLine() const noexcept override { return false; }

private:
    std::string name_;
    bool arrayElement_;
    double left_, top_, width_, height_;
};

class BenchWindow : public LayoutWindow {
public:
    BenchWindow(int controls, bool arrayElements) {
        for (int i = 0; i < controls; ++i) {
            controls_.push_back(std::make_unique<BenchControl>(i, arrayElements));
        }
    }
    std::string name() override { return "frmM"; }
    double top() override { return 0; }
    double left() override { return 0; }
    double height() override { return clientHeight + 600; }
    double width() override { return clientWidth + 240; }
    double scaleHeight() override { return clientHeight; }
    double scaleWidth() override { return clientWidth; }
    std::size_t memberCount() override { return controls_.size(); }
    LayoutControl& member(std::size_t position) override { return *controls_[position]; }

    double clientWidth = 9000;
    double clientHeight = 6000;

private:
    std::vector<std::unique_ptr<BenchControl>> controls_;
};

void resizePass(benchmark::State& state, bool arrayElements) {
    const auto controls = static_cast<int>(state.range(0));
    resetLayoutTables();
    BenchWindow window(controls, arrayElements);
    ResizeForm(window);  // registration happens here, outside the timed passes

    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        window.clientWidth = wide ? 13500 : 9000;
        ResizeForm(window);
    }
    state.SetComplexityN(controls);
    state.counters["per_control"] =
        benchmark::Counter(static_cast<double>(controls),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    resetLayoutTables();
}

void BM_ResizeFormPass(benchmark::State& state) { resizePass(state, false); }
void BM_ResizeFormPassArrayElements(benchmark::State& state) { resizePass(state, true); }

BENCHMARK(BM_ResizeFormPass)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(BM_ResizeFormPassArrayElements)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
