#include "qt/find_bar.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QThreadPool>
#include <QToolButton>
#include <algorithm>

#include "qt/long_lines.h"
#include "qt/rich_edit_widget.h"
#include "qt/utf8_text.h"

namespace corvane::qt {

namespace {

// A selection longer than this is no text to find.
constexpr int kLongestSelectionToFind = 200;
// Texts up to this size are counted at once; larger ones on another thread.
constexpr qsizetype kCountAtOnce = 256 * 1024;
// Highlights beyond these are not drawn: the view shows far fewer matches.
constexpr int kMostHighlights = 3000;

QString fromU16(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string toU16(const QString& text) { return text.toStdU16String(); }

struct TextReplacement {
    std::size_t from = 0;  // offsets in the pane's text without joints
    std::size_t to = 0;
    QString text;
};

// Document positions of offsets in the pane's text without joints, from a place whose position
// and offset are known, forward: each call starts where the one before ended.
class PositionWalker {
public:
    explicit PositionWalker(QTextDocument& document) : document_(document) {}

    void restartAt(int position, std::size_t offset) {
        position_ = position;
        offset_ = offset;
    }

    // A start just after a joint, an end just before one.
    int positionOf(std::size_t offset, bool start) {
        QTextBlock block = document_.findBlock(position_);
        for (;;) {
            const int separator = block.position() + block.length() - 1;
            const QTextBlock next = block.next();
            const auto ahead = static_cast<std::size_t>(separator - position_);
            if (offset - offset_ <= ahead || !next.isValid()) {
                const int position = position_ + static_cast<int>(std::min(offset - offset_, ahead));
                if (position == separator && start && continuesLine(next)) return separator + 1;
                return position;
            }
            offset_ += ahead + (continuesLine(next) ? 0 : 1);
            position_ = next.position();
            block = next;
        }
    }

private:
    QTextDocument& document_;
    int position_ = 0;
    std::size_t offset_ = 0;
};

// Replaces the ranges (in order, apart) as one step that one undo takes back; the pane reports
// one change when the step ends. Each range's pieces are restored as soon as it is replaced and
// around it alone (restoring the span of them all would take the joints between them for line
// ends); the places still to come are found again in the text without joints, which restoring
// pieces never changes.
void replaceInPane(RichEditWidget& pane, const std::vector<TextReplacement>& replacements) {
    if (replacements.empty()) return;
    QTextDocument& doc = *pane.document();
    QTextCursor step(&doc);
    step.beginEditBlock();
    PositionWalker walker(doc);
    std::ptrdiff_t shift = 0;
    for (const TextReplacement& r : replacements) {
        const std::size_t from = r.from + static_cast<std::size_t>(shift);
        const std::size_t to = r.to + static_cast<std::size_t>(shift);
        QTextCursor cursor(&doc);
        const int fromPosition = walker.positionOf(from, true);
        cursor.setPosition(fromPosition);
        cursor.setPosition(std::max(fromPosition, walker.positionOf(to, false)), QTextCursor::KeepAnchor);
        const EditStart start = editStartOf(cursor);
        cursor.insertText(r.text);
        const int end = cursor.position();
        restorePieces(doc, fromPosition, end, start);
        shift += r.text.size() - static_cast<std::ptrdiff_t>(r.to - r.from);
        // Restoring may have moved joints before and after the replacement: the offset just
        // after it is where the cursor that made it now stands.
        walker.restartAt(cursor.position(), from + static_cast<std::size_t>(r.text.size()));
    }
    step.endEditBlock();
}

}  // namespace

PaneText PaneText::of(const QTextDocument& document, int from, int to) {
    PaneText t;
    QTextBlock block = document.findBlock(from);
    const QTextBlock last = document.findBlock(to);
    t.base = block.position();
    if (block == document.firstBlock() && last == document.lastBlock()) {
        // The whole text: the document's own copy of its characters is the quickest way to them.
        const QString raw = document.toRawText();
        const std::vector<int> joints = jointsIn(document, 0, static_cast<int>(raw.size()));
        t.joints.reserve(joints.size());
        t.text.reserve(raw.size() - static_cast<qsizetype>(joints.size()));
        qsizetype done = 0;
        for (const int joint : joints) {
            t.text.append(QStringView(raw).mid(done, joint - done));
            t.joints.push_back(static_cast<int>(t.text.size()));
            done = joint + 1;
        }
        t.text.append(QStringView(raw).mid(done));
        for (QChar& c : t.text) {
            if (c == QChar::ParagraphSeparator) c = u'\n';
        }
        return t;
    }
    for (QTextBlock b = block; b.isValid(); b = b.next()) {
        if (b != block) {
            if (continuesLine(b)) {
                t.joints.push_back(static_cast<int>(t.text.size()));
            } else {
                t.text += u'\n';
            }
        }
        t.text += b.text();
        if (b == last) break;
    }
    return t;
}

int PaneText::startPosition(std::size_t offset) const {
    const auto before =
        std::upper_bound(joints.begin(), joints.end(), static_cast<int>(offset)) - joints.begin();
    return base + static_cast<int>(offset) + static_cast<int>(before);
}

int PaneText::endPosition(std::size_t offset) const {
    const auto before =
        std::lower_bound(joints.begin(), joints.end(), static_cast<int>(offset)) - joints.begin();
    return base + static_cast<int>(offset) + static_cast<int>(before);
}

std::size_t PaneText::offsetOf(int position) const {
    // Joint i stands at document position base + joints[i] + i.
    std::size_t low = 0;
    std::size_t high = joints.size();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (base + joints[mid] + static_cast<int>(mid) < position) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    const int offset = position - base - static_cast<int>(low);
    return static_cast<std::size_t>(std::clamp(offset, 0, static_cast<int>(text.size())));
}

FindBar::FindBar(RichEditWidget* pane) : QWidget(pane), pane_(pane) {
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    setAttribute(Qt::WA_NoMousePropagation);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setAccessibleName(QStringLiteral("查找栏"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 3, 4, 3);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);

    const auto makeButton = [this](const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setAccessibleName(caption);
        button->setAutoDefault(false);
        return button;
    };
    const auto makeField = [this](const QString& caption, QLabel*& label) {
        auto* field = new QLineEdit(this);
        field->setAccessibleName(caption);
        field->setClearButtonEnabled(true);
        label = new QLabel(caption, this);
        label->setBuddy(field);
        field->installEventFilter(this);
        return field;
    };
    QLabel* findLabel = nullptr;
    findField_ = makeField(QStringLiteral("查找"), findLabel);
    auto* previous = makeButton(QStringLiteral("上一个"));
    auto* next = makeButton(QStringLiteral("下一个"));
    auto* closeButton = new QToolButton(this);
    closeButton->setText(QStringLiteral("×"));
    closeButton->setAccessibleName(QStringLiteral("关闭"));
    closeButton->setToolTip(QStringLiteral("关闭 (Esc)"));
    closeButton->setAutoRaise(true);
    replaceField_ = makeField(QStringLiteral("替换为"), replaceLabel_);
    replaceButton_ = makeButton(QStringLiteral("替换"));
    replaceAllButton_ = makeButton(QStringLiteral("全部替换"));
    const auto makeOption = [this](const QString& caption) {
        auto* box = new QCheckBox(caption, this);
        box->setAccessibleName(caption);
        connect(box, &QCheckBox::toggled, this, [this] { searchChanged(); });
        return box;
    };
    matchCase_ = makeOption(QStringLiteral("区分大小写"));
    wholeWord_ = makeOption(QStringLiteral("全词匹配"));
    regularExpression_ = makeOption(QStringLiteral("正则表达式"));
    count_ = new QLabel(this);
    count_->setAccessibleName(QStringLiteral("匹配数"));
    note_ = new QLabel(this);
    note_->setAccessibleName(QStringLiteral("查找提示"));
    note_->setWordWrap(true);

    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(findField_, 0, 1);
    grid->addWidget(previous, 0, 2);
    grid->addWidget(next, 0, 3);
    grid->addWidget(closeButton, 0, 4);
    grid->addWidget(replaceLabel_, 1, 0);
    grid->addWidget(replaceField_, 1, 1);
    grid->addWidget(replaceButton_, 1, 2);
    grid->addWidget(replaceAllButton_, 1, 3);
    auto* options = new QHBoxLayout;
    options->addWidget(matchCase_);
    options->addWidget(wholeWord_);
    options->addWidget(regularExpression_);
    options->addStretch(1);
    options->addWidget(count_);
    grid->addLayout(options, 2, 0, 1, 5);
    grid->addWidget(note_, 3, 0, 1, 5);
    grid->setColumnStretch(1, 1);
    note_->hide();

    connect(findField_, &QLineEdit::textChanged, this, [this] { searchChanged(); });
    connect(previous, &QPushButton::clicked, this, [this] { findPrevious(); });
    connect(next, &QPushButton::clicked, this, [this] { findNext(); });
    connect(replaceButton_, &QPushButton::clicked, this, [this] { replaceOne(); });
    connect(replaceAllButton_, &QPushButton::clicked, this, [this] { replaceAll(); });
    connect(closeButton, &QToolButton::clicked, this, [this] { close(); });

    highlightTimer_.setSingleShot(true);
    highlightTimer_.setInterval(20);
    connect(&highlightTimer_, &QTimer::timeout, this, [this] { updateHighlights(); });
    recountTimer_.setSingleShot(true);
    recountTimer_.setInterval(250);
    connect(&recountTimer_, &QTimer::timeout, this, [this] { startCount(); });
    connect(pane_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (isVisible()) highlightTimer_.start();
    });
    connect(pane_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (isVisible()) highlightTimer_.start();
    });
    connect(pane_->document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (removed != 0 || added != 0) textChanged();
    });

    pane_->installEventFilter(this);
    viewport_ = pane_->viewport();
    viewport_->installEventFilter(this);
    hide();
}

