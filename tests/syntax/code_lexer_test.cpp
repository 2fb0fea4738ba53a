#include "syntax/code_lexer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {
namespace {

using Token = CodeToken;

std::string readData(const std::string& name) {
    std::ifstream in(std::string(CORVANE_TEST_DATA) + "/code/" + name, std::ios::binary);
    if (!in) throw std::runtime_error("missing test file " + name);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CodeLanguage languageOf(const std::string& name) {
    if (name.ends_with(".html")) return CodeLanguage::Html;
    return name.ends_with(".css") ? CodeLanguage::Css : CodeLanguage::JavaScript;
}

struct Span {
    std::size_t start;
    std::size_t length;
    Token token;
};

// Keeps the spans of one piece and whether they kept the sink's promises: in order, apart,
// not empty, inside the piece, never plain.
class Recorder : public CodeSpanSink {
public:
    Recorder(std::size_t offset, std::size_t size) : offset_(offset), size_(size) {}
    void span(std::size_t start, std::size_t length, Token token) override {
        if (length == 0 || start < end_ || start + length > size_ || token == Token::Plain) sound = false;
        end_ = start + length;
        spans.push_back({offset_ + start, length, token});
    }
    std::vector<Span> spans;
    bool sound = true;

private:
    std::size_t offset_;
    std::size_t size_;
    std::size_t end_ = 0;
};

// A text lexed line by line, each line whole or in pieces.
struct Lexed {
    std::vector<Token> colours;  // one a code unit; line ends stay plain
    std::vector<Span> spans;
    std::vector<int> lineStates;    // the state after each line
    std::vector<std::size_t> cuts;  // where a piece ended inside a line
    bool sound = true;
};

// Lines end at "\n"; the last line ends the text without a line end. A cut inside a line splits
// it into pieces, as a long line held as several display blocks is.
template <typename Char>
Lexed lexText(int state, std::basic_string_view<Char> text, const std::vector<std::size_t>& cuts = {}) {
    Lexed out;
    out.colours.assign(text.size(), Token::Plain);
    auto nextCut = cuts.begin();
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find(Char('\n'), lineStart);
        const bool endsLine = lineEnd != std::basic_string_view<Char>::npos;
        if (!endsLine) lineEnd = text.size();
        std::size_t pos = lineStart;
        do {
            while (nextCut != cuts.end() && *nextCut <= pos) ++nextCut;
            const std::size_t pieceEnd = nextCut != cuts.end() && *nextCut < lineEnd ? *nextCut : lineEnd;
            const bool last = pieceEnd == lineEnd;
            Recorder recorder(pos, pieceEnd - pos);
            state = lexCode(state, text.substr(pos, pieceEnd - pos), last && endsLine, &recorder);
            EXPECT_GE(state, 0);
            out.sound = out.sound && recorder.sound;
            for (const Span& span : recorder.spans) {
                std::fill_n(out.colours.begin() + static_cast<std::ptrdiff_t>(span.start), span.length,
                            span.token);
                out.spans.push_back(span);
            }
            if (!last) out.cuts.push_back(pieceEnd);
            pos = pieceEnd;
        } while (pos < lineEnd);
        out.lineStates.push_back(state);
        lineStart = lineEnd + 1;
    }
    return out;
}

Lexed lexText(CodeLanguage language, std::string_view text, const std::vector<std::size_t>& cuts = {}) {
    return lexText(codeStartState(language), text, cuts);
}

// Cuts every 1 to maxPiece units.
std::vector<std::size_t> randomCuts(std::size_t size, std::size_t maxPiece, std::mt19937& rng) {
    std::vector<std::size_t> cuts;
    for (std::size_t at = 0; at < size;) {
        at += std::uniform_int_distribution<std::size_t>(1, maxPiece)(rng);
        cuts.push_back(at);
    }
    return cuts;
}

// Colours agree everywhere but in the tokens a piece boundary cuts: a word or a "<!" split
// across two pieces can only be coloured by what each piece holds. States agree at every line end.
void expectSameLexing(const Lexed& whole, const Lexed& cut, const std::string& what) {
    EXPECT_TRUE(cut.sound) << what;
    EXPECT_EQ(whole.lineStates, cut.lineStates) << what;
    std::vector<bool> skip(whole.colours.size() + 1, false);
    for (const std::size_t at : cut.cuts) skip[at] = skip[at - 1] = true;
    for (const std::vector<Span>* spans : {&whole.spans, &cut.spans}) {
        for (const Span& span : *spans) {
            const auto next = std::lower_bound(cut.cuts.begin(), cut.cuts.end(), span.start);
            if (next != cut.cuts.end() && *next <= span.start + span.length) {
                std::fill_n(skip.begin() + static_cast<std::ptrdiff_t>(span.start), span.length, true);
            }
        }
    }
    for (std::size_t i = 0; i < whole.colours.size(); ++i) {
        if (!skip[i] && whole.colours[i] != cut.colours[i]) {
            ADD_FAILURE() << what << ": colour differs at " << i << " (" << static_cast<int>(whole.colours[i])
                          << " whole, " << static_cast<int>(cut.colours[i]) << " in pieces)";
            return;
        }
    }
}

// One letter a token, in the order of CodeToken.
constexpr std::string_view kLetters = ".CKSNRTAEDLPV@I";

// Where a probe expects a colour: in a real file (source names it) or in a few lines written
// here (source is the text), at the first `probe` after `after`. `colours` gives one letter a
// unit of the probe (C comment, K keyword, S string, N number, R regex, T tag, A attribute,
// E entity, D doctype, L selector, P property, V value, @ at-rule, I important, . plain), or
// one letter for all of it.
struct Probe {
    CodeLanguage language;
    std::string source;
    std::string after;
    std::string probe;
    std::string colours;
};

const std::vector<Probe>& probes() {
    using enum CodeLanguage;
    static const std::vector<Probe> table = {
        // A Node.js manual page: inline script and style, comments, attributes
        {Html, "string_decoder.html", "", "<!DOCTYPE html>", "D"},
        {Html, "string_decoder.html", "", "<meta charset=\"utf-8\">", "TTTTT.AAAAAAA.SSSSSSST"},
        {Html, "string_decoder.html", "<script>", "const storedTheme", "KKKKK............"},
        {Html, "string_decoder.html", "<script>", "'theme'", "S"},
        {Html, "string_decoder.html", "<script>", "// Follow operating system theme preference", "C"},
        {Html, "string_decoder.html", "<script>", "=== null", "....KKKK"},
        {Html, "string_decoder.html", "<script>", "</script>", "T"},
        {Html, "string_decoder.html", "<style>", "@media(max-width:678px){", "@@@@@@.VVVVVVVVV.NNNNN.."},
        {Html, "string_decoder.html", "<style>",
         ".with-57-chars>.js-flavor-toggle{float:none;margin:0 0 1em auto;}",
         "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL.PPPPP.VVVV.PPPPPP.N.N.NNN.VVVV.."},
        {Html, "string_decoder.html", "</style>", "<body class=", "TTTTT.AAAAA."},
        {Html, "string_decoder.html", "", "<!-- API END -->", "C"},
        {Html, "string_decoder.html", "symbol (", "<code>€</code>", "TTTTTT...TTTTTTT"},
        // A minified library: regular expressions told from division, strings, keywords
        {JavaScript, "underscore.min.js", "", "!function(n,r){var t,e;", ".KKKKKKKK......KKK....."},
        {JavaScript, "underscore.min.js", "", "1/n==1/r", "N....N.."},
        {JavaScript, "underscore.min.js", "", "/<%([\\s\\S]+?)%>/g", "R"},
        {JavaScript, "underscore.min.js", "", "/\\\\|'|\\r|\\n|\\u2028|\\u2029/g", "R"},
        {JavaScript, "underscore.min.js", "", "typeof/./", "KKKKKKRRR"},
        {JavaScript, "underscore.min.js", "", "\"1.13.4\"", "S"},
        // A hand-written script in Latin-1: comments, regular expressions in classes
        {JavaScript, "sorttable.js", "", "/*\n  SortTable", "C"},
        {JavaScript, "sorttable.js", "", "/^(\\d\\d?)[\\/\\.-](\\d\\d?)[\\/\\.-]((\\d\\d)?\\d\\d)$/", "R"},
        {JavaScript, "sorttable.js", "", "// can have / or . or - as separator", "C"},
        // Template strings with ${}
        {JavaScript, "doctools.js", "", "`tr.cg-${idNumber}`", "SSSSSSS...........S"},
        {JavaScript, "doctools.js", "", "`${el.src.substr(0, el.src.length - 9)}plus.png`",
         "S................N..................N..SSSSSSSSS"},
        // A style sheet
        {Css, "gitweb.css", "", "body {\n\tfont-family: sans-serif;", "LLLLL...PPPPPPPPPPP..VVVVVVVVVV."},
        {Css, "gitweb.css", "", "border: solid #d9d8d1;", "PPPPPP..VVVVV.NNNNNNN."},
        {Css, "gitweb.css", "", "a:hover, a:visited, a:active {", "LLLLLLLLLLLLLLLLLLLLLLLLLLLLL."},
        {Css, "gitweb.css", "", "padding: 0px 2px 0px 2px;", "PPPPPPP..NNN.NNN.NNN.NNN."},
        // What the real files above do not show
        {Html, "a &amp; b &#160; c & d &lt", "", "&amp; b &#160; c & d &lt", "EEEEE...EEEEEE.......EEE"},
        {Html, "<script>var s = \"</script>\"; x</script>", "", "\"</script>\"; x</script>",
         "STTTTTTTTT....TTTTTTTTT"},
        {Html, "<script>a</SCRIPT >b</scripty></script>", "", "a</SCRIPT >b</scripty>",
         ".TTTTTTTT.T.TTTTTTTTTT"},
        {Html, "<style>p{color:red}</style x>q", "", "</style x>q", "TTTTTTT.AT."},
        {Html, "<style>a//</style>b", "", "a//</style>b", "LLLTTTTTTTT."},
        {Html, "<script>x=/</script>", "", "=/</script>", ".RTTTTTTTTT"},
        {Html, "<!--> x <!---> y <!-- z --!> -->w", "", "<!--> x <!---> y <!-- z --!> -->w",
         "CCCCC...CCCCCC...CCCCCCCCCCC....."},
        {Html, "<?xml version=\"1.0\"?><a href=x title='y' b>", "",
         "<?xml version=\"1.0\"?><a href=x title='y' b>", "DDDDDDDDDDDDDDDDDDDDDTT.AAAA.S.AAAAA.SSS.AT"},
        {Css, "a{b:c !important;d:url( \"x\" );e:url(x;y) f}", "", "!important;d:url( \"x\" );e:url(x;y) f}",
         "IIIIIIIIII.P.VVV..SSS...P.VVV.SSS..V."},
        {Css, "@font-face{src:x}@media print{p{q:1px}}@page{margin:0}", "",
         "@font-face{src:x}@media print{p{q:1px}}", "@@@@@@@@@@.PPP.V.@@@@@@.VVVVV.L.P.NNN.."},
        {Css, "/* a\nb */ p { /* c */ color: /* d */ blue }", "", "b */ p { /* c */ color: /* d */ blue }",
         "CCCC.LL..CCCCCCC.PPPPP..CCCCCCC.VVVV.."},
        {JavaScript, "x = a.delete / 2 / b; y = delete /re/; a.b\n  .in / 2", "",
         "a.delete / 2 / b; y = delete /re/", "...........N..........KKKKKK.RRRR"},
        {JavaScript, "let s = `a${`b${`c${`d${1}`}`}`}e`", "", "`a${`b${`c${`d${1}`}`}`}e`",
         "SS..SS..SS..SSSSSSS.S.S.SS"},
        {JavaScript, "f(`x${ {a:1} }y`)", "", "`x${ {a:1} }y`", "SS......N...SS"},
        {JavaScript, "'open\nx \"a\\\nb\" /* c\nd */ // e", "", "x \"a\\\nb\" /* c\nd */ // e",
         "..SSSSSS.CCCCCCCCC.CCCC"},
        {JavaScript, "a = /x\nb / 2", "", "/x\nb / 2", "RR.....N"},
        {JavaScript, "n = 0x1E+1 + 1e+5 + 10n", "", "0x1E+1 + 1e+5 + 10n", "NNNN.N...NNNN...NNN"},
        // Unterminated: a comment or template runs on to the next line, a string or regular
        // expression ends with its line
        {Html, "<!-- open\n<p>still a comment", "", "<p>still a comment", "C"},
        {Html, "<a title=\"one\ntwo\" href=x>", "", "two\" href=x>", "SSSS.AAAA.ST"},
        {Css, "a { content: \"open\n} b { c: d }", "", "} b { c: d }", "..LL..P..V.."},
        {Css, "/* open\na { b: c }", "", "a { b: c }", "C"},
        {JavaScript, "s = `one\ntwo ${x} three", "", "two ${x} three", "SSSS....SSSSSS"},
        {JavaScript, "/* never closed\nx = 1", "", "x = 1", "C"},
    };
    return table;
}

const std::vector<std::string> kRealFiles = {"string_decoder.html", "underscore.min.js", "sorttable.js",
                                             "doctools.js", "gitweb.css"};

std::string sourceOf(const Probe& probe) {
    const bool file = std::find(kRealFiles.begin(), kRealFiles.end(), probe.source) != kRealFiles.end();
    return file ? readData(probe.source) : probe.source;
}

TEST(CodeLexer, KnownTokensLandWhereTheyStand) {
    for (const Probe& probe : probes()) {
        const std::string text = sourceOf(probe);
        const std::size_t at = text.find(probe.probe, text.find(probe.after));
        ASSERT_NE(at, std::string::npos) << probe.probe;
        const Lexed lexed = lexText(probe.language, text);
        EXPECT_TRUE(lexed.sound) << probe.source;
        std::string expected =
            probe.colours.size() == 1 ? std::string(probe.probe.size(), probe.colours[0]) : probe.colours;
        std::string seen;
        for (std::size_t i = 0; i < probe.probe.size(); ++i) {
            // line ends carry no colour of their own
            seen += probe.probe[i] == '\n' ? expected.at(i)
                                           : kLetters[static_cast<std::size_t>(lexed.colours[at + i])];
        }
        EXPECT_EQ(seen, expected) << probe.probe;
    }
}

TEST(CodeLexer, RealFilesEndOutsideEveryConstruct) {
    for (const std::string& name : kRealFiles) {
        const Lexed lexed = lexText(languageOf(name), readData(name));
        EXPECT_TRUE(lexed.sound) << name;
        EXPECT_EQ(lexed.lineStates.back(), codeStartState(languageOf(name))) << name;
    }
}

TEST(CodeLexer, PiecesLexAsTheWholeLine) {
    std::mt19937 rng(18);
    for (const std::string& name : kRealFiles) {
        const std::string text = readData(name);
        const Lexed whole = lexText(languageOf(name), text);
        for (const std::size_t maxPiece : {1, 7, 64}) {
            expectSameLexing(whole, lexText(languageOf(name), text, randomCuts(text.size(), maxPiece, rng)),
                             name + " in pieces of at most " + std::to_string(maxPiece));
        }
    }
}

TEST(CodeLexer, EveryCutOfAShortSampleLexesAsTheWhole) {
    for (const Probe& probe : probes()) {
        const std::string text = sourceOf(probe);
        if (text.size() > 200) continue;
        const Lexed whole = lexText(probe.language, text);
        for (std::size_t at = 1; at < text.size(); ++at) {
            expectSameLexing(whole, lexText(probe.language, text, {at}),
                             "\"" + text + "\" cut at " + std::to_string(at));
        }
    }
}

TEST(CodeLexer, AMegabyteOfMinifiedScriptOnOneLine) {
    const std::string copy = readData("underscore.min.js");
    std::string line;
    std::size_t copies = 0;
    for (; line.size() < (std::size_t{1} << 20); ++copies) line += copy + ";";
    const Lexed one = lexText(CodeLanguage::JavaScript, copy + ";");
    const Lexed whole = lexText(CodeLanguage::JavaScript, line);
    EXPECT_TRUE(whole.sound);
    EXPECT_EQ(whole.lineStates.back(), codeStartState(CodeLanguage::JavaScript));
    // underscore 1.13.4 holds nine regular-expression literals; every copy colours alike
    const auto regexes = [](const Lexed& lexed) {
        return std::count_if(lexed.spans.begin(), lexed.spans.end(),
                             [](const Span& span) { return span.token == Token::Regex; });
    };
    EXPECT_EQ(regexes(one), 9);
    EXPECT_EQ(regexes(whole), 9 * static_cast<std::ptrdiff_t>(copies));
    for (const std::size_t k : {std::size_t{1}, copies / 2, copies - 1}) {
        const auto at = whole.colours.begin() + static_cast<std::ptrdiff_t>(k * one.colours.size());
        EXPECT_TRUE(std::equal(one.colours.begin(), one.colours.end(), at)) << "copy " << k;
    }
    // held as display blocks of 4096 units, or cut anywhere
    std::vector<std::size_t> blocks;
    for (std::size_t at = 4096; at < line.size(); at += 4096) blocks.push_back(at);
    expectSameLexing(whole, lexText(CodeLanguage::JavaScript, line, blocks), "blocks of 4096");
    std::mt19937 rng(17);
    expectSameLexing(whole, lexText(CodeLanguage::JavaScript, line, randomCuts(line.size(), 300, rng)),
                     "cut anywhere");
}

// UTF-16 units from UTF-8, with the UTF-8 offset each unit came from.
std::u16string toUtf16(std::string_view utf8, std::vector<std::size_t>& from) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? b : b & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            from.push_back(i);
            c = 0xDC00 + (c & 0x3FF);
        }
        out += static_cast<char16_t>(c);
        from.push_back(i);
        i += length;
    }
    return out;
}

