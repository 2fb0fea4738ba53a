#include "qt/code_colouring.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "qt/long_lines.h"
#include "qt/pane_view.h"
#include "syntax/code_colours.h"

namespace corvane::qt {

namespace {

// What a paragraph was coloured for: it is coloured again when any of these differs.
class BlockColours : public QTextBlockUserData {
public:
    int startState = -1;
    int revision = -1;
    int generation = -1;
};

// An edit that spans more paragraphs than this makes every paragraph be coloured again when next
// shown, rather than marking each one.
constexpr int kMarkAtMost = 1000;

// A paragraph longer than this is shown in the pane's text colour: Qt lays out and draws a line
// in pieces between changes of format, and a megabyte of minified script with its 56,000 coloured
// stretches took 1.8 s to show against 0.6 s uncoloured. (Long lines held as several paragraphs
// are coloured piece by piece.)
constexpr qsizetype kColourAtMost = 1 << 16;

// Lexing further down than this many paragraphs for their end states reads the document's whole text.
constexpr int kCopyWholeBeyond = 4096;

std::u16string_view viewOf(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

Rgb toRgb(const QColor& colour) {
    return {static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
            static_cast<std::uint8_t>(colour.blue())};
}

// The lexer's spans as the layout's formats, leaving out the characters the user gave a colour.
class FormatSink final : public CodeSpanSink {
public:
    FormatSink(const std::array<QTextCharFormat, kCodeTokenCount>& formats,
               const std::vector<std::pair<int, int>>& kept, QList<QTextLayout::FormatRange>& out)
        : formats_(formats), kept_(kept), out_(out) {}

    void span(std::size_t start, std::size_t length, CodeToken token) override {
        int from = static_cast<int>(start);
        const int end = static_cast<int>(start + length);
        for (const auto& [keptFrom, keptEnd] : kept_) {
            if (keptEnd <= from) continue;
            if (keptFrom >= end) break;
            if (keptFrom > from) add(from, keptFrom, token);
            from = std::max(from, keptEnd);
        }
        if (from < end) add(from, end, token);
    }

private:
    // A stretch that goes on from the one before in the same colour lengthens it: the layout
    // shapes and draws the text a range at a time.
    void add(int from, int end, CodeToken token) {
        if (!out_.isEmpty() && token == last_ && out_.constLast().start + out_.constLast().length == from) {
            out_.last().length = end - out_.constLast().start;
            return;
        }
        out_.append({from, end - from, formats_[static_cast<std::size_t>(token)]});
        last_ = token;
    }

    CodeToken last_ = CodeToken::Plain;
    const std::array<QTextCharFormat, kCodeTokenCount>& formats_;
    const std::vector<std::pair<int, int>>& kept_;
    QList<QTextLayout::FormatRange>& out_;
};

}  // namespace

// Long lines are held as several paragraphs (qt/long_lines.h).
bool endsLine(const QTextBlock& block) { return !continuesLine(block.next()); }

CodeColouring::CodeColouring(QPlainTextEdit* edit, CodeLanguage language)
    : QObject(edit),
      edit_(edit),
      viewport_(edit->viewport()),
      language_(language),
      enabled_(wantedByDefault()) {
    blockCount_ = edit_->document()->blockCount();
    takePalette();
    connect(edit_->document(), &QTextDocument::contentsChange, this, &CodeColouring::onContentsChange);
    if (LongLines* lines = LongLines::of(edit_))
        connect(lines, &LongLines::layingOut, this, &CodeColouring::onLayingOut);
    edit_->installEventFilter(this);
    viewport_->installEventFilter(this);
}

CodeColouring* CodeColouring::of(const QPlainTextEdit* edit) {
    return edit->findChild<CodeColouring*>(QString(), Qt::FindDirectChildrenOnly);
}

bool CodeColouring::wantedByDefault() { return qEnvironmentVariable("CORVANE_CODE_COLOURS") != "0"; }

void CodeColouring::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    ++generation_;
    if (!enabled_) clearColours();
    edit_->viewport()->update();
}

// The pane is not asked for anything here but on the two events: the filter also sees the events a
// pane sends while it is being destroyed, when it is a QWidget no longer.
bool CodeColouring::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && watched == viewport_) {
        if (enabled_) colourShown(static_cast<QPaintEvent*>(event)->region());
    } else if (event->type() == QEvent::PaletteChange && watched == edit_) {
        takePalette();
        ++generation_;
        edit_->viewport()->update();
    }
    return false;
}

