#include "journal/journal_format.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "panes/encodings.h"
#include "panes/rtf_reader.h"
#include "panes/text_decoder.h"
#include "panes/utf.h"

namespace corvane::journal {

namespace {

constexpr std::string_view kMagic = "CORVANE JOURNAL 2\n";
constexpr std::string_view kEnd = "end ";
// "end " and eight hex digits and a line end.
constexpr std::size_t kEndLength = 4 + 8 + 1;

std::string_view paneName(PaneId pane) {
    switch (pane) {
        case PaneId::Css:
            return "css";
        case PaneId::Js:
            return "js";
        case PaneId::Html:
        default:
            return "html";
    }
}

std::string_view lineEndName(LineEnd end) {
    switch (end) {
        case LineEnd::CrLf:
            return "crlf";
        case LineEnd::Cr:
            return "cr";
        case LineEnd::Lf:
        default:
            return "lf";
    }
}

// Reads the journal's lines from the front; any surprise makes the whole reading fail.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    bool ok() const { return ok_; }
    bool atEnd() const { return rest_.empty(); }

    // "key value\n": the value.
    std::string_view field(std::string_view key) {
        if (!ok_) return {};
        const std::size_t newline = rest_.find('\n');
        if (newline == std::string_view::npos || rest_.substr(0, key.size()) != key ||
            newline < key.size() + 1 || rest_[key.size()] != ' ') {
            ok_ = false;
            return {};
        }
        const std::string_view value = rest_.substr(key.size() + 1, newline - key.size() - 1);
        rest_.remove_prefix(newline + 1);
        return value;
    }

    template <typename Number>
    Number number(std::string_view key) {
        const std::string_view value = field(key);
        Number result{};
        if (!ok_) return result;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
        if (error != std::errc() || end != value.data() + value.size() || value.empty()) ok_ = false;
        return result;
    }

    // "key <count>\n<count bytes>\n"
    std::string counted(std::string_view key) {
        const auto count = number<std::uint64_t>(key);
        if (!ok_ || count >= rest_.size() || rest_[count] != '\n') {
            ok_ = false;
            return {};
        }
        std::string value(rest_.substr(0, count));
        rest_.remove_prefix(count + 1);
        return value;
    }

