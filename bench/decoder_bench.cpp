// Times the plain-text decoder and the RTF reader on 10 MB inputs and prints MB/s, so a change
// that makes Open slow on large files shows up; and the program's own UTF and GB18030 conversions
// beside glibc's iconv and ICU doing the same. Built and run by bench/run_decoder_bench.sh.
#include <iconv.h>
#if defined(CORVANE_BENCH_ICU)
#include <unicode/ustring.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "panes/rtf_reader.h"
#include "panes/text_decoder.h"
#include "panes/text_encoder.h"
#include "panes/utf.h"

namespace {

constexpr std::size_t kSize = 10'000'000;

std::string repeatTo(const std::string& piece, std::string prefix = {}, const std::string& suffix = {}) {
    std::string out = std::move(prefix);
    out.reserve(kSize + piece.size() + suffix.size());
    while (out.size() < kSize) out += piece;
    out += suffix;
    return out;
}

// Best of five, in milliseconds: the machine is shared, the best run is the least disturbed.
double bestMilliseconds(const std::function<std::size_t()>& work) {
    double best = 1e9;
    std::size_t sink = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        sink += work();
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    if (sink == 0) std::puts("(no output)");
    return best;
}

void report(const char* name, const std::string& input, const std::function<std::size_t()>& work) {
    const double ms = bestMilliseconds(work);
    std::printf("%-34s %6.1f MB  %8.2f ms  %8.1f MB/s\n", name, static_cast<double>(input.size()) / 1e6, ms,
                static_cast<double>(input.size()) / 1e3 / ms);
}

std::size_t viaIconv(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    (void)iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    return out.size() - outLeft;
}

}  // namespace

int main() {
    using corvane::decodeText;
    const std::string utf8 = repeatTo("<p class=\"note\">中文段落 and some ASCII text here.</p>\n");
    const std::string crlf = repeatTo("<p class=\"note\">中文段落 and some ASCII text here.</p>\r\n");
    const std::string utf16 = "\xFF\xFE" + repeatTo(std::string("<\0p\0>\0-N\x87"
                                                                "e\r\0\n\0",
                                                                14));
    const std::string gb = repeatTo("<p>\xD6\xD0\xCE\xC4\xB6\xCE\xC2\xE4 ASCII text</p>\r\n");
    const std::string rtf = repeatTo(
        "\\pard\\plain\\qc{\\f1\\fs24 Ordinary text with {\\b bold} and {\\i italic} words, "
        "\\u20320?\\'c4\\'e3 and {\\cf2 colour}.}\\par\r\n",
        "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f1\\fcharset134 Arial;}}{\\colortbl;\\red255\\green0\\blue0;"
        "\\red0\\green0\\blue255;}",
        "}");
    const std::string rtfText = repeatTo(
        "\\pard Long paragraphs of plain text in an RTF file, as most are.\\par\r\n", "{\\rtf1\\ansi ", "}");

    report("decodeText UTF-8, LF", utf8, [&] { return decodeText(utf8).size(); });
    report("decodeText UTF-8, CRLF", crlf, [&] { return decodeText(crlf).size(); });
    report("decodeText UTF-16LE with mark", utf16, [&] { return decodeText(utf16).size(); });
    report("decodeText GB18030", gb, [&] { return decodeText(gb).size(); });
    // UTF-8 to UTF-16 and back, as the Qt side does for a pane's text.
    std::u16string units(utf8.size(), u'\0');
    const std::size_t unitCount = corvane::utf::utf8ToUtf16(utf8, units.data());
    units.resize(unitCount);
    const std::string unitBytes(reinterpret_cast<const char*>(units.data()), units.size() * 2);
    std::string scratch;
    report("utf::utf8ToUtf16", utf8, [&] { return corvane::utf::utf8ToUtf16(utf8, units.data()); });
    report("iconv UTF-8 to UTF-16LE", utf8, [&] { return viaIconv("UTF-16LE", "UTF-8", utf8, scratch); });
    report("utf::utf16ToUtf8", unitBytes, [&] {
        std::size_t n = 0;
        corvane::utf::utf16ToUtf8(
            units, [&n](std::string_view piece) { n += piece.size(); }, true);
        return n;
    });
    report("iconv UTF-16LE to UTF-8", unitBytes,
           [&] { return viaIconv("UTF-8", "UTF-16LE", unitBytes, scratch); });
#if defined(CORVANE_BENCH_ICU)
    std::u16string icuUnits(utf8.size(), u'\0');
    report("ICU u_strFromUTF8", utf8, [&] {
        int32_t length = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8(reinterpret_cast<UChar*>(icuUnits.data()), static_cast<int32_t>(icuUnits.size()),
                      &length, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
        return static_cast<std::size_t>(length);
    });
    report("ICU u_strToUTF8", unitBytes, [&] {
        scratch.resize(units.size() * 3);
        int32_t length = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strToUTF8(scratch.data(), static_cast<int32_t>(scratch.size()), &length,
                    reinterpret_cast<const UChar*>(units.data()), static_cast<int32_t>(units.size()),
                    &status);
        return static_cast<std::size_t>(length);
    });
#endif
    // GB18030 through the program's tables and through iconv.
    const corvane::TextFormat gbFormat{"gb18030", false, corvane::LineEnd::CrLf};
    const std::string gbText = decodeText(gb);
    report("decodeAs GB18030 (tables)", gb, [&] { return corvane::decodeAs(gb, gbFormat).text.size(); });
    report("iconv GB18030 to UTF-8", gb, [&] { return viaIconv("UTF-8", "GB18030", gb, scratch); });
    report("encodeText GB18030 (tables)", gbText,
           [&] { return corvane::encodeText(gbText, gbFormat).size(); });
    report("iconv UTF-8 to GB18030", gbText, [&] { return viaIconv("GB18030", "UTF-8", gbText, scratch); });
    report("encodeText UTF-8, CRLF", utf8, [&] {
        return corvane::encodeText(utf8, {"UTF-8", false, corvane::LineEnd::CrLf}).size();
    });

    report("readRtf formatted", rtf, [&] { return corvane::readRtf(rtf).paragraphs.size(); });
    report("readRtf mostly text", rtfText, [&] { return corvane::readRtf(rtfText).paragraphs.size(); });
}