void CodeColouring::takePalette() {
    const QPalette& palette = edit_->palette();
    const Rgb background = toRgb(palette.color(QPalette::Active, QPalette::Base));
    const Rgb text = toRgb(palette.color(QPalette::Active, QPalette::Text));
    for (int i = 0; i < kCodeTokenCount; ++i) {
        const Rgb colour = codeColour(static_cast<CodeToken>(i), background, text);
        QTextCharFormat format;
        format.setForeground(QColor(colour.red, colour.green, colour.blue));
        formats_[static_cast<std::size_t>(i)] = format;
    }
}

void CodeColouring::onContentsChange(int position, int removed, int added) {
    if (removed == 0 && added == 0) return;
    QTextDocument* doc = edit_->document();
    const int count = doc->blockCount();
    const int delta = count - blockCount_;
    blockCount_ = count;
    const QTextBlock first = doc->findBlock(position);
    QTextBlock last = doc->findBlock(position + added);
    if (!last.isValid()) last = doc->lastBlock();
    const int firstNumber = first.blockNumber();
    const int lastNumber = last.blockNumber();

    // The colours of the changed paragraphs no longer hold, even where only their formats changed.
    if (lastNumber - firstNumber > kMarkAtMost) {
        ++generation_;
    } else {
        for (QTextBlock block = first; block.isValid(); block = block.next()) {
            if (auto* data = static_cast<BlockColours*>(block.userData())) data->generation = -1;
            if (block == last) break;
        }
    }

    if (firstNumber < knownUpTo_) {
        // The paragraphs after the change, up to the old frontier, ended in good states before it:
        // they do so again once one of them ends as before.
        const int oldKnown = knownUpTo_;
        knownUpTo_ = firstNumber;
        resyncFrom_ = lastNumber + 1;
        resyncTo_ = oldKnown + delta;
    } else if (firstNumber < resyncTo_) {
        resyncTo_ = firstNumber;
    }
    if (resyncTo_ <= resyncFrom_) resyncFrom_ = resyncTo_ = 0;
}

// A change within one paragraph (a key) is coloured before the pane lays the paragraph out, so that
// it is laid out once, with its new colours: coloured as it was painted, it was laid out a second
// time, which cost a key as much again.
void CodeColouring::onLayingOut(int position, int removed, int added) {
    if (!enabled_ || (removed == 0 && added == 0)) return;
    QTextDocument* doc = edit_->document();
    QTextBlock block = doc->findBlock(position);
    if (!block.isValid() || !block.isVisible() || block.length() == 0 ||
        doc->findBlock(position + added) != block)
        return;
    const int number = block.blockNumber();
    if (number > knownUpTo_) return;
    colourBlock(block, number, stateBefore(block, number), false);
}

void CodeColouring::recordEndState(QTextBlock& block, int number, int endState) {
    if (number != knownUpTo_) return;
    if (number >= resyncFrom_ && number < resyncTo_ && block.userState() == endState) {
        knownUpTo_ = resyncTo_;
        resyncFrom_ = resyncTo_ = 0;
        return;
    }
    block.setUserState(endState);
    ++knownUpTo_;
}

