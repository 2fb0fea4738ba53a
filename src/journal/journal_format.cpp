#include "journal/journal_format.h"

#include <charconv>
#include <cstdio>

#include "panes/utf.h"

namespace corvane::journal {

namespace {

constexpr std::string_view kMagic = "CORVANE JOURNAL 1\n";
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
        fields += "text " + std::to_string(pane.text.size()) + "\n";
        put(fields);
        put(pane.text);
        put("\n");
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
        pane.text = in.counted("text");
        if (!in.ok()) return std::nullopt;
        if (pane.path.find('\0') != std::string::npos || pane.caret < 0) return std::nullopt;
        journal.panes.push_back(std::move(pane));
    }
    if (!in.ok() || !in.atEnd()) return std::nullopt;
    return journal;
}

}  // namespace corvane::journal
