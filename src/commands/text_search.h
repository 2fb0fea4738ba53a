#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Finding and replacing in a pane's text. The text is UTF-16 as the pane holds it, lines ending in
// "\n" and each long line whole, so that positions are the pane's own without a conversion of the
// whole text on every key. A byte that the file's encoding could not read (a lone surrogate,
// panes/utf.h) is matched by nothing and never becomes part of a match.
//
// Searching is PCRE2 with limits on the work of one match and of one search (about 1.5 s): a
// pattern that backtracks without end stops with SearchStatus::TooComplex instead of holding the
// window.
namespace corvane::search {

struct SearchOptions {
    bool matchCase = false;
    bool wholeWord = false;
    bool regularExpression = false;
};

struct TextMatch {
    std::size_t start = 0;
    std::size_t length = 0;
    std::size_t end() const { return start + length; }
};

enum class SearchStatus { Found, NotFound, TooComplex };

struct SearchResult {
    SearchStatus status = SearchStatus::NotFound;
    TextMatch match;
};

// What one search holds of its own (its match data, limits and clock): a TextSearch is used
// from the window's thread and from the thread that counts at once.
class Matcher;

class TextSearch {
public:
    // An empty pattern finds nothing and is no error.
    TextSearch(std::u16string_view pattern, SearchOptions options);
    ~TextSearch();
    TextSearch(TextSearch&&) noexcept;
    TextSearch& operator=(TextSearch&&) noexcept;

    bool usable() const { return code_ != nullptr; }
    // Why the regular expression does not compile, in Chinese (UTF-8); empty when it does.
    const std::string& error() const { return error_; }
    const SearchOptions& options() const { return options_; }

    // The first match that starts at or after `from`.
    SearchResult next(std::u16string_view text, std::size_t from) const;
    // The last match that ends at or before `before`.
    SearchResult previous(std::u16string_view text, std::size_t before) const;
    // Every match from `from` on, one after another, until `found` returns false, `stop` is set or
    // the text ends. NotFound when it went through without trouble, whatever it found.
    SearchStatus forEach(std::u16string_view text, std::size_t from,
                         const std::function<bool(TextMatch)>& found,
                         const std::atomic<bool>* stop = nullptr) const;

    // What replaces `match` in `text`: with a regular expression, "\0" to "\9" stand for the
    // match and its groups, "\n" and "\t" for a line end and a tab, "\\" for a backslash; else the
    // replacement as it is.
    std::u16string replacementFor(std::u16string_view text, TextMatch match,
                                  std::u16string_view replacement) const;

private:
    struct Code;
    SearchResult matchAt(std::u16string_view text, std::size_t from, Matcher& matcher) const;

    SearchOptions options_;
    std::unique_ptr<Code> code_;
    std::string error_;
};

// What the find bar says.
std::string countCaption(std::size_t index, std::size_t total);  // "第 3 / 120 个"
inline constexpr std::string_view kNoMatchCaption = "无匹配";
inline constexpr std::string_view kWrappedToStart = "已到结尾，从开头继续查找";
inline constexpr std::string_view kWrappedToEnd = "已到开头，从结尾继续查找";
inline constexpr std::string_view kTooComplexCaption = "表达式过于复杂，查找已在限制处停止";
inline constexpr std::string_view kCountingCaption = "正在计数…";
std::string replacedCaption(std::size_t count);  // "已替换 12 处"

}  // namespace corvane::search
