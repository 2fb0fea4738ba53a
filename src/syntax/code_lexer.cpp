#include "syntax/code_lexer.h"

#include <array>
#include <initializer_list>
#include <type_traits>

namespace corvane {

namespace {

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
constexpr std::array<std::uint8_t, 128> kClasses = makeClasses();

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
constexpr Trie kJsKeywords = makeTrie({
    "async",     "await",    "break", "case",   "catch", "class",      "const",   "continue", "debugger",
    "default",   "delete",   "do",    "else",   "enum",  "export",     "extends", "false",    "finally",
    "for",       "function", "if",    "import", "in",    "instanceof", "let",     "new",      "null",
    "return",    "static",   "super", "switch", "this",  "throw",      "true",    "try",      "typeof",
    "undefined", "var",      "void",  "while",  "with",  "yield",
});
// After these a '/' starts a regular expression; after any other word it divides.
constexpr Trie kJsRegexWords = makeTrie({"return", "typeof", "instanceof", "in", "of", "new", "delete",
                                         "void", "throw", "case", "do", "else", "yield", "await"});
// Elements whose contents are another language (names fold to lower case).
constexpr Trie kRawTextTags = makeTrie({"script", "style"});
// At-rules whose block holds rules rather than declarations.
constexpr Trie kCssRuleBlocks =
    makeTrie({"media", "supports", "layer", "container", "keyframes", "-webkit-keyframes", "-moz-keyframes",
              "scope", "starting-style", "document", "-moz-document"});
constexpr Trie kCssUrl = makeTrie({"url"});
constexpr Trie kCssImportant = makeTrie({"important"});

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

int payloadLimit(int context, int mode) {
    switch (context) {
        case kHtml:
            if (mode == hComment) return 4;
            if (mode == hTagName) return kRawTextTags.size;
            return mode >= hInTag && mode <= hValueUnquoted ? 3 : 1;
        case kCss:
        case kCssInStyle:
            switch (mode) {
                case cAtKeyword:
                    return kCssRuleBlocks.size;
                case cAtPrelude:
                case cValue:
                    return 2;
                case cValueWord:
                    return kCssUrl.size << 3;
                case cNumber:
                case cHash:
                case cUrlStart:
                case cUrl:
                case cSlash:
                    return kResumeCount;
                case cSign:
                case cComment:
                    return 16;
                case cString:
                    return 32;
                default:
                    return 1;
            }
        default:
            switch (mode) {
                case jCode:
                case jNumber:
                case jSlash:
                case jLineComment:
                case jTemplate:
                case jRegex:
                    return 4;
                case jWord:
                    return kJsRegexWords.size;
                case jBlockComment:
                    return 8;
                case jSingle:
                case jDouble:
                case jFlatTemplate:
                    return 2;
                default:
                    return 1;
            }
    }
}

LexState startOf(int context) {
    LexState s;
    s.context = context;
    if (context == kJs || context == kJsInScript) s.payload = kRegexOk;
    return s;
}

bool usesResume(int context, int mode) {
    return (context == kCss || context == kCssInStyle) && mode >= cValueWord;
}

// Reads a state; anything the lexer could not have made reads as the start of its language.
LexState decode(int value) {
    LexState s;
    if (value < 0) return s;
    const auto bits = static_cast<unsigned>(value);
    s.context = static_cast<int>(bits & 7u);
    s.endTag = static_cast<int>((bits >> 3) & 15u);
    s.mode = static_cast<int>((bits >> 7) & 31u);
    s.payload = static_cast<int>((bits >> 12) & 127u);
    s.depth = static_cast<int>((bits >> 19) & 7u);
    s.levels = static_cast<int>((bits >> 22) & 511u);
    if (s.context >= kContextCount) return LexState{};
    const bool embedded = s.context == kCssInStyle || s.context == kJsInScript;
    const bool js = s.context == kJs || s.context == kJsInScript;
    const bool css = s.context == kCss || s.context == kCssInStyle;
    const int modeCount = js ? int{kJsModeCount} : css ? int{kCssModeCount} : int{kHtmlModeCount};
    bool valid = s.mode < modeCount && s.payload < payloadLimit(s.context, s.mode);
    valid = valid && (embedded ? s.endTag <= static_cast<int>(endTagOf(s.context).size()) : s.endTag == 0);
    if (usesResume(s.context, s.mode)) valid = valid && (s.payload & 7) < kResumeCount;
    if (js) {
        valid = valid && s.depth <= kMaxTemplates && (s.levels >> (3 * s.depth)) == 0;
        valid = valid && (s.mode != jTemplate || s.depth > 0) &&
                (s.mode != jFlatTemplate || s.depth == kMaxTemplates);
    } else if (css) {
        valid = valid && s.depth <= kMaxBlocks && (s.levels >> s.depth) == 0;
    } else {
        valid = valid && s.depth == 0 && s.levels == 0;
    }
    if (!valid)
        return startOf(s.context == kJsInScript ? kHtml : s.context == kCssInStyle ? kHtml : s.context);
    return s;
}

int encode(const LexState& s) {
    return s.context | s.endTag << 3 | s.mode << 7 | s.payload << 12 | s.depth << 19 | s.levels << 22;
}

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

}  // namespace

#ifdef CORVANE_COUNT_LEXER_READS
// The fuzz target counts every read of a code unit, to check that lexing is linear in the text.
namespace fuzz {
extern std::size_t lexerReads;
}
#endif

namespace {

template <typename Char, bool kReport>
class Lexer {
public:
    Lexer(LexState& state, const Char* text, std::size_t size, bool endsLine, CodeSpanSink* sink)
        : s_(state), text_(text), size_(size), endsLine_(endsLine), out_(sink) {}

