// Feeds arbitrary bytes to the RTF reader and checks what it gives back: the runs cover each
// paragraph's text exactly, none empty, neighbours in different formats, every index valid, the
// text well-formed UTF-8 with no line ends or control characters; and the reader's bound on
// memory (rtf_reader.h), both for the document and for everything allocated while reading.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz_checks.h"
#include "panes/rtf_reader.h"

// The bytes live on the heap through operator new, and the most there were since the last reset.
// Each block carries its size in front of it.
namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* allocate(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t live = liveBytes.fetch_add(size, std::memory_order_relaxed) + size;
    std::size_t peak = peakBytes.load(std::memory_order_relaxed);
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void release(void* p) noexcept {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - kHeader;
    liveBytes.fetch_sub(*static_cast<std::size_t*>(block), std::memory_order_relaxed);
    std::free(block);
}

// Heap bytes of a string: none while it is held inside the object.
std::size_t heapBytes(const std::string& s) {
    const char* object = reinterpret_cast<const char*>(&s);
    const bool inside = s.data() >= object && s.data() < object + sizeof s;
    return inside ? 0 : s.capacity() + 1;
}

std::size_t documentBytes(const corvane::RichDocument& d) {
    std::size_t bytes = sizeof d + d.fonts.capacity() * sizeof(std::string) +
                        d.formats.capacity() * sizeof(corvane::CharFormat) +
                        d.paragraphs.capacity() * sizeof(corvane::Paragraph);
    for (const std::string& font : d.fonts) bytes += heapBytes(font);
    for (const corvane::Paragraph& p : d.paragraphs)
        bytes += heapBytes(p.text) + p.runs.capacity() * sizeof(corvane::TextRun);
    return bytes;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvane::fuzz::fail;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)corvane::looksLikeRtf(bytes);
    const std::size_t before = liveBytes.load();
    peakBytes.store(before);
    const corvane::RichDocument document = corvane::readRtf(bytes);
    if (peakBytes.load() - before >
        corvane::kRtfReadingBytesPerInputByte * size + corvane::kRtfReadingFixedBytes)
        fail("reading took more memory than its bound");
    if (documentBytes(document) >
        corvane::kRtfDocumentBytesPerInputByte * size + corvane::kRtfDocumentFixedBytes)
        fail("document larger than its bound");
    // Every paragraph break takes at least two input bytes and no input byte yields more than
    // four bytes of text, so the document stays in proportion to the file.
    if (document.paragraphs.size() > size / 2 + 1) fail("more paragraphs than breaks");
    std::size_t textBytes = 0;
    for (const corvane::Paragraph& paragraph : document.paragraphs) textBytes += paragraph.text.size();
    if (textBytes > 4 * size + 4) fail("text out of proportion to the input");

    for (const std::string& font : document.fonts) {
        if (font.empty() || font.size() > 128) fail("font name empty or not capped");
        if (!corvane::fuzz::wellFormedUtf8(font)) fail("ill-formed UTF-8 in a font name");
    }
    std::string formatUsed(document.formats.size(), '\0');
    for (const corvane::CharFormat& format : document.formats) {
        if (format.font != corvane::kPaneFont &&
            (format.font < 0 || static_cast<std::size_t>(format.font) >= document.fonts.size()))
            fail("font index out of range");
        if (format.fontSize < 0 || format.fontSize > 1638) fail("font size out of range");
    }
    std::vector<corvane::CharFormat> formats = document.formats;
    const auto key = [](const corvane::CharFormat& f) {
        return std::tie(f.font, f.fontSize, f.bold, f.italic, f.underline, f.strike, f.color);
    };
    std::sort(formats.begin(), formats.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    if (std::adjacent_find(formats.begin(), formats.end()) != formats.end()) fail("a format held twice");
    for (const corvane::Paragraph& paragraph : document.paragraphs) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < paragraph.runs.size(); ++i) {
            const corvane::TextRun& run = paragraph.runs[i];
            if (run.length == 0) fail("empty run");
            if (run.format >= document.formats.size()) fail("format index out of range");
            formatUsed[run.format] = 1;
            if (i > 0 && paragraph.runs[i - 1].format == run.format) fail("unmerged runs");
            if (run.length > paragraph.text.size() - at) fail("runs longer than the text");
            const std::string_view text = std::string_view(paragraph.text).substr(at, run.length);
            if (!corvane::fuzz::wellFormedUtf8(text)) fail("ill-formed UTF-8 in a run");
            at += run.length;
        }
        if (at != paragraph.text.size()) fail("runs do not cover the text");
        for (const char c : paragraph.text) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') fail("control character in the text");
        }
    }
    if (formatUsed.find('\0') != std::string::npos) fail("a format no run uses");
    return 0;
}
