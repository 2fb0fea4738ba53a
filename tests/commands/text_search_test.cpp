#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/text_search.h"

namespace corvane::search {
namespace {

struct FindCase {
    const char* what;
    std::u16string text;
    std::u16string pattern;
    SearchOptions options;
    std::vector<std::size_t> starts;  // where the matches start, in order
};

std::vector<std::size_t> startsOf(const TextSearch& search, std::u16string_view text) {
    std::vector<std::size_t> starts;
    EXPECT_EQ(search.forEach(text, 0,
                             [&](TextMatch m) {
                                 starts.push_back(m.start);
                                 return true;
                             }),
              SearchStatus::NotFound);
    return starts;
}

TEST(TextSearch, FindsWhatEachOptionAsksFor) {
    const SearchOptions plain{};
    const SearchOptions cased{true, false, false};
    const SearchOptions word{false, true, false};
    const SearchOptions regex{false, false, true};
    const std::u16string unreadable = std::u16string(u"a") + char16_t(0xDC80) + u"b";
    const std::vector<FindCase> cases = {
        {"ignores case by default", u"Div div DIV", u"div", plain, {0, 4, 8}},
        {"match case", u"Div div DIV", u"div", cased, {4}},
        {"whole words", u"var variable _var var", u"var", word, {0, 18}},
        {"whole word that starts with a mark", u"a.b .b", u".b", word, {4}},
        {"marks of a regular expression are plain text", u"a.b axb (x)", u"a.b", plain, {0}},
        {"brackets literally", u"f(x) f(x)", u"(x)", plain, {1, 6}},
        {"regular expression", u"color: #fff; background: #000;", u"#[0-9a-f]{3}", regex, {7, 25}},
        {"line anchors", u"a\nab\nb a", u"^a", regex, {0, 2}},
        {"Chinese", u"查找中文，查找", u"查找", plain, {0, 5}},
        {"full-width letters ignore case", u"ＡＢＣ ａｂｃ", u"ａｂｃ", plain, {0, 4}},
        {"full and half width differ", u"ABC ＡＢＣ", u"ABC", cased, {0}},
        {"character past U+FFFF", u"x\U0001F600y\U0001F600", u"\U0001F600", plain, {1, 4}},
        {"an unreadable byte is never matched", unreadable, u"ab", plain, {}},
        {"nor by any character", unreadable, u"a.b", regex, {}},
        {"text around it is", unreadable, u"b", plain, {2}},
        {"empty pattern finds nothing", u"abc", u"", plain, {}},
        {"empty text", u"", u"a", plain, {}},
        {"no empty matches", u"abc", u"x*", regex, {}},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TextSearch search(c.pattern, c.options);
        EXPECT_TRUE(search.error().empty());
        EXPECT_EQ(startsOf(search, c.text), c.starts);
    }
}

TEST(TextSearch, NextAndPreviousStepFromAPlaceAndSayWhenThereIsNone) {
    const std::u16string text = u"one two one two one";
    const TextSearch search(u"one", {});
    EXPECT_EQ(search.next(text, 1).match.start, 8u);
    EXPECT_EQ(search.next(text, 8).match.start, 8u);
    EXPECT_EQ(search.next(text, 17).status, SearchStatus::NotFound);
    EXPECT_EQ(search.previous(text, 16).match.start, 8u);
    EXPECT_EQ(search.previous(text, 11).match.start, 8u);
    EXPECT_EQ(search.previous(text, 10).match.start, 0u);
    EXPECT_EQ(search.previous(text, 2).status, SearchStatus::NotFound);
    EXPECT_EQ(search.next(std::u16string_view(), 0).status, SearchStatus::NotFound);
    EXPECT_EQ(search.previous(std::u16string_view(), 0).status, SearchStatus::NotFound);
    // Far back in a long text.
    const std::u16string longText = u"one" + std::u16string(100000, u'x') + u"two";
    EXPECT_EQ(search.previous(longText, longText.size()).match.start, 0u);
}

TEST(TextSearch, ABadPatternSaysWhyInChineseAndFindsNothing) {
    const TextSearch search(u"(ab", {false, false, true});
    EXPECT_FALSE(search.usable());
    EXPECT_NE(search.error().find("正则表达式有误"), std::string::npos) << search.error();
    EXPECT_NE(search.error().find("缺少右括号"), std::string::npos) << search.error();
    EXPECT_EQ(search.next(u"(ab", 0).status, SearchStatus::NotFound);
    // The same text, not a regular expression, is fine.
    EXPECT_TRUE(TextSearch(u"(ab", {}).error().empty());
    EXPECT_NE(TextSearch(u"[a", {false, true, true}).error().find("字符类"), std::string::npos);
}

TEST(TextSearch, APatternThatBacktracksWithoutEndStopsAtTheLimit) {
    const std::u16string text = std::u16string(40, u'a') + u"!";
    const TextSearch search(u"(a+)+$", {false, false, true});
    EXPECT_EQ(search.next(text, 0).status, SearchStatus::TooComplex);
    EXPECT_EQ(search.forEach(text, 0, [](TextMatch) { return true; }), SearchStatus::TooComplex);
    // A pattern that costs just under the limit at every place stops too, over the whole text.
    std::u16string runs;
    for (int i = 0; i < 20000; ++i) runs += std::u16string(120, u'a') + u" ";
    EXPECT_EQ(TextSearch(u"a*a*a*a*[bc]", {false, false, true}).next(runs, 0).status,
              SearchStatus::TooComplex);
    // A sound pattern over a long text without a match does not count as too much work.
    const std::u16string page(2'000'000, u'a');
    EXPECT_EQ(TextSearch(u"a+b", {false, false, true}).next(page, 0).status, SearchStatus::NotFound);
    EXPECT_EQ(TextSearch(u"zz", {}).next(page, 0).status, SearchStatus::NotFound);
}

TEST(TextSearch, ReplacementsReferToGroups) {
    const std::u16string text = u"width: 10px; height: 20px;";
    const TextSearch search(u"(\\w+): (\\d+)px", {false, false, true});
    const SearchResult first = search.next(text, 0);
    EXPECT_EQ(search.replacementFor(text, first.match, u"\\2-\\1 \\0\\\\\\x"), u"10-width width: 10px\\\\x");
    const SearchResult second = search.next(text, first.match.end());
    EXPECT_EQ(search.replacementFor(text, second.match, u"\\1\\n\\9"), u"height\n");
    // Without a regular expression a backslash is a backslash.
    const TextSearch literal(u"width", {});
    EXPECT_EQ(literal.replacementFor(text, literal.next(text, 0).match, u"\\1"), u"\\1");
}

TEST(TextSearch, CaptionsOfTheBar) {
    EXPECT_EQ(countCaption(3, 120), "第 3 / 120 个");
    EXPECT_EQ(kNoMatchCaption, "无匹配");
}

}  // namespace
}  // namespace corvane::search
