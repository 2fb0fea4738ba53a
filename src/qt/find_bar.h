#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string_view>
#include <vector>

#include "commands/text_search.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextDocument;

namespace corvane::qt {

class RichEditWidget;

// Text of a pane as the search engine reads it: each line whole (the joints between the pieces of
// a long line dropped) and "\n" between lines, from document position `base` on.
struct PaneText {
    int base = 0;
    QString text;
    // Where in `text` the character after each joint is, in order.
    std::vector<int> joints;

    // The blocks from the one that holds `from` to the one that holds `to`.
    static PaneText of(const QTextDocument& document, int from, int to);
    std::u16string_view view() const {
        return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
    }
    // The document position where a match starting (or ending) at `offset` starts (or ends): past
    // a joint at the start, before one at the end.
    int startPosition(std::size_t offset) const;
    int endPosition(std::size_t offset) const;
    // The offset of a document position within the text.
    std::size_t offsetOf(int position) const;
};

// The find bar of one code pane, over the pane's bottom edge in a strip that the pane keeps free
// for it. Ctrl+F and Ctrl+H in the pane and the pane's context menu open it; Enter and
// Shift+Enter find the next and the previous match, Esc closes it. Every match on screen is
// highlighted, for the screen only.
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(RichEditWidget* pane);
    ~FindBar() override;

    void open(bool withReplace);
    void close();
    void findNext();
    void findPrevious();
    void replaceOne();
    void replaceAll();

    QLineEdit* findField() const { return findField_; }
    QLineEdit* replaceField() const { return replaceField_; }
    // What the bar says of the matches ("第 3 / 120 个", "无匹配") and its note beside the fields
    // (a bad pattern, a wrap, a limit).
    QString countText() const;
    QString noteText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void place();
    void searchChanged();
    void textChanged();
    // Finds from `from` (a document position) on, round the end when nothing is after it.
    void findFrom(int from, bool forward, bool stepped);
    void select(int from, int to);
    void showNote(std::string_view note, bool error = false);
    const PaneText& wholeText();
    void startCount();
    void countDone(unsigned generation, std::vector<int> starts, bool tooComplex);
    void showCount();
    void updateHighlights();
    void showContextMenu(QContextMenuEvent* event);

    RichEditWidget* pane_;
    QWidget* viewport_ = nullptr;
    QLineEdit* findField_ = nullptr;
    QLineEdit* replaceField_ = nullptr;
    QLabel* replaceLabel_ = nullptr;
    QPushButton* replaceButton_ = nullptr;
    QPushButton* replaceAllButton_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
    QCheckBox* regularExpression_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* note_ = nullptr;

    std::shared_ptr<const search::TextSearch> search_;
    std::unique_ptr<PaneText> whole_;
    // The place the search started from as the person typed the text to find.
    int anchor_ = 0;
    // The current match, in document positions, or -1.
    int matchFrom_ = -1;
    int matchTo_ = -1;
    // Counting: the generation of the search it counts for, the starts found (offsets in the
    // whole text), and the flag that stops a count no longer wanted.
    unsigned generation_ = 0;
    bool counted_ = false;
    // The search stopped at its limit: until the pattern, an option or the text changes, neither
    // the count nor the highlights try it again (each try may take the whole limit).
    bool tooComplex_ = false;
    std::vector<int> starts_;
    std::shared_ptr<std::atomic<bool>> stopCount_;
    QTimer highlightTimer_;
    QTimer recountTimer_;
};

}  // namespace corvane::qt
