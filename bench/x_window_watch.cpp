#include "x_window_watch.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace corvane::bench {

struct XWindowWatch::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;
    ~Connection() {
        if (xcb != nullptr) xcb_disconnect(xcb);
    }
};

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return value;
}

// A round trip: every event the server sent before it has arrived once it returns.
void roundTrip(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

}  // namespace

std::unique_ptr<XWindowWatch> XWindowWatch::connect() {
    if (std::getenv("DISPLAY") == nullptr) return nullptr;
    auto connection = std::make_unique<Connection>();
    int screenNumber = 0;
    connection->xcb = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection->xcb) != 0) return nullptr;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection->xcb));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
    connection->root = it.data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection->xcb, connection->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection->xcb);
    std::unique_ptr<XWindowWatch> watch(new XWindowWatch);
    watch->c_ = std::move(connection);
    return watch;
}

XWindowWatch::~XWindowWatch() = default;

// One row across the middle of the window: any pixel that is not black means the program drew.
bool XWindowWatch::painted(unsigned window, int width, int height) {
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c_->xcb,
        xcb_get_image(c_->xcb, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, static_cast<std::int16_t>(height / 2),
                      static_cast<std::uint16_t>(width), 1, ~0u),
        nullptr);
    if (image == nullptr) return false;
    const std::uint8_t* data = xcb_get_image_data(image);
    const int length = xcb_get_image_data_length(image);
    bool any = false;
    for (int i = 0; i < length && !any; ++i) any = data[i] != 0;
    std::free(image);
    return any;
}

void XWindowWatch::drain() {
    roundTrip(c_->xcb);
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_->xcb)) std::free(event);
}

std::optional<XWindowWatch::Shown> XWindowWatch::waitForShownWindow(std::chrono::milliseconds timeout) {
    return waitForWindow(Clock::now() + timeout);
}

std::optional<XWindowWatch::Shown> XWindowWatch::waitForAnotherWindow(std::chrono::milliseconds within) {
    return waitForWindow(Clock::now() + within);
}

std::optional<XWindowWatch::Shown> XWindowWatch::waitForWindow(Clock::time_point deadline) {
    Shown shown;
    bool mapped = false;
    pollfd fd{xcb_get_file_descriptor(c_->xcb), POLLIN, 0};
    while (!mapped) {
        if (Clock::now() > deadline) return std::nullopt;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_->xcb)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->override_redirect == 0 && map->event == c_->root && !mapped) {
                    shown.mapped = Clock::now();
                    shown.window = map->window;
                    mapped = true;
                }
            }
            std::free(event);
        }
        if (!mapped) ::poll(&fd, 1, 1);
    }
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c_->xcb, xcb_get_geometry(c_->xcb, shown.window), nullptr);
    if (geometry == nullptr) return std::nullopt;
    const int width = geometry->width;
    const int height = geometry->height;
    std::free(geometry);
    if (std::getenv("CORVANE_BENCH_DEBUG") != nullptr)
        std::fprintf(stderr, "mapped 0x%x %dx%d\n", shown.window, width, height);
    while (!painted(shown.window, width, height)) {
        if (Clock::now() > deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    shown.painted = Clock::now();
    return shown;
}

void XWindowWatch::requestClose(unsigned window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(c_->xcb, "WM_PROTOCOLS");
    message.data.data32[0] = atom(c_->xcb, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c_->xcb, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(c_->xcb);
}

}  // namespace corvane::bench