    void run() {
        while (pos_ < size_) {
            switch (s_.context) {
                case kHtml:
                    html();
                    break;
                case kCss:
                    css(size_);
                    break;
                case kJs:
                    js(size_);
                    break;
                default:
                    embedded();
                    break;
            }
        }
        out_.flush();
    }

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

    // ----- HTML --------------------------------------------------------------------------------

    void html() {
        while (pos_ < size_ && s_.context == kHtml) {
            const std::uint32_t c = at(pos_);
            switch (s_.mode) {
                case hData: {
                    std::size_t i = pos_;
                    while (i < size_ && at(i) != '<' && at(i) != '&') ++i;
                    pos_ = i;
                    if (i < size_) pend(at(i) == '<' ? hTagOpen : hEntityStart, 0);
                    break;
                }
                case hTagOpen:
                    if (classOf(c) & kLetter) {
                        emit(pending_, pos_, CodeToken::Tag);
                        set(hTagName, kRootNode);
                    } else if (c == '/') {
                        set(hEndTagOpen, 0);
                        ++pos_;
                    } else if (c == '!') {
                        set(hMarkupOpen, 0);
                        ++pos_;
                    } else if (c == '?') {
                        emit(pending_, pos_, CodeToken::Doctype);
                        set(hDeclaration, 0);
                    } else {
                        set(hData, 0);
                    }
                    break;
                case hEndTagOpen:
                    if (classOf(c) & kLetter) {
                        emit(pending_, pos_, CodeToken::Tag);
                        set(hTagName, kDeadNode);
                    } else if (c == '>') {
                        emit(pending_, ++pos_, CodeToken::Tag);
                        set(hData, 0);
                    } else {
                        emit(pending_, pos_, CodeToken::Comment);
                        set(hBogusComment, 0);
                    }
                    break;
                case hMarkupOpen:
                    if (c == '-') {
                        set(hMarkupDash, 0);
                        ++pos_;
                    } else {
                        emit(pending_, pos_, CodeToken::Doctype);
                        set(hDeclaration, 0);
                    }
                    break;
                case hMarkupDash:
                    if (c == '-') {
                        emit(pending_, ++pos_, CodeToken::Comment);
                        // "<!-->" and "<!--->" close at once, as browsers read them
                        set(hComment, 2);
                    } else {
                        emit(pending_, pos_, CodeToken::Doctype);
                        set(hDeclaration, 0);
                    }
                    break;
                case hComment: {
                    int dashes = s_.payload;
                    std::size_t i = pos_;
                    bool closed = false;
                    for (; i < size_; ++i) {
                        const std::uint32_t u = at(i);
                        if (u == '>' && dashes >= 2) {
                            closed = true;
                            ++i;
                            break;
                        }
                        if (u == '-') {
                            dashes = dashes == 0 ? 1 : dashes == 3 ? 1 : 2;
                        } else {
                            dashes = u == '!' && dashes == 2 ? 3 : 0;  // "--!>" closes too
                        }
                    }
                    emit(pos_, i, CodeToken::Comment);
                    pos_ = i;
                    set(closed ? hData : hComment, closed ? 0 : dashes);
                    break;
                }
                case hDeclaration:
                case hBogusComment: {
                    std::size_t i = pos_;
                    while (i < size_ && at(i) != '>') ++i;
                    const bool closed = i < size_;
                    if (closed) ++i;
                    emit(pos_, i, s_.mode == hDeclaration ? CodeToken::Doctype : CodeToken::Comment);
                    pos_ = i;
                    if (closed) set(hData, 0);
                    break;
                }
                case hTagName: {
                    int node = s_.payload;
                    std::size_t i = pos_;
                    for (; i < size_; ++i) {
                        const std::uint32_t u = at(i);
                        if ((classOf(u) & kSpace) || u == '/' || u == '>') break;
                        node = step(kRawTextTags, node, fold(u));
                    }
                    emit(pos_, i, CodeToken::Tag);
                    pos_ = i;
                    if (i < size_) {
                        set(hInTag, node == kScriptNode ? 1 : node == kStyleNode ? 2 : 0);
                    } else {
                        s_.payload = node;
                    }
                    break;
                }
                case hInTag:
                    if (classOf(c) & kSpace) {
                        ++pos_;
                    } else if (c == '>') {
                        emit(pos_, pos_ + 1, CodeToken::Tag);
                        ++pos_;
                        enterContent(s_.payload);
                    } else if (c == '/') {
                        emit(pos_, pos_ + 1, CodeToken::Tag);
                        ++pos_;
                    } else {
                        s_.mode = hAttrName;
                    }
                    break;
                case hAttrName: {
                    std::size_t i = pos_;
                    for (; i < size_; ++i) {
                        const std::uint32_t u = at(i);
                        if ((classOf(u) & kSpace) || u == '/' || u == '>' || u == '=') break;
                    }
                    emit(pos_, i, CodeToken::Attribute);
                    pos_ = i;
                    if (i < size_) s_.mode = hAfterAttrName;
                    break;
                }
                case hAfterAttrName:
                    if (classOf(c) & kSpace) {
                        ++pos_;
                    } else if (c == '=') {
                        ++pos_;
                        s_.mode = hBeforeValue;
                    } else {
                        s_.mode = c == '/' || c == '>' ? hInTag : hAttrName;
                    }
                    break;
                case hBeforeValue:
                    if (classOf(c) & kSpace) {
                        ++pos_;
                    } else if (c == '"' || c == '\'') {
                        emit(pos_, pos_ + 1, CodeToken::String);
                        ++pos_;
                        s_.mode = c == '"' ? hValueDouble : hValueSingle;
                    } else {
                        s_.mode = c == '>' ? hInTag : hValueUnquoted;
                    }
                    break;
                case hValueDouble:
                case hValueSingle: {
                    const std::uint32_t quote = s_.mode == hValueDouble ? '"' : '\'';
                    std::size_t i = pos_;
                    while (i < size_ && at(i) != quote) ++i;
                    const bool closed = i < size_;
                    if (closed) ++i;
                    emit(pos_, i, CodeToken::String);
                    pos_ = i;
                    if (closed) s_.mode = hInTag;
                    break;
                }
                case hValueUnquoted: {
                    std::size_t i = pos_;
                    while (i < size_ && !(classOf(at(i)) & kSpace) && at(i) != '>') ++i;
                    emit(pos_, i, CodeToken::String);
                    pos_ = i;
                    if (i < size_) s_.mode = hInTag;
                    break;
                }
                case hEntityStart:
                    if (classOf(c) & kEntity) {
                        emit(pending_, pos_, CodeToken::Entity);
                        set(hEntity, 0);
                    } else {
                        set(hData, 0);
                    }
                    break;
                default: {  // hEntity
                    std::size_t i = pos_;
                    while (i < size_ && (classOf(at(i)) & kEntity)) ++i;
                    if (i < size_) {
                        if (at(i) == ';') ++i;
                        set(hData, 0);
                    }
                    emit(pos_, i, CodeToken::Entity);
                    pos_ = i;
                    break;
                }
            }
        }
    }

