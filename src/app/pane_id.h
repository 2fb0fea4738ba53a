#pragma once

namespace corvane {

enum class PaneId { Html, Css, Js };

}  // namespace corvane
