#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "panes/file_io.h"
#include "platform/controls.h"
#include "platform/text_format.h"

// The recovery journal: what a running editor keeps on disk of every pane with unsaved changes, so
// that a kill, a crash or a power cut costs at most the last seconds of typing.
namespace corvane::journal {

// One unsaved pane: its text exactly as the pane holds it (the program's text, unreadable bytes
// escaped, panes/utf.h), its file and what that file was when last read or written, how the
// file stores its text, and the caret (UTF-16 units from the start of the text).
struct PaneRecord {
    PaneId pane = PaneId::Html;
    std::string path;
    TextFormat format;
    std::int64_t caret = 0;
    FileStamp stamp;
    std::string text;

    bool operator==(const PaneRecord&) const = default;
};

struct Journal {
    std::int64_t savedAtMs = 0;  // milliseconds since 1970, UTC
    std::vector<PaneRecord> panes;

    bool operator==(const Journal&) const = default;
};

// The journal's bytes: a header line, the panes with every field and the text counted in bytes,
// and a last line with the CRC-32 of everything before it. Handed to `sink` a piece at a time, so
// that a long text is not copied again.
void writeJournal(const Journal& journal, const ByteSink& sink);
std::string encodeJournal(const Journal& journal);

// The journal in `bytes`, or nothing when they are not one whole journal: cut short, changed,
// or not a journal at all. Never reads outside `bytes`.
std::optional<Journal> readJournal(std::string_view bytes);

}  // namespace corvane::journal
