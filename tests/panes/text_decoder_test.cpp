#include "panes/text_decoder.h"

#include "panes/text_encoder.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <stdexcept>
#include <string>
#include <tuple>

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

const std::string kChinese = "<p>中文段落：你好，世界。</p>\n<b>粗体</b> and ASCII 😀\n";
const std::string kReplacementChar = "\uFFFD";

std::string escaped(unsigned char byte) {
    std::string out;
    utf::appendEscapedByte(byte, out);
    return out;
}

TEST(DecodeText, ValidUtf8PassesThroughUnchanged) {
    const DecodedText decoded = decodeFile(kChinese);
    EXPECT_EQ(decoded.text, kChinese);
    EXPECT_EQ(decoded.format, TextFormat{});
    EXPECT_EQ(decoded.unreadableBytes, 0u);
    EXPECT_EQ(decodeText(""), "");
}

TEST(DecodeText, ByteOrderMarksDecideAndAreKept) {
    struct Case {
        std::string bytes;
        const char* encoding;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF" + kChinese, "UTF-8"},
        {"\xFF\xFE" + iconvConvert("UTF-16LE", "UTF-8", kChinese), "UTF-16LE"},
        {"\xFE\xFF" + iconvConvert("UTF-16BE", "UTF-8", kChinese), "UTF-16BE"},
        {iconvConvert("GB18030", "UTF-8", "\uFEFF" + kChinese), "gb18030"},
        // The mark wins over what the page declares.
        {"\xEF\xBB\xBF<meta charset=\"gb2312\">" + kChinese, "UTF-8"},
    };
    for (const Case& c : cases) {
        const DecodedText decoded = decodeFile(c.bytes, FileKind::Html);
        EXPECT_EQ(decoded.format.encoding, c.encoding);
        EXPECT_TRUE(decoded.format.byteOrderMark) << c.encoding;
        EXPECT_TRUE(decoded.text.ends_with(kChinese)) << c.encoding;
        EXPECT_EQ(encodeText(decoded.text, decoded.format), c.bytes) << c.encoding;
    }
    EXPECT_EQ(decodeText("\xEF\xBB\xBF"), "");
}

