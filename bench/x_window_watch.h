#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace corvane::bench {

using Clock = std::chrono::steady_clock;

// Watches an X display from outside a program: when its top-level window is mapped, and when
// that window first shows painted pixels. Needs a display without a window manager whose root
// is black (Xvfb -br), so an unpainted window reads as black.
class XWindowWatch {
public:
    // Connects to $DISPLAY; nullptr when there is no display to watch.
    static std::unique_ptr<XWindowWatch> connect();
    ~XWindowWatch();

    struct Shown {
        Clock::time_point mapped;
        Clock::time_point painted;
        unsigned window = 0;
    };
    // Forgets every event so far, so that the next wait sees only windows mapped after it.
    void drain();
    // Waits for the next top-level window to be mapped and painted.
    std::optional<Shown> waitForShownWindow(std::chrono::milliseconds timeout);
    // Waits up to `within` for another top-level window to be mapped and painted: a program
    // whose window is destroyed and made again shows it a second time.
    std::optional<Shown> waitForAnotherWindow(std::chrono::milliseconds within);
    // Asks the window to close, as a window manager's close button does.
    void requestClose(unsigned window);

private:
    XWindowWatch() = default;
    bool painted(unsigned window, int width, int height);
    std::optional<Shown> waitForWindow(Clock::time_point deadline);

    struct Connection;
    std::unique_ptr<Connection> c_;
};

}  // namespace corvane::bench
