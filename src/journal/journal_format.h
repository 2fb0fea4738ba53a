#pragma once

#include <cstdint>
#include <functional>
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

// One change of a pane's text since its base: the UTF-16 units [at, at + removed) of the text as
// it was replaced by `inserted`. Offsets count the program's text (line ends as one "\n").
struct Edit {
    std::int64_t at = 0;
    std::int64_t removed = 0;
    std::u16string inserted;

    bool operator==(const Edit&) const = default;
};

// Where a pane's text starts from. Inline: `text` in the journal itself. Whole: a file of the
// journal folder holding the text as the program keeps it. Copy: a file of the journal folder
// holding the bytes of the pane's file as the pane read it, read again as Open reads them.
enum class BaseKind { Inline, Whole, Copy };

// One unsaved pane: its text exactly as the pane holds it (the program's text, unreadable bytes
// escaped, panes/utf.h), its file and what that file was when last read or written, how the
// file stores its text, and the caret (UTF-16 units from the start of the text).
//
// On disk the text is a base and the edits made since: a key typed into a long text costs the
// journal the key, not the text. completeJournal makes `text` the pane's text.
struct PaneRecord {
    PaneId pane = PaneId::Html;
    std::string path;
    TextFormat format;
    std::int64_t caret = 0;
    FileStamp stamp;
    std::string text;  // Inline: the base; once complete, the pane's text
    BaseKind baseKind = BaseKind::Inline;
    std::string baseName{};      // Whole and Copy: the base's file in the journal folder
    std::string baseSource{};    // Copy: the file it is a copy of, which says how Open reads it
    std::uint64_t baseBytes = 0;  // its size and CRC-32
    std::uint32_t baseCrc = 0;
    std::int64_t baseLength = -1;  // UTF-16 units of the base's text; -1: not checked
    std::vector<Edit> edits{};

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

// Makes each pane's `text` its whole text: its base (files of the journal folder through `load`,
// nothing when missing) with the edits applied. False, the journal being of no use, when a base
// is missing or is not the size, CRC or length the journal names, or an edit does not fit.
using BaseLoader = std::function<std::optional<std::string>(const std::string& name)>;
bool completeJournal(Journal& journal, const BaseLoader& load);

}  // namespace corvane::journal
