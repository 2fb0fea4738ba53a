// Feeds arbitrary bytes to the RTF reader and checks the shape of what it gives back: no empty
// runs, no line ends or control characters inside runs, well-formed UTF-8, neighbouring runs
// in different formats.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_checks.h"
#include "panes/rtf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)corvane::looksLikeRtf(bytes);
    const corvane::RichDocument document = corvane::readRtf(bytes);
    // Every paragraph break takes at least two input bytes and no input byte yields more than
    // three bytes of text, so the document stays in proportion to the file.
    if (document.paragraphs.size() > size / 2 + 1) corvane::fuzz::fail("more paragraphs than breaks");
    std::size_t textBytes = 0;
    for (const corvane::Paragraph& paragraph : document.paragraphs) {
        for (const corvane::TextRun& run : paragraph.runs) textBytes += run.text.size();
    }
    if (textBytes > 3 * size + 3) corvane::fuzz::fail("text out of proportion to the input");
    for (const corvane::Paragraph& paragraph : document.paragraphs) {
        for (std::size_t i = 0; i < paragraph.runs.size(); ++i) {
            const corvane::TextRun& run = paragraph.runs[i];
            if (run.text.empty()) corvane::fuzz::fail("empty run");
            if (!corvane::fuzz::wellFormedUtf8(run.text)) corvane::fuzz::fail("ill-formed UTF-8 in a run");
            for (const char c : run.text) {
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                    corvane::fuzz::fail("control character in a run");
            }
            if (i > 0 && paragraph.runs[i - 1].format == run.format) corvane::fuzz::fail("unmerged runs");
            if (run.format.fontSize < 0 || run.format.fontSize > 1638)
                corvane::fuzz::fail("font size out of range");
        }
    }
    return 0;
}
