// The lexer's entry points and what all three languages share: reading and writing the packed
// state, and the hand-over between HTML and the script or style sheet inside it.

#include "syntax/code_lexer.h"

#include "syntax/lexer_machinery.h"

namespace corvane {

namespace lexing {

namespace {

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

bool usesResume(int context, int mode) {
    return (context == kCss || context == kCssInStyle) && mode >= cValueWord;
}

bool endsTagName(std::uint32_t u) { return (classOf(u) & kSpace) || u == '/' || u == '>'; }

}  // namespace

LexState startOf(int context) {
    LexState s;
    s.context = context;
    if (context == kJs || context == kJsInScript) s.payload = kRegexOk;
    return s;
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

template <typename Char, bool kReport>
void Lexer<Char, kReport>::run() {
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

// The raw text runs to "</script" or "</style" followed by a space, '/' or '>', wherever it
// falls in the script (a string or a comment included), as browsers read it. The tag may
// begin in an earlier piece: the state counts how much of it was seen.
template <typename Char, bool kReport>
void Lexer<Char, kReport>::embedded() {
    const EndTag tag = findEndTag();
    const bool ends = tag.end < size_;
    const std::size_t codeEnd = ends ? tag.from : size_;
    if (s_.context == kJsInScript) {
        js(codeEnd);
    } else {
        css(codeEnd);
    }
    if (!ends) {
        s_.endTag = static_cast<int>(tag.matched);
        pos_ = size_;
        return;
    }
    settleBeforeTag();
    emit(tag.from, tag.end, CodeToken::Tag);
    s_ = LexState{};
    set(hInTag, 0);
    pos_ = tag.end;
}

template <typename Char, bool kReport>
EndTag Lexer<Char, kReport>::findEndTag() const {
    const std::string_view name = endTagOf(s_.context);
    const std::size_t length = name.size();
    EndTag tag{pos_, size_, static_cast<std::size_t>(s_.endTag)};
    std::size_t i = pos_;
    if (tag.matched > 0) {  // the last piece ended inside the tag
        while (tag.matched < length && i < size_ &&
               fold(at(i)) == static_cast<unsigned char>(name[tag.matched])) {
            ++tag.matched;
            ++i;
        }
        if (i < size_) {
            if (tag.matched == length && endsTagName(at(i))) {
                tag.end = i;
                return tag;
            }
            tag.matched = 0;
        }
    }
    if (tag.matched > 0) return tag;
    for (std::size_t k = i; k < size_; ++k) {
        if (at(k) != '<') continue;
        std::size_t j = k + 1;
        std::size_t m = 1;
        while (m < length && j < size_ && fold(at(j)) == static_cast<unsigned char>(name[m])) {
            ++m;
            ++j;
        }
        if (j == size_) {
            tag.matched = m;
            break;
        }
        if (m == length && endsTagName(at(j))) {
            tag.from = k;
            tag.end = j;
            break;
        }
    }
    return tag;
}

// A '/' just before the end tag is coloured by the '<' after it, as it is when a piece ends
// inside the tag and the script or style sheet reads the '<' as its own.
template <typename Char, bool kReport>
void Lexer<Char, kReport>::settleBeforeTag() {
    if (s_.context == kJsInScript) {
        if (s_.mode == jSlash && (s_.payload & kRegexOk)) emit(pending_, pos_, CodeToken::Regex);
    } else if (s_.mode == cSlash && slashIsSelector(s_.payload)) {
        emit(pending_, pos_, CodeToken::Selector);
    }
}

namespace {

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

}  // namespace lexing

using lexing::encode;
using lexing::startOf;

int codeStartState(CodeLanguage language) {
    switch (language) {
        case CodeLanguage::Css:
            return encode(startOf(lexing::kCss));
        case CodeLanguage::JavaScript:
            return encode(startOf(lexing::kJs));
        default:
            return encode(startOf(lexing::kHtml));
    }
}

int lexCode(int state, std::string_view text, bool endsLine, CodeSpanSink* sink) {
    return lexing::lexPiece(state, text.data(), text.size(), endsLine, sink);
}

int lexCode(int state, std::u16string_view text, bool endsLine, CodeSpanSink* sink) {
    return lexing::lexPiece(state, text.data(), text.size(), endsLine, sink);
}

}  // namespace corvane
