// CSS: selectors, at-rules, properties and their values, nested blocks, comments and strings.

#include "syntax/lexer_machinery.h"

namespace corvane::lexing {

template <typename Char, bool kReport>
void Lexer<Char, kReport>::css(std::size_t end) {
    while (pos_ < end) cssStep(at(pos_), end);
}

// One step of the loop above, kept in it: a call per token would cost a fifth of the time.
template <typename Char, bool kReport>
[[gnu::always_inline]] inline void Lexer<Char, kReport>::cssStep(std::uint32_t c, std::size_t end) {
    switch (s_.mode) {
        case cTop:
            return top(c);
        case cSelector:
            return selector(end);
        case cAtKeyword:
            return atKeyword(end);
        case cAtPrelude:
            return atPrelude(c, end);
        case cDeclStart:
            return declStart(c);
        case cProperty:
            return property(end);
        case cAfterProperty:
            return afterProperty(c);
        case cValue:
            return value(c, end);
        case cValueWord:
            return valueWord(end);
        case cNumber:
        case cHash:
            return cssNumber(end);
        case cSign:
            return sign(c);
        case cUrlStart:
            return urlStart(c);
        case cUrl:
            return url(end);
        case cSlash:
            return cssSlash(c);
        case cComment:
            return cssComment(end);
        default:
            return cssString(end);
    }
}

// A brace opens or closes a block wherever a statement or a value may stand.
template <typename Char, bool kReport>
inline bool Lexer<Char, kReport>::block(std::uint32_t c) {
    if (c != '{' && c != '}') return false;
    ++pos_;
    if (c == '{') {
        push(false);
    } else {
        pop();
    }
    return true;
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::top(std::uint32_t c) {
    if ((classOf(c) & kSpace) || c == ';') {
        ++pos_;
    } else if (c == '@') {
        emit(pos_, pos_ + 1, CodeToken::AtRule);
        ++pos_;
        set(cAtKeyword, kRootNode);
    } else if (block(c)) {
    } else if (c == '/') {
        pend(cSlash, rTop);
    } else {
        set(cSelector, 0);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::selector(std::size_t end) {
    const std::size_t i = scan(end, [](std::uint32_t u) {
        return u != '{' && u != '}' && u != ';' && u != '/' && u != '"' && u != '\'';
    });
    take(i, CodeToken::Selector);
    if (i == end) return;
    const std::uint32_t u = at(i);
    if (u == '/') {
        pend(cSlash, rSelector);
    } else if (u == '"' || u == '\'') {
        openString(u, rSelector);
    } else if (!block(u)) {
        ++pos_;
        set(baseMode(), 0);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::atKeyword(std::size_t end) {
    int node = s_.payload;
    std::size_t i = pos_;
    while (i < end && (classOf(at(i)) & kCssWord)) node = step(kCssRuleBlocks, node, fold(at(i++)));
    take(i, CodeToken::AtRule);
    if (i < end) {
        set(cAtPrelude, kCssRuleBlocks.terminal[node] ? 1 : 0);
    } else {
        s_.payload = node;
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::atPrelude(std::uint32_t c, std::size_t end) {
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
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::declStart(std::uint32_t c) {
    const std::uint8_t cls = classOf(c);
    if ((cls & kSpace) || c == ';') {
        ++pos_;
    } else if (block(c)) {
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
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::property(std::size_t end) {
    const std::size_t i = scan(end, [](std::uint32_t u) { return (classOf(u) & kCssWord) || u == '*'; });
    take(i, CodeToken::Property);
    if (i < end) set(cAfterProperty, 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::afterProperty(std::uint32_t c) {
    if (classOf(c) & kSpace) {
        ++pos_;
    } else if (c == ':') {
        ++pos_;
        set(cValue, 0);
    } else if (c == ';') {
        ++pos_;
        set(cDeclStart, 0);
    } else if (block(c)) {
    } else if (c == '/') {
        pend(cSlash, rAfterProperty);
    } else {
        set(cSelector, 0);  // "div p {" nested in a block
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::value(std::uint32_t c, std::size_t end) {
    if (classOf(c) & kSpace) {
        ++pos_;
    } else if (c == ';') {
        ++pos_;
        set(cDeclStart, 0);
    } else if (block(c)) {
    } else if (c == '!') {
        emit(pos_, pos_ + 1, CodeToken::Important);
        ++pos_;
        s_.payload = 1;
    } else {
        valueToken(c, rValue, s_.payload == 1, end);
    }
}

// A value word cut by the end of the last piece.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::valueWord(std::size_t end) {
    const int to = s_.payload & 7;
    int node = s_.payload >> 3;
    std::size_t i = pos_;
    while (i < end && (classOf(at(i)) & kCssWord)) node = step(kCssUrl, node, fold(at(i++)));
    take(i, CodeToken::Value);
    if (i < end) {
        endWord(node, to);
    } else {
        s_.payload = to | node << 3;
    }
}

// A number with its unit, or a #hex colour.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::cssNumber(std::size_t end) {
    const bool number = s_.mode == cNumber;
    const std::uint8_t part = number ? kLetter | kDigit : kCssWord;
    const std::size_t i = scan(end, [number, part](std::uint32_t u) {
        return (classOf(u) & part) || (number && (u == '.' || u == '%'));
    });
    take(i, CodeToken::Number);
    if (i < end) resume(s_.payload);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::sign(std::uint32_t c) {
    const int to = s_.payload & 7;
    const std::uint8_t cls = classOf(c);
    if ((cls & kDigit) || c == '.') {
        emit(pending_, pos_, CodeToken::Number);
        set(cNumber, to);
    } else if ((s_.payload & 8) && ((cls & kCssWord) || c >= 0x80)) {
        emit(pending_, pos_, CodeToken::Value);  // -webkit-box, --custom
        set(cValueWord, to | kDeadNode << 3);
    } else {
        resume(to);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::urlStart(std::uint32_t c) {
    if (classOf(c) & kSpace) {
        ++pos_;
    } else if (c == '"' || c == '\'' || c == ')') {
        resume(s_.payload);
    } else {
        s_.mode = cUrl;
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::url(std::size_t end) {
    const std::size_t i = scan(end, [](std::uint32_t u) { return u != ')' && u != '\n'; });
    take(i, CodeToken::String);
    if (i < end) resume(s_.payload);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::cssSlash(std::uint32_t c) {
    if (c == '*') {
        emit(pending_, pos_ + 1, CodeToken::Comment);
        ++pos_;
        set(cComment, s_.payload);
    } else {
        plainSlash(s_.payload);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::cssComment(std::size_t end) {
    bool star = s_.payload & 8;
    bool closed = false;
    take(scanBlockComment(end, star, closed), CodeToken::Comment);
    if (closed) {
        resume(s_.payload & 7);
    } else {
        s_.payload = (s_.payload & 7) | (star ? 8 : 0);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::cssString(std::size_t end) {
    bool escape = s_.payload & 16;
    bool closed = false;
    take(scanQuoted(end, (s_.payload & 8) ? '\'' : '"', true, escape, closed), CodeToken::String);
    if (closed) {
        resume(s_.payload & 7);
    } else {
        s_.payload = (s_.payload & 15) | (escape ? 16 : 0);
    }
}

template <typename Char, bool kReport>
inline int Lexer<Char, kReport>::baseMode() const {
    return s_.depth > 0 && !((s_.levels >> (s_.depth - 1)) & 1) ? cDeclStart : cTop;
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::push(bool holdsRules) {
    if (s_.depth < kMaxBlocks) {
        s_.levels |= (holdsRules ? 1 : 0) << s_.depth;
        ++s_.depth;
    }
    set(holdsRules ? cTop : cDeclStart, 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::pop() {
    if (s_.depth > 0) {
        --s_.depth;
        s_.levels &= ~(1 << s_.depth);
    }
    set(baseMode(), 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::resume(int to) {
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

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::openString(std::uint32_t quote, int to) {
    emit(pos_, pos_ + 1, CodeToken::String);
    ++pos_;
    set(cString, to | (quote == '\'' ? 8 : 0));
}

// A '/' that opened no comment: an ordinary character where it stood.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::plainSlash(int to) {
    if (slashIsSelector(to)) {
        emit(pending_, pos_, CodeToken::Selector);
        set(cSelector, 0);
    } else {
        resume(to);
    }
}

// One token of a declaration's value or an at-rule's prelude.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::valueToken(std::uint32_t c, int to, bool afterBang, std::size_t end) {
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

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::wordStart(int to, bool afterBang, std::size_t end) {
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
    take(i, whole && kCssImportant.terminal[important] ? CodeToken::Important : CodeToken::Value);
    if (i < end) {
        endWord(url, to);
    } else {
        set(cValueWord, to | url << 3);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::endWord(int urlNode, int to) {
    if (urlNode == kUrlNode && at(pos_) == '(') {
        ++pos_;
        set(cUrlStart, to);
    } else {
        resume(to);
    }
}

CORVANE_INSTANTIATE_LEXER_ENTRY(css(std::size_t));

}  // namespace corvane::lexing
