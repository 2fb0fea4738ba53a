#include "commands/text_search.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace corvane::search {

namespace {

// The work one match from one place may take: some milliseconds. A sound pattern needs a few
// steps per character it looks at.
constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKiB = 256 * 1024;
constexpr std::size_t kJitStackMax = 4 * 1024 * 1024;
// PCRE2 counts the match limit afresh at each place a match may start, so a pattern that costs
// just under it everywhere would still take hours over 10 MB. The places are therefore tried a
// stretch at a time (an offset limit on where a match may start), and the clock is read between
// stretches: a search that takes longer than this in all stops as too complex.
constexpr auto kWorkBudget = std::chrono::milliseconds(1500);
constexpr std::size_t kFirstStretch = 256;
constexpr std::size_t kLongestStretch = 1 << 20;

// An empty text may have no data behind it; PCRE2 takes no null subject.
PCRE2_SPTR16 unitsOf(std::u16string_view text) {
    static constexpr char16_t kNothing[1] = {};
    return reinterpret_cast<PCRE2_SPTR16>(text.data() != nullptr ? text.data() : kNothing);
}

bool isLimit(int rc) {
    return rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT ||
           rc == PCRE2_ERROR_JIT_STACKLIMIT || rc == PCRE2_ERROR_NOMEMORY;
}

std::string reasonOf(int code) {
    switch (code) {
        case PCRE2_ERROR_END_BACKSLASH:
            return "末尾是单独的反斜杠 \\";
        case PCRE2_ERROR_UNKNOWN_ESCAPE:
        case PCRE2_ERROR_UNSUPPORTED_ESCAPE_SEQUENCE:
            return "反斜杠后的字符无法识别";
        case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER:
            return "{} 中的数字前大后小";
        case PCRE2_ERROR_QUANTIFIER_TOO_BIG:
            return "{} 中的数字太大";
        case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
            return "字符类缺少结尾的 ]";
        case PCRE2_ERROR_ESCAPE_INVALID_IN_CLASS:
            return "字符类中的转义无效";
        case PCRE2_ERROR_CLASS_RANGE_ORDER:
        case PCRE2_ERROR_CLASS_INVALID_RANGE:
            return "字符类中的范围无效";
        case PCRE2_ERROR_QUANTIFIER_INVALID:
            return "量词前面没有可以重复的内容";
        case PCRE2_ERROR_INVALID_AFTER_PARENS_QUERY:
            return "(? 之后的字符无法识别";
        case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
        case PCRE2_ERROR_MISSING_CONDITION_CLOSING:
            return "缺少右括号 )";
        case PCRE2_ERROR_UNMATCHED_CLOSING_PARENTHESIS:
            return "右括号 ) 没有对应的左括号";
        case PCRE2_ERROR_BAD_SUBPATTERN_REFERENCE:
        case PCRE2_ERROR_ZERO_RELATIVE_REFERENCE:
        case PCRE2_ERROR_BAD_RELATIVE_REFERENCE:
            return "引用了不存在的分组";
        case PCRE2_ERROR_LOOKBEHIND_NOT_FIXED_LENGTH:
        case PCRE2_ERROR_LOOKBEHIND_TOO_COMPLICATED:
        case PCRE2_ERROR_LOOKBEHIND_TOO_LONG:
            return "向后断言的长度必须固定";
        case PCRE2_ERROR_UNKNOWN_POSIX_CLASS:
        case PCRE2_ERROR_POSIX_CLASS_NOT_IN_CLASS:
            return "POSIX 字符类写法有误";
        case PCRE2_ERROR_MISSING_NAME_TERMINATOR:
        case PCRE2_ERROR_INVALID_SUBPATTERN_NAME:
        case PCRE2_ERROR_SUBPATTERN_NAME_EXPECTED:
            return "分组名写法有误";
        case PCRE2_ERROR_DUPLICATE_SUBPATTERN_NAME:
            return "两个分组同名";
        case PCRE2_ERROR_MALFORMED_UNICODE_PROPERTY:
        case PCRE2_ERROR_UNKNOWN_UNICODE_PROPERTY:
            return "\\p 或 \\P 后的字符属性无法识别";
        case PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP:
        case PCRE2_ERROR_PATTERN_TOO_LARGE:
        case PCRE2_ERROR_PATTERN_TOO_COMPLICATED:
            return "表达式太大或嵌套太深";
        case PCRE2_ERROR_VERB_UNKNOWN:
            return "(*…) 中的指令无法识别";
        default:
            return "写法有误";
    }
}

std::u16string escaped(std::u16string_view literal) {
    std::u16string out;
    out.reserve(literal.size() * 2);
    for (const char16_t c : literal) {
        const bool plain =
            c >= 0x80 || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!plain) out += u'\\';
        out += c;
    }
    return out;
}

