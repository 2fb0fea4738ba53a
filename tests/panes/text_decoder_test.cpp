#include "panes/text_decoder.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <stdexcept>
#include <string>

namespace corvane {
namespace {

using namespace std::string_literals;

// Converts with the system converter, independently of the code under test.
std::string iconvConvert(const char* to, const char* from, std::string_view in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no converter");
    std::string out(in.size() * 4 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("conversion failed");
    out.resize(out.size() - outLeft);
    return out;
}

bool isValidUtf8(std::string_view s) {
    try {
        iconvConvert("UTF-32LE", "UTF-8", s);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

const std::string kChinese = "<p>中文段落：你好，世界。</p>\n<b>粗体</b> and ASCII 😀\n";
const std::string kReplacementChar = "\uFFFD";

TEST(DecodeText, ValidUtf8PassesThroughUnchanged) {
    EXPECT_EQ(detectEncoding(kChinese), TextEncoding::Utf8);
    EXPECT_EQ(decodeText(kChinese), kChinese);
    EXPECT_EQ(decodeText(""), "");
}

TEST(DecodeText, Utf8ByteOrderMarkIsStripped) {
    const std::string bytes = "\xEF\xBB\xBF" + kChinese;
    EXPECT_EQ(detectEncoding(bytes), TextEncoding::Utf8Bom);
    EXPECT_EQ(decodeText(bytes), kChinese);
    EXPECT_EQ(decodeText("\xEF\xBB\xBF"), "");
}

TEST(DecodeText, EveryLineEndBecomesLineFeed) {
    EXPECT_EQ(decodeText("a\r\nb\rc\nd"), "a\nb\nc\nd");
    EXPECT_EQ(decodeText("\r\r\n\n\r"), "\n\n\n\n");
    EXPECT_EQ(decodeText("中\r\n文\r"), "中\n文\n");
}

TEST(DecodeText, LineEndsAreFoundAtEveryOffsetOfLongLines) {
    // The scanner skips eight bytes at a time; a CR, CRLF or NUL must be caught wherever it falls.
    for (std::size_t offset = 0; offset < 24; ++offset) {
        std::string bytes(40, 'x');
        bytes.replace(offset, 2, "\r\n");
        std::string expected(40, 'x');
        expected.replace(offset, 2, "\n");
        EXPECT_EQ(decodeText(bytes), expected) << "CRLF at " << offset;

        std::string lone(40, 'y');
        lone[offset] = '\r';
        std::string loneExpected(40, 'y');
        loneExpected[offset] = '\n';
        EXPECT_EQ(decodeText(lone), loneExpected) << "CR at " << offset;
    }
}

TEST(DecodeText, NulBytesBecomeReplacementCharacters) {
    EXPECT_EQ(decodeText("ab\0cd"s), "ab" + kReplacementChar + "cd");
    std::string longLine(30, 'z');
    longLine[17] = '\0';
    const std::string decoded = decodeText(longLine);
    EXPECT_EQ(decoded.find('\0'), std::string::npos);
    EXPECT_EQ(decoded.substr(17, 3), kReplacementChar);
}

TEST(DecodeText, Utf16WithByteOrderMarks) {
    const std::string le = "\xFF\xFE" + iconvConvert("UTF-16LE", "UTF-8", kChinese);
    const std::string be = "\xFE\xFF" + iconvConvert("UTF-16BE", "UTF-8", kChinese);
    EXPECT_EQ(detectEncoding(le), TextEncoding::Utf16LeBom);
    EXPECT_EQ(detectEncoding(be), TextEncoding::Utf16BeBom);
    EXPECT_EQ(decodeText(le), kChinese);
    EXPECT_EQ(decodeText(be), kChinese);
}

TEST(DecodeText, Utf16WithoutMarkIsToldByItsNulBytes) {
    const std::string html = "<html>\r\n<body>\r\n<p>中文 text</p>\r\n</body>\r\n</html>\r\n";
    const std::string expected = "<html>\n<body>\n<p>中文 text</p>\n</body>\n</html>\n";
    const std::string le = iconvConvert("UTF-16LE", "UTF-8", html);
    const std::string be = iconvConvert("UTF-16BE", "UTF-8", html);
    EXPECT_EQ(detectEncoding(le), TextEncoding::Utf16Le);
    EXPECT_EQ(detectEncoding(be), TextEncoding::Utf16Be);
    EXPECT_EQ(decodeText(le), expected);
    EXPECT_EQ(decodeText(be), expected);
}

TEST(DecodeText, MostlyChineseUtf16WithoutMarkIsNotGuessed) {
    // Too few NUL bytes to be sure; such a file falls through to the other guesses.
    const std::string le = iconvConvert("UTF-16LE", "UTF-8", "中文中文中文中文中文a");
    EXPECT_NE(detectEncoding(le), TextEncoding::Utf16Le);
}

TEST(DecodeText, DamagedUtf16BecomesReplacementCharacters) {
    // high surrogate then 'A'; lone low surrogate; high surrogate at the very end
    const std::string le = "\xFF\xFE"s + "\x3D\xD8" + "A\0"s + "\x00\xDE"s + "B\0"s + "\x3D\xD8";
    EXPECT_EQ(decodeText(le), kReplacementChar + "A" + kReplacementChar + "B" + kReplacementChar);
    EXPECT_EQ(decodeText("\xFF\xFE"
                         "A\0B"s),
              "A" + kReplacementChar);                                           // odd trailing byte
    EXPECT_EQ(decodeText("\xFE\xFF\0A\0\0\0B"s), "A" + kReplacementChar + "B");  // NUL unit
}

TEST(DecodeText, Gb18030RoundTrip) {
    const std::string text = "中文段落：你好，世界。\r\n第二行 ASCII € 😀";
    const std::string gb = iconvConvert("GB18030", "UTF-8", text);
    ASSERT_NE(gb, text);
    EXPECT_EQ(detectEncoding(gb), TextEncoding::Gb18030);
    EXPECT_EQ(decodeText(gb), "中文段落：你好，世界。\n第二行 ASCII € 😀");
}

TEST(DecodeText, InvalidGb18030BytesAreMarkedAndReadingGoesOn) {
    // 0xFF is never valid; 0x81 at the end is a lead byte without its trail.
    const std::string gb = iconvConvert("GB18030", "UTF-8", "你") + "\xFF" + "ok\r\n" + "\x81";
    EXPECT_EQ(decodeText(gb), "你" + kReplacementChar + "ok\n" + kReplacementChar);
}

TEST(DecodeText, IllFormedUtf8AfterMarkIsReplacedByMaximalSubpart) {
    // a cut three-byte sequence is one U+FFFD; C0 and an unexpected continuation byte one each
    EXPECT_EQ(decodeText("\xEF\xBB\xBF"
                         "a\xE4\xBD"
                         "b\xC0\x80"
                         "c"),
              "a" + kReplacementChar + "b" + kReplacementChar + kReplacementChar + "c");
    // surrogate code points and values beyond U+10FFFF are not UTF-8
    EXPECT_EQ(decodeText("\xEF\xBB\xBF\xED\xA0\x80"), kReplacementChar + kReplacementChar + kReplacementChar);
    EXPECT_EQ(decodeText("\xEF\xBB\xBF\xF4\x90\x80\x80"),
              kReplacementChar + kReplacementChar + kReplacementChar + kReplacementChar);
}

TEST(DecodeText, OverlongUtf8IsNotTakenForUtf8) {
    EXPECT_EQ(detectEncoding("abc\xC0\xAF"), TextEncoding::Gb18030);
    EXPECT_EQ(detectEncoding("abc\xE0\x80\xAF"), TextEncoding::Gb18030);
    EXPECT_EQ(detectEncoding("abc\xF0\x9F\x98"), TextEncoding::Gb18030);  // cut at the end
}

TEST(DecodeText, BinaryInputGivesValidTextWithoutNulOrCarriageReturn) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 300), '\0');
        for (char& c : bytes) c = static_cast<char>(random() % 256);
        if (round % 3 == 0 && bytes.size() > 1) bytes[0] = '\xFF', bytes[1] = '\xFE';
        const std::string text = decodeText(bytes);
        ASSERT_TRUE(isValidUtf8(text)) << "round " << round;
        ASSERT_EQ(text.find('\0'), std::string::npos) << "round " << round;
        ASSERT_EQ(text.find('\r'), std::string::npos) << "round " << round;
    }
}

TEST(DecodeCodePage, WindowsCodePages) {
    EXPECT_EQ(decodeCodePage(1252, "\x80 \x93quoted\x94 caf\xE9"), "€ “quoted” café");
    EXPECT_EQ(decodeCodePage(936, "\xC4\xE3\xBA\xC3"), "你好");
    EXPECT_EQ(decodeCodePage(1251, "\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
    EXPECT_EQ(decodeCodePage(932, "\x93\xFA\x96\x7B"), "日本");
    EXPECT_EQ(decodeCodePage(950, "\xA4\xA4\xA4\xE5"), "中文");
    EXPECT_EQ(decodeCodePage(65001, "中文"), "中文");
}

TEST(DecodeCodePage, UnknownCodePageReadsAs1252) {
    EXPECT_EQ(decodeCodePage(12345, "caf\xE9"), "café");
    EXPECT_EQ(decodeCodePage(-1, "\x80"), "€");
}

TEST(DecodeCodePage, InvalidBytesAreMarked) {
    EXPECT_EQ(decodeCodePage(1252, "a\x81z"), "a" + kReplacementChar + "z");
    EXPECT_EQ(decodeCodePage(936, "\xC4"), kReplacementChar);
    EXPECT_EQ(decodeCodePage(65001, "a\xFFz"), "a" + kReplacementChar + "z");
}

TEST(DecodeCodePage, LongInputsConvertWhole) {
    std::string gb;
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        gb += "\xC4\xE3\xFF\xFF";  // more UTF-8 out than twice the bytes in: the buffer must grow
        expected += "你" + kReplacementChar + kReplacementChar;
    }
    EXPECT_EQ(decodeCodePage(936, gb), expected);
}

TEST(CodePageDecoder, ReusedAcrossCodePagesAppends) {
    CodePageDecoder decoder;
    std::string out;
    decoder.append(936, "\xC4\xE3", out);
    decoder.append(1252, "\xE9", out);
    decoder.append(936, "\xBA", out);  // cut: must not leak into the next call
    decoder.append(936, "\xBA\xC3", out);
    EXPECT_EQ(out, "你é" + kReplacementChar + "好");
}

TEST(DecodeText, LargeInputLosesOnlyTheCarriageReturns) {
    std::string line = "<p class=\"x\">中文 line of text</p>\r\n";
    std::string bytes;
    while (bytes.size() < 8'000'000) bytes += line;
    const std::string text = decodeText(bytes);
    EXPECT_EQ(text.size(), bytes.size() - bytes.size() / line.size());
}

}  // namespace
}  // namespace corvane
