#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"

namespace corvane {

// The HTML pane's page with the CSS and JS panes joined in, as a three-pane playground shows it: a
// CSS text goes in as a <style> element at the end of <head> (just inside the body where the page
// has no head), a JS text as a <script> element at the end of <body> (at the end of the page where
// it has none). Each starts on a line of its own, so an error's line can be told in its pane, and
// nothing in a pane's text can end its element early. An empty (or blank) text adds nothing.
struct JoinedPage {
    std::string text;
    std::vector<LineRun> lines;
};
JoinedPage joinPanes(std::string_view html, std::string_view css, std::string_view js);

struct PaneLine {
    PaneId pane;
    int line;
};
// The pane and line that a line of the joined page came from.
std::optional<PaneLine> paneLineOf(const std::vector<LineRun>& lines, int pageLine);

// A message of the page as the preview's message strip shows it: "JS 第 3 行：…".
std::string paneMessage(PaneId pane, int line, std::string_view message);
std::string_view paneName(PaneId pane);

}  // namespace corvane