int CodeColouring::stateBefore(const QTextBlock& block, int number) {
    if (number == 0) return codeStartState(language_);
    if (number <= knownUpTo_) return block.previous().userState();
    // States only, from the frontier down to the paragraph before this one. A paragraph's own copy
    // of its text costs a search of the document, about as much as lexing it: far down, the
    // document's whole text is copied once instead.
    QTextDocument* doc = edit_->document();
    const QString whole = number - knownUpTo_ > kCopyWholeBeyond ? doc->toRawText() : QString();
    QTextBlock at = doc->findBlockByNumber(knownUpTo_);
    int position = at.position();
    int state = knownUpTo_ == 0 ? codeStartState(language_) : at.previous().userState();
    while (knownUpTo_ < number && at.isValid()) {
        const int length = at.length() - 1;
        const QString own = whole.isNull() ? at.text() : QString();
        const std::u16string_view text =
            whole.isNull()
                ? viewOf(own)
                : viewOf(whole).substr(static_cast<std::size_t>(position), static_cast<std::size_t>(length));
        const int before = knownUpTo_;
        const int end = lexCode(state, text, endsLine(at), nullptr);
        recordEndState(at, before, end);
        if (knownUpTo_ == before + 1) {
            state = end;
            position += length + 1;
            at = at.next();
        } else if (knownUpTo_ < number) {
            // The states below came out good again: on from the new frontier.
            at = doc->findBlockByNumber(knownUpTo_);
            position = at.position();
            state = at.previous().userState();
        }
    }
    return block.previous().userState();
}

bool CodeColouring::colourBlock(QTextBlock& block, int number, int startState, bool noteChange) {
    auto* data = static_cast<BlockColours*>(block.userData());
    if (data != nullptr && data->startState == startState && data->revision == block.revision() &&
        data->generation == generation_) {
        return false;
    }
    const QString text = block.text();
    // Characters the user gave a colour keep it.
    std::vector<std::pair<int, int>> kept;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.charFormat().hasProperty(QTextFormat::ForegroundBrush)) {
            const int from = fragment.position() - block.position();
            kept.emplace_back(from, from + fragment.length());
        }
    }
    QList<QTextLayout::FormatRange> ranges;
    FormatSink sink(formats_, kept, ranges);
    const bool colour = text.size() <= kColourAtMost;
    const int end = lexCode(startState, viewOf(text), endsLine(block), colour ? &sink : nullptr);
    recordEndState(block, number, end);
    if (data == nullptr) {
        data = new BlockColours;
        block.setUserData(data);
    }
    data->startState = startState;
    data->revision = block.revision();
    data->generation = generation_;
    QTextLayout* layout = block.layout();
    if (layout->formats() == ranges) return false;
    layout->setFormats(ranges);
    if (!noteChange) return true;
    // Setting them also notes the paragraph as changed in the document, and the next edit would
    // pass that on to the pane's layout as a change of several paragraphs, which repaints the
    // whole pane on every key. The note is handed to the layout now instead, without the repaint
    // it asks for: the paragraph is laid out again as it is painted, right after this.
    const QSignalBlocker quiet(edit_->document()->documentLayout());
    edit_->document()->markContentsDirty(block.position(), 0);
    return true;
}

void CodeColouring::colourShown(const QRegion& painted) {
    QTextDocument* doc = edit_->document();
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    QTextBlock block = PaneView::firstShown(edit_);
    if (!block.isValid()) return;
    const int width = edit_->viewport()->width();
    const int height = edit_->viewport()->height();
    int number = block.blockNumber();
    qreal y = PaneView::topOf(edit_, block);
    QRegion outside;
    while (block.isValid() && y < height) {
        if (block.isVisible()) {
            const bool changed = colourBlock(block, number, stateBefore(block, number));
            const qreal blockHeight = layout->blockBoundingRect(block).height();
            // A paragraph whose colours changed outside what is being painted (the lines below a
            // "<!--" just typed) is painted next.
            const QRect rect(0, static_cast<int>(y), width, static_cast<int>(blockHeight) + 1);
            if (changed && !(QRegion(rect) - painted).isEmpty()) outside |= rect;
            y += blockHeight;
        }
        block = block.next();
        ++number;
    }
    if (!outside.isEmpty()) edit_->viewport()->update(outside);
}

void CodeColouring::clearColours() {
    QTextDocument* doc = edit_->document();
    for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
        if (block.userData() == nullptr) continue;
        block.setUserData(nullptr);
        if (!block.layout()->formats().isEmpty()) block.layout()->setFormats({});
    }
    // As in colourBlock: what setting the formats noted goes to the layout now, not with the next edit.
    const QSignalBlocker quiet(doc->documentLayout());
    doc->markContentsDirty(0, 0);
}

}  // namespace corvane::qt
