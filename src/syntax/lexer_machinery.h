#pragma once

// The lexer's shared parts: character classes, word tables, the packed state, the span collector
// and the lexer itself, whose languages live in html_lexer.cpp, css_lexer.cpp and js_lexer.cpp.
// Only the lexer's own files include this.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>

#include "syntax/code_lexer.h"

#ifdef CORVANE_COUNT_LEXER_READS
// The fuzz target counts every read of a code unit, to check that lexing is linear in the text.
namespace corvane::fuzz {
extern std::size_t lexerReads;
}
#endif

namespace corvane::lexing {

// ---------------------------------------------------------------------------------------------
// Character classes. Every unit from 0x80 up is an ordinary character: part of a word in
// JavaScript and CSS, plain text in HTML.

enum : std::uint8_t {
    kSpace = 1,     // tab, line feed, vertical tab, form feed, carriage return, space
    kDigit = 2,     // 0-9
    kLetter = 4,    // A-Z a-z
    kJsWord = 8,    // A-Z a-z 0-9 _ $
    kCssWord = 16,  // A-Z a-z 0-9 _ -
    kEntity = 32,   // A-Z a-z 0-9 #
    kNumber = 64,   // A-Z a-z 0-9 _ . : what a JavaScript number literal is made of
};
constexpr std::uint8_t kNonAscii = kJsWord | kCssWord;

constexpr std::array<std::uint8_t, 128> makeClasses() {
    std::array<std::uint8_t, 128> classes{};
    for (int c : {'\t', '\n', '\v', '\f', '\r', ' '}) classes[c] |= kSpace;
    for (int c = '0'; c <= '9'; ++c) classes[c] |= kDigit | kJsWord | kCssWord | kEntity | kNumber;
    for (int c = 'A'; c <= 'Z'; ++c) {
        classes[c] |= kLetter | kJsWord | kCssWord | kEntity | kNumber;
        classes[c + 32] |= kLetter | kJsWord | kCssWord | kEntity | kNumber;
    }
    classes['_'] |= kJsWord | kCssWord | kNumber;
    classes['$'] |= kJsWord;
    classes['-'] |= kCssWord;
    classes['#'] |= kEntity;
    classes['.'] |= kNumber;
    return classes;
}
inline constexpr std::array<std::uint8_t, 128> kClasses = makeClasses();

inline std::uint8_t classOf(std::uint32_t u) { return u < 128 ? kClasses[u] : kNonAscii; }

template <typename Char>
inline std::uint32_t unitOf(Char c) {
    return static_cast<std::make_unsigned_t<Char>>(c);
}

constexpr std::uint32_t fold(std::uint32_t u) { return u >= 'A' && u <= 'Z' ? u + 32 : u; }

// ---------------------------------------------------------------------------------------------
// Word tables: a trie over a-z and '-', built at compile time. Node 0 is "no word starts so",
// node 1 the empty prefix. Where a partly read word decides what follows (a tag named script,
// an at-rule whose block holds rules, a keyword after which '/' starts a regular expression),
// the node is the state, so a word cut by a piece boundary reads as if it came whole.

constexpr int kTrieCapacity = 256;
constexpr int kDeadNode = 0;
constexpr int kRootNode = 1;

struct Trie {
    std::array<std::array<std::uint8_t, 27>, kTrieCapacity> next{};
    std::array<bool, kTrieCapacity> terminal{};
    int size = 2;
};

constexpr int trieIndex(std::uint32_t u) {
    if (u >= 'a' && u <= 'z') return static_cast<int>(u - 'a');
    return u == '-' ? 26 : -1;
}

constexpr Trie makeTrie(std::initializer_list<std::string_view> words) {
    Trie trie;
    for (std::string_view word : words) {
        int node = kRootNode;
        for (char c : word) {
            const int index = trieIndex(static_cast<unsigned char>(c));
            if (trie.next[node][index] == 0) {
                if (trie.size == kTrieCapacity) return Trie{};  // caught by the size checks below
                trie.next[node][index] = static_cast<std::uint8_t>(trie.size++);
            }
            node = trie.next[node][index];
        }
        trie.terminal[node] = true;
    }
    return trie;
}

inline int step(const Trie& trie, int node, std::uint32_t u) {
    const int index = trieIndex(u);
    return index < 0 ? kDeadNode : trie.next[node][index];
}

constexpr int walk(const Trie& trie, std::string_view word) {
    int node = kRootNode;
    for (char c : word) node = trie.next[node][trieIndex(static_cast<unsigned char>(c))];
    return node;
}

// Coloured as keywords (case matters in JavaScript).
inline constexpr Trie kJsKeywords = makeTrie({
    "async",     "await",    "break", "case",   "catch", "class",      "const",   "continue", "debugger",
    "default",   "delete",   "do",    "else",   "enum",  "export",     "extends", "false",    "finally",
    "for",       "function", "if",    "import", "in",    "instanceof", "let",     "new",      "null",
    "return",    "static",   "super", "switch", "this",  "throw",      "true",    "try",      "typeof",
    "undefined", "var",      "void",  "while",  "with",  "yield",
});
// After these a '/' starts a regular expression; after any other word it divides.
inline constexpr Trie kJsRegexWords = makeTrie({"return", "typeof", "instanceof", "in", "of", "new", "delete",
                                                "void", "throw", "case", "do", "else", "yield", "await"});
// Elements whose contents are another language (names fold to lower case).
inline constexpr Trie kRawTextTags = makeTrie({"script", "style"});
// At-rules whose block holds rules rather than declarations.
inline constexpr Trie kCssRuleBlocks =
    makeTrie({"media", "supports", "layer", "container", "keyframes", "-webkit-keyframes", "-moz-keyframes",
              "scope", "starting-style", "document", "-moz-document"});
inline constexpr Trie kCssUrl = makeTrie({"url"});
inline constexpr Trie kCssImportant = makeTrie({"important"});

constexpr int kScriptNode = walk(kRawTextTags, "script");
constexpr int kStyleNode = walk(kRawTextTags, "style");
constexpr int kUrlNode = walk(kCssUrl, "url");

static_assert(kJsKeywords.size > 2 && kJsKeywords.size <= kTrieCapacity);
// Nodes kept in a state must fit its 7-bit payload (the URL node shares it with 3 more bits).
static_assert(kJsRegexWords.size > 2 && kJsRegexWords.size <= 128);
static_assert(kRawTextTags.size > 2 && kRawTextTags.size <= 128);
static_assert(kCssRuleBlocks.size > 2 && kCssRuleBlocks.size <= 128);
static_assert(kCssUrl.size > 2 && kCssUrl.size <= 16);

// ---------------------------------------------------------------------------------------------
// The state. Packed into an int as
//   bits  0-2   context: HTML, CSS, JavaScript, CSS in <style>, JavaScript in <script>
//   bits  3-6   characters of "</script" or "</style" seen at the end of the last piece
//   bits  7-11  mode within the context's language
//   bits 12-18  mode payload (a word-table node, a pending escape, where a comment returns to)
//   bits 19-21  depth: JavaScript template strings open, or CSS blocks open
//   bits 22-30  per depth: JavaScript's open braces in each ${} (3 bits each), or one bit per CSS
//               block that holds rules
// Fields a mode does not use are always zero, so equal behaviour means equal numbers.

enum Context : int { kHtml, kCss, kJs, kCssInStyle, kJsInScript, kContextCount };

enum HtmlMode : int {
    hData,
    hTagOpen,       // after '<'
    hEndTagOpen,    // after "</"
    hMarkupOpen,    // after "<!"
    hMarkupDash,    // after "<!-"
    hComment,       // payload: 1 '-', 2 "--", 3 "--!" just seen
    hDeclaration,   // <!DOCTYPE ...>, <?xml ...?>
    hBogusComment,  // </ ...> that is no end tag
    hTagName,       // payload: raw-text tag node (0 for end tags)
    hInTag,         // payload from here on: 0, or 1 script, 2 style
    hAttrName,
    hAfterAttrName,
    hBeforeValue,
    hValueDouble,
    hValueSingle,
    hValueUnquoted,
    hEntityStart,  // after '&'
    hEntity,
    kHtmlModeCount
};

enum JsMode : int {
    jCode,          // payload: kRegexOk, kAfterDot
    jWord,          // payload: regex-keyword node
    jNumber,        // payload: 1 hex, 2 just after an exponent 'e'
    jSlash,         // payload: the code payload before the '/'
    jLineComment,   // payload: the code payload to return to
    jBlockComment,  // payload: the code payload, 4 a '*' just seen
    jSingle,        // payload: 1 escape pending
    jDouble,
    jTemplate,      // payload: 1 escape pending, 2 '$' just seen
    jFlatTemplate,  // a template nested deeper than kMaxTemplates: no ${} of its own
    jRegex,         // payload: 1 escape pending, 2 inside [...]
    jRegexFlags,
    kJsModeCount
};
constexpr int kRegexOk = 1;
constexpr int kAfterDot = 2;
constexpr int kMaxTemplates = 3;
constexpr int kMaxBraces = 7;

enum CssMode : int {
    cTop,  // statement start in a rule list
    cSelector,
    cAtKeyword,  // payload: rule-block at-rule node
    cAtPrelude,  // payload: 1 its block holds rules
    cDeclStart,  // statement start in a declaration block
    cProperty,
    cAfterProperty,
    cValue,      // payload: 1 after '!'
    cValueWord,  // payload: resume | url node << 3
    cNumber,     // payload from here on: resume ...
    cHash,
    cSign,  // ... | 8 the sign was '-'
    cUrlStart,
    cUrl,
    cSlash,
    cComment,  // ... | 8 a '*' just seen
    cString,   // ... | 8 single quotes | 16 escape pending
    kCssModeCount
};
constexpr int kMaxBlocks = 7;

// Where a CSS comment, string or value token returns to.
enum CssResume : int {
    rTop,
    rSelector,
    rPreludeDecl,
    rPreludeRules,
    rDeclStart,
    rAfterProperty,
    rValue,
    kResumeCount
};

struct LexState {
    int context = kHtml;
    int endTag = 0;
    int mode = 0;
    int payload = 0;
    int depth = 0;
    int levels = 0;
};

constexpr std::string_view endTagOf(int context) { return context == kJsInScript ? "</script" : "</style"; }

// The state at the start of a language's text.
LexState startOf(int context);
// Reads a state; anything the lexer could not have made reads as the start of its language.
LexState decode(int value);
int encode(const LexState& s);

// Collects the spans of one piece, joining neighbours of one kind, and hands them on.
template <bool kReport>
class SpanOut {
public:
    explicit SpanOut(CodeSpanSink* sink) : sink_(sink) {}

