#include "panes/rtf_reader.h"

#include "fakes/child_process.h"
#include "fakes/hostile_rtf.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace std::string_literals;

std::string paragraphText(const Paragraph& paragraph) { return paragraph.text; }

// The document's text with paragraphs joined by "\n".
std::string textOf(const RichDocument& document) {
    std::string text;
    for (std::size_t i = 0; i < document.paragraphs.size(); ++i) {
        if (i > 0) text += '\n';
        text += paragraphText(document.paragraphs[i]);
    }
    return text;
}

std::string textOf(std::string_view rtf) { return textOf(readRtf(rtf)); }

// A run as the pane shows it: its text, its format and its font's name.
struct ShownRun {
    std::string text;
    CharFormat format;
    std::string font;
};

std::vector<ShownRun> runsOf(const RichDocument& document, const Paragraph& paragraph) {
    std::vector<ShownRun> runs;
    std::size_t at = 0;
    for (const TextRun& run : paragraph.runs) {
        const CharFormat& format = document.formats.at(run.format);
        runs.push_back(
            {paragraph.text.substr(at, run.length), format, std::string(document.fontName(format))});
        at += run.length;
    }
    return runs;
}

// The run holding exactly the given text; the test fails when there is none.
ShownRun runWith(const RichDocument& document, std::string_view text) {
    for (const Paragraph& paragraph : document.paragraphs) {
        for (const ShownRun& run : runsOf(document, paragraph)) {
            if (run.text == text) return run;
        }
    }
    throw std::runtime_error("no run \"" + std::string(text) + "\"");
}

const std::string kReplacementChar = "\uFFFD";

TEST(LooksLikeRtf, TellsRtfFromOtherFiles) {
    EXPECT_TRUE(looksLikeRtf("{\\rtf1\\ansi hello}"));
    EXPECT_TRUE(looksLikeRtf("{\\rtf"));
    EXPECT_TRUE(looksLikeRtf("\xEF\xBB\xBF{\\rtf1}"));
    EXPECT_TRUE(looksLikeRtf(" \r\n\t{\\rtf1}"));
    EXPECT_FALSE(looksLikeRtf(""));
    EXPECT_FALSE(looksLikeRtf("{\\rt"));
    EXPECT_FALSE(looksLikeRtf("{ \\rtf1}"));
    EXPECT_FALSE(looksLikeRtf("<html>{\\rtf1}</html>"));
    EXPECT_FALSE(looksLikeRtf("x{\\rtf1}"));
}

TEST(ReadRtf, CharacterFormattingFollowsGroupsAndToggles) {
    const RichDocument document = readRtf(
        "{\\rtf1\\ansi plain {\\b bold {\\i bold-italic}} {\\ul under\\ulnone  not} "
        "\\strike struck\\strike0  {\\ul\\b\\i\\plain reset}}");
    EXPECT_EQ(textOf(document), "plain bold bold-italic under not struck reset");
    const ShownRun bold = runWith(document, "bold ");
    EXPECT_TRUE(bold.format.bold);
    EXPECT_FALSE(bold.format.italic);
    const ShownRun both = runWith(document, "bold-italic");
    EXPECT_TRUE(both.format.bold && both.format.italic);
    const ShownRun under = runWith(document, "under");
    EXPECT_TRUE(under.format.underline);
    const ShownRun struck = runWith(document, "struck");
    EXPECT_TRUE(struck.format.strike);
    const ShownRun reset = runWith(document, " reset");  // merged with the plain space before it
    EXPECT_EQ(reset.format, CharFormat{});
    const RichDocument toggled = readRtf("{\\rtf1 \\b\\i\\ul on\\b0\\i0\\ul0 off}");
    EXPECT_TRUE(runWith(toggled, "on").format.bold);
    EXPECT_EQ(runWith(toggled, "off").format, CharFormat{});
}

TEST(ReadRtf, SameFormatTextMergesIntoOneRun) {
    const RichDocument document = readRtf("{\\rtf1 {\\b one}{\\b  two}\\b  three\\b0 \\b0 {}four}");
    ASSERT_EQ(document.paragraphs.size(), 1u);
    const auto runs = runsOf(document, document.paragraphs[0]);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, "one two three");
    EXPECT_EQ(runs[1].text, "four");
}

