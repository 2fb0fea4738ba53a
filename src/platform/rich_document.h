#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// Colours are 32-bit values 0x00BBGGRR, as the colour dialog hands them to a pane.
inline constexpr std::int32_t kDefaultColor = -1;

struct CharFormat {
    std::string fontName;  // empty: the pane's own font
    float fontSize = 0;    // points; 0: the pane's own size
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    std::int32_t color = kDefaultColor;

    bool operator==(const CharFormat&) const = default;
};

// Paragraph alignment codes as the panes use them: 0 left, 1 right, 2 centre.
enum class Alignment : std::int16_t { Left = 0, Right = 1, Center = 2, Justify = 3 };

// A piece of text in one format. Text is UTF-8 and holds no paragraph break; a forced line break
// inside a paragraph is U+2028.
struct TextRun {
    std::string text;
    CharFormat format;
};

struct Paragraph {
    Alignment alignment = Alignment::Left;
    std::vector<TextRun> runs;
};

// A formatted document as read from a rich-text file.
struct RichDocument {
    std::vector<Paragraph> paragraphs;
};

}  // namespace corvane
