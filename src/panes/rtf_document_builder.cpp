#include "panes/rtf_document_builder.h"

#include <bit>
#include <limits>
#include <utility>

namespace corvane::rtf {

std::size_t CharFormatHash::operator()(const CharFormat& f) const {
    const unsigned flags =
        (f.bold ? 1u : 0u) | (f.italic ? 2u : 0u) | (f.underline ? 4u : 0u) | (f.strike ? 8u : 0u);
    std::uint64_t h = static_cast<std::uint32_t>(f.font);
    h = h * 0x9E3779B97F4A7C15u + std::bit_cast<std::uint32_t>(f.fontSize);
    h = h * 0x9E3779B97F4A7C15u + static_cast<std::uint32_t>(f.color);
    h = h * 0x9E3779B97F4A7C15u + flags;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

std::int32_t DocumentBuilder::font(std::string_view name) {
    if (name.empty()) return kPaneFont;
    const auto [it, added] =
        fontIndices_.try_emplace(std::string(name), static_cast<std::int32_t>(document_.fonts.size()));
    if (added) document_.fonts.emplace_back(name);
    return it->second;
}

void DocumentBuilder::append(std::string_view text) {
    if (text.empty()) return;
    if (formatChanged_) {
        const auto [it, added] =
            formatIndices_.try_emplace(format_, static_cast<std::uint32_t>(document_.formats.size()));
        if (added) document_.formats.push_back(format_);
        formatIndex_ = it->second;
        formatChanged_ = false;
    }
    std::vector<TextRun>& runs = paragraph_.runs;
    // A run's length is 32 bits; a longer stretch in one format (over 4 GB) goes on in a new run.
    if (!runs.empty() && runs.back().format == formatIndex_ &&
        runs.back().length <= std::numeric_limits<std::uint32_t>::max() - text.size()) {
        runs.back().length += static_cast<std::uint32_t>(text.size());
    } else {
        runs.push_back({static_cast<std::uint32_t>(text.size()), formatIndex_});
    }
    paragraph_.text.append(text);
}

void DocumentBuilder::endParagraph(Alignment alignment) {
    paragraph_.alignment = alignment;
    document_.paragraphs.push_back(std::move(paragraph_));
    paragraph_ = Paragraph{};
}

RichDocument DocumentBuilder::finish(Alignment openParagraphAlignment) {
    if (!paragraph_.runs.empty()) endParagraph(openParagraphAlignment);
    return std::move(document_);
}

}  // namespace corvane::rtf