FindBar::~FindBar() {
    if (stopCount_) stopCount_->store(true);
}

void FindBar::place() {
    const int height = isVisible() ? sizeHint().height() : 0;
    pane_->reserveBottom(height);
    const QRect view = pane_->viewport()->geometry();
    setGeometry(view.left(), view.bottom() + 1, view.width(), height);
}

void FindBar::open(bool withReplace) {
    const QTextCursor cursor = pane_->textCursor();
    if (cursor.hasSelection()) {
        const QString selected = fromUtf8(pane_->selText());
        if (!selected.isEmpty() && selected.size() <= kLongestSelectionToFind && !selected.contains(u'\n')) {
            const QSignalBlocker quiet(findField_);
            findField_->setText(selected);
        }
    }
    anchor_ = cursor.selectionStart();
    replaceLabel_->setVisible(withReplace);
    replaceField_->setVisible(withReplace);
    replaceButton_->setVisible(withReplace);
    replaceAllButton_->setVisible(withReplace);
    show();
    raise();
    place();
    findField_->setFocus(Qt::ShortcutFocusReason);
    findField_->selectAll();
    // The text is read as the bar opens, so that the first key in the field finds at once.
    wholeText();
    searchChanged();
    // A match near the bottom stays in sight above the bar.
    pane_->ensureCursorVisible();
}