    void add(std::size_t from, std::size_t to, CodeToken token) {
        if constexpr (kReport) {
            if (from >= to || token == CodeToken::Plain) return;
            if (token == token_ && from == end_) {
                end_ = to;
                return;
            }
            flush();
            start_ = from;
            end_ = to;
            token_ = token;
        }
    }

    void flush() {
        if constexpr (kReport) {
            if (token_ != CodeToken::Plain) sink_->span(start_, end_ - start_, token_);
            token_ = CodeToken::Plain;
        }
    }

private:
    CodeSpanSink* sink_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    CodeToken token_ = CodeToken::Plain;
};

constexpr std::uint32_t kUnknown = 0xFFFFFFFFu;
// Where the end tag of a script or style sheet lies in a piece: from its '<' to the end of its
// name, or, when none is found, how much of it the piece ends with.
struct EndTag {
    std::size_t from = 0;
    std::size_t end = 0;  // the size of the piece while none is found
    std::size_t matched = 0;
};

// Lexes one piece from a state. Each language is a loop over its modes with one small step per
// mode; the state between pieces is all in s_, so a piece may end anywhere.
template <typename Char, bool kReport>
class Lexer {
public:
    Lexer(LexState& state, const Char* text, std::size_t size, bool endsLine, CodeSpanSink* sink)
        : s_(state), text_(text), size_(size), endsLine_(endsLine), out_(sink) {}

