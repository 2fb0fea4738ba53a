// JavaScript: keywords, numbers, strings, template strings with their ${}, comments and regular
// expressions, told from division by the token before the '/'.

#include "syntax/lexer_machinery.h"

namespace corvane::lexing {

template <typename Char, bool kReport>
void Lexer<Char, kReport>::js(std::size_t end) {
    while (pos_ < end) jsStep(at(pos_), end);
}

// One step of the loop above, kept in it: a call per token would cost a fifth of the time.
template <typename Char, bool kReport>
[[gnu::always_inline]] inline void Lexer<Char, kReport>::jsStep(std::uint32_t c, std::size_t end) {
    switch (s_.mode) {
        case jCode:
            return jsCode(end);
        case jWord:
            return jsWord(end);
        case jNumber:
            return jsNumber(end);
        case jSlash:
            return jsSlash(c);
        case jLineComment:
            return jsLineComment(end);
        case jBlockComment:
            return jsBlockComment(end);
        case jSingle:
        case jDouble:
            return jsString(end);
        case jTemplate:
            return jsTemplate(c, end);
        case jFlatTemplate:
            return jsFlatTemplate(end);
        case jRegex:
            return jsRegex(end);
        default:
            return jsRegexFlags(end);
    }
}

// Runs through code until a string, comment, template or regular expression begins, with the
// state in locals: minified scripts are mostly this.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsCode(std::size_t end) {
    int payload = s_.payload;
    std::size_t pos = pos_;
    while (pos < end) {
        const std::uint32_t c = at(pos);
        const std::uint8_t cls = classOf(c);
        if (cls & kSpace) {
            ++pos;
        } else if (cls & kDigit) {
            if (jsNumberAt(pos, end, payload)) return;
        } else if (cls & kJsWord) {
            if (jsWordAt(pos, end, payload)) return;
        } else if (jsPunctuation(c, pos, payload)) {
            return;
        } else {
            ++pos;
        }
    }
    pos_ = pos;
    s_.payload = payload;
}

// A number in code; true when the piece ends inside it and the state says so.
template <typename Char, bool kReport>
inline bool Lexer<Char, kReport>::jsNumberAt(std::size_t& pos, std::size_t end, int& payload) {
    bool hex = false;
    bool afterE = false;
    const std::size_t i = scanNumber(pos, end, hex, afterE);
    emit(pos, i, CodeToken::Number);
    pos = i;
    if (i == end) {
        pos_ = pos;
        set(jNumber, (hex ? 1 : 0) | (afterE ? 2 : 0));
        return true;
    }
    payload = 0;
    return false;
}

// A word in code; true when the piece ends inside it and the state keeps what was read.
template <typename Char, bool kReport>
inline bool Lexer<Char, kReport>::jsWordAt(std::size_t& pos, std::size_t end, int& payload) {
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
        return true;
    }
    if (kJsKeywords.terminal[keyword]) emit(pos, i, CodeToken::Keyword);
    payload = kJsRegexWords.terminal[regexWord] ? kRegexOk : 0;
    pos = i;
    return false;
}

// Any other unit in code; true when it leaves code for a string, a template, a '/' or the end
// of a ${}, with pos_ and the state set.
template <typename Char, bool kReport>
inline bool Lexer<Char, kReport>::jsPunctuation(std::uint32_t c, std::size_t pos, int& payload) {
    switch (c) {
        case '"':
        case '\'':
            emit(pos, pos + 1, CodeToken::String);
            pos_ = pos + 1;
            set(c == '"' ? jDouble : jSingle, 0);
            return true;
        case '`':
            emit(pos, pos + 1, CodeToken::String);
            pos_ = pos + 1;
            if (s_.depth < kMaxTemplates) {
                ++s_.depth;
                set(jTemplate, 0);
            } else {
                set(jFlatTemplate, 0);
            }
            return true;
        case '/':
            pos_ = pos;
            pend(jSlash, payload);
            return true;
        case '{':
            if (s_.depth > 0 && braces() < kMaxBraces) setBraces(braces() + 1);
            payload = kRegexOk;
            return false;
        case '}':
            if (s_.depth > 0 && braces() == 0) {
                pos_ = pos + 1;
                set(jTemplate, 0);  // the end of a ${}
                return true;
            }
            if (s_.depth > 0) setBraces(braces() - 1);
            payload = kRegexOk;
            return false;
        case ')':
        case ']':
            payload = 0;
            return false;
        case '.':
            payload = kAfterDot;
            return false;
        default:
            payload = kRegexOk;
            return false;
    }
}

// A word cut by the end of the last piece.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsWord(std::size_t end) {
    int node = s_.payload;
    std::size_t i = pos_;
    while (i < end && (classOf(at(i)) & kJsWord)) node = step(kJsRegexWords, node, at(i++));
    pos_ = i;
    if (peek(i) != kUnknown) {
        set(jCode, kJsRegexWords.terminal[node] ? kRegexOk : 0);
    } else {
        s_.payload = node;
    }
}

// A number cut by the end of the last piece.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsNumber(std::size_t end) {
    bool hex = s_.payload & 1;
    bool afterE = s_.payload & 2;
    const std::size_t i = scanNumber(pos_, end, hex, afterE);
    take(i, CodeToken::Number);
    if (i < end) {
        set(jCode, 0);
    } else {
        s_.payload = (hex ? 1 : 0) | (afterE ? 2 : 0);
    }
}

// A number's units from i on; hex and afterE carry what the state keeps between pieces.
template <typename Char, bool kReport>
inline std::size_t Lexer<Char, kReport>::scanNumber(std::size_t i, std::size_t end, bool& hex,
                                                    bool& afterE) const {
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

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsSlash(std::uint32_t c) {
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
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsLineComment(std::size_t end) {
    const std::size_t i = scan(end, [](std::uint32_t u) { return u != '\n'; });
    take(i, CodeToken::Comment);
    if (i < end) set(jCode, s_.payload);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsBlockComment(std::size_t end) {
    bool star = s_.payload & 4;
    bool closed = false;
    take(scanBlockComment(end, star, closed), CodeToken::Comment);
    if (closed) {
        set(jCode, s_.payload & 3);
    } else {
        s_.payload = (s_.payload & 3) | (star ? 4 : 0);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsString(std::size_t end) {
    bool escape = s_.payload & 1;
    bool closed = false;
    take(scanQuoted(end, s_.mode == jSingle ? '\'' : '"', true, escape, closed), CodeToken::String);
    set(closed ? jCode : s_.mode, escape ? 1 : 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsTemplate(std::uint32_t c, std::size_t end) {
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
            take(i + 1, CodeToken::String);
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
    take(i, CodeToken::String);
    s_.payload = (escape ? 1 : 0) | (dollar ? 2 : 0);
}

// A template nested deeper than the state can count: no ${} of its own.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsFlatTemplate(std::size_t end) {
    bool escape = s_.payload & 1;
    bool closed = false;
    take(scanQuoted(end, '`', false, escape, closed), CodeToken::String);
    set(closed ? jCode : jFlatTemplate, escape ? 1 : 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsRegex(std::size_t end) {
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
    take(i, CodeToken::Regex);
    set(next, next == jRegex ? (escape ? 1 : 0) | (inClass ? 2 : 0) : 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::jsRegexFlags(std::size_t end) {
    const std::size_t i = scan(end, [](std::uint32_t u) { return (classOf(u) & kLetter) != 0; });
    take(i, CodeToken::Regex);
    if (i < end) set(jCode, 0);
}

CORVANE_INSTANTIATE_LEXER_ENTRY(js(std::size_t));

}  // namespace corvane::lexing
