#include "app/window_definition.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace corvane::def {

// Every item runs a handler and no separator does: an entry cannot be left silently dead.
static_assert(std::ranges::all_of(kMenus, [](const Menu& m) {
    return m.level == MenuLevel::Item ? m.handler != nullptr
                                      : m.level == MenuLevel::Bar || m.handler == nullptr;
}));

const Control& control(std::string_view name) {
    for (const Control& c : kControls) {
        if (c.name == name) return c;
    }
    throw std::out_of_range("no control named " + std::string(name));
}

std::string_view sampleText() {
    static const std::string text = std::string("<script type=\"text/javascript\">\n") +
                                    "window.onload=function(){\n" + " setInterval(function(){\n" +
                                    "   window.location.replace(\"" + std::string(kHomePageAddress) +
                                    "\");\n" + " },500);\n" + "}\n" + "</script>\n";
    return text;
}

}  // namespace corvane::def
