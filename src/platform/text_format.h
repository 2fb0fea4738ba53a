#pragma once

#include <string>

namespace corvane {

enum class LineEnd { Lf, CrLf, Cr };

// How a file's text was stored, as Open found it; every later write of the pane it went into
// stores the text the same way. Encodings go by their names in the WHATWG Encoding Standard
// ("UTF-8", "UTF-16LE", "gb18030", "Big5", "Shift_JIS", "windows-1252", ...).
struct TextFormat {
    std::string encoding = "UTF-8";
    bool byteOrderMark = false;
    LineEnd lineEnd = LineEnd::Lf;

    bool operator==(const TextFormat&) const = default;
};

// New text and the preview: UTF-8, and for the preview with its mark, which every browser obeys
// over whatever the page declares.
inline TextFormat utf8Format(bool byteOrderMark = false, LineEnd lineEnd = LineEnd::Lf) {
    return TextFormat{"UTF-8", byteOrderMark, lineEnd};
}

}  // namespace corvane