    void fail() { ok_ = false; }

private:
    std::string_view rest_;
    bool ok_ = true;
};

std::string_view baseKindName(BaseKind kind) {
    switch (kind) {
        case BaseKind::Whole:
            return "whole";
        case BaseKind::Copy:
            return "copy";
        case BaseKind::Inline:
        default:
            return "inline";
    }
}

// Inserted text is kept as the pane holds it, UTF-16 units, little end first: an edit may start
// or end inside a surrogate pair.
std::string unitsToBytes(std::u16string_view units) {
    std::string bytes(units.size() * 2, '\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    return bytes;
}

std::u16string bytesToUnits(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return units;
}

// The text the edits are applied to, with a gap where the last edit was: edits close together,
// as typing makes them, move few units each.
class GapText {
public:
    explicit GapText(std::string_view text) : units_(text.size(), u'\0') {
        units_.resize(utf::utf8ToUtf16(text, units_.data()));
        gapStart_ = gapEnd_ = units_.size();
    }

    std::size_t size() const { return units_.size() - (gapEnd_ - gapStart_); }

    void replace(std::size_t at, std::size_t removed, std::u16string_view inserted) {
        moveGap(at);
        gapEnd_ += removed;
        if (gapEnd_ - gapStart_ < inserted.size()) {
            // Room for the insertion and as much again.
            const std::size_t grow = inserted.size() + std::max<std::size_t>(units_.size() / 8, 4096);
            units_.insert(units_.begin() + static_cast<std::ptrdiff_t>(gapEnd_), grow, u'\0');
            gapEnd_ += grow;
        }
        std::copy(inserted.begin(), inserted.end(), units_.begin() + static_cast<std::ptrdiff_t>(gapStart_));
        gapStart_ += inserted.size();
    }

    std::string toUtf8() {
        moveGap(size());
        return utf::utf16ToUtf8(std::u16string_view(units_.data(), gapStart_));
    }

private:
    void moveGap(std::size_t at) {
        const auto data = units_.begin();
        if (at < gapStart_) {
            std::move_backward(data + static_cast<std::ptrdiff_t>(at), data + static_cast<std::ptrdiff_t>(gapStart_),
                               data + static_cast<std::ptrdiff_t>(gapEnd_));
            gapEnd_ -= gapStart_ - at;
            gapStart_ = at;
        } else if (at > gapStart_) {
            const std::size_t count = at - gapStart_;
            std::move(data + static_cast<std::ptrdiff_t>(gapEnd_), data + static_cast<std::ptrdiff_t>(gapEnd_ + count),
                      data + static_cast<std::ptrdiff_t>(gapStart_));
            gapStart_ += count;
            gapEnd_ += count;
        }
    }

    std::u16string units_;
    std::size_t gapStart_ = 0;
    std::size_t gapEnd_ = 0;
};

}  // namespace

void writeJournal(const Journal& journal, const ByteSink& sink) {
    std::uint32_t crc = 0;
    const auto put = [&](std::string_view bytes) {
        crc = crc32Of(bytes, crc);
        sink(bytes);
    };
    std::string head(kMagic);
    head += "saved " + std::to_string(journal.savedAtMs) + "\n";
    head += "panes " + std::to_string(journal.panes.size()) + "\n";
    put(head);
    for (const PaneRecord& pane : journal.panes) {
        std::string fields = "pane " + std::string(paneName(pane.pane)) + "\n";
        fields += "file " + std::to_string(pane.path.size()) + "\n" + pane.path + "\n";
        fields += "encoding " + pane.format.encoding + "\n";
        fields += "bom " + std::string(pane.format.byteOrderMark ? "1" : "0") + "\n";
        fields += "lines " + std::string(lineEndName(pane.format.lineEnd)) + "\n";
        fields += "caret " + std::to_string(pane.caret) + "\n";
        fields += "known " + std::string(pane.stamp.known ? "1" : "0") + "\n";
        fields += "size " + std::to_string(pane.stamp.size) + "\n";
        fields += "modified " + std::to_string(pane.stamp.modifiedNs) + "\n";
        fields += "crc " + std::to_string(pane.stamp.crc) + "\n";
        fields += "base " + std::string(baseKindName(pane.baseKind)) + "\n";
        if (pane.baseKind == BaseKind::Inline) {
            fields += "text " + std::to_string(pane.text.size()) + "\n";
            put(fields);
            put(pane.text);
            fields = "\n";
        } else {
            fields += "name " + std::to_string(pane.baseName.size()) + "\n" + pane.baseName + "\n";
            if (pane.baseKind == BaseKind::Copy)
                fields += "from " + std::to_string(pane.baseSource.size()) + "\n" + pane.baseSource + "\n";
            fields += "bytes " + std::to_string(pane.baseBytes) + "\n";
            fields += "basecrc " + std::to_string(pane.baseCrc) + "\n";
        }
        fields += "length " + std::to_string(pane.baseLength) + "\n";
        fields += "edits " + std::to_string(pane.edits.size()) + "\n";
        for (const Edit& edit : pane.edits) {
            const std::string inserted = unitsToBytes(edit.inserted);
            fields += "at " + std::to_string(edit.at) + "\n";
            fields += "removed " + std::to_string(edit.removed) + "\n";
            fields += "insert " + std::to_string(inserted.size()) + "\n";
            fields += inserted;
            fields += "\n";
        }
        put(fields);
    }
    char end[kEndLength + 1];
    std::snprintf(end, sizeof end, "end %08x\n", static_cast<unsigned>(crc));
    sink(std::string_view(end, kEndLength));
}

std::string encodeJournal(const Journal& journal) {
    std::string bytes;
    writeJournal(journal, [&bytes](std::string_view piece) { bytes += piece; });
    return bytes;
}

std::optional<Journal> readJournal(std::string_view bytes) {
    // The checksum first: a journal cut short or changed anywhere goes no further.
    if (bytes.size() < kMagic.size() + kEndLength || bytes.substr(0, kMagic.size()) != kMagic)
        return std::nullopt;
    const std::string_view body = bytes.substr(0, bytes.size() - kEndLength);
    const std::string_view last = bytes.substr(body.size());
    if (last.substr(0, kEnd.size()) != kEnd || last.back() != '\n') return std::nullopt;
    std::uint32_t stored = 0;
    const std::string_view hex = last.substr(kEnd.size(), 8);
    const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), stored, 16);
    if (error != std::errc() || end != hex.data() + hex.size() || stored != crc32Of(body))
        return std::nullopt;

    Reader in(body.substr(kMagic.size()));
    Journal journal;
    journal.savedAtMs = in.number<std::int64_t>("saved");
    const auto count = in.number<std::uint32_t>("panes");
    if (!in.ok() || count > 3) return std::nullopt;
    bool seen[3] = {false, false, false};
    for (std::uint32_t i = 0; i < count && in.ok(); ++i) {
        PaneRecord pane;
        const std::string_view name = in.field("pane");
        if (name == "html") {
            pane.pane = PaneId::Html;
        } else if (name == "css") {
            pane.pane = PaneId::Css;
        } else if (name == "js") {
            pane.pane = PaneId::Js;
        } else {
            return std::nullopt;
        }
        bool& once = seen[static_cast<int>(pane.pane)];
        if (once) return std::nullopt;
        once = true;
        pane.path = in.counted("file");
        pane.format.encoding = std::string(in.field("encoding"));
        const std::string_view bom = in.field("bom");
        if (bom != "0" && bom != "1") in.fail();
        pane.format.byteOrderMark = bom == "1";
        const std::string_view lines = in.field("lines");
        if (lines == "lf") {
            pane.format.lineEnd = LineEnd::Lf;
        } else if (lines == "crlf") {
            pane.format.lineEnd = LineEnd::CrLf;
        } else if (lines == "cr") {
            pane.format.lineEnd = LineEnd::Cr;
        } else {
            in.fail();
        }
        pane.caret = in.number<std::int64_t>("caret");
        const std::string_view known = in.field("known");
        if (known != "0" && known != "1") in.fail();
        pane.stamp.known = known == "1";
        pane.stamp.size = in.number<std::uint64_t>("size");
        pane.stamp.modifiedNs = in.number<std::int64_t>("modified");
        pane.stamp.crc = in.number<std::uint32_t>("crc");
        const std::string_view base = in.field("base");
        if (base == "inline") {
            pane.baseKind = BaseKind::Inline;
            pane.text = in.counted("text");
        } else if (base == "whole" || base == "copy") {
            pane.baseKind = base == "whole" ? BaseKind::Whole : BaseKind::Copy;
            pane.baseName = in.counted("name");
            if (pane.baseKind == BaseKind::Copy) pane.baseSource = in.counted("from");
            pane.baseBytes = in.number<std::uint64_t>("bytes");
            pane.baseCrc = in.number<std::uint32_t>("basecrc");
        } else {
            return std::nullopt;
        }
        pane.baseLength = in.number<std::int64_t>("length");
        const auto edits = in.number<std::uint64_t>("edits");
        for (std::uint64_t e = 0; e < edits && in.ok(); ++e) {
            Edit edit;
            edit.at = in.number<std::int64_t>("at");
            edit.removed = in.number<std::int64_t>("removed");
            const std::string inserted = in.counted("insert");
            if (inserted.size() % 2 != 0 || edit.at < 0 || edit.removed < 0) in.fail();
            edit.inserted = bytesToUnits(inserted);
            pane.edits.push_back(std::move(edit));
        }
        if (!in.ok()) return std::nullopt;
        if (pane.path.find('\0') != std::string::npos || pane.caret < 0 || pane.baseLength < -1 ||
            pane.baseName.find('\0') != std::string::npos)
            return std::nullopt;
        journal.panes.push_back(std::move(pane));
    }
    if (!in.ok() || !in.atEnd()) return std::nullopt;
    return journal;
}