    void run();

private:
    std::uint32_t at(std::size_t i) const {
#ifdef CORVANE_COUNT_LEXER_READS
        ++fuzz::lexerReads;
#endif
        return unitOf(text_[i]);
    }
    // The unit at i, a line end when the piece ends a line, or kUnknown when the next piece holds it.
    std::uint32_t peek(std::size_t i) const { return i < size_ ? at(i) : endsLine_ ? '\n' : kUnknown; }
    void set(int mode, int payload) {
        s_.mode = mode;
        s_.payload = payload;
    }
    void emit(std::size_t from, std::size_t to, CodeToken token) { out_.add(from, to, token); }
    // Starts a construct whose colour the next unit decides; it may be decided in the next piece.
    void pend(int mode, int payload) {
        pending_ = pos_++;
        set(mode, payload);
    }
    // The end of a run of units from pos_ that keep going while keep(unit) holds.
    template <typename Keep>
    std::size_t scan(std::size_t end, Keep keep) const {
        std::size_t i = pos_;
        while (i < end && keep(at(i))) ++i;
        return i;
    }
    // The end of a string's units from pos_: just past its closing quote (or a line end, where
    // one closes it), else end. escape carries a '\\' whose unit is still to come in and out.
    std::size_t scanQuoted(std::size_t end, std::uint32_t quote, bool lineEndCloses, bool& escape,
                           bool& closed) const {
        for (std::size_t i = pos_; i < end; ++i) {
            const std::uint32_t u = at(i);
            if (escape) {
                escape = false;  // "\\" before a line end carries the string on
            } else if (u == '\\') {
                escape = true;
            } else if (u == quote || (lineEndCloses && u == '\n')) {
                closed = true;
                return i + 1;
            }
        }
        return end;
    }
    // The end of a block comment's units from pos_: just past its "*/", else end. star says that
    // the last unit read was a '*'.
    std::size_t scanBlockComment(std::size_t end, bool& star, bool& closed) const {
        for (std::size_t i = pos_; i < end; ++i) {
            const std::uint32_t u = at(i);
            if (star && u == '/') {
                closed = true;
                return i + 1;
            }
            star = u == '*';
        }
        return end;
    }
    // Colours the units from pos_ to i and moves on to i.
    void take(std::size_t i, CodeToken token) {
        emit(pos_, i, token);
        pos_ = i;
    }