    void enterContent(int rawText) {
        if (rawText == 1) {
            s_ = startOf(kJsInScript);
        } else if (rawText == 2) {
            s_ = startOf(kCssInStyle);
        } else {
            set(hData, 0);
        }
    }

    // ----- <script> and <style> ----------------------------------------------------------------

    static bool endsTagName(std::uint32_t u) { return (classOf(u) & kSpace) || u == '/' || u == '>'; }

    // The raw text runs to "</script" or "</style" followed by a space, '/' or '>', wherever it
    // falls in the script (a string or a comment included), as browsers read it. The tag may
    // begin in an earlier piece: the state counts how much of it was seen.
    void embedded() {
        const std::string_view tag = endTagOf(s_.context);
        const std::size_t length = tag.size();
        std::size_t tagFrom = pos_;
        std::size_t tagEnd = size_;  // where the name ends; size_ while none is found
        std::size_t matched = static_cast<std::size_t>(s_.endTag);
        std::size_t i = pos_;
        if (matched > 0) {
            while (matched < length && i < size_ && fold(at(i)) == static_cast<unsigned char>(tag[matched])) {
                ++matched;
                ++i;
            }
            if (i < size_) {
                if (matched == length && endsTagName(at(i))) {
                    tagEnd = i;
                } else {
                    matched = 0;
                }
            }
        }
        if (tagEnd == size_ && matched == 0) {
            for (std::size_t k = i; k < size_; ++k) {
                if (at(k) != '<') continue;
                std::size_t j = k + 1;
                std::size_t m = 1;
                while (m < length && j < size_ && fold(at(j)) == static_cast<unsigned char>(tag[m])) {
                    ++m;
                    ++j;
                }
                if (j == size_) {
                    matched = m;
                    break;
                }
                if (m == length && endsTagName(at(j))) {
                    tagFrom = k;
                    tagEnd = j;
                    break;
                }
            }
        }
        const bool ends = tagEnd < size_;
        const std::size_t codeEnd = ends ? tagFrom : size_;
        if (s_.context == kJsInScript) {
            js(codeEnd);
        } else {
            css(codeEnd);
        }
        if (!ends) {
            s_.endTag = static_cast<int>(matched);
            pos_ = size_;
            return;
        }
        settleBeforeTag();
        emit(tagFrom, tagEnd, CodeToken::Tag);
        s_ = LexState{};
        set(hInTag, 0);
        pos_ = tagEnd;
    }