bool completeJournal(Journal& journal, const BaseLoader& load) {
    for (PaneRecord& pane : journal.panes) {
        if (pane.baseKind != BaseKind::Inline) {
            std::optional<std::string> bytes = load(pane.baseName);
            if (!bytes || bytes->size() != pane.baseBytes || crc32Of(*bytes) != pane.baseCrc) return false;
            if (pane.baseKind == BaseKind::Whole) {
                pane.text = std::move(*bytes);
            } else {
                // Read as Open reads the file; a rich-text file's text is never a copy.
                if (looksLikeRtf(*bytes)) return false;
                pane.text = decodeFile(*bytes, fileKindOf(pane.baseSource)).text;
            }
        }
        if (pane.edits.empty() && pane.baseLength < 0) {
            pane.baseKind = BaseKind::Inline;
            continue;
        }
        GapText units(pane.text);
        if (pane.baseLength >= 0 && units.size() != static_cast<std::uint64_t>(pane.baseLength)) return false;
        for (const Edit& edit : pane.edits) {
            if (edit.at < 0 || edit.removed < 0 || static_cast<std::uint64_t>(edit.at) > units.size() ||
                static_cast<std::uint64_t>(edit.removed) > units.size() - static_cast<std::uint64_t>(edit.at))
                return false;
            units.replace(static_cast<std::size_t>(edit.at), static_cast<std::size_t>(edit.removed), edit.inserted);
        }
        pane.text = units.toUtf8();
        pane.baseKind = BaseKind::Inline;
        pane.baseName.clear();
        pane.baseSource.clear();
        pane.baseBytes = 0;
        pane.baseCrc = 0;
        pane.baseLength = -1;
        pane.edits.clear();
    }
    return true;
}

}  // namespace corvane::journal
