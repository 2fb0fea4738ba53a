#pragma once

#include <cstdint>

#include "syntax/code_lexer.h"

namespace corvane {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const Rgb&) const = default;
};

// The WCAG 2 contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double contrastRatio(Rgb a, Rgb b);

// The colour a pane shows a token in, given the pane's background and its own text colour: one
// hue a token on every palette, dark tones where the text is darker than the background and
// light tones where it is lighter, and never less than 4.5:1 against the background. Plain text
// keeps the text colour where that reads at 4.5:1.
Rgb codeColour(CodeToken token, Rgb background, Rgb text);

}  // namespace corvane