void FindBar::close() {
    if (stopCount_) stopCount_->store(true);
    hide();
    place();
    pane_->setExtraSelections({});
    pane_->setFocus(Qt::OtherFocusReason);
    pane_->ensureCursorVisible();
}

QString FindBar::countText() const { return count_->text(); }
QString FindBar::noteText() const { return note_->text(); }

void FindBar::showNote(std::string_view note, bool error) {
    note_->setText(fromUtf8(note));
    note_->setStyleSheet(error ? QStringLiteral("color: #b00020;") : QString());
    note_->setVisible(!note.empty());
    if (isVisible()) place();
}

const PaneText& FindBar::wholeText() {
    if (!whole_) {
        const QTextDocument& doc = *pane_->document();
        whole_ = std::make_unique<PaneText>(PaneText::of(doc, 0, std::max(0, doc.characterCount() - 1)));
    }
    return *whole_;
}

void FindBar::searchChanged() {
    if (!isVisible()) return;
    search::SearchOptions options;
    options.matchCase = matchCase_->isChecked();
    options.wholeWord = wholeWord_->isChecked();
    options.regularExpression = regularExpression_->isChecked();
    search_ = std::make_shared<const search::TextSearch>(toU16(findField_->text()), options);
    ++generation_;
    tooComplex_ = false;
    counted_ = false;
    starts_.clear();
    if (stopCount_) stopCount_->store(true);
    matchFrom_ = matchTo_ = -1;
    showNote(search_->error(), true);
    if (!search_->usable()) {
        count_->setText(search_->error().empty() ? QString() : fromUtf8(search::kNoMatchCaption));
        updateHighlights();
        return;
    }
    findFrom(anchor_, true, false);
    startCount();
}

