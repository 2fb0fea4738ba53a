#include "syntax/code_colours.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

struct Palette {
    std::string name;
    Rgb base;  // the pane's background
    Rgb text;
};

// Base and text colours of the palettes the panes meet on Debian 12, as their sources give them.
const std::vector<Palette> kDesktopPalettes = {
    // Qt 6.4.2's Fusion standardPalette()
    {"Fusion light", {255, 255, 255}, {0, 0, 0}},
    // Qt 6.5's dark Fusion palette: window (50, 50, 50), base that darker(140), text (240, 240, 240)
    {"Fusion dark", {36, 36, 36}, {240, 240, 240}},
    // GTK 3.24.38 Adwaita and Adwaita-dark, "textview text" and its backdrop (libgtk-3-0)
    {"Adwaita", {255, 255, 255}, {0, 0, 0}},
    {"Adwaita backdrop", {252, 252, 252}, {50, 50, 50}},
    {"Adwaita-dark", {45, 45, 45}, {255, 255, 255}},
    {"Adwaita-dark backdrop", {48, 48, 48}, {214, 214, 214}},
    // KDE Plasma 5.27 colour schemes, [Colors:View] (kde-style-breeze)
    {"Breeze Light", {255, 255, 255}, {35, 38, 41}},
    {"Breeze Classic", {252, 252, 252}, {35, 38, 39}},
    {"Breeze Dark", {27, 30, 32}, {252, 252, 252}},
};

// Backgrounds a user may set: high contrast, tinted, and the greys where black and white read
// about equally badly.
const std::vector<Palette> kOtherPalettes = {
    {"black", {0, 0, 0}, {255, 255, 255}},
    {"Solarized light", {253, 246, 227}, {101, 123, 131}},
    {"Solarized dark", {0, 43, 54}, {131, 148, 150}},
    {"pale yellow", {255, 255, 220}, {0, 0, 0}},
    {"navy", {0, 0, 128}, {255, 255, 255}},
    {"grey, black text", {128, 128, 128}, {0, 0, 0}},
    {"grey, white text", {128, 128, 128}, {255, 255, 255}},
    {"middle grey, white text", {118, 118, 118}, {255, 255, 255}},
    {"middle grey, black text", {118, 118, 118}, {0, 0, 0}},
    {"light grey", {200, 200, 200}, {20, 20, 20}},
};

std::vector<CodeToken> allTokens() {
    std::vector<CodeToken> tokens;
    for (int t = 0; t < kCodeTokenCount; ++t) tokens.push_back(static_cast<CodeToken>(t));
    return tokens;
}

TEST(CodeColours, ContrastRatioFollowsWcag) {
    EXPECT_NEAR(contrastRatio({0, 0, 0}, {255, 255, 255}), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio({255, 255, 255}, {0, 0, 0}), 21.0, 1e-9);
    EXPECT_DOUBLE_EQ(contrastRatio({12, 200, 99}, {12, 200, 99}), 1.0);
    // #767676 is the lightest grey that reads at 4.5:1 on white
    EXPECT_GE(contrastRatio({0x76, 0x76, 0x76}, {255, 255, 255}), 4.5);
    EXPECT_LT(contrastRatio({0x77, 0x77, 0x77}, {255, 255, 255}), 4.5);
}

TEST(CodeColours, EveryTokenReadsOnEveryPalette) {
    for (const std::vector<Palette>* palettes : {&kDesktopPalettes, &kOtherPalettes}) {
        for (const Palette& palette : *palettes) {
            for (const CodeToken token : allTokens()) {
                EXPECT_GE(contrastRatio(codeColour(token, palette.base, palette.text), palette.base), 4.5)
                    << palette.name << ", token " << static_cast<int>(token);
            }
        }
    }
}

TEST(CodeColours, DesktopPalettesKeepTheirTextAndTellTokensApart) {
    const std::vector<std::vector<CodeToken>> languages = {
        {CodeToken::Comment, CodeToken::Tag, CodeToken::Attribute, CodeToken::String, CodeToken::Entity,
         CodeToken::Doctype},
        {CodeToken::Comment, CodeToken::Selector, CodeToken::Property, CodeToken::Value, CodeToken::Number,
         CodeToken::String, CodeToken::AtRule, CodeToken::Important},
        {CodeToken::Comment, CodeToken::Keyword, CodeToken::String, CodeToken::Number, CodeToken::Regex},
    };
    for (const Palette& palette : kDesktopPalettes) {
        const Rgb plain = codeColour(CodeToken::Plain, palette.base, palette.text);
        EXPECT_EQ(plain, palette.text) << palette.name;
        const auto lighter = [&](Rgb colour) {
            return contrastRatio(colour, {0, 0, 0}) > contrastRatio(palette.base, {0, 0, 0});
        };
        for (const std::vector<CodeToken>& tokens : languages) {
            for (std::size_t i = 0; i < tokens.size(); ++i) {
                const Rgb colour = codeColour(tokens[i], palette.base, palette.text);
                EXPECT_NE(colour, plain) << palette.name << ", token " << static_cast<int>(tokens[i]);
                // dark tones on light palettes, light tones on dark ones, as the text is
                EXPECT_EQ(lighter(colour), lighter(palette.text)) << palette.name;
                for (std::size_t k = 0; k < i; ++k) {
                    EXPECT_NE(colour, codeColour(tokens[k], palette.base, palette.text))
                        << palette.name << ", tokens " << static_cast<int>(tokens[i]) << " and "
                        << static_cast<int>(tokens[k]);
                }
            }
        }
    }
}

}  // namespace
}  // namespace corvane