// A start that falls between the two halves of a character moves past it.
std::size_t characterStart(std::u16string_view text, std::size_t at) {
    if (at > 0 && at < text.size() && text[at] >= 0xDC00 && text[at] <= 0xDFFF && text[at - 1] >= 0xD800 &&
        text[at - 1] <= 0xDBFF)
        return at + 1;
    return at;
}

}  // namespace

struct TextSearch::Code {
    pcre2_code_16* code = nullptr;
    ~Code() { pcre2_code_free_16(code); }
};

class Matcher {
public:
    using Clock = std::chrono::steady_clock;

    explicit Matcher(const pcre2_code_16* code)
        : deadline_(Clock::now() + kWorkBudget),
          data_(pcre2_match_data_create_from_pattern_16(code, nullptr)),
          context_(pcre2_match_context_create_16(nullptr)),
          stack_(pcre2_jit_stack_create_16(32 * 1024, kJitStackMax, nullptr)) {
        pcre2_set_match_limit_16(context_, kMatchLimit);
        pcre2_set_depth_limit_16(context_, kDepthLimit);
        pcre2_set_heap_limit_16(context_, kHeapLimitKiB);
        if (stack_ != nullptr) pcre2_jit_stack_assign_16(context_, nullptr, stack_);
    }
    ~Matcher() {
        pcre2_jit_stack_free_16(stack_);
        pcre2_match_context_free_16(context_);
        pcre2_match_data_free_16(data_);
    }
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;
    pcre2_match_data_16* data() { return data_; }
    pcre2_match_context_16* context() { return context_; }
    bool pastDeadline() const { return Clock::now() > deadline_; }
    // How many places the next stretch tries: more while stretches go quickly, fewer when not.
    std::size_t stretch() const { return stretch_; }
    void took(Clock::duration time) {
        if (time < std::chrono::milliseconds(2)) {
            stretch_ = std::min(stretch_ * 2, kLongestStretch);
        } else if (time > std::chrono::milliseconds(20)) {
            stretch_ = std::max<std::size_t>(stretch_ / 4, 1);
        }
    }

private:
    Clock::time_point deadline_;
    std::size_t stretch_ = kFirstStretch;
    pcre2_match_data_16* data_;
    pcre2_match_context_16* context_;
    pcre2_jit_stack_16* stack_;
};

TextSearch::TextSearch(std::u16string_view pattern, SearchOptions options) : options_(options) {
    if (pattern.empty()) return;
    std::u16string source = options.regularExpression ? std::u16string(pattern) : escaped(pattern);
    // A whole word has no word character just before or after it, whatever the pattern starts with.
    if (options.wholeWord) source = u"(?<!\\w)(?:" + source + u")(?!\\w)";
    std::uint32_t flags =
        PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE | PCRE2_USE_OFFSET_LIMIT;
    if (!options.matchCase) flags |= PCRE2_CASELESS;
    pcre2_compile_context_16* context = pcre2_compile_context_create_16(nullptr);
    pcre2_set_newline_16(context, PCRE2_NEWLINE_LF);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code_16* code =
        pcre2_compile_16(unitsOf(source), source.size(), flags, &errorCode, &errorOffset, context);
    pcre2_compile_context_free_16(context);
    if (code == nullptr) {
        // The place is counted in the pattern as typed, not in the wrapping for whole words.
        const std::size_t lead = options.wholeWord ? 10 : 0;
        const std::size_t at =
            std::min<std::size_t>(pattern.size(), errorOffset > lead ? errorOffset - lead : 0);
        error_ = "正则表达式有误：" + reasonOf(errorCode) + "（第 " + std::to_string(at + 1) + " 个字符处）";
        return;
    }
    pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE);
    code_ = std::make_unique<Code>();
    code_->code = code;
}

TextSearch::~TextSearch() = default;
TextSearch::TextSearch(TextSearch&&) noexcept = default;
TextSearch& TextSearch::operator=(TextSearch&&) noexcept = default;

