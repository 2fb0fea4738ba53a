#include "qt/layout_adapter.h"

#include "qt/twips.h"

namespace corvane::qt {

namespace {
[[noreturn]] void missing(const std::string& member, std::string_view what) {
    throw LayoutAccessError(member + " has no " + std::string(what));
}
}  // namespace

QWidget* WidgetMember::checked() const {
    if (widget_.isNull()) throw LayoutAccessError(name_ + " no longer exists");
    return widget_.data();
}

double WidgetMember::get(std::string_view property) {
    QWidget* widget = checked();
    const QRect geometry = widget->geometry();
    const double perPixel = twipsPerPixel(widget);
    if (property == layout_property::kLeft) return geometry.x() * perPixel;
    if (property == layout_property::kTop) return geometry.y() * perPixel;
    if (property == layout_property::kWidth) return geometry.width() * perPixel;
    if (property == layout_property::kHeight) return geometry.height() * perPixel;
    missing(name_, property);
}

void WidgetMember::setInt(std::string_view property, std::int32_t) { missing(name_, property); }
void WidgetMember::setBool(std::string_view property, bool) { missing(name_, property); }

void WidgetMember::move(std::int32_t left, std::int32_t top, std::optional<std::int32_t> width,
                        std::optional<std::int32_t> height) {
    QWidget* widget = checked();
    QRect geometry = widget->geometry();
    geometry.moveTo(toPixels(left, widget), toPixels(top, widget));
    if (width) geometry.setWidth(std::max(0, toPixels(*width, widget)));
    if (height) geometry.setHeight(std::max(0, toPixels(*height, widget)));
    widget->setGeometry(geometry);
}

double PlaceLessMember::get(std::string_view property) { missing(name_, property); }
void PlaceLessMember::setInt(std::string_view property, std::int32_t) { missing(name_, property); }
void PlaceLessMember::setBool(std::string_view property, bool) { missing(name_, property); }
void PlaceLessMember::move(std::int32_t, std::int32_t, std::optional<std::int32_t>,
                           std::optional<std::int32_t>) {
    missing(name_, "Move");
}

std::string FormLayoutWindow::name() { return window_->objectName().toStdString(); }
double FormLayoutWindow::top() { return window_->geometry().y() * twipsPerPixel(window_); }
double FormLayoutWindow::left() { return window_->geometry().x() * twipsPerPixel(window_); }
double FormLayoutWindow::height() { return window_->frameGeometry().height() * twipsPerPixel(window_); }
double FormLayoutWindow::width() { return window_->frameGeometry().width() * twipsPerPixel(window_); }

double FormLayoutWindow::scaleHeight() {
    return window_->isMinimized() ? 0.0 : client_->height() * twipsPerPixel(client_);
}

double FormLayoutWindow::scaleWidth() {
    return window_->isMinimized() ? 0.0 : client_->width() * twipsPerPixel(client_);
}

}  // namespace corvane::qt