void FindBar::textChanged() {
    whole_.reset();
    if (!isVisible() || !search_ || !search_->usable()) return;
    ++generation_;
    tooComplex_ = false;
    counted_ = false;
    if (stopCount_) stopCount_->store(true);
    matchFrom_ = matchTo_ = -1;
    // A small text is counted again at once, a large one when the typing pauses.
    if (pane_->document()->characterCount() <= kCountAtOnce) {
        startCount();
    } else {
        recountTimer_.start();
    }
    highlightTimer_.start();
}

void FindBar::findNext() {
    if (!isVisible()) open(replaceField_->isVisible());
    if (!search_ || !search_->usable()) return;
    findFrom(pane_->textCursor().selectionEnd(), true, true);
}

void FindBar::findPrevious() {
    if (!isVisible()) open(replaceField_->isVisible());
    if (!search_ || !search_->usable()) return;
    findFrom(pane_->textCursor().selectionStart(), false, true);
}

void FindBar::findFrom(int from, bool forward, bool stepped) {
    const PaneText& t = wholeText();
    const std::u16string_view text = t.view();
    const std::size_t offset = t.offsetOf(from);
    search::SearchResult r = forward ? search_->next(text, offset) : search_->previous(text, offset);
    bool wrapped = false;
    if (r.status == search::SearchStatus::NotFound) {
        r = forward ? search_->next(text, 0) : search_->previous(text, text.size());
        wrapped = r.status == search::SearchStatus::Found;
    }
    if (r.status == search::SearchStatus::TooComplex) {
        tooComplex_ = true;
        matchFrom_ = matchTo_ = -1;
        count_->clear();
        showNote(search::kTooComplexCaption, true);
        updateHighlights();
        return;
    }
    if (r.status == search::SearchStatus::NotFound) {
        matchFrom_ = matchTo_ = -1;
        count_->setText(fromUtf8(search::kNoMatchCaption));
        if (stepped) showNote({});
        updateHighlights();
        return;
    }
    // Typing on finds the same match grown, so the place to start from moves only on a step.
    const bool wrappedPast = wrapped && (stepped || offset > 0);
    showNote(wrappedPast ? (forward ? search::kWrappedToStart : search::kWrappedToEnd) : std::string_view());
    select(t.startPosition(r.match.start), t.endPosition(r.match.end()));
    if (stepped) anchor_ = matchFrom_;
    showCount();
}

