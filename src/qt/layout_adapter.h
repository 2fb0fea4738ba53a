#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "layout/named_access.h"

namespace corvane::qt {

// A control with a place on the screen, reached by name in twips of its container.
class WidgetMember : public LayoutControl {
public:
    WidgetMember(std::string name, QWidget* widget) : name_(std::move(name)), widget_(widget) {}
    std::string name() override { return name_; }
    double get(std::string_view property) override;
    void setInt(std::string_view property, std::int32_t value) override;
    void setBool(std::string_view property, bool value) override;
    void move(std::int32_t left, std::int32_t top, std::optional<std::int32_t> width,
              std::optional<std::int32_t> height) override;
    bool isLine() const noexcept override { return false; }

private:
    QWidget* checked() const;
    std::string name_;
    QPointer<QWidget> widget_;
};

// A member without a place: a menu item, the timer, a dialog or the image list. Only its name can
// be read; every other access fails, as on a form.
class PlaceLessMember : public LayoutControl {
public:
    explicit PlaceLessMember(std::string name) : name_(std::move(name)) {}
    std::string name() override { return name_; }
    double get(std::string_view property) override;
    void setInt(std::string_view property, std::int32_t value) override;
    void setBool(std::string_view property, bool value) override;
    void move(std::int32_t, std::int32_t, std::optional<std::int32_t>, std::optional<std::int32_t>) override;
    bool isLine() const noexcept override { return false; }

private:
    std::string name_;
};

// The main window as the layout engine sees it: its frame, its client size (0 × 0 while
// minimised) and its control collection, in twips.
class FormLayoutWindow : public LayoutWindow {
public:
    FormLayoutWindow(QWidget* window, QWidget* client) : window_(window), client_(client) {}
    void addMember(std::unique_ptr<LayoutControl> member) { members_.push_back(std::move(member)); }

    std::string name() override;
    double top() override;
    double left() override;
    double height() override;
    double width() override;
    double scaleHeight() override;
    double scaleWidth() override;
    std::size_t memberCount() override { return members_.size(); }
    LayoutControl& member(std::size_t position) override { return *members_.at(position); }

private:
    QWidget* window_;
    QWidget* client_;
    std::vector<std::unique_ptr<LayoutControl>> members_;
};

}  // namespace corvane::qt