TEST(ReadRtf, FontTableSizeAndDefaultFont) {
    const RichDocument document = readRtf(
        "{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}"
        "\\f2\\fmodern Courier New;}"
        "default {\\f0\\fs23 arial small}{\\f2\\fs48 courier big}\\fs unset{\\f9 unknown}}");
    EXPECT_EQ(textOf(document), "default arial smallcourier bigunsetunknown");
    EXPECT_EQ(runWith(document, "default ").font, "Times New Roman");
    EXPECT_EQ(runWith(document, "default ").format.fontSize, 0);
    EXPECT_EQ(runWith(document, "arial small").font, "Arial");
    EXPECT_EQ(runWith(document, "arial small").format.fontSize, 11.5f);
    EXPECT_EQ(runWith(document, "courier big").font, "Courier New");
    EXPECT_EQ(runWith(document, "courier big").format.fontSize, 24);
    EXPECT_EQ(runWith(document, "unset").format.fontSize, 12);  // \fs alone: the RTF default
    EXPECT_EQ(runWith(document, "unknown").font, "");           // a font not in the table
}

TEST(ReadRtf, ColourTableGivesBgrValues) {
    const RichDocument document = readRtf(
        "{\\rtf1{\\colortbl\\red9\\green9\\blue9;\\red255\\green0\\blue0;\\red0\\green128\\blue255;;}"
        "{\\cf1 red}{\\cf2 azure}{\\cf0 auto}{\\cf3 empty}{\\cf77 beyond}}");
    // entry 0 is automatic even when the table gives it a value; automatic, empty and unknown
    // entries all give the pane colour, so their text is one run
    EXPECT_EQ(runWith(document, "red").format.color, 0x0000FF);
    EXPECT_EQ(runWith(document, "azure").format.color, 0xFF8000);
    EXPECT_EQ(runWith(document, "autoemptybeyond").format.color, kDefaultColor);
}

TEST(ReadRtf, ParagraphsAndTheirAlignment) {
    const RichDocument document = readRtf(
        "{\\rtf1\\pard\\qc centred\\par\\pard right\\qr\\par\\pard\\qj justified\\par\\pard left\\par"
        "\\qc late\\ql\\par}");
    ASSERT_EQ(document.paragraphs.size(), 5u);
    EXPECT_EQ(textOf(document), "centred\nright\njustified\nleft\nlate");
    EXPECT_EQ(document.paragraphs[0].alignment, Alignment::Center);
    EXPECT_EQ(document.paragraphs[1].alignment, Alignment::Right);  // set before \par counts
    EXPECT_EQ(document.paragraphs[2].alignment, Alignment::Justify);
    EXPECT_EQ(document.paragraphs[3].alignment, Alignment::Left);
    EXPECT_EQ(document.paragraphs[4].alignment, Alignment::Left);  // the alignment at \par wins
}

TEST(ReadRtf, LastParagraphWithoutParIsKept) {
    const RichDocument document = readRtf("{\\rtf1 one\\par {\\qc two}}");
    ASSERT_EQ(document.paragraphs.size(), 2u);
    EXPECT_EQ(paragraphText(document.paragraphs[1]), "two");
    EXPECT_EQ(document.paragraphs[1].alignment, Alignment::Center);
}

TEST(ReadRtf, EmptyParagraphsStayButNoEmptyOneAfterTheLastPar) {
    const RichDocument document = readRtf("{\\rtf1 a\\par\\par b\\par}");
    ASSERT_EQ(document.paragraphs.size(), 3u);
    EXPECT_TRUE(document.paragraphs[1].runs.empty());
}

TEST(ReadRtf, BreaksTabsAndSymbols) {
    EXPECT_EQ(textOf("{\\rtf1 a\\line b\\tab c\\sect d\\page e}"), "a\u2028b\tc\nd\ne");
    EXPECT_EQ(textOf("{\\rtf1 \\\\ \\{ \\} x\\~y\\-z\\_w}"), "\\ { } x\u00A0y\u00ADz\u2011w");
    EXPECT_EQ(textOf("{\\rtf1 \\emdash\\endash\\lquote x\\rquote\\ldblquote y\\rdblquote\\bullet}"),
              "—–‘x’“y”•");
}