void FindBar::select(int from, int to) {
    QTextCursor cursor(pane_->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    pane_->setTextCursor(cursor);
    pane_->ensureCursorVisible();
    matchFrom_ = from;
    matchTo_ = to;
    updateHighlights();
}

void FindBar::startCount() {
    if (!search_ || !search_->usable() || !isVisible() || tooComplex_) return;
    if (stopCount_) stopCount_->store(true);
    const PaneText& t = wholeText();
    const unsigned generation = generation_;
    if (t.text.size() <= kCountAtOnce) {
        std::vector<int> starts;
        const search::SearchStatus status = search_->forEach(t.view(), 0, [&starts](search::TextMatch m) {
            starts.push_back(static_cast<int>(m.start));
            return true;
        });
        countDone(generation, std::move(starts), status == search::SearchStatus::TooComplex);
        return;
    }
    count_->setText(fromUtf8(search::kCountingCaption));
    auto stop = std::make_shared<std::atomic<bool>>(false);
    stopCount_ = stop;
    // The count reads its own reference to the text and the compiled pattern; the window goes on.
    QThreadPool::globalInstance()->start(
        [self = QPointer<FindBar>(this), text = t.text, search = search_, stop, generation] {
            std::vector<int> starts;
            const std::u16string_view view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<std::size_t>(text.size()));
            const search::SearchStatus status = search->forEach(
                view, 0,
                [&starts](search::TextMatch m) {
                    starts.push_back(static_cast<int>(m.start));
                    return true;
                },
                stop.get());
            if (stop->load()) return;
            const bool tooComplex = status == search::SearchStatus::TooComplex;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, generation, starts = std::move(starts), tooComplex]() mutable {
                    if (self) self->countDone(generation, std::move(starts), tooComplex);
                },
                Qt::QueuedConnection);
        });
}

void FindBar::countDone(unsigned generation, std::vector<int> starts, bool tooComplex) {
    if (generation != generation_) return;
    counted_ = true;
    tooComplex_ = tooComplex;
    starts_ = std::move(starts);
    if (tooComplex) showNote(search::kTooComplexCaption, true);
    showCount();
}

void FindBar::showCount() {
    if (!counted_) {
        count_->setText(fromUtf8(search::kCountingCaption));
        return;
    }
    if (starts_.empty()) {
        count_->setText(tooComplex_ ? QString() : fromUtf8(search::kNoMatchCaption));
        return;
    }
    std::size_t index = 0;
    if (matchFrom_ >= 0) {
        const auto offset = static_cast<int>(wholeText().offsetOf(matchFrom_));
        index = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                         starts_.begin());
    }
    count_->setText(fromUtf8(search::countCaption(std::max<std::size_t>(index, 1), starts_.size())));
}

void FindBar::updateHighlights() {
    QList<QTextEdit::ExtraSelection> selections;
    if (isVisible() && search_ && search_->usable() && !tooComplex_) {
        QTextDocument& doc = *pane_->document();
        const QWidget* view = pane_->viewport();
        QTextBlock first = pane_->cursorForPosition(QPoint(0, 0)).block();
        QTextBlock last = pane_->cursorForPosition(QPoint(view->width(), view->height())).block();
        // A match that runs in from a piece above or on into one below is found whole.
        for (int i = 0; i < 2 && first.previous().isValid(); ++i) first = first.previous();
        for (int i = 0; i < 2 && last.next().isValid(); ++i) last = last.next();
        const PaneText t = PaneText::of(doc, first.position(), last.position());
        QTextCharFormat match;
        match.setBackground(QColor(255, 214, 0, 110));
        search_->forEach(t.view(), 0, [&](search::TextMatch m) {
            QTextEdit::ExtraSelection selection{QTextCursor(&doc), match};
            selection.cursor.setPosition(t.startPosition(m.start));
            selection.cursor.setPosition(t.endPosition(m.end()), QTextCursor::KeepAnchor);
            selections.append(selection);
            return selections.size() < kMostHighlights;
        });
    }
    if (isVisible() && matchFrom_ >= 0) {
        QTextCharFormat current;
        current.setBackground(QColor(255, 140, 0, 170));
        QTextEdit::ExtraSelection selection{QTextCursor(pane_->document()), current};
        selection.cursor.setPosition(matchFrom_);
        selection.cursor.setPosition(matchTo_, QTextCursor::KeepAnchor);
        selections.append(selection);
    }
    pane_->setExtraSelections(selections);
}

