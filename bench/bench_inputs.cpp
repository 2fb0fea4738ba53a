#include "bench_inputs.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string_view>

namespace corvane::bench {

namespace {

constexpr std::array<std::string_view, 24> kChinese = {
    "网页", "编辑器", "示例", "文本", "中文", "字符", "标题", "段落", "链接", "图片", "表格", "样式",
    "脚本", "运行",   "结果", "保存", "打开", "文件", "代码", "测试", "你好", "世界", "内容", "说明"};
constexpr std::array<std::string_view, 16> kLatin = {
    "lorem", "ipsum", "dolor", "sit",   "amet",   "item",   "value",   "index",
    "count", "width", "style", "block", "header", "footer", "content", "section"};
constexpr std::array<std::string_view, 8> kTags = {"div", "p", "span", "li", "td", "a", "h2", "section"};

class Words {
public:
    explicit Words(unsigned seed) : random_(seed) {}
    std::size_t below(std::size_t n) { return random_() % n; }
    std::string_view chinese() { return kChinese[below(kChinese.size())]; }
    std::string_view latin() { return kLatin[below(kLatin.size())]; }
    std::string_view tag() { return kTags[below(kTags.size())]; }

    // A phrase of `n` words, about a third of them Chinese.
    std::string phrase(int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            if (below(3) == 0) {
                out += chinese();
                out += chinese();
            } else {
                if (!out.empty()) out += ' ';
                out += latin();
            }
        }
        return out;
    }

private:
    std::mt19937 random_;
};

// Decodes one UTF-8 sequence starting at `text[i]`; returns its code point and advances i.
std::uint32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(text[k]));
    };
    const std::uint32_t b0 = byte(i);
    if (b0 < 0x80) {
        i += 1;
        return b0;
    }
    if ((b0 & 0xE0) == 0xC0) {
        const std::uint32_t cp = ((b0 & 0x1F) << 6) | (byte(i + 1) & 0x3F);
        i += 2;
        return cp;
    }
    const std::uint32_t cp = ((b0 & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
    i += 3;
    return cp;
}

// Plain UTF-8 text as RTF: backslash and braces escaped, \uN? for the rest.
std::string rtfText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::uint32_t cp = nextCodePoint(text, i);
        if (cp == '\\' || cp == '{' || cp == '}') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else {
            // RTF's \u takes a signed 16-bit number.
            out += "\\u" + std::to_string(static_cast<std::int16_t>(cp)) + "?";
        }
    }
    return out;
}

}  // namespace

std::string generateHtml(std::size_t bytes, unsigned seed) {
    Words words(seed);
    std::string out;
    out.reserve(bytes + 4096);
    out += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>示例页面 sample</title>\n";
    out +=
        "<style>\n.item { color: #336; margin: 4px; }\n.note { font-size: 12px; "
        "}\n</style>\n</head>\n<body>\n";
    int line = 0;
    while (out.size() < bytes) {
        ++line;
        const int indent = static_cast<int>(words.below(4)) * 2;
        out.append(static_cast<std::size_t>(indent), ' ');
        switch (words.below(10)) {
            case 0:
                out += "<script>var item" + std::to_string(line) + " = \"" + std::string(words.chinese()) +
                       "\"; console.log(item" + std::to_string(line) + ");</script>";
                break;
            case 1:
                out += "<a href=\"page" + std::to_string(line) + ".html\" title=\"" + words.phrase(2) +
                       "\">" + words.phrase(3) + "</a>";
                break;
            case 2:
                out += "<!-- " + words.phrase(6) + " -->";
                break;
            case 3:
                if (words.below(40) == 0) {
                    // Now and then a long minified line.
                    std::string longLine = "<p class=\"note\">";
                    while (longLine.size() < 3000) longLine += words.phrase(8) + "，";
                    out += longLine + "</p>";
                } else {
                    out += "<p class=\"note\">" + words.phrase(10) + "</p>";
                }
                break;
            default: {
                const std::string tag(words.tag());
                out += "<" + tag + " class=\"item item-" + std::to_string(line % 97) + "\">" +
                       words.phrase(3 + static_cast<int>(words.below(8))) + "</" + tag + ">";
                break;
            }
        }
        out += '\n';
    }
    out += "</body>\n</html>\n";
    return out;
}

std::string generateRtf(std::size_t bytes, unsigned seed) {
    Words words(seed);
    std::string out;
    out.reserve(bytes + 4096);
    out +=
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\uc1"
        "{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}{\\f1\\fswiss Arial;}}"
        "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;\\red0\\green0\\blue160;}\n";
    static constexpr std::array<std::string_view, 3> kAlign = {"\\ql", "\\qc", "\\qr"};
    while (out.size() < bytes) {
        // Mostly left-aligned paragraphs, as in a document someone typed.
        const std::size_t align = words.below(8) == 0 ? 1 + words.below(2) : 0;
        out += "\\pard";
        out += kAlign[align];
        out += "\\f0\\fs24 ";
        out += rtfText(words.phrase(4));
        out += " {\\b ";
        out += rtfText(words.phrase(2));
        out += "} {\\i\\cf2 ";
        out += rtfText(words.phrase(3));
        out += "} {\\f1\\fs28\\cf3 ";
        out += rtfText(words.phrase(2));
        out += "}\\par\n";
    }
    out += "}\n";
    return out;
}

}  // namespace corvane::bench
