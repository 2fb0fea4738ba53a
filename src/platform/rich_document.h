#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Colours are 32-bit values 0x00BBGGRR, as the colour dialog hands them to a pane.
inline constexpr std::int32_t kDefaultColor = -1;
// A font index that names no font: the pane's own.
inline constexpr std::int32_t kPaneFont = -1;

struct CharFormat {
    std::int32_t font = kPaneFont;  // index into RichDocument::fonts
    float fontSize = 0;             // points; 0: the pane's own size
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    std::int32_t color = kDefaultColor;

    bool operator==(const CharFormat&) const = default;
};

// Paragraph alignment codes as the panes use them: 0 left, 1 right, 2 centre.
enum class Alignment : std::int16_t { Left = 0, Right = 1, Center = 2, Justify = 3 };

// The next `length` bytes of a paragraph's text, in one format.
struct TextRun {
    std::uint32_t length = 0;
    std::uint32_t format = 0;  // index into RichDocument::formats

    bool operator==(const TextRun&) const = default;
};

// Text is UTF-8 and holds no paragraph break; a forced line break inside a paragraph is U+2028.
// The runs cover the text in order, none empty, neighbours in different formats.
struct Paragraph {
    std::string text;
    std::vector<TextRun> runs;
    Alignment alignment = Alignment::Left;
};

// A formatted document as read from a rich-text file. Each distinct format and font name is held
// once and runs refer to it by index, so a run costs a few bytes however long its font's name is.
struct RichDocument {
    std::vector<std::string> fonts;
    std::vector<CharFormat> formats;
    std::vector<Paragraph> paragraphs;

    // The name of a format's font; empty for the pane's own.
    std::string_view fontName(const CharFormat& format) const {
        return format.font >= 0 && static_cast<std::size_t>(format.font) < fonts.size()
                   ? std::string_view(fonts[static_cast<std::size_t>(format.font)])
                   : std::string_view();
    }
};

}  // namespace corvane
