// Feeds arbitrary bytes to the plain-text decoder and to the code-page converter, and checks what
// Open relies on: well-formed UTF-8 with "\n" line ends and no NUL.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_checks.h"
#include "panes/text_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string text = corvane::decodeText(bytes);
    if (!corvane::fuzz::wellFormedUtf8(text)) corvane::fuzz::fail("decodeText gave ill-formed UTF-8");
    if (text.find('\0') != std::string::npos) corvane::fuzz::fail("decodeText kept a NUL");
    if (text.find('\r') != std::string::npos) corvane::fuzz::fail("decodeText kept a CR");
    // only a lone byte-order mark decodes to nothing
    if (bytes.size() > 3 && text.empty()) corvane::fuzz::fail("decodeText lost all the text");

    if (!bytes.empty()) {
        constexpr std::array kCodePages = {1252, 936, 950, 932, 949, 1251, 65001, 10000, 437, 0, 99999};
        const int codePage = kCodePages[static_cast<std::uint8_t>(bytes[0]) % kCodePages.size()];
        const std::string converted = corvane::decodeCodePage(codePage, bytes.substr(1));
        if (!corvane::fuzz::wellFormedUtf8(converted))
            corvane::fuzz::fail("decodeCodePage gave ill-formed UTF-8");
    }
    return 0;
}