TEST(CodeLexer, Utf16LexesAsUtf8) {
    for (const std::string& text :
         {readData("string_decoder.html"), std::string("<p title=\"中文😀\">&#20013;文</p>\n"
                                                       "<script>s = '中文😀' + `${中} 😀`; /😀/</script>")}) {
        std::vector<std::size_t> from;
        const std::u16string utf16 = toUtf16(text, from);
        const Lexed narrow = lexText(CodeLanguage::Html, text);
        const Lexed wide = lexText(codeStartState(CodeLanguage::Html), std::u16string_view(utf16));
        EXPECT_TRUE(wide.sound);
        EXPECT_EQ(wide.lineStates, narrow.lineStates);
        for (std::size_t i = 0; i < utf16.size(); ++i) {
            ASSERT_EQ(wide.colours[i], narrow.colours[from[i]]) << "unit " << i;
        }
    }
}

TEST(CodeLexer, StatesAreNonNegativeAndReadBackAsThemselves) {
    std::vector<int> starts;
    for (const CodeLanguage language : {CodeLanguage::Html, CodeLanguage::Css, CodeLanguage::JavaScript}) {
        starts.push_back(codeStartState(language));
    }
    EXPECT_EQ(starts[0], 0);
    EXPECT_NE(starts[1], starts[2]);
    EXPECT_NE(starts[1], 0);
    std::mt19937 rng(5);
    for (const std::string& name : kRealFiles) {
        const std::string text = readData(name);
        for (const int state : lexText(languageOf(name), text, randomCuts(text.size(), 40, rng)).lineStates) {
            EXPECT_GE(state, 0);
            EXPECT_EQ(lexCode(state, std::string_view(), false, nullptr), state);
        }
    }
    // an int the lexer never made reads as a start state
    for (const int bogus : {-1, INT_MIN, INT_MAX, 7, 0x7FFFFFF8, 0x00FFFF02, 0x7423}) {
        const int state = lexCode(bogus, "<p>x", true, nullptr);
        EXPECT_GE(state, 0);
        EXPECT_EQ(lexCode(state, std::string_view(), false, nullptr), state);
    }
}