TEST(ReadRtf, SourceLineEndsAreIgnoredButEscapedOnesBreakParagraphs) {
    EXPECT_EQ(textOf("{\\rtf1 one\r\ntwo\rthree\nfour}"), "onetwothreefour");
    EXPECT_EQ(textOf("{\\rtf1 one\\\ntwo\\\rthree}"), "one\ntwo\nthree");
}

TEST(ReadRtf, ControlWordDelimiters) {
    // one space after a control word belongs to it; a second one is text; digits end at a non-digit
    EXPECT_EQ(textOf("{\\rtf1 \\b  two\\b0;x\\fs20-y}"), " two;x-y");
}

TEST(ReadRtf, AnsiCodePage936HexBytesDecodeInPairs) {
    EXPECT_EQ(textOf("{\\rtf1\\ansi\\ansicpg936 \\'c4\\'e3\\'ba\\'c3 ok}"), "你好 ok");
    // a lead byte may be escaped and the trail byte written plainly
    EXPECT_EQ(textOf("{\\rtf1\\ansicpg936 \\'d6\\'d0\\'ce@x}"), "中蜙x");
}

TEST(ReadRtf, CodePageBytesAcrossControlWordsStillFormCharacters) {
    const RichDocument document = readRtf("{\\rtf1\\ansicpg936 {\\b \\'c4\\'e3}\\'ba\\'c3}");
    EXPECT_EQ(runWith(document, "你").format.bold, true);
    EXPECT_EQ(runWith(document, "好").format.bold, false);
}

TEST(ReadRtf, FontCharsetChoosesTheCodePageOfItsText) {
    const char* rtf =
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset134 "
        "\\'cb\\'ce\\'cc\\'e5;}}"
        "\\f0 caf\\'e9 {\\f1 \\'c4\\'e3\\'ba\\'c3}}";
    const RichDocument document = readRtf(rtf);
    EXPECT_EQ(textOf(document), "café 你好");
    EXPECT_EQ(runWith(document, "你好").font, "宋体");
    // the font's character set wins over the document's code page
    EXPECT_EQ(textOf("{\\rtf1\\ansicpg936{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 \\'e9}"), "é");
}