    // <script> and <style> in an HTML pane (code_lexer.cpp)
    void embedded();
    EndTag findEndTag() const;
    void settleBeforeTag();
    static bool slashIsSelector(int to) { return to != rPreludeDecl && to != rPreludeRules && to != rValue; }

    // HTML (html_lexer.cpp)
    void html();
    void htmlStep(std::uint32_t c);
    void data();
    void tagOpen(std::uint32_t c);
    void endTagOpen(std::uint32_t c);
    void markupOpen(std::uint32_t c);
    void markupDash(std::uint32_t c);
    void htmlComment();
    void declaration();
    void tagName();
    void inTag(std::uint32_t c);
    void attrName();
    void afterAttrName(std::uint32_t c);
    void beforeValue(std::uint32_t c);
    void quotedValue();
    void unquotedValue();
    void entityStart(std::uint32_t c);
    void entity();
    void enterContent(int rawText);

    // JavaScript (js_lexer.cpp)
    void js(std::size_t end);
    void jsStep(std::uint32_t c, std::size_t end);
    void jsCode(std::size_t end);
    bool jsNumberAt(std::size_t& pos, std::size_t end, int& payload);
    bool jsWordAt(std::size_t& pos, std::size_t end, int& payload);
    bool jsPunctuation(std::uint32_t c, std::size_t pos, int& payload);
    void jsWord(std::size_t end);
    void jsNumber(std::size_t end);
    void jsSlash(std::uint32_t c);
    void jsLineComment(std::size_t end);
    void jsBlockComment(std::size_t end);
    void jsString(std::size_t end);
    void jsTemplate(std::uint32_t c, std::size_t end);
    void jsFlatTemplate(std::size_t end);
    void jsRegex(std::size_t end);
    void jsRegexFlags(std::size_t end);
    std::size_t scanNumber(std::size_t i, std::size_t end, bool& hex, bool& afterE) const;
    int braces() const { return (s_.levels >> (3 * (s_.depth - 1))) & 7; }
    void setBraces(int count) {
        const int shift = 3 * (s_.depth - 1);
        s_.levels = (s_.levels & ~(7 << shift)) | count << shift;
    }

    // CSS (css_lexer.cpp)
    void css(std::size_t end);
    void cssStep(std::uint32_t c, std::size_t end);
    bool block(std::uint32_t c);
    void top(std::uint32_t c);
    void selector(std::size_t end);
    void atKeyword(std::size_t end);
    void atPrelude(std::uint32_t c, std::size_t end);
    void declStart(std::uint32_t c);
    void property(std::size_t end);
    void afterProperty(std::uint32_t c);
    void value(std::uint32_t c, std::size_t end);
    void valueWord(std::size_t end);
    void cssNumber(std::size_t end);
    void sign(std::uint32_t c);
    void urlStart(std::uint32_t c);
    void url(std::size_t end);
    void cssSlash(std::uint32_t c);
    void cssComment(std::size_t end);
    void cssString(std::size_t end);
    int baseMode() const;
    void push(bool holdsRules);
    void pop();
    void resume(int to);
    void openString(std::uint32_t quote, int to);
    void plainSlash(int to);
    void valueToken(std::uint32_t c, int to, bool afterBang, std::size_t end);
    void wordStart(int to, bool afterBang, std::size_t end);
    void endWord(int urlNode, int to);

    LexState& s_;
    const Char* text_;
    std::size_t size_;
    bool endsLine_;
    std::size_t pos_ = 0;
    std::size_t pending_ = 0;  // where the construct the state leaves undecided began in this piece
    SpanOut<kReport> out_;
};

// Each language's file instantiates its entry for the four kinds of lexer.
#define CORVANE_INSTANTIATE_LEXER_ENTRY(signature)  \
    template void Lexer<char, true>::signature;     \
    template void Lexer<char, false>::signature;    \
    template void Lexer<char16_t, true>::signature; \
    template void Lexer<char16_t, false>::signature

}  // namespace corvane::lexing