// The panes re-lex below an edit only until a line ends in the state it ended in before.
TEST(CodeLexer, AnEditChangesTheStatesBelowItOnlyUntilTheyMeetAgain) {
    struct Case {
        std::string file;
        std::string insert;
        std::string closer;  // what ends the construct the inserted line opens
    };
    for (const Case& c : {Case{"string_decoder.html", "<p class=\"x\">changed</p>", ""},
                          Case{"string_decoder.html", "<!--", "-->"}, Case{"gitweb.css", "/*", "*/"},
                          Case{"sorttable.js", "x = `", "`"}, Case{"sorttable.js", "let y = 'a';", ""}}) {
        const std::string text = readData(c.file);
        const CodeLanguage language = languageOf(c.file);
        const Lexed before = lexText(language, text);
        const Lexed after = lexText(language, c.insert + "\n" + text);
        // the line that closes what the insert opened; none: every line below changes
        const std::size_t closed = c.closer.empty() ? 0 : std::min(text.find(c.closer), text.size());
        const auto closingLine = static_cast<std::size_t>(
            std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(closed), '\n') +
            (closed == text.size()));
        for (std::size_t line = 0; line < before.lineStates.size(); ++line) {
            if (line < closingLine) {
                EXPECT_NE(after.lineStates[line + 1], before.lineStates[line])
                    << c.file << " line " << line + 1;
            } else {
                EXPECT_EQ(after.lineStates[line + 1], before.lineStates[line])
                    << c.file << " line " << line + 1;
            }
        }
    }
}

}  // namespace
}  // namespace corvane
