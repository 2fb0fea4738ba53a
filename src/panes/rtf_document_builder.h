#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/rich_document.h"

namespace corvane::rtf {

struct CharFormatHash {
    std::size_t operator()(const CharFormat& f) const;
};

// Puts the reader's text together into a document: consecutive text in one format is one run,
// and each distinct format and font name is stored once, so that what a run costs does not
// depend on its format.
class DocumentBuilder {
public:
    // The document's index for a font name; an empty name is the pane's own font.
    std::int32_t font(std::string_view name);

    // The format of the text appended from now on.
    void setFormat(const CharFormat& format) {
        format_ = format;
        formatChanged_ = true;
    }

    void append(std::string_view text);
    void endParagraph(Alignment alignment);

    // The document, with the paragraph still open if it has any text.
    RichDocument finish(Alignment openParagraphAlignment);

private:
    RichDocument document_;
    Paragraph paragraph_;
    CharFormat format_;
    bool formatChanged_ = true;
    std::uint32_t formatIndex_ = 0;
    std::unordered_map<std::string, std::int32_t> fontIndices_;
    std::unordered_map<CharFormat, std::uint32_t, CharFormatHash> formatIndices_;
};

}  // namespace corvane::rtf
