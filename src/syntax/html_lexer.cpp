// HTML: tags, attributes, comments, declarations and character references; the contents of
// <script> and <style> go to the other two languages.

#include "syntax/lexer_machinery.h"

namespace corvane::lexing {

template <typename Char, bool kReport>
void Lexer<Char, kReport>::html() {
    while (pos_ < size_ && s_.context == kHtml) htmlStep(at(pos_));
}

// One step of the loop above, kept in it: a call per token would cost a fifth of the time.
template <typename Char, bool kReport>
[[gnu::always_inline]] inline void Lexer<Char, kReport>::htmlStep(std::uint32_t c) {
    switch (s_.mode) {
        case hData:
            return data();
        case hTagOpen:
            return tagOpen(c);
        case hEndTagOpen:
            return endTagOpen(c);
        case hMarkupOpen:
            return markupOpen(c);
        case hMarkupDash:
            return markupDash(c);
        case hComment:
            return htmlComment();
        case hDeclaration:
        case hBogusComment:
            return declaration();
        case hTagName:
            return tagName();
        case hInTag:
            return inTag(c);
        case hAttrName:
            return attrName();
        case hAfterAttrName:
            return afterAttrName(c);
        case hBeforeValue:
            return beforeValue(c);
        case hValueDouble:
        case hValueSingle:
            return quotedValue();
        case hValueUnquoted:
            return unquotedValue();
        case hEntityStart:
            return entityStart(c);
        default:
            return entity();
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::data() {
    pos_ = scan(size_, [](std::uint32_t u) { return u != '<' && u != '&'; });
    if (pos_ < size_) pend(at(pos_) == '<' ? hTagOpen : hEntityStart, 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::tagOpen(std::uint32_t c) {
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
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::endTagOpen(std::uint32_t c) {
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
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::markupOpen(std::uint32_t c) {
    if (c == '-') {
        set(hMarkupDash, 0);
        ++pos_;
    } else {
        emit(pending_, pos_, CodeToken::Doctype);
        set(hDeclaration, 0);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::markupDash(std::uint32_t c) {
    if (c == '-') {
        emit(pending_, ++pos_, CodeToken::Comment);
        // "<!-->" and "<!--->" close at once, as browsers read them
        set(hComment, 2);
    } else {
        emit(pending_, pos_, CodeToken::Doctype);
        set(hDeclaration, 0);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::htmlComment() {
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
    take(i, CodeToken::Comment);
    set(closed ? hData : hComment, closed ? 0 : dashes);
}

// <!DOCTYPE ...>, <?xml ...?> and the bogus comment </ ...> all run to the next '>'.
template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::declaration() {
    std::size_t i = scan(size_, [](std::uint32_t u) { return u != '>'; });
    const bool closed = i < size_;
    if (closed) ++i;
    take(i, s_.mode == hDeclaration ? CodeToken::Doctype : CodeToken::Comment);
    if (closed) set(hData, 0);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::tagName() {
    int node = s_.payload;
    std::size_t i = pos_;
    for (; i < size_; ++i) {
        const std::uint32_t u = at(i);
        if ((classOf(u) & kSpace) || u == '/' || u == '>') break;
        node = step(kRawTextTags, node, fold(u));
    }
    take(i, CodeToken::Tag);
    if (i < size_) {
        set(hInTag, node == kScriptNode ? 1 : node == kStyleNode ? 2 : 0);
    } else {
        s_.payload = node;
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::inTag(std::uint32_t c) {
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
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::attrName() {
    const std::size_t i = scan(
        size_, [](std::uint32_t u) { return !(classOf(u) & kSpace) && u != '/' && u != '>' && u != '='; });
    take(i, CodeToken::Attribute);
    if (i < size_) s_.mode = hAfterAttrName;
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::afterAttrName(std::uint32_t c) {
    if (classOf(c) & kSpace) {
        ++pos_;
    } else if (c == '=') {
        ++pos_;
        s_.mode = hBeforeValue;
    } else {
        s_.mode = c == '/' || c == '>' ? hInTag : hAttrName;
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::beforeValue(std::uint32_t c) {
    if (classOf(c) & kSpace) {
        ++pos_;
    } else if (c == '"' || c == '\'') {
        emit(pos_, pos_ + 1, CodeToken::String);
        ++pos_;
        s_.mode = c == '"' ? hValueDouble : hValueSingle;
    } else {
        s_.mode = c == '>' ? hInTag : hValueUnquoted;
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::quotedValue() {
    const std::uint32_t quote = s_.mode == hValueDouble ? '"' : '\'';
    std::size_t i = scan(size_, [quote](std::uint32_t u) { return u != quote; });
    const bool closed = i < size_;
    if (closed) ++i;
    take(i, CodeToken::String);
    if (closed) s_.mode = hInTag;
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::unquotedValue() {
    const std::size_t i = scan(size_, [](std::uint32_t u) { return !(classOf(u) & kSpace) && u != '>'; });
    take(i, CodeToken::String);
    if (i < size_) s_.mode = hInTag;
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::entityStart(std::uint32_t c) {
    if (classOf(c) & kEntity) {
        emit(pending_, pos_, CodeToken::Entity);
        set(hEntity, 0);
    } else {
        set(hData, 0);
    }
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::entity() {
    std::size_t i = scan(size_, [](std::uint32_t u) { return (classOf(u) & kEntity) != 0; });
    if (i < size_) {
        if (at(i) == ';') ++i;
        set(hData, 0);
    }
    take(i, CodeToken::Entity);
}

template <typename Char, bool kReport>
inline void Lexer<Char, kReport>::enterContent(int rawText) {
    if (rawText == 1) {
        s_ = startOf(kJsInScript);
    } else if (rawText == 2) {
        s_ = startOf(kCssInStyle);
    } else {
        set(hData, 0);
    }
}

CORVANE_INSTANTIATE_LEXER_ENTRY(html());

}  // namespace corvane::lexing
