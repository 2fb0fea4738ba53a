#include "x_window_watch.h"

namespace corvane::bench {

// Built without libxcb: there is never a display to watch.
struct XWindowWatch::Connection {};
std::unique_ptr<XWindowWatch> XWindowWatch::connect() { return nullptr; }
XWindowWatch::~XWindowWatch() = default;
void XWindowWatch::drain() {}
std::optional<XWindowWatch::Shown> XWindowWatch::waitForShownWindow(std::chrono::milliseconds) {
    return std::nullopt;
}
std::optional<XWindowWatch::Shown> XWindowWatch::waitForAnotherWindow(std::chrono::milliseconds) {
    return std::nullopt;
}
std::optional<XWindowWatch::Shown> XWindowWatch::waitForWindow(Clock::time_point) { return std::nullopt; }
void XWindowWatch::requestClose(unsigned) {}
bool XWindowWatch::painted(unsigned, int, int) { return false; }

}  // namespace corvane::bench