TEST(ReadRtf, WordPadChineseDocument) {
    // the shape the Windows rich-edit control writes for Chinese text
    const char* rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\nouicompat\\deflang1033\\deflangfe2052{\\fonttbl{"
        "\\f0\\fnil\\fcharset134 "
        "\\'cb\\'ce\\'cc\\'e5;}}\r\n{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\qc\\f0\\fs22\\lang2052\\'c4\\'e3\\'ba\\'c3\\b\\'ca\\'c0\\'bd\\'"
        "e7\\b0\\par\r\n}\r\n";
    const RichDocument document = readRtf(rtf);
    ASSERT_EQ(document.paragraphs.size(), 1u);
    EXPECT_EQ(document.paragraphs[0].alignment, Alignment::Center);
    EXPECT_EQ(runWith(document, "你好").font, "宋体");
    EXPECT_EQ(runWith(document, "你好").format.fontSize, 11);
    EXPECT_TRUE(runWith(document, "世界").format.bold);
}

TEST(ReadRtf, UnicodeEscapesAndTheirFallbacks) {
    EXPECT_EQ(textOf("{\\rtf1 \\u20320?\\u22909?}"), "你好");
    EXPECT_EQ(textOf("{\\rtf1\\uc2 \\u20320\\'c4\\'e3x}"), "你x");
    EXPECT_EQ(textOf("{\\rtf1\\uc0 \\u20320 x}"), "你x");
    EXPECT_EQ(textOf("{\\rtf1 \\u-3913?}"), "\uF0B7");
    // \uc belongs to its group; a group end also ends a fallback
    EXPECT_EQ(textOf("{\\rtf1 {\\uc2\\u20320 ab}\\u22909 cd{\\uc5\\u20320 a}b}"), "你好d你b");
    // a fallback may be a control word or symbol, which then does not act
    EXPECT_EQ(textOf("{\\rtf1 \\u8212\\endash x\\u8212\\{y}"), "—x—y");
}

TEST(ReadRtf, SurrogatePairs) {
    EXPECT_EQ(textOf("{\\rtf1 \\u-10179?\\u-8704?}"), "😀");
    EXPECT_EQ(textOf("{\\rtf1 \\u55357?x}"), kReplacementChar + "x");
    EXPECT_EQ(textOf("{\\rtf1 \\u-8704?x}"), kReplacementChar + "x");
    EXPECT_EQ(textOf("{\\rtf1 \\u-10179?\\u-10179?\\u-8704?}"), kReplacementChar + "😀");
    EXPECT_EQ(textOf("{\\rtf1 a\\u-10179?}"), "a" + kReplacementChar);
}

TEST(ReadRtf, SkippedDestinations) {
    const char* rtf =
        "{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}{\\*\\generator W;}"
        "{\\*\\unknowndest hidden}{\\header head\\par}{\\footer foot}{\\*\\themedata 0102}"
        "{\\*\\listtable{\\list x}}{\\*\\rsidtbl \\rsid1}{\\*\\latentstyles x}{\\*\\datastore 00}"
        "{\\pict\\pngblip 89504e47}{\\object{\\*\\objdata 0a}}"
        "visible {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt {\\ul link}}} end}";
    const RichDocument document = readRtf(rtf);
    EXPECT_EQ(textOf(document), "visible link end");
    ASSERT_EQ(document.paragraphs.size(), 1u);
    EXPECT_TRUE(runWith(document, "link").format.underline);
}

TEST(ReadRtf, HiddenTextIsNotShown) { EXPECT_EQ(textOf("{\\rtf1 a{\\v secret}b\\v hid\\v0 c}"), "abc"); }

TEST(ReadRtf, TableCellsBecomeTabsAndRowsParagraphs) {
    const char* rtf =
        "{\\rtf1\\trowd\\cellx1000\\cellx2000\\pard\\intbl A1\\cell B1\\cell\\row"
        "\\trowd\\cellx1000\\cellx2000\\pard\\intbl A2\\cell B2\\cell\\row\\pard after\\par}";
    EXPECT_EQ(textOf(rtf), "A1\tB1\nA2\tB2\nafter");
}

TEST(ReadRtf, BinaryDataIsSkippedEvenWhenItHoldsBraces) {
    EXPECT_EQ(textOf("{\\rtf1 a{\\pict\\bin5 }{\\}x}b}"), "ab");
    EXPECT_EQ(textOf("{\\rtf1 a\\bin3 xyzb}"), "ab");
}

TEST(ReadRtf, MalformedBracesShowWhatCanBeRead) {
    EXPECT_EQ(textOf("{\\rtf1 a}}b}}"), "ab");
    EXPECT_EQ(textOf("}}}{\\rtf1 a"), "a");
    const RichDocument unclosed = readRtf("{\\rtf1 {\\b bold {\\i more");
    EXPECT_EQ(textOf(unclosed), "bold more");
    EXPECT_TRUE(runWith(unclosed, "more").format.italic);
}

TEST(ReadRtf, TruncatedInputsAndBadEscapes) {
    EXPECT_EQ(textOf("{\\rtf1 a\\"), "a");
    EXPECT_EQ(textOf("{\\rtf1 a\\b"), "a");
    EXPECT_EQ(textOf("{\\rtf1 a\\'"), "a");
    EXPECT_EQ(textOf("{\\rtf1 a\\'4"), "a4");
    EXPECT_EQ(textOf("{\\rtf1 a\\'zzb}"), "azzb");  // not a byte: what follows is text
    EXPECT_EQ(textOf("{\\rtf1 a\\u"), "a");
    EXPECT_EQ(textOf("{\\rtf1 a\\u-"), "a");
    EXPECT_EQ(textOf("{\\rtf1 a\\fs-"), "a-");  // no digit: the '-' is text
    EXPECT_EQ(textOf("{\\rtf1\\ansicpg936 a\\'c4"), "a" + kReplacementChar);
    EXPECT_EQ(textOf("{\\rtf1 a\\bin"), "a");
    EXPECT_EQ(textOf("{\\rtf1 a\\bin99999999999999999999"), "a");
}

TEST(ReadRtf, HugeParametersAreClamped) {
    const RichDocument document = readRtf(
        "{\\rtf1{\\colortbl;\\red99999999999\\green-5\\blue256;}\\fs99999999999999999999999 big"
        "\\fs-7 neg\\cf1 col\\cf-99999999999999 none\\f-99999999999 \\u99999999999 ?x\\uc99999999999 \\u65 "
        "}");
    EXPECT_EQ(runWith(document, "big").format.fontSize, 1638);
    EXPECT_EQ(runWith(document, "neg").format.fontSize, 0);
    EXPECT_EQ(runWith(document, "col").format.color, 0xFF00FF);
    EXPECT_EQ(textOf(document), "bignegcolnone" + kReplacementChar + "xA");
}

TEST(ReadRtf, DeepNestingIsReadFlatBeyondTheCap) {
    std::string rtf = "{\\rtf1 ";
    for (int i = 0; i < 100000; ++i) rtf += "{";
    rtf += "\\b deep";
    for (int i = 0; i < 100000; ++i) rtf += "}";
    rtf += " shallow}";
    const RichDocument document = readRtf(rtf);
    EXPECT_EQ(textOf(document), "deep shallow");
    EXPECT_TRUE(runWith(document, "deep").format.bold);
    EXPECT_FALSE(runWith(document, " shallow").format.bold);
}

TEST(ReadRtf, EmptyAndMinimalInputs) {
    EXPECT_TRUE(readRtf("").paragraphs.empty());
    EXPECT_TRUE(readRtf("{\\rtf").paragraphs.empty());
    EXPECT_TRUE(readRtf("{\\rtf1}").paragraphs.empty());
    EXPECT_TRUE(readRtf("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}}").paragraphs.empty());
}

TEST(ReadRtf, NulAndControlBytesInTheSourceAreIgnored) {
    EXPECT_EQ(textOf("{\\rtf1 a\0b\x01"
                     "c\td}\0\0\0"s),
              "abc\td");
}

TEST(ReadRtf, LeadingMarkAndWhiteSpaceAreSkipped) {
    EXPECT_EQ(textOf("\xEF\xBB\xBF \r\n{\\rtf1 text}"), "text");
}

TEST(ReadRtf, RandomGarbageNeverBreaksTheReader) {
    std::mt19937 random(11);
    const std::string alphabet = "{}\\'uc0123456789-abfsplinqr ;\r\n\xC4\xE3";
    for (int round = 0; round < 2000; ++round) {
        std::string rtf = "{\\rtf1\\ansicpg936 ";
        const std::size_t length = random() % 200;
        for (std::size_t i = 0; i < length; ++i) rtf += alphabet[random() % alphabet.size()];
        const RichDocument document = readRtf(rtf);
        for (const Paragraph& paragraph : document.paragraphs) {
            ASSERT_EQ(paragraph.text.find('\n'), std::string::npos) << rtf;
            for (const ShownRun& run : runsOf(document, paragraph)) ASSERT_FALSE(run.text.empty()) << rtf;
        }
    }
}

TEST(ReadRtf, LargeDocumentKeepsEveryParagraph) {
    const std::string paragraph =
        "\\pard\\plain\\qc{\\f1\\fs24 Ordinary text with {\\b bold} and {\\i italic} words, "
        "\\u20320?\\'c4\\'e3 and more.}\\par\r\n";
    std::string rtf = "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f1 Arial;}}";
    std::size_t paragraphs = 0;
    for (; rtf.size() < 5'000'000; ++paragraphs) rtf += paragraph;
    rtf += "}";
    const RichDocument document = readRtf(rtf);
    EXPECT_EQ(document.paragraphs.size(), paragraphs);
}

// The forms word processors write that a reader of RTF 1.9.1 must follow, each
// as LibreOffice 7.4 reads it where it agrees.
struct TextCase {
    const char* rtf;
    const char* text;
};

TEST(ReadRtf, WordProcessorFormsGiveTheirText) {
    const TextCase cases[] = {
        // LibreOffice writes the halves of a pair with a \uc change between them.
        {R"({\rtf1\ansi \uc0 \u55357\uc1 \u56832\'3f})", "😀"},
        {R"({\rtf1\ansi \uc0 \u55360\uc1 \u56320\'3f x})", "𠀀 x"},
        // A bullet in a symbol font is a glyph number of that font, not a byte of the code page.
        {R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset134 SimSun;}{\f1\fcharset2 Symbol;}}\f0 {\f1 \'b7}\tab\'d6\'d0})",
         "•\t中"},
        {R"({\rtf1\ansi{\fonttbl{\f0 Arial;}{\f1\fcharset2 Symbol;}}\f0 {\f1 \'b7}\tab x})", "•\tx"},
        {R"({\rtf1\ansi{\fonttbl{\f1\fcharset2 Symbol;}}{\f1 abp \u-3913 ?\u183 ?\u61623\'b7}})", "αβπ •••"},
        {R"({\rtf1\ansi{\fonttbl{\f1\fcharset2 Wingdings;}}{\f1 \'fc\'a7J\u252\'fc}})", "✓▪☺✓"},
        // a symbol font no table knows keeps its glyph numbers where such a font has them
        {R"({\rtf1\ansi{\fonttbl{\f1\fcharset2 Marlett;}}{\f1 \'61}})", "\uF061"},
        // without \fcharset2 a font named Symbol is read through the code page, as LibreOffice does
        {R"({\rtf1\ansi{\fonttbl{\f1 Symbol;}}{\f1 \'b7a}})", "·a"},
        // \upr: the Unicode half, not the ANSI one (LibreOffice 7.4 shows both)
        {R"({\rtf1\ansi a{\upr{\'3f\'3f}{\*\ud{\u20320\'3f\u22909\'3f}}}b})", "a你好b"},
        // a footnote's text is skipped; its number stays in the text
        {R"({\rtf1\ansi a{\super\chftn}{\*\footnote\pard {\super\chftn} note}b{\super\chftn}})", "a1b2"},
    };
    for (const TextCase& c : cases) EXPECT_EQ(textOf(c.rtf), c.text) << c.rtf;
}

TEST(ReadRtf, UnicodePairInTheFontTableNamesTheFont) {
    const RichDocument document = readRtf(
        R"({\rtf1\ansi{\fonttbl{\f0 Arial;}{\upr{\f1 \'cb\'ce\'cc\'e5;}{\*\ud{\f1 \u23435\'3f\u20307\'3f;}}}}\f1 x})");
    EXPECT_EQ(runWith(document, "x").font, "宋体");
}

// \b, \f, \fs apply to text of every kind; \ab, \af, \afs given after \loch, \hich or \dbch (or
// \rtlch) apply to the text of that kind, which is the text after that word.
struct FormatCase {
    const char* rtf;
    bool bold;
    float size;
    const char* font;
};

TEST(ReadRtf, AssociatedPropertiesApplyToTheirRunType) {
    const char* const head = R"({\rtf1\ansi{\fonttbl{\f0 Arial;}{\f1 SimSun;}{\f2 Courier New;}}\f0 )";
    const FormatCase cases[] = {
        {R"({\dbch\ab x})", true, 0, "Arial"},
        {R"({\loch\b x})", true, 0, "Arial"},
        {R"({\b\dbch x})", true, 0, "Arial"},
        {R"({\loch\ab x})", true, 0, "Arial"},
        {R"({\ab x})", true, 0, "Arial"},  // no run type: the ordinary property
        {R"({\dbch\afs40\af1 x})", false, 20, "SimSun"},
        {R"({\fs20\dbch\afs40\loch x})", false, 10, "Arial"},
        {R"({\b\dbch\ab0 x})", false, 0, "Arial"},
        // as Word writes a run: each kind of text gets its own font, this text is double-byte
        {R"({\loch\af0\hich\af2\dbch\af1 x})", false, 0, "SimSun"},
        {R"({\hich\af2\dbch\af1\loch\f0 x})", false, 0, "Arial"},
        // properties after \rtlch are those of right-to-left text; this text is left-to-right
        {R"({\rtlch\ab\af2\afs40 \ltrch\f0 x})", false, 0, "Arial"},
        {R"({\ltrch\b0\rtlch\ab\af2 x})", true, 0, "Courier New"},
        // \plain resets them
        {R"({\dbch\ab\af1\plain x})", false, 0, ""},
        // RTF 1.9.1 gives properties after \dbch to double-byte text only; LibreOffice
        // 7.4 also makes this low-ANSI text bold.
        {R"({\dbch\ab\loch x})", false, 0, "Arial"},
    };
    for (const FormatCase& c : cases) {
        const ShownRun run = runWith(readRtf(std::string(head) + c.rtf + "}"), "x");
        EXPECT_EQ(run.format.bold, c.bold) << c.rtf;
        EXPECT_EQ(run.format.fontSize, c.size) << c.rtf;
        EXPECT_EQ(run.font, c.font) << c.rtf;
    }
    // the example of a LibreOffice heading: bold and size for the Chinese, none for the rest
    const RichDocument document =
        readRtf(R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0 {\dbch\ab \u31895\'3f\u20307\'3f} {\loch\b bold}})");
    EXPECT_TRUE(runWith(document, "粗体").format.bold);
    EXPECT_FALSE(runWith(document, " ").format.bold);
    EXPECT_TRUE(runWith(document, "bold").format.bold);
}

// A megabyte of each file that once took gigabytes or minutes raises the reader's resident memory
// by less than 20 times the file, counted in a copy of the process.
TEST(ReadRtf, HostileFilesAreReadWithinTwentyTimesTheirSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own memory would be counted";
#endif
    const std::pair<const char*, std::string> files[] = {
        {"long font name", fakes::longFontNameRtf(1 << 20)},
        {"many formats", fakes::manyFormatsRtf(1 << 20)},
    };
    for (const auto& [name, rtf] : files) {
        const long long growth = fakes::peakResidentGrowth([&rtf] {
            const RichDocument document = readRtf(rtf);
            std::size_t runs = 0;
            for (const Paragraph& paragraph : document.paragraphs) runs += paragraph.runs.size();
            if (runs < 10000) throw std::runtime_error("not read");
        });
        ASSERT_GE(growth, 0) << name << ": not measured";
        EXPECT_LT(growth, 20 * static_cast<long long>(rtf.size())) << name;
        std::printf("%s: %lld KiB at the peak for a %zu KiB file\n", name, growth / 1024, rtf.size() / 1024);
    }
    // The long name is held once, cut short, and each run refers to it.
    const RichDocument document = readRtf(fakes::longFontNameRtf(1 << 20));
    ASSERT_EQ(document.fonts.size(), 2u);
    EXPECT_EQ(document.fonts[0], std::string(128, 'A'));
    EXPECT_EQ(document.formats.size(), 2u);
}

std::string readFixture(const std::string& name) {
    std::ifstream file(std::string(CORVANE_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(ReadRtf, LibreOfficeDocument) {
    const std::string rtf = readFixture("libreoffice_sample.rtf");
    ASSERT_TRUE(looksLikeRtf(rtf));
    const RichDocument document = readRtf(rtf);
    EXPECT_EQ(textOf(document),
              "Plain opening line.\n"
              "Some bold, some italic and some underlined words.\n"
              "Centred paragraph\n"
              "Right-aligned paragraph\n"
              "中文段落：你好，世界。\n"
              "Red text then struck text.\n"
              "Courier sixteen\n"
              "Cell one\tCell two\n"
              "Last line.");
    ASSERT_EQ(document.paragraphs.size(), 9u);
    EXPECT_EQ(document.paragraphs[0].alignment, Alignment::Left);
    EXPECT_EQ(document.paragraphs[2].alignment, Alignment::Center);
    EXPECT_EQ(document.paragraphs[3].alignment, Alignment::Right);
    EXPECT_TRUE(runWith(document, "bold").format.bold);
    EXPECT_FALSE(runWith(document, "bold").format.italic);
    EXPECT_TRUE(runWith(document, "italic").format.italic);
    EXPECT_TRUE(runWith(document, "underlined").format.underline);
    EXPECT_TRUE(runWith(document, "struck").format.strike);
    EXPECT_EQ(runWith(document, "Red text").format.color, 0x0000FF);
    EXPECT_EQ(runWith(document, " then ").format.color, kDefaultColor);
    EXPECT_EQ(runWith(document, "Courier sixteen").font, "Courier New");
    EXPECT_EQ(runWith(document, "Courier sixteen").format.fontSize, 16);
    // text without a font of its own is in the document's default font
    EXPECT_EQ(runWith(document, "Plain opening line.").font, "DejaVu Serif");
}

// LibreOffice's text export writes glyphs of symbol fonts as the fonts' own codes; these are the
// characters the Symbol and Wingdings charts show for them.
std::string asShown(std::string text) {
    const std::pair<std::string_view, std::string_view> glyphs[] = {
        {"\uF061", "α"}, {"\uF062", "β"}, {"\uF070", "π"}, {"\uF0B7", "•"}, {"üØ", "✓⮚"}};
    for (const auto& [code, shown] : glyphs) {
        for (std::size_t at = text.find(code); at != std::string::npos;
             at = text.find(code, at + shown.size()))
            text.replace(at, code.size(), shown);
    }
    return text;
}

// Each stretch of white space as one space. LibreOffice's text export writes a list item's label
// as four spaces, the bullet and a space where the file's list text is " •" and a tab, and each
// table cell on a line of its own where the pane shows a row as one line of cells and tabs.
std::string collapsedSpace(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\n';
        if (!space) {
            out += c;
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Documents written by scripts/make_rtf_fixture.sh: LibreOffice made each RTF from a document of
// ours, and NAME.txt and NAME.formats.tsv are what LibreOffice itself reads from that RTF.
class LibreOfficeDocument : public testing::TestWithParam<std::string> {};

TEST_P(LibreOfficeDocument, TextIsWhatLibreOfficeReads) {
    const RichDocument document = readRtf(readFixture(GetParam() + ".rtf"));
    const std::string libreOffice = readFixture(GetParam() + ".txt");
    ASSERT_FALSE(libreOffice.empty());
    EXPECT_EQ(collapsedSpace(textOf(document)), collapsedSpace(asShown(libreOffice)));
}

TEST_P(LibreOfficeDocument, FormattingIsWhatLibreOfficeReads) {
    const RichDocument document = readRtf(readFixture(GetParam() + ".rtf"));
    std::istringstream table(readFixture(GetParam() + ".formats.tsv"));
    std::string line;
    int checked = 0;
    while (std::getline(table, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        cells.resize(6);
        const std::string text = asShown(cells[0]);
        if (collapsedSpace(text).empty()) continue;
        // the pane's runs over the first place the text stands
        bool found = false;
        for (const Paragraph& paragraph : document.paragraphs) {
            const std::size_t start = paragraph.text.find(text);
            if (start == std::string::npos) continue;
            found = true;
            std::size_t at = 0;
            for (const ShownRun& run : runsOf(document, paragraph)) {
                const std::size_t end = at + run.text.size();
                if (end > start && at < start + text.size()) {
                    EXPECT_EQ(run.format.bold, cells[1] == "1") << text;
                    EXPECT_EQ(run.format.italic, cells[2] == "1") << text;
                    EXPECT_EQ(run.format.underline, cells[3] == "1") << text;
                    if (!cells[4].empty()) {
                        EXPECT_EQ(run.format.fontSize, std::stof(cells[4])) << text;
                    }
                    const std::int32_t colour =
                        cells[5].empty()
                            ? kDefaultColor
                            : static_cast<std::int32_t>(std::stoul(cells[5].substr(1), nullptr, 16));
                    const std::int32_t bgr =
                        colour == kDefaultColor
                            ? kDefaultColor
                            : ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
                    EXPECT_EQ(run.format.color, bgr) << text;
                    ++checked;
                }
                at = end;
            }
            break;
        }
        EXPECT_TRUE(found) << "LibreOffice reads \"" << text << "\", the pane does not";
    }
    EXPECT_GT(checked, 10);
}

INSTANTIATE_TEST_SUITE_P(ReadRtf, LibreOfficeDocument, testing::Values("libreoffice_zh", "libreoffice_en"));

}  // namespace
}  // namespace corvane
