#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane {

// What a pane holds: the HTML pane colours the contents of <style> as CSS and of <script> as
// JavaScript, the other two panes are one language throughout.
enum class CodeLanguage : std::uint8_t { Html, Css, JavaScript };

// The kinds of text the panes colour. Plain text is never reported: it keeps the pane's colour.
enum class CodeToken : std::uint8_t {
    Plain,
    Comment,    // all three languages
    Keyword,    // JavaScript keywords and the literals true, false, null, this, undefined
    String,     // JavaScript and CSS strings, template text, HTML attribute values, url(...)
    Number,     // JavaScript numbers, CSS numbers with their units and #hex colours
    Regex,      // JavaScript regular-expression literals with their flags
    Tag,        // HTML tag names with their brackets
    Attribute,  // HTML attribute names
    Entity,     // HTML character references: &amp; &#160;
    Doctype,    // <!DOCTYPE ...> and the other <! ...> and <? ...> declarations
    Selector,   // CSS selectors
    Property,   // CSS property names
    Value,      // CSS keyword values and function names
    AtRule,     // CSS at-keywords: @media
    Important,  // CSS !important
};
inline constexpr int kCodeTokenCount = 15;

// Receives the coloured stretches of one piece of text, in order, never overlapping, never empty,
// offsets in code units from the start of the piece. Characters no span covers are plain.
class CodeSpanSink {
public:
    virtual void span(std::size_t start, std::size_t length, CodeToken token) = 0;

protected:
    ~CodeSpanSink() = default;
};

// The state before the first line of a pane of the given language.
int codeStartState(CodeLanguage language);

// Lexes one piece of a pane's text from the state at its start and returns the state at its
// end. A line may come whole or in several pieces; endsLine says that a line end follows this
// piece (a long line held as several display blocks ends only with its last piece, so a "//"
// comment or a string runs on into the next piece). Text may hold "\n" as a line end too.
//
// A state is an int >= 0 (it fits QTextBlock::userState, where -1 means unknown). Two states are
// equal exactly when lexing from them gives the same spans and states, so a caller can stop
// re-lexing lines once a line ends in the same state as before. Any other int is read as the
// nearest start state; nothing the caller passes can make the lexer fail.
//
// Only ASCII characters have a meaning to the grammar; other code units are ordinary characters,
// so UTF-8 and UTF-16 lex alike. Time is linear in the text and memory constant; sink may be null
// when only the end state is wanted.
int lexCode(int state, std::string_view text, bool endsLine, CodeSpanSink* sink);
int lexCode(int state, std::u16string_view text, bool endsLine, CodeSpanSink* sink);

}  // namespace corvane
