// One resize pass of the real window: the layout engine reaching real widgets through the Qt
// adapter, offscreen. First the main window as it is, then a window of 10, 100 and 1,000 labels,
// so the growth can be set beside the engine's own (layout_bench).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <memory>

#include "layout/proportional_layout.h"
#include "qt/app_setup.h"
#include "qt/layout_adapter.h"
#include "qt/main_window.h"

namespace {

using namespace corvane;

// The application the windows need, made once by the first benchmark that runs.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "window_resize_bench";
    static char* argv[] = {name, nullptr};
    static const auto* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qt::prepareEnvironment();
        return new QApplication(argc, argv);
    }();
    (void)app;
}

void MainWindowPass(benchmark::State& state) {
    ensureApplication();
    qt::MainWindow window;
    window.show();
    QApplication::processEvents();
    for (auto _ : state) window.formResize();
    window.form().htmlDirty = 0;
}
BENCHMARK(MainWindowPass)->Unit(benchmark::kMicrosecond);

void LabelsWindowPass(benchmark::State& state) {
    ensureApplication();
    const int count = static_cast<int>(state.range(0));
    QWidget window;
    window.setObjectName(QStringLiteral("bench%1").arg(count));
    window.resize(1000, 700);
    qt::FormLayoutWindow layout(&window, &window);
    for (int i = 0; i < count; ++i) {
        auto* label = new QLabel(QStringLiteral("label"), &window);
        label->setGeometry(i % 50 * 20, i / 50 * 20, 18, 18);
        layout.addMember(std::make_unique<qt::WidgetMember>("Label" + std::to_string(i), label));
    }
    window.show();
    QApplication::processEvents();
    ResizeFormAbsorbingFailures(layout);  // the first pass records the design
    for (auto _ : state) ResizeFormAbsorbingFailures(layout);
    state.counters["per_control_us"] =
        benchmark::Counter(static_cast<double>(count),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(LabelsWindowPass)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
