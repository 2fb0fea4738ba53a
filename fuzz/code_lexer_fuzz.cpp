// Feeds arbitrary text to the code-colouring lexer and checks what the panes rely on: spans in
// order, apart and inside their piece; states >= 0 that read back as themselves; the same states
// and colours whether a line comes whole, in pieces or as UTF-16; any int read as a state; time
// bounded by the input (the lexer, built with CORVANE_COUNT_LEXER_READS, counts its reads of code
// units: a few a unit at most); and memory: no more spans than units, no allocation by the lexer.
//
// Input: byte 0 picks the language, byte 1 the largest piece, bytes 2-5 a state to start from
// in the last check; the rest is the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "syntax/code_lexer.h"

namespace corvane::fuzz {
std::size_t lexerReads = 0;
}

namespace {

// Reads of code units a lexed unit may cost: the end-tag search and the lexer of the script or
// style sheet each read a unit, a word or number is read again where it is told apart.
constexpr std::size_t kReadsPerUnit = 8;

// Counts allocations while set, to show that lexing itself allocates nothing.
bool gCounting = false;
std::size_t gAllocations = 0;

struct Span {
    std::size_t start;
    std::size_t length;
    corvane::CodeToken token;
};

class Recorder : public corvane::CodeSpanSink {
public:
    Recorder(std::size_t offset, std::size_t size, std::vector<Span>& spans)
        : offset_(offset), size_(size), spans_(spans) {}
    void span(std::size_t start, std::size_t length, corvane::CodeToken token) override {
        if (length == 0) corvane::fuzz::fail("empty span");
        if (start < end_) corvane::fuzz::fail("span out of order or overlapping");
        if (start + length > size_) corvane::fuzz::fail("span past its piece");
        if (token == corvane::CodeToken::Plain) corvane::fuzz::fail("plain span");
        if (static_cast<int>(token) >= corvane::kCodeTokenCount) corvane::fuzz::fail("unknown token");
        end_ = start + length;
        spans_.push_back({offset_ + start, length, token});
    }

private:
    std::size_t offset_;
    std::size_t size_;
    std::size_t end_ = 0;
    std::vector<Span>& spans_;
};

struct Lexed {
    std::vector<corvane::CodeToken> colours;
    std::vector<Span> spans;
    std::vector<int> lineStates;
};

void checkState(int state) {
    if (state < 0) corvane::fuzz::fail("negative state");
    if (corvane::lexCode(state, std::string_view(), false, nullptr) != state)
        corvane::fuzz::fail("a state does not read back as itself");
}

// Lexes line by line ("\n" ends a line), each line cut at the given positions.
template <typename Char>
Lexed lex(int state, std::basic_string_view<Char> text, const std::vector<std::size_t>& cuts) {
    Lexed out;
    out.colours.assign(text.size(), corvane::CodeToken::Plain);
    auto cut = cuts.begin();
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find(Char('\n'), lineStart);
        const bool endsLine = lineEnd != std::basic_string_view<Char>::npos;
        if (!endsLine) lineEnd = text.size();
        std::size_t pos = lineStart;
        do {
            while (cut != cuts.end() && *cut <= pos) ++cut;
            const std::size_t pieceEnd = cut != cuts.end() && *cut < lineEnd ? *cut : lineEnd;
            const bool ends = endsLine && pieceEnd == lineEnd;
            const std::basic_string_view<Char> piece = text.substr(pos, pieceEnd - pos);
            gCounting = true;
            corvane::fuzz::lexerReads = 0;
            const int bare = corvane::lexCode(state, piece, ends, nullptr);
            gCounting = false;
            if (corvane::fuzz::lexerReads > kReadsPerUnit * (piece.size() + 1))
                corvane::fuzz::fail("lexing read the text more often than its length allows");
            Recorder recorder(pos, piece.size(), out.spans);
            const int next = corvane::lexCode(state, piece, ends, &recorder);
            if (bare != next) corvane::fuzz::fail("the state depends on the sink");
            checkState(next);
            state = next;
            pos = pieceEnd;
        } while (pos < lineEnd);
        out.lineStates.push_back(state);
        lineStart = lineEnd + 1;
    }
    for (const Span& span : out.spans) {
        std::fill_n(out.colours.begin() + static_cast<std::ptrdiff_t>(span.start), span.length, span.token);
    }
    return out;
}

}  // namespace

// Every plain form of new and delete, so that all of them pair with each other.
void* operator new(std::size_t size) {
    if (gCounting) ++gAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (gCounting) ++gAllocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    constexpr corvane::CodeLanguage kLanguages[] = {corvane::CodeLanguage::Html, corvane::CodeLanguage::Css,
                                                    corvane::CodeLanguage::JavaScript};
    const int start = corvane::codeStartState(kLanguages[data[0] % 3]);
    const std::size_t maxPiece = 1 + data[1] % 64;
    const int anyState =
        static_cast<int>(static_cast<std::uint32_t>(data[2]) << 24 | data[3] << 16 | data[4] << 8 | data[5]);
    const std::string_view text(reinterpret_cast<const char*>(data + 6), size - 6);

    checkState(start);
    gAllocations = 0;
    const Lexed whole = lex(start, text, {});
    if (whole.spans.size() > text.size()) corvane::fuzz::fail("more spans than code units");

    // Pieces: the same states at every line end, the same colours but in the tokens a cut touches.
    std::vector<std::size_t> cuts;
    std::uint32_t seed = data[1];
    for (std::size_t at = 0; at < text.size();) {
        seed = seed * 1103515245u + 12345u;
        at += 1 + (seed >> 16) % maxPiece;
        cuts.push_back(at);
    }
    const Lexed pieces = lex(start, text, cuts);
    if (pieces.lineStates != whole.lineStates)
        corvane::fuzz::fail("pieces end in another state than the whole line");
    std::vector<bool> skip(text.size() + 1, false);
    for (const std::size_t at : cuts) {
        if (at < text.size()) skip[at] = skip[at - 1] = true;
    }
    for (const std::vector<Span>* spans : {&whole.spans, &pieces.spans}) {
        for (const Span& span : *spans) {
            const auto next = std::lower_bound(cuts.begin(), cuts.end(), span.start);
            if (next != cuts.end() && *next <= span.start + span.length)
                std::fill_n(skip.begin() + static_cast<std::ptrdiff_t>(span.start), span.length, true);
        }
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!skip[i] && whole.colours[i] != pieces.colours[i])
            corvane::fuzz::fail("pieces coloured otherwise");
    }

    // UTF-16: every byte as one unit; only ASCII has a meaning, so everything must agree.
    std::u16string units;
    units.reserve(text.size());
    for (const char c : text) units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    const Lexed utf16 = lex(start, std::u16string_view(units), {});
    if (utf16.lineStates != whole.lineStates || utf16.colours != whole.colours)
        corvane::fuzz::fail("UTF-16 lexes otherwise");

    if (gAllocations != 0) corvane::fuzz::fail("the lexer allocated memory");

    // Any int the caller hands in is a state to start from.
    checkState(corvane::lexCode(anyState, text, true, nullptr));
    return 0;
}