TEST(DecodeText, EveryLineEndBecomesLineFeedAndTheCommonestIsKept) {
    EXPECT_EQ(decodeText("a\r\nb\rc\nd"), "a\nb\nc\nd");
    EXPECT_EQ(decodeText("\r\r\n\n\r"), "\n\n\n\n");
    EXPECT_EQ(decodeText("中\r\n文\r"), "中\n文\n");
    EXPECT_EQ(decodeFile("a\r\nb\r\nc\n").format.lineEnd, LineEnd::CrLf);
    EXPECT_EQ(decodeFile("a\rb\rc\r\n").format.lineEnd, LineEnd::Cr);
    EXPECT_EQ(decodeFile("a\nb\r\n").format.lineEnd, LineEnd::Lf);
    EXPECT_EQ(encodeText("x\ny\n", {"UTF-8", false, LineEnd::CrLf}), "x\r\ny\r\n");
    EXPECT_EQ(encodeText("中\n", {"UTF-16LE", false, LineEnd::Cr}), "\x2D\x4E\r\0"s);
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

TEST(DecodeText, UnreadableBytesAreCarriedCountedAndWrittenBack) {
    const std::string line = "<p>中文段落：你好，世界。</p>\n";
    struct Case {
        std::string bytes;
        std::string text;
        std::size_t unreadable;
    };
    const Case cases[] = {
        {"ab\0cd"s, "ab" + escaped(0) + "cd", 1},
        // One stray Latin-1 byte and a cut-off last character leave a UTF-8 file UTF-8.
        {line + "caf\xE9\n" + line, line + "caf" + escaped(0xE9) + "\n" + line, 1},
        {line + "\xE4\xBD", line + escaped(0xE4) + escaped(0xBD), 2},
        // Encoded surrogates are not UTF-8: each byte is carried.
        {line + line + "\xED\xA0\x80", line + line + escaped(0xED) + escaped(0xA0) + escaped(0x80), 3},
        // A lone surrogate and an odd last byte in UTF-16.
        {"\xFF\xFE"s + "A\0"s + "\x00\xDC"s + "B", "A" + escaped(0) + escaped(0xDC) + escaped('B'), 3},
    };
    for (const Case& c : cases) {
        const DecodedText decoded = decodeFile(c.bytes);
        EXPECT_EQ(decoded.text, c.text);
        EXPECT_EQ(decoded.unreadableBytes, c.unreadable);
        EXPECT_EQ(encodeText(decoded.text, decoded.format), c.bytes);
    }
}

TEST(DecodeText, Utf16WithoutMarkIsFoundForAsciiAndForChinese) {
    const std::string html = "<html>\r\n<body>\r\n<p>中文 text</p>\r\n</body>\r\n</html>\r\n";
    // Chinese prose has next to no NUL bytes: its units themselves tell.
    const std::string prose = "中文段落：你好，世界。这是没有字节顺序标记的文字，几乎没有零字节。\n";
    for (const auto& [text, encoding, lineEnd] :
         {std::tuple{html, "UTF-16LE", LineEnd::CrLf}, std::tuple{html, "UTF-16BE", LineEnd::CrLf},
          std::tuple{prose, "UTF-16LE", LineEnd::Lf}, std::tuple{prose, "UTF-16BE", LineEnd::Lf}}) {
        const std::string bytes = iconvConvert(encoding, "UTF-8", text);
        const DecodedText decoded = decodeFile(bytes);
        EXPECT_EQ(decoded.format, (TextFormat{encoding, false, lineEnd})) << text;
        EXPECT_EQ(encodeText(decoded.text, decoded.format), bytes);
    }
    // GB18030 and Big5 bytes are not taken for UTF-16.
    EXPECT_EQ(decodeFile(iconvConvert("GB18030", "UTF-8", prose)).format.encoding, "gb18030");
    EXPECT_EQ(decodeFile(iconvConvert("BIG5", "UTF-8", "中文段落：你好，世界。這是沒有標記的文字。\n"))
                  .format.encoding,
              "Big5");
}

TEST(DecodeText, PagesAreReadInTheEncodingTheyDeclare) {
    const std::string gb = iconvConvert("GB18030", "UTF-8",
                                        "<p>中文段落：你好，世界。这一页用简体中文写成，声明了它的编码，"
                                        "浏览器按声明读它。</p>\n<p>没有声明的页面由内容来判断。</p>\n");
    struct Case {
        std::string head;
        const char* encoding;  // what the page is read in
    };
    const Case cases[] = {
        {"<meta charset=\"gb2312\">", "gb18030"},
        {"<META CHARSET=' GBK '>", "gb18030"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">", "gb18030"},
        {"<meta content='text/html;charset=\"big5\"' http-equiv=content-type>", "Big5"},
        {"<meta charset=iso-8859-1>", "windows-1252"},
        {"<meta charset=x-user-defined>", "windows-1252"},
        {"<meta charset=utf-16le>", "UTF-8"},
        {"<!-- <meta charset=big5> --><meta charset=shift_jis>", "Shift_JIS"},
        {"<p title='<meta charset=big5>'><meta/charset=euc-kr>", "EUC-KR"},
        // Not declarations: without http-equiv, in a comment, an unknown label.
        {"<meta content=\"text/html; charset=big5\">", "gb18030"},
        {"<!-- <meta charset=big5> -->", "gb18030"},
        {"<meta charset=klingon>", "gb18030"},
        {std::string(1100, ' ') + "<meta charset=big5>", "gb18030"},
    };
    for (const Case& c : cases) {
        const std::string bytes = "<!DOCTYPE html><html><head>" + c.head + "</head><body>" + gb;
        EXPECT_EQ(decodeFile(bytes, FileKind::Html).format.encoding, c.encoding) << c.head;
    }
    EXPECT_EQ(encodingForLabel(" Latin1\t"), "windows-1252");
    EXPECT_EQ(encodingForLabel("x-sjis"), "Shift_JIS");
    EXPECT_FALSE(encodingForLabel("utf-7"));
}

TEST(DecodeText, StyleSheetsAreReadInTheirCharsetRule) {
    const std::string rule =
        iconvConvert("BIG5", "UTF-8", "@charset \"big5\";\n/* 中文註解 */ p { color: red; }\n");
    EXPECT_EQ(decodeFile(rule, FileKind::Css).format.encoding, "Big5");
    EXPECT_FALSE(cssCharset("@charset 'big5';\n"));
    EXPECT_FALSE(cssCharset(" @charset \"big5\";\n"));
    EXPECT_EQ(fileKindOf("/a/b.CSS"), FileKind::Css);
    EXPECT_EQ(fileKindOf("/a.html/page.htm"), FileKind::Html);
    EXPECT_EQ(fileKindOf("/a.html/notes"), FileKind::Other);
}

TEST(DecodeText, Gb18030RoundTrip) {
    const std::string text = "中文段落：你好，世界。\r\n第二行 ASCII € 😀";
    const std::string gb = iconvConvert("GB18030", "UTF-8", text);
    ASSERT_NE(gb, text);
    const DecodedText decoded = decodeFile(gb);
    EXPECT_EQ(decoded.format.encoding, "gb18030");
    EXPECT_EQ(decoded.text, "中文段落：你好，世界。\n第二行 ASCII € 😀");
    EXPECT_EQ(encodeText(decoded.text, decoded.format), gb);
}

TEST(DecodeText, Gb18030TablesAgreeWithTheSystemConverter) {
    // Every BMP character and a few beyond, both ways.
    std::string all;
    // Every BMP character the system's converter has a code for.
    for (char32_t c = 1; c < 0x10000; ++c) {
        if (utf::isSurrogate(c) || c == '\r') continue;
        std::string one;
        utf::appendUtf8(c, one);
        try {
            iconvConvert("GB18030", "UTF-8", one);
            all += one;
        } catch (const std::runtime_error&) {
        }
    }
    for (char32_t c : {0x10000u, 0x1F600u, 0x2A6D6u, 0x10FFFFu}) utf::appendUtf8(c, all);
    const std::string gb = iconvConvert("GB18030", "UTF-8", all);
    const TextFormat format{"gb18030", false, LineEnd::Lf};
    EXPECT_EQ(encodeText(all, format), gb);
    const DecodedText decoded = decodeAs(gb, format);
    EXPECT_EQ(decoded.unreadableBytes, 0u);
    EXPECT_TRUE(decoded.text == all);
}

TEST(DecodeText, InvalidGb18030BytesAreCarried) {
    // 0xFF is never valid; 0x81 at the end is a lead byte without its trail.
    const std::string gb = iconvConvert("GB18030", "UTF-8", "你好中文") + "\xFF" + "ok\r\n" + "\x81";
    const DecodedText decoded = decodeAs(gb, {"gb18030", false, LineEnd::Lf});
    EXPECT_EQ(decoded.text, "你好中文" + escaped(0xFF) + "ok\n" + escaped(0x81));
    EXPECT_EQ(decoded.unreadableBytes, 2u);
}

TEST(DecodeText, BinaryInputGoesBackByteForByte) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 300), '\0');
        // Without line-end bytes, whose style the decoder makes uniform, every input comes back.
        for (char& c : bytes) {
            do c = static_cast<char>(random() % 256);
            while (c == '\r' || c == '\n');
        }
        if (round % 3 == 0 && bytes.size() > 1) bytes[0] = '\xFF', bytes[1] = '\xFE';
        const DecodedText decoded = decodeFile(bytes);
        ASSERT_EQ(decoded.text.find('\0'), std::string::npos) << "round " << round;
        ASSERT_EQ(decoded.text.find('\r'), std::string::npos) << "round " << round;
        ASSERT_EQ(encodeText(decoded.text, decoded.format), bytes)
            << "round " << round << " read as " << decoded.format.encoding;
    }
}