SearchResult TextSearch::matchAt(std::u16string_view text, std::size_t from, Matcher& matcher) const {
    for (std::size_t at = characterStart(text, from);;) {
        const std::size_t last = std::min(text.size(), at + matcher.stretch());
        pcre2_set_offset_limit_16(matcher.context(), last);
        const Matcher::Clock::time_point started = Matcher::Clock::now();
        const int rc = pcre2_match_16(code_->code, unitsOf(text), text.size(), at, PCRE2_NOTEMPTY,
                                      matcher.data(), matcher.context());
        matcher.took(Matcher::Clock::now() - started);
        if (rc >= 0) {
            const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(matcher.data());
            return {SearchStatus::Found, TextMatch{ovector[0], ovector[1] - ovector[0]}};
        }
        if (isLimit(rc)) return {SearchStatus::TooComplex, {}};
        if (rc != PCRE2_ERROR_NOMATCH || last >= text.size()) return {};
        if (matcher.pastDeadline()) return {SearchStatus::TooComplex, {}};
        at = characterStart(text, last + 1);
    }
}

SearchResult TextSearch::next(std::u16string_view text, std::size_t from) const {
    if (!usable() || from > text.size()) return {};
    Matcher matcher(code_->code);
    return matchAt(text, from, matcher);
}

SearchResult TextSearch::previous(std::u16string_view text, std::size_t before) const {
    if (!usable()) return {};
    before = std::min(before, text.size());
    Matcher matcher(code_->code);
    // Forward through a stretch before `before`, longer each time nothing ends in it.
    for (std::size_t window = 4096;; window *= 8) {
        const std::size_t from = before > window ? before - window : 0;
        SearchResult last;
        for (std::size_t at = from;;) {
            const SearchResult r = matchAt(text, at, matcher);
            if (r.status == SearchStatus::TooComplex) return r;
            if (r.status == SearchStatus::NotFound || r.match.end() > before) break;
            last = r;
            at = r.match.end();
        }
        if (last.status == SearchStatus::Found || from == 0) return last;
    }
}

SearchStatus TextSearch::forEach(std::u16string_view text, std::size_t from,
                                 const std::function<bool(TextMatch)>& found,
                                 const std::atomic<bool>* stop) const {
    if (!usable()) return SearchStatus::NotFound;
    Matcher matcher(code_->code);
    for (std::size_t at = from; at <= text.size();) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) return SearchStatus::Found;
        const SearchResult r = matchAt(text, at, matcher);
        if (r.status != SearchStatus::Found) return r.status;
        if (!found(r.match)) return SearchStatus::Found;
        at = r.match.end();
    }
    return SearchStatus::NotFound;
}

std::u16string TextSearch::replacementFor(std::u16string_view text, TextMatch match,
                                          std::u16string_view replacement) const {
    if (!options_.regularExpression || !usable()) return std::u16string(replacement);
    // The groups of the match: the same pattern at the same place finds the same match.
    Matcher matcher(code_->code);
    pcre2_set_offset_limit_16(matcher.context(), match.start);
    const int rc = pcre2_match_16(code_->code, unitsOf(text), text.size(), match.start,
                                  PCRE2_ANCHORED | PCRE2_NOTEMPTY, matcher.data(), matcher.context());
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(matcher.data());
    const auto groups = static_cast<std::size_t>(rc > 0 ? rc : 0);
    std::u16string out;
    out.reserve(replacement.size());
    for (std::size_t i = 0; i < replacement.size(); ++i) {
        const char16_t c = replacement[i];
        if (c != u'\\' || i + 1 == replacement.size()) {
            out += c;
            continue;
        }
        const char16_t n = replacement[++i];
        if (n >= u'0' && n <= u'9') {
            const auto group = static_cast<std::size_t>(n - u'0');
            if (group < groups && ovector[2 * group] != PCRE2_UNSET)
                out += text.substr(ovector[2 * group], ovector[2 * group + 1] - ovector[2 * group]);
        } else if (n == u'n') {
            out += u'\n';
        } else if (n == u't') {
            out += u'\t';
        } else if (n == u'\\') {
            out += u'\\';
        } else {
            out += c;
            out += n;
        }
    }
    return out;
}

std::string countCaption(std::size_t index, std::size_t total) {
    return "第 " + std::to_string(index) + " / " + std::to_string(total) + " 个";
}

std::string replacedCaption(std::size_t count) { return "已替换 " + std::to_string(count) + " 处"; }

}  // namespace corvane::search
