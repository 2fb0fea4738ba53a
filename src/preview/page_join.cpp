#include "preview/page_join.h"

#include <algorithm>
#include <cctype>

namespace corvane {

namespace {

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    }
    return true;
}

// Whether a tag name ends right after `at` (so that "<header" is not "<head").
bool tagNameEnds(std::string_view text, std::size_t at) {
    if (at >= text.size()) return true;
    const char c = text[at];
    return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::size_t afterTag(std::string_view html, std::size_t at) {
    const std::size_t end = html.find('>', at);
    return end == std::string_view::npos ? html.size() : end + 1;
}

// Where the markup's own tags are: comments and the text of raw-text elements are passed over.
struct Landmarks {
    std::size_t headEnd = std::string_view::npos;    // "</head"
    std::size_t bodyStart = std::string_view::npos;  // just after "<body …>"
    std::size_t bodyEnd = std::string_view::npos;    // the last "</body"
    std::size_t htmlEnd = std::string_view::npos;    // the last "</html"
    std::size_t prologueEnd = 0;                     // after a leading doctype and <html …>
};

Landmarks findLandmarks(std::string_view html) {
    Landmarks marks;
    bool prologue = true;
    std::size_t i = 0;
    while (i < html.size()) {
        const std::size_t lt = html.find('<', i);
        if (lt == std::string_view::npos) break;
        if (prologue && html.find_first_not_of(" \t\r\n\f", i) != lt) prologue = false;
        if (html.compare(lt, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", lt + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        if (prologue && (startsWithNoCase(html, lt, "<!doctype") ||
                         (startsWithNoCase(html, lt, "<html") && tagNameEnds(html, lt + 5)))) {
            marks.prologueEnd = afterTag(html, lt);
            i = marks.prologueEnd;
            continue;
        }
        prologue = false;
        bool rawText = false;
        for (std::string_view raw : {std::string_view("script"), std::string_view("style"),
                                     std::string_view("textarea"), std::string_view("title")}) {
            if (startsWithNoCase(html, lt + 1, raw) && tagNameEnds(html, lt + 1 + raw.size())) {
                const std::string closing = "</" + std::string(raw);
                std::size_t end = afterTag(html, lt);
                while (end < html.size() &&
                       !(startsWithNoCase(html, end, closing) && tagNameEnds(html, end + closing.size()))) {
                    ++end;
                }
                i = end;
                rawText = true;
                break;
            }
        }
        if (rawText) continue;
        if (startsWithNoCase(html, lt, "</head") && tagNameEnds(html, lt + 6)) {
            if (marks.headEnd == std::string_view::npos) marks.headEnd = lt;
        } else if (startsWithNoCase(html, lt, "<body") && tagNameEnds(html, lt + 5)) {
            if (marks.bodyStart == std::string_view::npos) marks.bodyStart = afterTag(html, lt);
        } else if (startsWithNoCase(html, lt, "</body") && tagNameEnds(html, lt + 6)) {
            marks.bodyEnd = lt;
        } else if (startsWithNoCase(html, lt, "</html") && tagNameEnds(html, lt + 6)) {
            marks.htmlEnd = lt;
        }
        i = lt + 1;
    }
    return marks;
}

bool blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; });
}

int lineCount(std::string_view text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
}

// The text with every `<` that begins one of `openers` (matched without regard to case) written
// as `replacement`.
std::string escapeOpeners(std::string_view text, std::initializer_list<std::string_view> openers,
                          std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool hit = false;
        if (text[i] == '<') {
            for (std::string_view opener : openers) hit = hit || startsWithNoCase(text, i, opener);
        }
        if (hit) {
            out += replacement;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

JoinedPage joinPanes(std::string_view html, std::string_view css, std::string_view js) {
    const bool withCss = !blank(css);
    const bool withJs = !blank(js);
    JoinedPage page;
    page.lines.push_back({1, PaneId::Html, 1});
    if (!withCss && !withJs) {
        page.text = html;
        return page;
    }
    const Landmarks marks = findLandmarks(html);
    std::size_t cssAt = marks.headEnd != std::string_view::npos     ? marks.headEnd
                        : marks.bodyStart != std::string_view::npos ? marks.bodyStart
                                                                    : marks.prologueEnd;
    std::size_t jsAt = marks.bodyEnd != std::string_view::npos   ? marks.bodyEnd
                       : marks.htmlEnd != std::string_view::npos ? marks.htmlEnd
                                                                 : html.size();
    jsAt = std::max(jsAt, cssAt);

    int pageLine = 1;
    std::size_t copied = 0;
    const auto copyHtml = [&](std::size_t upTo) {
        const std::string_view part = html.substr(copied, upTo - copied);
        page.text += part;
        pageLine += lineCount(part) - 1;
        copied = upTo;
    };
    // The element's text starts on the line after its start tag and ends on the line before its
    // end tag; the page's own text goes on after the end tag, still on the line it was on.
    const auto insert = [&](PaneId pane, std::string_view open, const std::string& text,
                            std::string_view close) {
        const int htmlLine = lineCount(html.substr(0, copied));
        page.text += open;
        page.text += '\n';
        page.lines.push_back({pageLine + 1, pane, 1});
        page.text += text;
        page.text += '\n';
        page.text += close;
        pageLine += lineCount(text) + 1;
        page.lines.push_back({pageLine, PaneId::Html, htmlLine});
    };
    if (withCss) {
        copyHtml(cssAt);
        // In a style sheet "<\/style" reads as "</style" inside a string or comment, where alone
        // it can stand.
        insert(PaneId::Css, "<style>", escapeOpeners(css, {"</style"}, "<\\"), "</style>");
    }
    if (withJs) {
        copyHtml(jsAt);
        // "\x3C" is "<" in a script's strings, templates and regular expressions alike. "<!--"
        // goes too: followed by "<script" it would keep the element's end tag from ending it.
        insert(PaneId::Js, "<script>", escapeOpeners(js, {"</script", "<!--"}, "\\x3C"), "</script>");
    }
    copyHtml(html.size());
    return page;
}

std::optional<PaneLine> paneLineOf(const std::vector<LineRun>& lines, int pageLine) {
    if (pageLine < 1) return std::nullopt;
    const LineRun* found = nullptr;
    for (const LineRun& run : lines) {
        if (run.pageLine <= pageLine) found = &run;
    }
    if (found == nullptr) return std::nullopt;
    return PaneLine{found->pane, found->paneLine + (pageLine - found->pageLine)};
}

std::string_view paneName(PaneId pane) {
    switch (pane) {
        case PaneId::Css:
            return "CSS";
        case PaneId::Js:
            return "JS";
        case PaneId::Html:
            break;
    }
    return "HTML";
}

std::string paneMessage(PaneId pane, int line, std::string_view message) {
    return std::string(paneName(pane)) + " 第 " + std::to_string(line) + " 行：" + std::string(message);
}

}  // namespace corvane
