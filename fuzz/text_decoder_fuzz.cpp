// Feeds arbitrary bytes to the plain-text decoder and to the code-page converter, and checks what
// Open and Save rely on: the program's text (UTF-8 with escaped bytes) with "\n" line ends and no
// NUL, and the same bytes written back.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_checks.h"
#include "panes/text_decoder.h"
#include "panes/text_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The first byte also picks what kind of file the bytes came as.
    constexpr std::array kKinds = {corvane::FileKind::Other, corvane::FileKind::Html, corvane::FileKind::Css};
    const corvane::FileKind kind = bytes.empty() ? corvane::FileKind::Other : kKinds[data[0] % kKinds.size()];
    const corvane::DecodedText decoded = corvane::decodeFile(bytes, kind);
    const std::string& text = decoded.text;
    if (!corvane::fuzz::wellFormedUtf8(text, true)) corvane::fuzz::fail("decodeFile gave ill-formed text");
    if (text.find('\0') != std::string::npos) corvane::fuzz::fail("decodeFile kept a NUL");
    if (text.find('\r') != std::string::npos) corvane::fuzz::fail("decodeFile kept a CR");
    // only a lone byte-order mark decodes to nothing
    if (bytes.size() > 4 && text.empty()) corvane::fuzz::fail("decodeFile lost all the text");

    // Written back in the format it was read in: the same bytes, but for line ends in another style.
    const std::string again = corvane::encodeText(text, decoded.format);
    if (bytes.find_first_of("\r\n") == std::string_view::npos) {
        if (again != bytes) corvane::fuzz::fail("the bytes were not written back as they were");
    } else if (corvane::decodeAs(again, decoded.format).text != text) {
        corvane::fuzz::fail("the text written back does not read the same");
    }

    if (!bytes.empty()) {
        constexpr std::array kCodePages = {1252, 936, 950, 932, 949, 1251, 65001, 10000, 437, 0, 99999};
        const int codePage = kCodePages[static_cast<std::uint8_t>(bytes[0]) % kCodePages.size()];
        const std::string converted = corvane::decodeCodePage(codePage, bytes.substr(1));
        if (!corvane::fuzz::wellFormedUtf8(converted))
            corvane::fuzz::fail("decodeCodePage gave ill-formed UTF-8");
    }
    return 0;
}