    // A '/' just before the end tag is coloured by the '<' after it, as it is when a piece ends
    // inside the tag and the script or style sheet reads the '<' as its own.
    void settleBeforeTag() {
        if (s_.context == kJsInScript) {
            if (s_.mode == jSlash && (s_.payload & kRegexOk)) emit(pending_, pos_, CodeToken::Regex);
        } else if (s_.mode == cSlash && slashIsSelector(s_.payload)) {
            emit(pending_, pos_, CodeToken::Selector);
        }
    }

    // ----- JavaScript --------------------------------------------------------------------------

    int braces() const { return (s_.levels >> (3 * (s_.depth - 1))) & 7; }
    void setBraces(int count) {
        const int shift = 3 * (s_.depth - 1);
        s_.levels = (s_.levels & ~(7 << shift)) | count << shift;
    }

    void js(std::size_t end) {
        while (pos_ < end) {
            const std::uint32_t c = at(pos_);
            switch (s_.mode) {
                case jCode:
                    jsCode(end);
                    break;
                case jWord: {
                    int node = s_.payload;
                    std::size_t i = pos_;
                    while (i < end && (classOf(at(i)) & kJsWord)) node = step(kJsRegexWords, node, at(i++));
                    pos_ = i;
                    if (peek(i) != kUnknown) {
                        set(jCode, kJsRegexWords.terminal[node] ? kRegexOk : 0);
                    } else {
                        s_.payload = node;
                    }
                    break;
                }
                case jNumber: {
                    bool hex = s_.payload & 1;
                    bool afterE = s_.payload & 2;
                    const std::size_t i = scanNumber(pos_, end, hex, afterE);
                    emit(pos_, i, CodeToken::Number);
                    pos_ = i;
                    if (i < end) {
                        set(jCode, 0);
                    } else {
                        s_.payload = (hex ? 1 : 0) | (afterE ? 2 : 0);
                    }
                    break;
                }
                case jSlash:
                    if (c == '/' || c == '*') {
                        emit(pending_, pos_ + 1, CodeToken::Comment);
                        ++pos_;
                        set(c == '/' ? jLineComment : jBlockComment, s_.payload);
                    } else if (s_.payload & kRegexOk) {
                        emit(pending_, pos_, CodeToken::Regex);
                        set(jRegex, 0);
                    } else {
                        set(jCode, kRegexOk);  // it divided
                    }
                    break;
                case jLineComment: {
                    std::size_t i = pos_;
                    while (i < end && at(i) != '\n') ++i;
                    emit(pos_, i, CodeToken::Comment);
                    pos_ = i;
                    if (i < end) set(jCode, s_.payload);
                    break;
                }
                case jBlockComment: {
                    bool star = s_.payload & 4;
                    std::size_t i = pos_;
                    bool closed = false;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (star && u == '/') {
                            closed = true;
                            ++i;
                            break;
                        }
                        star = u == '*';
                    }
                    emit(pos_, i, CodeToken::Comment);
                    pos_ = i;
                    if (closed) {
                        set(jCode, s_.payload & 3);
                    } else {
                        s_.payload = (s_.payload & 3) | (star ? 4 : 0);
                    }
                    break;
                }
                case jSingle:
                case jDouble: {
                    const std::uint32_t quote = s_.mode == jSingle ? '\'' : '"';
                    bool escape = s_.payload & 1;
                    std::size_t i = pos_;
                    bool closed = false;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (escape) {
                            escape = false;  // "\" before a line end carries the string on
                        } else if (u == '\\') {
                            escape = true;
                        } else if (u == quote || u == '\n') {
                            closed = true;
                            ++i;
                            break;
                        }
                    }
                    emit(pos_, i, CodeToken::String);
                    pos_ = i;
                    set(closed ? jCode : s_.mode, escape ? 1 : 0);
                    break;
                }
                case jTemplate:
                    jsTemplate(c, end);
                    break;
                case jFlatTemplate: {
                    bool escape = s_.payload & 1;
                    std::size_t i = pos_;
                    bool closed = false;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (escape) {
                            escape = false;
                        } else if (u == '\\') {
                            escape = true;
                        } else if (u == '`') {
                            closed = true;
                            ++i;
                            break;
                        }
                    }
                    emit(pos_, i, CodeToken::String);
                    pos_ = i;
                    set(closed ? jCode : jFlatTemplate, escape ? 1 : 0);
                    break;
                }
                case jRegex: {
                    bool escape = s_.payload & 1;
                    bool inClass = s_.payload & 2;
                    std::size_t i = pos_;
                    int next = jRegex;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (u == '\n') {  // unterminated: it ends with its line
                            next = jCode;
                            ++i;
                            break;
                        }
                        if (escape) {
                            escape = false;
                        } else if (u == '\\') {
                            escape = true;
                        } else if (u == '[') {
                            inClass = true;
                        } else if (u == ']') {
                            inClass = false;
                        } else if (u == '/' && !inClass) {
                            next = jRegexFlags;
                            ++i;
                            break;
                        }
                    }
                    emit(pos_, i, CodeToken::Regex);
                    pos_ = i;
                    set(next, next == jRegex ? (escape ? 1 : 0) | (inClass ? 2 : 0) : 0);
                    break;
                }
                default: {  // jRegexFlags
                    std::size_t i = pos_;
                    while (i < end && (classOf(at(i)) & kLetter)) ++i;
                    emit(pos_, i, CodeToken::Regex);
                    pos_ = i;
                    if (i < end) set(jCode, 0);
                    break;
                }
            }
        }
    }

    // A number's units from i on; hex and afterE carry what the state keeps between pieces.
    std::size_t scanNumber(std::size_t i, std::size_t end, bool& hex, bool& afterE) const {
        for (; i < end; ++i) {
            const std::uint32_t u = at(i);
            if (classOf(u) & kNumber) {
                hex = hex || u == 'x' || u == 'X';
                afterE = !hex && (u == 'e' || u == 'E');
            } else if ((u == '+' || u == '-') && afterE) {
                afterE = false;
            } else {
                break;
            }
        }
        return i;
    }

    // Runs through code until a string, comment, template or regular expression begins, with the
    // state in locals: minified scripts are mostly this.
    void jsCode(std::size_t end) {
        int payload = s_.payload;
        std::size_t pos = pos_;
        while (pos < end) {
            const std::uint32_t c = at(pos);
            const std::uint8_t cls = classOf(c);
            if (cls & kSpace) {
                ++pos;
                continue;
            }
            if (cls & kDigit) {
                bool hex = false;
                bool afterE = false;
                const std::size_t i = scanNumber(pos, end, hex, afterE);
                emit(pos, i, CodeToken::Number);
                pos = i;
                if (i == end) {
                    pos_ = pos;
                    set(jNumber, (hex ? 1 : 0) | (afterE ? 2 : 0));
                    return;
                }
                payload = 0;
                continue;
            }
            if (cls & kJsWord) {
                int keyword = (payload & kAfterDot) ? kDeadNode : kRootNode;
                int regexWord = keyword;
                std::size_t i = pos;
                for (; i < end; ++i) {
                    const std::uint32_t u = at(i);
                    if (!(classOf(u) & kJsWord)) break;
                    if ((keyword | regexWord) != kDeadNode) {
                        keyword = step(kJsKeywords, keyword, u);
                        regexWord = step(kJsRegexWords, regexWord, u);
                    }
                }
                if (i == end && peek(i) == kUnknown) {
                    pos_ = i;
                    set(jWord, regexWord);  // the word may go on in the next piece
                    return;
                }
                if (kJsKeywords.terminal[keyword]) emit(pos, i, CodeToken::Keyword);
                payload = kJsRegexWords.terminal[regexWord] ? kRegexOk : 0;
                pos = i;
                continue;
            }
            switch (c) {
                case '"':
                case '\'':
                    emit(pos, pos + 1, CodeToken::String);
                    pos_ = pos + 1;
                    set(c == '"' ? jDouble : jSingle, 0);
                    return;
                case '`':
                    emit(pos, pos + 1, CodeToken::String);
                    pos_ = pos + 1;
                    if (s_.depth < kMaxTemplates) {
                        ++s_.depth;
                        set(jTemplate, 0);
                    } else {
                        set(jFlatTemplate, 0);
                    }
                    return;
                case '/':
                    pos_ = pos;
                    pend(jSlash, payload);
                    return;
                case '{':
                    if (s_.depth > 0 && braces() < kMaxBraces) setBraces(braces() + 1);
                    payload = kRegexOk;
                    break;
                case '}':
                    if (s_.depth > 0 && braces() == 0) {
                        pos_ = pos + 1;
                        set(jTemplate, 0);  // the end of a ${}
                        return;
                    }
                    if (s_.depth > 0) setBraces(braces() - 1);
                    payload = kRegexOk;
                    break;
                case ')':
                case ']':
                    payload = 0;
                    break;
                case '.':
                    payload = kAfterDot;
                    break;
                default:
                    payload = kRegexOk;
                    break;
            }
            ++pos;
        }
        pos_ = pos;
        s_.payload = payload;
    }

    void jsTemplate(std::uint32_t c, std::size_t end) {
        bool escape = s_.payload & 1;
        if (s_.payload & 2) {  // a '$' ended the last piece
            s_.payload = 0;
            if (c == '{') {
                ++pos_;
                set(jCode, kRegexOk);
                return;
            }
        }
        std::size_t i = pos_;
        bool dollar = false;
        for (; i < end; ++i) {
            const std::uint32_t u = at(i);
            if (escape) {
                escape = false;
            } else if (u == '\\') {
                escape = true;
            } else if (u == '`') {
                emit(pos_, i + 1, CodeToken::String);
                pos_ = i + 1;
                --s_.depth;
                set(jCode, 0);
                return;
            } else if (u == '$') {
                if (i + 1 == end) {
                    dollar = true;
                } else if (at(i + 1) == '{') {
                    emit(pos_, i, CodeToken::String);
                    pos_ = i + 2;
                    set(jCode, kRegexOk);
                    return;
                }
            }
        }
        emit(pos_, i, CodeToken::String);
        pos_ = i;
        s_.payload = (escape ? 1 : 0) | (dollar ? 2 : 0);
    }

    // ----- CSS ---------------------------------------------------------------------------------

    int baseMode() const { return s_.depth > 0 && !((s_.levels >> (s_.depth - 1)) & 1) ? cDeclStart : cTop; }

    void push(bool holdsRules) {
        if (s_.depth < kMaxBlocks) {
            s_.levels |= (holdsRules ? 1 : 0) << s_.depth;
            ++s_.depth;
        }
        set(holdsRules ? cTop : cDeclStart, 0);
    }

    void pop() {
        if (s_.depth > 0) {
            --s_.depth;
            s_.levels &= ~(1 << s_.depth);
        }
        set(baseMode(), 0);
    }

    void resume(int to) {
        static constexpr std::array<std::array<int, 2>, kResumeCount> kModes = {{
            {cTop, 0},
            {cSelector, 0},
            {cAtPrelude, 0},
            {cAtPrelude, 1},
            {cDeclStart, 0},
            {cAfterProperty, 0},
            {cValue, 0},
        }};
        set(kModes[static_cast<std::size_t>(to)][0], kModes[static_cast<std::size_t>(to)][1]);
    }

    void css(std::size_t end) {
        while (pos_ < end) {
            const std::uint32_t c = at(pos_);
            const std::uint8_t cls = classOf(c);
            switch (s_.mode) {
                case cTop:
                    if ((cls & kSpace) || c == ';') {
                        ++pos_;
                    } else if (c == '@') {
                        emit(pos_, pos_ + 1, CodeToken::AtRule);
                        ++pos_;
                        set(cAtKeyword, kRootNode);
                    } else if (c == '{' || c == '}') {
                        ++pos_;
                        if (c == '{') {
                            push(false);
                        } else {
                            pop();
                        }
                    } else if (c == '/') {
                        pend(cSlash, rTop);
                    } else {
                        set(cSelector, 0);
                    }
                    break;
                case cSelector: {
                    std::size_t i = pos_;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (u == '{' || u == '}' || u == ';' || u == '/' || u == '"' || u == '\'') break;
                    }
                    emit(pos_, i, CodeToken::Selector);
                    pos_ = i;
                    if (i == end) break;
                    const std::uint32_t u = at(i);
                    if (u == '/') {
                        pend(cSlash, rSelector);
                    } else if (u == '"' || u == '\'') {
                        openString(u, rSelector);
                    } else {
                        ++pos_;
                        if (u == '{') {
                            push(false);
                        } else if (u == '}') {
                            pop();
                        } else {
                            set(baseMode(), 0);
                        }
                    }
                    break;
                }
                case cAtKeyword: {
                    int node = s_.payload;
                    std::size_t i = pos_;
                    while (i < end && (classOf(at(i)) & kCssWord))
                        node = step(kCssRuleBlocks, node, fold(at(i++)));
                    emit(pos_, i, CodeToken::AtRule);
                    pos_ = i;
                    if (i < end) {
                        set(cAtPrelude, kCssRuleBlocks.terminal[node] ? 1 : 0);
                    } else {
                        s_.payload = node;
                    }
                    break;
                }
                case cAtPrelude:
                    if (c == ';') {
                        ++pos_;
                        set(baseMode(), 0);
                    } else if (c == '{') {
                        ++pos_;
                        push(s_.payload == 1);
                    } else if (c == '}') {
                        ++pos_;
                        pop();
                    } else {
                        valueToken(c, s_.payload == 1 ? rPreludeRules : rPreludeDecl, false, end);
                    }
                    break;
                case cDeclStart:
                    if ((cls & kSpace) || c == ';') {
                        ++pos_;
                    } else if (c == '{' || c == '}') {
                        ++pos_;
                        if (c == '{') {
                            push(false);
                        } else {
                            pop();
                        }
                    } else if (c == '/') {
                        pend(cSlash, rDeclStart);
                    } else if (c == '@') {
                        emit(pos_, pos_ + 1, CodeToken::AtRule);
                        ++pos_;
                        set(cAtKeyword, kRootNode);
                    } else {
                        // a property, or a nested rule's selector
                        set((cls & kCssWord) || c == '*' ? cProperty : cSelector, 0);
                    }
                    break;
                case cProperty: {
                    std::size_t i = pos_;
                    while (i < end && ((classOf(at(i)) & kCssWord) || at(i) == '*')) ++i;
                    emit(pos_, i, CodeToken::Property);
                    pos_ = i;
                    if (i < end) set(cAfterProperty, 0);
                    break;
                }
                case cAfterProperty:
                    if (cls & kSpace) {
                        ++pos_;
                    } else if (c == ':') {
                        ++pos_;
                        set(cValue, 0);
                    } else if (c == ';') {
                        ++pos_;
                        set(cDeclStart, 0);
                    } else if (c == '{' || c == '}') {
                        ++pos_;
                        if (c == '{') {
                            push(false);
                        } else {
                            pop();
                        }
                    } else if (c == '/') {
                        pend(cSlash, rAfterProperty);
                    } else {
                        set(cSelector, 0);  // "div p {" nested in a block
                    }
                    break;
                case cValue:
                    if (cls & kSpace) {
                        ++pos_;
                    } else if (c == ';') {
                        ++pos_;
                        set(cDeclStart, 0);
                    } else if (c == '{' || c == '}') {
                        ++pos_;
                        if (c == '{') {
                            push(false);
                        } else {
                            pop();
                        }
                    } else if (c == '!') {
                        emit(pos_, pos_ + 1, CodeToken::Important);
                        ++pos_;
                        s_.payload = 1;
                    } else {
                        valueToken(c, rValue, s_.payload == 1, end);
                    }
                    break;
                case cValueWord: {
                    const int to = s_.payload & 7;
                    int node = s_.payload >> 3;
                    std::size_t i = pos_;
                    while (i < end && (classOf(at(i)) & kCssWord)) node = step(kCssUrl, node, fold(at(i++)));
                    emit(pos_, i, CodeToken::Value);
                    pos_ = i;
                    if (i < end) {
                        endWord(node, to);
                    } else {
                        s_.payload = to | node << 3;
                    }
                    break;
                }
                case cNumber:
                case cHash: {
                    const std::uint8_t part = s_.mode == cNumber ? kLetter | kDigit : kCssWord;
                    std::size_t i = pos_;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (!((classOf(u) & part) || (s_.mode == cNumber && (u == '.' || u == '%')))) break;
                    }
                    emit(pos_, i, CodeToken::Number);
                    pos_ = i;
                    if (i < end) resume(s_.payload);
                    break;
                }
                case cSign: {
                    const int to = s_.payload & 7;
                    if ((cls & kDigit) || c == '.') {
                        emit(pending_, pos_, CodeToken::Number);
                        set(cNumber, to);
                    } else if ((s_.payload & 8) && ((cls & kCssWord) || c >= 0x80)) {
                        emit(pending_, pos_, CodeToken::Value);  // -webkit-box, --custom
                        set(cValueWord, to | kDeadNode << 3);
                    } else {
                        resume(to);
                    }
                    break;
                }
                case cUrlStart:
                    if (cls & kSpace) {
                        ++pos_;
                    } else if (c == '"' || c == '\'' || c == ')') {
                        resume(s_.payload);
                    } else {
                        s_.mode = cUrl;
                    }
                    break;
                case cUrl: {
                    std::size_t i = pos_;
                    while (i < end && at(i) != ')' && at(i) != '\n') ++i;
                    emit(pos_, i, CodeToken::String);
                    pos_ = i;
                    if (i < end) resume(s_.payload);
                    break;
                }
                case cSlash:
                    if (c == '*') {
                        emit(pending_, pos_ + 1, CodeToken::Comment);
                        ++pos_;
                        set(cComment, s_.payload);
                    } else {
                        plainSlash(s_.payload);
                    }
                    break;
                case cComment: {
                    bool star = s_.payload & 8;
                    std::size_t i = pos_;
                    bool closed = false;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (star && u == '/') {
                            closed = true;
                            ++i;
                            break;
                        }
                        star = u == '*';
                    }
                    emit(pos_, i, CodeToken::Comment);
                    pos_ = i;
                    if (closed) {
                        resume(s_.payload & 7);
                    } else {
                        s_.payload = (s_.payload & 7) | (star ? 8 : 0);
                    }
                    break;
                }
                default: {  // cString
                    const std::uint32_t quote = (s_.payload & 8) ? '\'' : '"';
                    bool escape = s_.payload & 16;
                    std::size_t i = pos_;
                    bool closed = false;
                    for (; i < end; ++i) {
                        const std::uint32_t u = at(i);
                        if (escape) {
                            escape = false;
                        } else if (u == '\\') {
                            escape = true;
                        } else if (u == quote || u == '\n') {
                            closed = true;
                            ++i;
                            break;
                        }
                    }
                    emit(pos_, i, CodeToken::String);
                    pos_ = i;
                    if (closed) {
                        resume(s_.payload & 7);
                    } else {
                        s_.payload = (s_.payload & 15) | (escape ? 16 : 0);
                    }
                    break;
                }
            }
        }
    }

    void openString(std::uint32_t quote, int to) {
        emit(pos_, pos_ + 1, CodeToken::String);
        ++pos_;
        set(cString, to | (quote == '\'' ? 8 : 0));
    }

    // A '/' that opened no comment: an ordinary character where it stood.
    static bool slashIsSelector(int to) { return to != rPreludeDecl && to != rPreludeRules && to != rValue; }

    void plainSlash(int to) {
        if (slashIsSelector(to)) {
            emit(pending_, pos_, CodeToken::Selector);
            set(cSelector, 0);
        } else {
            resume(to);
        }
    }

    // One token of a declaration's value or an at-rule's prelude.
    void valueToken(std::uint32_t c, int to, bool afterBang, std::size_t end) {
        const std::uint8_t cls = classOf(c);
        if (cls & kSpace) {
            ++pos_;
        } else if (c == '"' || c == '\'') {
            openString(c, to);
        } else if (c == '/') {
            pend(cSlash, to);
        } else if (c == '#') {
            emit(pos_, pos_ + 1, CodeToken::Number);
            ++pos_;
            set(cHash, to);
        } else if (cls & kDigit) {
            set(cNumber, to);
        } else if (c == '+' || c == '-' || c == '.') {
            pend(cSign, to | (c == '-' ? 8 : 0));
        } else if (cls & kCssWord) {
            wordStart(to, afterBang, end);
        } else {
            ++pos_;
            resume(to);
        }
    }

    void wordStart(int to, bool afterBang, std::size_t end) {
        int url = kRootNode;
        int important = afterBang ? kRootNode : kDeadNode;
        std::size_t i = pos_;
        for (; i < end; ++i) {
            const std::uint32_t u = at(i);
            if (!(classOf(u) & kCssWord)) break;
            url = step(kCssUrl, url, fold(u));
            important = step(kCssImportant, important, fold(u));
        }
        const bool whole = peek(i) != kUnknown;
        emit(pos_, i, whole && kCssImportant.terminal[important] ? CodeToken::Important : CodeToken::Value);
        pos_ = i;
        if (i < end) {
            endWord(url, to);
        } else {
            set(cValueWord, to | url << 3);
        }
    }

    void endWord(int urlNode, int to) {
        if (urlNode == kUrlNode && at(pos_) == '(') {
            ++pos_;
            set(cUrlStart, to);
        } else {
            resume(to);
        }
    }

    LexState& s_;
    const Char* text_;
    std::size_t size_;
    bool endsLine_;
    std::size_t pos_ = 0;
    std::size_t pending_ = 0;  // where the construct the state leaves undecided began in this piece
    SpanOut<kReport> out_;
};

template <typename Char>
int lexPiece(int state, const Char* text, std::size_t size, bool endsLine, CodeSpanSink* sink) {
    LexState s = decode(state);
    if (sink != nullptr) {
        Lexer<Char, true>(s, text, size, endsLine, sink).run();
    } else {
        Lexer<Char, false>(s, text, size, endsLine, nullptr).run();
    }
    if (endsLine) {
        const Char lineEnd[1] = {static_cast<Char>('\n')};
        Lexer<Char, false>(s, lineEnd, 1, false, nullptr).run();
    }
    return encode(s);
}

}  // namespace

int codeStartState(CodeLanguage language) {
    switch (language) {
        case CodeLanguage::Css:
            return encode(startOf(kCss));
        case CodeLanguage::JavaScript:
            return encode(startOf(kJs));
        default:
            return encode(startOf(kHtml));
    }
}

int lexCode(int state, std::string_view text, bool endsLine, CodeSpanSink* sink) {
    return lexPiece(state, text.data(), text.size(), endsLine, sink);
}

int lexCode(int state, std::u16string_view text, bool endsLine, CodeSpanSink* sink) {
    return lexPiece(state, text.data(), text.size(), endsLine, sink);
}

}  // namespace corvane