TEST(EncodeText, PiecesCutAnywhereGiveTheSameBytes) {
    const std::string text = "中文 é😀 " + escaped(0x81) + "end\n";
    for (const char* encoding : {"UTF-8", "UTF-16BE", "gb18030", "Big5", "windows-1252"}) {
        const TextFormat format{encoding, true, LineEnd::CrLf};
        std::string whole;
        try {
            whole = encodeText(text, format);
        } catch (const UnencodableCharacter& error) {
            EXPECT_TRUE(error.character() == U'é' || error.character() == U'中' || error.character() == U'😀')
                << encoding;
            continue;
        }
        for (std::size_t cut = 0; cut <= text.size(); ++cut) {
            std::string pieces;
            TextEncoder encoder(format, [&](std::string_view piece) { pieces.append(piece); });
            encoder.write(std::string_view(text).substr(0, cut));
            encoder.write(std::string_view());  // an empty piece with no data behind it
            encoder.write(std::string_view(text).substr(cut));
            encoder.finish();
            ASSERT_EQ(pieces, whole) << encoding << " cut at " << cut;
        }
    }
}

TEST(EncodeText, EmptyTextWithNoDataBehindItIsNoText) {
    EXPECT_FALSE(utf::hasEscapedByte(std::string_view()));
    EXPECT_EQ(encodeText(std::string_view(), {"UTF-8", false, LineEnd::Lf}), "");
}

TEST(EncodeText, ACharacterTheEncodingLacksIsNamed) {
    try {
        encodeText("中文 café", {"Big5", false, LineEnd::Lf});
        FAIL() << "é has no Big5 code";
    } catch (const UnencodableCharacter& error) {
        EXPECT_EQ(error.character(), U'é');
        EXPECT_EQ(error.encoding(), "Big5");
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