void FindBar::replaceOne() {
    if (!search_ || !search_->usable()) return;
    const PaneText& t = wholeText();
    const QTextCursor cursor = pane_->textCursor();
    if (cursor.hasSelection()) {
        const std::size_t from = t.offsetOf(cursor.selectionStart());
        const std::size_t to = t.offsetOf(cursor.selectionEnd());
        const search::SearchResult r = search_->next(t.view(), from);
        if (r.status == search::SearchStatus::Found && r.match.start == from && r.match.end() == to) {
            const QString text =
                fromU16(search_->replacementFor(t.view(), r.match, toU16(replaceField_->text())));
            replaceInPane(*pane_, {TextReplacement{from, to, text}});
            // The pane's cursor stands just after the replacement.
            findFrom(pane_->textCursor().position(), true, true);
            return;
        }
    }
    findNext();
}

void FindBar::replaceAll() {
    if (!search_ || !search_->usable()) return;
    const PaneText& t = wholeText();
    const std::u16string_view text = t.view();
    const std::u16string replacement = toU16(replaceField_->text());
    const QString literal = replaceField_->text();
    const bool regular = search_->options().regularExpression;
    std::vector<TextReplacement> replacements;
    const search::SearchStatus status = search_->forEach(text, 0, [&](search::TextMatch m) {
        replacements.push_back(TextReplacement{
            m.start, m.end(), regular ? fromU16(search_->replacementFor(text, m, replacement)) : literal});
        return true;
    });
    if (status == search::SearchStatus::TooComplex) {
        tooComplex_ = true;
        showNote(search::kTooComplexCaption, true);
        return;
    }
    if (replacements.empty()) {
        count_->setText(fromUtf8(search::kNoMatchCaption));
        return;
    }
    replaceInPane(*pane_, replacements);
    showNote(search::replacedCaption(replacements.size()));
}

void FindBar::showContextMenu(QContextMenuEvent* event) {
    QMenu* menu = pane_->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction* find = menu->addAction(QStringLiteral("查找..."));
    QAction* replace = menu->addAction(QStringLiteral("替换..."));
    connect(find, &QAction::triggered, this, [this] { open(false); });
    connect(replace, &QAction::triggered, this, [this] { open(true); });
    menu->popup(event->globalPos());
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    // Compared with the viewport kept at the start: while the pane is being destroyed its children
    // still send events here, and the pane can no longer be asked for its viewport.
    if (watched == pane_ || watched == viewport_) {
        if (event->type() == QEvent::ContextMenu) {
            showContextMenu(static_cast<QContextMenuEvent*>(event));
            return true;
        }
        if (watched == pane_ && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() == Qt::ControlModifier &&
                (key->key() == Qt::Key_F || key->key() == Qt::Key_H)) {
                open(key->key() == Qt::Key_H);
                return true;
            }
        }
        if (watched == pane_ && event->type() == QEvent::Resize && isVisible()) {
            place();
            highlightTimer_.start();
        }
        return false;
    }
    // The fields: the bar's own keys before the line edit's.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool ours =
            key->key() == Qt::Key_Escape || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
            (key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_F || key->key() == Qt::Key_H));
        if (!ours) return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        keyPressEvent(key);
        return true;
    }
    return false;
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        close();
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (event->modifiers() & Qt::ShiftModifier) {
            findPrevious();
        } else {
            findNext();
        }
    } else if (event->modifiers() == Qt::ControlModifier && (key == Qt::Key_F || key == Qt::Key_H)) {
        open(key == Qt::Key_H);
    }
    // Nothing typed in the bar reaches the pane below it.
    event->accept();
}

}  // namespace corvane::qt
