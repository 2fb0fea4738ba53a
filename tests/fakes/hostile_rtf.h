#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

// Rich-text files that once took a reader far more time or memory than their size: shared by the
// memory tests and the benchmarks.
namespace corvane::fakes {

// A font whose name is half the file and has no ';', and text switching between that font and
// another one character at a time: a reader that copies the font name into each run needs
// gigabytes for a megabyte.
inline std::string longFontNameRtf(std::size_t bytes) {
    std::string rtf = "{\\rtf1{\\fonttbl{\\f0 ";
    rtf.append(bytes / 2, 'A');
    rtf += "}{\\f1 B;}}";
    while (rtf.size() + 12 < bytes) rtf += "\\f0 x\\f1 y";
    rtf += "}";
    return rtf;
}

// Some 15,000 distinct formats in a megabyte: a colour table with an entry for each run, runs in ever
// other sizes and fonts, sixteen to a paragraph. A window that looks each run's format up among
// all the formats it has seen takes minutes over it.
inline std::string manyFormatsRtf(std::size_t bytes) {
    const std::size_t runs = bytes / 76;
    std::string rtf = "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}{\\f2 DejaVu Sans;}}{\\colortbl;";
    for (std::size_t i = 0; i < runs; ++i) {
        rtf += "\\red" + std::to_string(i % 256) + "\\green" + std::to_string(i / 256 % 256) + "\\blue" +
               std::to_string(i / 65536) + ";";
    }
    rtf += "}";
    for (std::size_t i = 0; rtf.size() + 64 < bytes; ++i) {
        rtf += "{\\f" + std::to_string(i % 3) + "\\fs" + std::to_string(8 + i % 90) + "\\cf" +
               std::to_string(1 + i % runs) + " run " + std::to_string(i) + " of many, many formats}";
        if (i % 16 == 15) rtf += "\\par\n";
    }
    rtf.resize(std::max(rtf.size(), bytes - 1), ' ');
    rtf += "}";
    return rtf;
}

}  // namespace corvane::fakes
