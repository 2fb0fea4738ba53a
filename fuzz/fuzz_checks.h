#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace corvane::fuzz {

// Stops the run with a message: libFuzzer saves the input that got here.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// A plain well-formedness check of UTF-8, written apart from the decoder it checks. With
// `escapes`, the three-byte forms of U+DC00 to U+DCFF, the program's escaped bytes, are allowed too.
inline bool wellFormedUtf8(std::string_view s, bool escapes = false) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > s.size()) return false;
        if (escapes && b == 0xED) {
            const auto second = static_cast<unsigned char>(s[i + 1]);
            if (second >= 0xB0 && second <= 0xB3) high = 0xB3, low = 0xB0;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace corvane::fuzz
