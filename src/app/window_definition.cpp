#include "app/window_definition.h"

#include <stdexcept>
#include <string>

namespace corvane::def {

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
