#include "syntax/code_colours.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace corvane {

namespace {

constexpr double kMinimumContrast = 4.5;

double linear(std::uint8_t channel) {
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(Rgb colour) {
    return 0.2126 * linear(colour.red) + 0.7152 * linear(colour.green) + 0.0722 * linear(colour.blue);
}

struct Hsl {
    double hue;  // degrees
    double saturation;
    double lightness;
};

Rgb fromHsl(Hsl hsl) {
    const double chroma = (1 - std::abs(2 * hsl.lightness - 1)) * hsl.saturation;
    const double h = std::fmod(hsl.hue, 360.0) / 60.0;
    const double x = chroma * (1 - std::abs(std::fmod(h, 2.0) - 1));
    std::array<double, 3> rgb{};
    if (h < 1) {
        rgb = {chroma, x, 0};
    } else if (h < 2) {
        rgb = {x, chroma, 0};
    } else if (h < 3) {
        rgb = {0, chroma, x};
    } else if (h < 4) {
        rgb = {0, x, chroma};
    } else if (h < 5) {
        rgb = {x, 0, chroma};
    } else {
        rgb = {chroma, 0, x};
    }
    const double m = hsl.lightness - chroma / 2;
    const auto channel = [m](double c) {
        return static_cast<std::uint8_t>(std::clamp(std::lround((c + m) * 255), 0L, 255L));
    };
    return {channel(rgb[0]), channel(rgb[1]), channel(rgb[2])};
}

Hsl toHsl(Rgb colour) {
    const double r = colour.red / 255.0;
    const double g = colour.green / 255.0;
    const double b = colour.blue / 255.0;
    const double high = std::max({r, g, b});
    const double low = std::min({r, g, b});
    const double lightness = (high + low) / 2;
    const double chroma = high - low;
    if (chroma == 0) return {0, 0, lightness};
    double hue = 0;
    if (high == r) {
        hue = 60 * std::fmod((g - b) / chroma + 6, 6.0);
    } else if (high == g) {
        hue = 60 * ((b - r) / chroma + 2);
    } else {
        hue = 60 * ((r - g) / chroma + 4);
    }
    return {hue, chroma / (1 - std::abs(2 * lightness - 1)), lightness};
}

// Moves the lightness towards black or white only as far as needed to read against the
// background. Lightness darkens or lightens every channel together, so contrast grows steadily
// on the way and the far end (black or white) is always readable on the side chosen.
Rgb readable(Hsl hsl, Rgb background, bool lighten) {
    if (contrastRatio(fromHsl(hsl), background) >= kMinimumContrast) return fromHsl(hsl);
    double from = hsl.lightness;
    double to = lighten ? 1.0 : 0.0;
    for (int i = 0; i < 24; ++i) {
        const double middle = (from + to) / 2;
        if (contrastRatio(fromHsl({hsl.hue, hsl.saturation, middle}), background) >= kMinimumContrast) {
            to = middle;
        } else {
            from = middle;
        }
    }
    return fromHsl({hsl.hue, hsl.saturation, to});
}

// Hue and saturation of each token, with the lightness it starts from on a light background and
// on a dark one. HTML tags and CSS selectors (names of elements) share a hue with JavaScript
// keywords, attributes with properties; no two tokens of one language share one.
struct Tone {
    double hue;
    double saturation;
    double onLight;
    double onDark;
};

constexpr std::array<Tone, kCodeTokenCount> kTones = {{
    {0, 0, 0, 0},             // Plain: the text colour
    {120, 0.40, 0.33, 0.62},  // Comment: green
    {220, 0.75, 0.40, 0.72},  // Keyword: blue
    {12, 0.75, 0.38, 0.72},   // String: brick red
    {170, 0.85, 0.28, 0.60},  // Number: teal
    {320, 0.70, 0.38, 0.75},  // Regex: magenta
    {220, 0.75, 0.40, 0.72},  // Tag: blue
    {275, 0.55, 0.45, 0.78},  // Attribute: violet
    {175, 0.85, 0.28, 0.60},  // Entity: teal
    {215, 0.15, 0.42, 0.70},  // Doctype: slate
    {220, 0.75, 0.40, 0.72},  // Selector: blue
    {275, 0.55, 0.45, 0.78},  // Property: violet
    {35, 0.85, 0.32, 0.65},   // Value: amber
    {320, 0.70, 0.38, 0.75},  // AtRule: magenta
    {355, 0.85, 0.45, 0.70},  // Important: red
}};

}  // namespace

double contrastRatio(Rgb a, Rgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb codeColour(CodeToken token, Rgb background, Rgb text) {
    // Light tones go on a background darker than the text, as long as white itself reads there;
    // on a middle grey only one side can reach the contrast.
    const bool whiteReads = contrastRatio({255, 255, 255}, background) >= kMinimumContrast;
    const bool blackReads = contrastRatio({0, 0, 0}, background) >= kMinimumContrast;
    const bool lighten = whiteReads && (!blackReads || luminance(text) > luminance(background));
    if (token == CodeToken::Plain || static_cast<std::size_t>(token) >= kTones.size()) {
        return contrastRatio(text, background) >= kMinimumContrast
                   ? text
                   : readable(toHsl(text), background, lighten);
    }
    const Tone& tone = kTones[static_cast<std::size_t>(token)];
    return readable({tone.hue, tone.saturation, lighten ? tone.onDark : tone.onLight}, background, lighten);
}

}  // namespace corvane
