#include <gtest/gtest.h>

#include <QAccessible>
#include <QClipboard>
#include <QImage>
#include <QScrollBar>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <functional>
#include <random>

#include "fakes/child_process.h"
#include "fakes/hostile_rtf.h"
#include "fakes/temp_dir.h"
#include "panes/pane_file.h"
#include "qt/code_colouring.h"
#include "qt/long_lines.h"
#include "qt/shown_glyphs.h"
#include "syntax/code_colours.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::ShownWindow;

// What a person sees of paragraph alignment and formatting in the HTML pane, drawn on screen,
// and the characters the pane hands to a file.
class PaneLayout : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
    RichEditWidget* pane = w.pane(1);

    void SetUp() override {
        pane->raise();
        pane->setFocus();
        pane->setPlainText(QStringLiteral("right\n") + QString(300, u'w') + QStringLiteral("\ncentre\nleft"));
    }

    void selectParagraph(int number) {
        QTextCursor cursor(pane->document()->findBlockByNumber(number));
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        pane->setTextCursor(cursor);
    }

    // The caret's place at the start of a paragraph, in viewport pixels.
    QRect caretAtStartOf(int number) {
        return pane->cursorRect(QTextCursor(pane->document()->findBlockByNumber(number)));
    }

    // The leftmost and rightmost dark pixels of a paragraph's line as drawn, or -1.
    std::pair<int, int> inkOf(int number) {
        QCoreApplication::processEvents();
        const QImage image = pane->viewport()->grab().toImage();
        const QRect line = caretAtStartOf(number);
        int first = -1;
        int last = -1;
        for (int x = 0; x < image.width(); ++x) {
            for (int y = line.top() + 1; y < line.bottom() && y < image.height(); ++y) {
                if (qGray(image.pixel(x, y)) < 128) {
                    if (first < 0) first = x;
                    last = x;
                }
            }
        }
        return {first, last};
    }
};

TEST_F(PaneLayout, AlignmentShowsAtOnceWithinThePaneWidth) {
    const int width = pane->viewport()->width();
    selectParagraph(0);
    pane->setSelAlignment(1);
    selectParagraph(2);
    pane->setSelAlignment(2);

    const auto [rightStart, rightEnd] = inkOf(0);
    EXPECT_GT(rightStart, width / 2);
    EXPECT_GE(rightEnd, width - 12);
    const auto [centreStart, centreEnd] = inkOf(2);
    EXPECT_NEAR((centreStart + centreEnd) / 2, width / 2, 8);
    EXPECT_LT(inkOf(3).first, 12);
    // A line wider than the pane starts at its left edge, whatever its alignment.
    selectParagraph(1);
    pane->setSelAlignment(1);
    EXPECT_LT(inkOf(1).first, 12);
    EXPECT_LT(caretAtStartOf(1).x(), 12);
}

TEST_F(PaneLayout, TypingAndClickingInARightAlignedParagraph) {
    selectParagraph(0);
    pane->setSelAlignment(1);
    const int rightEdge = inkOf(0).second;
    QTextCursor end(pane->document()->firstBlock());
    end.movePosition(QTextCursor::EndOfBlock);
    pane->setTextCursor(end);
    QTest::keyClicks(pane, "er");
    EXPECT_EQ(pane->document()->firstBlock().text(), "righter");
    // The paragraph grows to the left: its right edge stays and nothing is left behind.
    EXPECT_NEAR(inkOf(0).second, rightEdge, 2);
    EXPECT_GT(inkOf(0).first, pane->viewport()->width() / 2);

    // A click on the text's first letter puts the caret before it.
    const QRect start = caretAtStartOf(0);
    QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, start.center() + QPoint(1, 0));
    EXPECT_EQ(pane->textCursor().position(), 0);
}

TEST_F(PaneLayout, AlignmentFollowsAWidthChange) {
    selectParagraph(0);
    pane->setSelAlignment(1);
    const int before = caretAtStartOf(0).x();
    pane->resize(pane->width() - 100, pane->height());
    QCoreApplication::processEvents();
    EXPECT_NEAR(caretAtStartOf(0).x(), before - 100, 2);
}

TEST_F(PaneLayout, BoldAndLargerTextIsDrawnWiderAndTaller) {
    const int plainWidth = inkOf(3).second - inkOf(3).first;
    const int plainHeight = caretAtStartOf(3).height();
    selectParagraph(3);
    pane->setSelBold(Tristate::True);
    pane->setSelFontSize(24);
    EXPECT_GT(inkOf(3).second - inkOf(3).first, plainWidth * 3 / 2);
    EXPECT_GT(caretAtStartOf(3).height(), plainHeight * 3 / 2);
}

TEST_F(PaneLayout, RichTextKeepsItsAlignmentAndFormatsOnScreen) {
    RichDocument document;
    CharFormat bold;
    bold.bold = true;
    document.formats = {CharFormat{}, bold};
    const std::string centredText = "居中 centred";
    document.paragraphs = {
        {centredText, {{static_cast<std::uint32_t>(centredText.size()), 0}}, Alignment::Center},
        {"bold right", {{10, 1}}, Alignment::Right}};
    pane->loadRichText(document);
    const int width = pane->viewport()->width();
    const auto [centreStart, centreEnd] = inkOf(0);
    EXPECT_NEAR((centreStart + centreEnd) / 2, width / 2, 8);
    EXPECT_GE(inkOf(1).second, width - 12);
    QTextCursor cursor(pane->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    EXPECT_GE(cursor.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(w.form().htmlDirty, kTrue);
}

// A line of 5,000 characters with no place to break it: the pane holds it in pieces of
// kPieceLength, the first at position 4, each joint one position after its piece (the last two
// pieces are shorter).
class LongLine : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
    RichEditWidget* pane = w.pane(1);
    std::string line;
    int changes = 0;

    void SetUp() override {
        for (int i = 0; i < 5000; ++i) line += static_cast<char>('a' + i % 26);
        pane->raise();
        pane->setFocus();
        load(line);
        const std::function<void()> mark = pane->onChange;
        pane->onChange = [this, mark] {
            ++changes;
            mark();
        };
    }

    void load(const std::string& text) {
        pane->loadPlainText("<p>\n" + text + "\nend");
        w.form().htmlDirty = kFalse;
        changes = 0;
        QCoreApplication::processEvents();
    }
    // The line's characters as a file gets them.
    std::string lineText() {
        const std::string text = pane->plainText();
        EXPECT_TRUE(text.starts_with("<p>\n") && text.ends_with("\nend")) << text.size();
        return text.substr(4, text.size() - 8);
    }
    // The document position before the line's character `index` (a joint follows each piece).
    static int before(int index) { return 4 + index + index / kPieceLength; }
    void caretAt(int position) {
        QTextCursor cursor = pane->textCursor();
        cursor.setPosition(position);
        pane->setTextCursor(cursor);
    }
    std::string with(std::size_t at, const std::string& inserted, std::size_t removed = 0) {
        std::string text = line;
        return text.replace(at, removed, inserted);
    }
};

TEST_F(LongLine, IsShownWrappedInPiecesAndReadWhole) {
    ASSERT_GT(pane->document()->blockCount(), 5000 / kPieceLength);
    for (QTextBlock block = pane->document()->begin(); block.isValid(); block = block.next())
        EXPECT_LE(block.length() - 1, kPieceLength);
    const std::string whole = "<p>\n" + line + "\nend";
    EXPECT_TRUE(pane->plainText() == whole);
    std::string written;
    pane->writePlainText([&](std::string_view piece) { written.append(piece); });
    EXPECT_TRUE(written == whole);
    pane->selectAll();
    EXPECT_TRUE(pane->selText() == whole);
    EXPECT_EQ(pane->selLength(), static_cast<long>(whole.size()));
    pane->viewport()->repaint();
    const QTextBlock piece = pane->document()->findBlockByNumber(1);
    EXPECT_GT(piece.layout()->lineCount(), 1);
    EXPECT_LE(piece.layout()->boundingRect().width(), pane->viewport()->width());
    EXPECT_EQ(pane->document()->firstBlock().layout()->lineCount(), 1);
    EXPECT_EQ(pane->horizontalScrollBar()->maximum(), 0);
    // End and Home go by the lines as shown.
    const int firstLine = piece.layout()->lineAt(0).textLength();
    caretAt(before(0) + 3);
    QTest::keyClick(pane, Qt::Key_End);
    EXPECT_EQ(pane->textCursor().position(), before(0) + firstLine);
    caretAt(before(0) + firstLine + 3);
    QTest::keyClick(pane, Qt::Key_Home);
    EXPECT_EQ(pane->textCursor().position(), before(0) + firstLine);
    // The caret moves down through the wrapped lines into the next piece.
    const int lines = piece.layout()->lineCount();
    for (int i = 0; i < lines; ++i) QTest::keyClick(pane, Qt::Key_Down);
    EXPECT_EQ(pane->textCursor().block().blockNumber(), 2);
    EXPECT_EQ(changes, 0);
}

TEST_F(LongLine, KeysAtAJointActOnTheCharactersOnEitherSide) {
    caretAt(before(kPieceLength));
    QTest::keyClicks(pane, "X");
    EXPECT_TRUE(lineText() == with(kPieceLength, "X"));

    // Right from before a piece's last character: past it, then past the next piece's first.
    load(line);
    caretAt(before(kPieceLength - 1));
    QTest::keyClick(pane, Qt::Key_Right);
    QTest::keyClick(pane, Qt::Key_Right);
    QTest::keyClicks(pane, "Y");
    EXPECT_TRUE(lineText() == with(kPieceLength + 1, "Y"));
    // Left back over "Y" and the first character of the piece lands before the last of the one before.
    QTest::keyClick(pane, Qt::Key_Left);
    QTest::keyClick(pane, Qt::Key_Left);
    QTest::keyClick(pane, Qt::Key_Left);
    QTest::keyClicks(pane, "Z");
    EXPECT_TRUE(lineText() == with(kPieceLength - 1, "Z").insert(kPieceLength + 2, "Y"));

    load(line);
    caretAt(before(2 * kPieceLength));
    QTest::keyClick(pane, Qt::Key_Backspace);
    EXPECT_TRUE(lineText() == with(2 * kPieceLength - 1, "", 1));
    load(line);
    caretAt(before(2 * kPieceLength) - 1);
    QTest::keyClick(pane, Qt::Key_Delete);
    EXPECT_TRUE(lineText() == with(2 * kPieceLength, "", 1));
    // A word runs on over a joint: Ctrl+Left from a piece's start goes to where the word starts,
    // Ctrl+Backspace deletes back to there.
    load("one two " + line);
    caretAt(4 + kPieceLength + 1);
    ASSERT_TRUE(continuesLine(pane->textCursor().block()));
    QTest::keyClick(pane, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(pane->textCursor().position(), 4 + 8);
    caretAt(4 + kPieceLength + 1);
    QTest::keyClick(pane, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_TRUE(lineText() == "one two " + line.substr(kPieceLength - 8));
    // Shift+Right over a joint selects one character.
    load(line);
    caretAt(before(kPieceLength) - 1);
    QTest::keyClick(pane, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(pane->selText(), line.substr(kPieceLength, 1));

    // A click on a character of a later piece puts the caret before it.
    load(line);
    const QRect place = pane->cursorRect(QTextCursor(pane->document()->findBlockByNumber(2)));
    QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, place.center() + QPoint(1, 0));
    EXPECT_EQ(pane->textCursor().position(), before(kPieceLength));

    // Enter inside a piece starts a line of its own.
    caretAt(before(kPieceLength + 500));
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_TRUE(lineText() == with(kPieceLength + 500, "\n"));
}

TEST_F(LongLine, AKeyThatMakesALineLongIsUndoneInOneStepAndTheSplitIsNoChange) {
    load(std::string(kLongLine, 'x'));
    ASSERT_EQ(pane->document()->blockCount(), 3);
    caretAt(4 + kLongLine);
    QTest::keyClicks(pane, "y");
    EXPECT_GT(pane->document()->blockCount(), 3);
    EXPECT_TRUE(lineText() == std::string(kLongLine, 'x') + "y");
    EXPECT_EQ(changes, 1);
    QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pane->document()->blockCount(), 3);
    EXPECT_TRUE(lineText() == std::string(kLongLine, 'x'));
    QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(lineText() == std::string(kLongLine, 'x') + "y");
    // Deleting it again makes the line one block again.
    caretAt(pane->document()->characterCount() - 5);
    QTest::keyClick(pane, Qt::Key_Backspace);
    EXPECT_EQ(pane->document()->blockCount(), 3);

    // Pasted text is held in pieces as it comes.
    caretAt(4 + kLongLine);
    pane->setSelText(line + line);
    EXPECT_TRUE(lineText() == std::string(kLongLine, 'x') + line + line);
    for (QTextBlock block = pane->document()->begin(); block.isValid(); block = block.next())
        EXPECT_LE(block.length(), 2 * kPieceLength + 1);
}

// Typing over a selection that starts where a block starts: Qt gives the block there the format of
// the block where the selection ended. Found by the random session in the real window: select all
// in a pane holding a long line and type, and the editor spun for ever; a line's break could also
// vanish from the text, or a joint become a line break.
TEST_F(LongLine, TypingOverASelectionFromTheStartOfABlockKeepsTheLines) {
    const auto select = [this](int from, int to) {
        QTextCursor cursor = pane->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        pane->setTextCursor(cursor);
    };
    // From the line's start into a piece: the line stays a line of its own after "<p>".
    select(4, before(kPieceLength + 3));
    QTest::keyClicks(pane, "x");
    EXPECT_TRUE(pane->plainText() == "<p>\nx" + line.substr(kPieceLength + 3) + "\nend");
    // From a piece's start into the next line: the piece still continues its line.
    load(line);
    select(before(2 * kPieceLength), pane->document()->characterCount() - 3);
    QTest::keyClicks(pane, "y");
    EXPECT_TRUE(pane->plainText() == "<p>\n" + line.substr(0, 2 * kPieceLength) + "ynd");
    // The whole of a pane that holds only a long line, from the top and from the end.
    for (const bool fromTop : {true, false}) {
        pane->loadPlainText(line);
        if (fromTop) {
            QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
        } else {
            select(pane->document()->characterCount() - 1, 0);
        }
        QTest::keyClicks(pane, "z");
        EXPECT_TRUE(pane->plainText() == "z");
        EXPECT_FALSE(continuesLine(pane->document()->firstBlock()));
    }
}

// A person puts the caret in a line, scrolls away from it and pastes: the text goes in at the
// caret and the pane scrolls back to it, in a short line as in a piece of a long one.
TEST_F(LongLine, APasteWithTheCaretScrolledOutOfViewGoesInAtTheCaret) {
    const std::string pasted(115, '=');
    QGuiApplication::clipboard()->setText(QString::fromStdString(pasted));
    QScrollBar* bar = pane->verticalScrollBar();
    for (const int at : {before(11 * kPieceLength - 10), 1}) {
        caretAt(at);
        bar->setValue(at == 1 ? bar->maximum() : 0);
        pane->viewport()->repaint();
        ASSERT_FALSE(pane->viewport()->rect().contains(pane->cursorRect()));
        QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
        EXPECT_TRUE(pane->viewport()->rect().contains(pane->cursorRect()));
    }
    EXPECT_TRUE(pane->plainText() == "<" + pasted + "p>\n" + with(11 * kPieceLength - 10, pasted) + "\nend");
}

TEST_F(LongLine, AScreenReaderReadsTheLineWholeWithTheFilesOffsets) {
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(pane);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), QAccessible::EditableText);
    EXPECT_FALSE(pane->accessibleName().isEmpty());
    EXPECT_EQ(reader->text(QAccessible::Name), pane->accessibleName());
    QAccessibleTextInterface* text = reader->textInterface();
    ASSERT_NE(text, nullptr);
    const QString file = QString::fromStdString(pane->plainText());
    EXPECT_EQ(text->characterCount(), file.size());
    EXPECT_TRUE(text->text(0, text->characterCount()) == file);
    EXPECT_TRUE(reader->text(QAccessible::Value) == file);
    // A line is the file's line, not a piece of it.
    int start = -1;
    int end = -1;
    EXPECT_TRUE(text->textAtOffset(4 + 2 * kPieceLength + 7, QAccessible::LineBoundary, &start, &end) ==
                QString::fromStdString(line + "\n"));
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 4 + static_cast<int>(line.size()) + 1);
    EXPECT_EQ(text->textAtOffset(file.size() - 1, QAccessible::LineBoundary, &start, &end), u"end");
    // The caret put at a piece's first character, just past a joint, is on that character.
    for (const int index : {2 * kPieceLength, 3 * kPieceLength + 5}) {
        text->setCursorPosition(4 + index);
        EXPECT_EQ(text->cursorPosition(), 4 + index);
        EXPECT_EQ(pane->textCursor().position(), before(index));
        EXPECT_EQ(pane->document()->characterAt(pane->textCursor().position()), QChar(line[index]));
    }
    // Text a screen reader types goes where it says.
    reader->editableTextInterface()->insertText(4 + 2 * kPieceLength, QStringLiteral("Q"));
    EXPECT_TRUE(lineText() == with(2 * kPieceLength, "Q"));
    EXPECT_EQ(changes, 1);
}

// Keys, pastes and undo anywhere in and around the line: the offsets that the pane's long lines
// hand out (to the screen reader, find and replace) stay those of the file's text.
TEST_F(LongLine, OffsetsFollowEveryEditAsTheFileHasThem) {
    LongLines* lines = LongLines::of(pane);
    ASSERT_NE(lines, nullptr);
    std::mt19937 random(25);
    const std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {{Qt::Key_X, {}},
                                                                         {Qt::Key_Backspace, {}},
                                                                         {Qt::Key_Delete, {}},
                                                                         {Qt::Key_Return, {}},
                                                                         {Qt::Key_Z, Qt::ControlModifier}};
    for (int step = 0; step < 120; ++step) {
        // The file's text from the blocks themselves: a line break wherever the next block is no
        // later piece.
        QString file;
        for (QTextBlock block = pane->document()->begin(); block.isValid(); block = block.next())
            file += block.text() + (continuesLine(block.next()) || !block.next().isValid() ? "" : "\n");
        ASSERT_TRUE(QString::fromStdString(pane->plainText()) == file) << step;
        ASSERT_EQ(lines->characterCount(), file.size()) << step;
        ASSERT_TRUE(lines->text(0, pane->document()->characterCount() - 1) == file) << step;
        for (int probe = 0; probe < 8; ++probe) {
            const int offset = static_cast<int>(random() % static_cast<unsigned>(file.size()));
            const int position = lines->positionOf(offset);
            ASSERT_EQ(lines->offsetOf(position), offset) << step;
            ASSERT_EQ(pane->document()->characterAt(position),
                      file[offset].unicode() == u'\n' ? QChar(QChar::ParagraphSeparator) : file[offset])
                << step;
        }
        caretAt(lines->positionOf(static_cast<int>(random() % static_cast<unsigned>(file.size()))));
        if (random() % 5 == 0) {
            lines->replace(lines->offsetOf(pane->textCursor().position()),
                           lines->offsetOf(pane->textCursor().position()) + static_cast<int>(random() % 900),
                           QString(static_cast<qsizetype>(random() % 1500), u'p'));
        } else {
            const auto& key = keys[random() % keys.size()];
            QTest::keyClick(pane, key.first, key.second);
        }
    }
}

TEST_F(LongLine, AlignmentAndFormattingCoverTheWholeLine) {
    caretAt(before(5 * kPieceLength / 2));
    pane->setSelAlignment(2);
    for (int number = 1; number < pane->document()->blockCount() - 1; ++number)
        EXPECT_TRUE(pane->document()->findBlockByNumber(number).blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(pane->document()->firstBlock().blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(pane->document()->lastBlock().blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_EQ(pane->selAlignment(), 2);

    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(before(kPieceLength - 3));
    cursor.setPosition(before(kPieceLength + 3), QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
    pane->setSelBold(Tristate::True);
    EXPECT_EQ(pane->selBold(), Tristate::True);
    caretAt(before(kPieceLength - 4));
    cursor.setPosition(before(kPieceLength + 4), QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
    EXPECT_EQ(pane->selBold(), Tristate::Mixed);
    EXPECT_EQ(w.form().htmlDirty, kFalse);
    EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace corvane::qt

namespace corvane::qt {
namespace {

TEST(PaneText, FileTextIsUtf8WithSeparatorsAsNewLinesAndEveryOtherCharacterKept) {
    testing::ShownWindow shown;
    RichEditWidget* pane = shown.window.pane(1);
    // Long ASCII stretches around every kind of character, so that both the eight-at-a-time path
    // and the one-at-a-time path meet each of them at every offset.
    QString text;
    const QString oddOnes[] = {QStringLiteral("中文"),   QStringLiteral("é"),
                               QStringLiteral("\u00a0"), QString(QChar(0xD83D)) + QChar(0xDE00),
                               QStringLiteral("\u2028"), QStringLiteral("\u20ac"),
                               QString(QChar(0xD800)),   QString(QChar(0xDC00)) + u'x'};
    for (int offset = 0; offset < 9; ++offset) {
        for (const QString& odd : oddOnes) text += QString(offset, u'a') + odd + QStringLiteral("<p>\n");
    }
    pane->setPlainText(text);
    // A lone surrogate that stands for a byte a file could not read (U+DC00 to U+DCFF) keeps its
    // three-byte form, any other becomes U+FFFD; Qt's own conversion makes both "?".
    QString qtExpected = text;
    qtExpected.replace(QChar::LineSeparator, u'\n');
    qtExpected.replace(QChar(0xD800), QChar(0xFFFD));
    std::string expected = qtExpected.toUtf8().toStdString();
    for (std::size_t at = expected.find("?x"); at != std::string::npos; at = expected.find("?x", at))
        expected.replace(at, 1, "\xED\xB0\x80");
    EXPECT_EQ(pane->plainText(), expected);
    pane->selectAll();
    EXPECT_EQ(pane->selText(), expected);
    // A pair of surrogates, or a Chinese character, on each side of where the text is cut into
    // pieces for converting.
    for (int before = 65530; before < 65540; ++before) {
        const QString around = QString(before, u'a') + QChar(0xD83D) + QChar(0xDE00) +
                               QStringLiteral("中\n") + QString(before, u'b') + QStringLiteral("中文");
        pane->setPlainText(around);
        const std::string expectedBytes = around.toUtf8().toStdString();
        EXPECT_EQ(pane->plainText(), expectedBytes) << before;
        // Saving takes the same bytes in pieces.
        std::string pieces;
        int count = 0;
        pane->writePlainText([&](std::string_view piece) {
            pieces.append(piece);
            ++count;
        });
        EXPECT_EQ(pieces, expectedBytes) << before;
        EXPECT_GT(count, 1) << before;
    }
    pane->setPlainText(QString());
    EXPECT_EQ(pane->plainText(), "");
}

}  // namespace
}  // namespace corvane::qt

namespace corvane::qt {
namespace {

// Opening a megabyte of a file that once took gigabytes (a long font name switched to and fro) or
// minutes (tens of thousands of formats) raises the resident memory of the pane's process by less
// than 20 times the file, counted in a copy of the process from a shown, empty pane.
TEST(PaneMemory, HostileRichTextFilesOpenWithinTwentyTimesTheirSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own memory would be counted";
#endif
    fakes::TempDir dir;
    RichEditWidget pane;
    pane.setWordWrapOff();
    pane.resize(800, 600);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    const std::pair<const char*, std::string> files[] = {
        {"long-font-name.rtf", fakes::longFontNameRtf(1 << 20)},
        {"many-formats.rtf", fakes::manyFormatsRtf(1 << 20)},
    };
    for (const auto& [name, rtf] : files) {
        const std::string path = (dir.path() / name).string();
        fakes::writeFile(path, rtf);
        const long long growth = fakes::peakResidentGrowth([&] {
            LoadFile(pane, path);
            QCoreApplication::processEvents();
            pane.viewport()->repaint();
            if (pane.document()->characterCount() < 1000) throw std::runtime_error("not loaded");
        });
        ASSERT_GE(growth, 0) << name << ": not measured";
        EXPECT_LT(growth, 20 * static_cast<long long>(rtf.size())) << name;
        std::printf("%s: %lld KiB at the peak for a %zu KiB file\n", name, growth / 1024, rtf.size() / 1024);
    }
}

}  // namespace
}  // namespace corvane::qt

namespace corvane::qt {
namespace {

// The colours a pane shows its code in, on the screen only.
class PaneColours : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
    RichEditWidget* pane = w.pane(1);

    void SetUp() override {
        pane->raise();
        pane->setFocus();
    }

    // The text colours the colouring gives the paragraphs on screen, as they are painted.
    QSet<QRgb> coloursShown() {
        pane->viewport()->repaint();
        QSet<QRgb> colours;
        const int bottom = pane->viewport()->height();
        for (QTextBlock block = pane->cursorForPosition(QPoint(0, 0)).block();
             block.isValid() && pane->cursorRect(QTextCursor(block)).top() < bottom; block = block.next()) {
            for (const QTextLayout::FormatRange& range : block.layout()->formats())
                colours.insert(range.format.foreground().color().rgb());
        }
        return colours;
    }

    QSet<QRgb> coloursOf(const QTextBlock& block) {
        pane->viewport()->repaint();
        QSet<QRgb> colours;
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            colours.insert(range.format.foreground().color().rgb());
        return colours;
    }
};

TEST_F(PaneColours, TheSampleShowsInSeveralColoursAndIsNoChange) {
    const int undoSteps = pane->document()->availableUndoSteps();
    EXPECT_GE(coloursShown().size(), 3);
    for (RichEditWidget* other : {w.pane(2), w.pane(3)}) {
        other->setPlainText(QStringLiteral("/* note */ p { color: red; }\nlet s = 'text'; // note"));
        other->raise();
        other->viewport()->repaint();
        EXPECT_FALSE(other->document()->firstBlock().layout()->formats().isEmpty());
    }
    w.form().cssDirty = 0;
    w.form().jsDirty = 0;
    // Scrolled through, painted again and again: nothing to save, nothing to undo.
    pane->moveCursor(QTextCursor::End);
    pane->viewport()->repaint();
    pane->moveCursor(QTextCursor::Start);
    pane->viewport()->repaint();
    EXPECT_EQ(w.form().htmlDirty, 0);
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区");
    EXPECT_EQ(pane->document()->availableUndoSteps(), undoSteps);
    // Colouring touches the colour alone.
    for (QTextBlock block = pane->cursorForPosition(QPoint(0, 0)).block(); block.isValid();
         block = block.next()) {
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            EXPECT_EQ(range.format.properties().keys(), QList<int>{QTextFormat::ForegroundBrush});
    }
}

TEST_F(PaneColours, TheUsersRedStaysRedAndBoldStaysBold) {
    pane->setPlainText(QStringLiteral("<p class=\"note\">text</p>"));
    QTextCursor cursor(pane->document());
    cursor.setPosition(1);
    cursor.setPosition(2, QTextCursor::KeepAnchor);  // the tag name "p"
    pane->setTextCursor(cursor);
    pane->setSelColor(0x0000ff);
    cursor.setPosition(3);
    cursor.setPosition(16, QTextCursor::KeepAnchor);  // class="note"
    pane->setTextCursor(cursor);
    pane->setSelBold(Tristate::True);
    pane->moveCursor(QTextCursor::End);
    const QTextBlock block = pane->document()->firstBlock();
    ASSERT_GE(coloursOf(block).size(), 2);
    for (const QTextLayout::FormatRange& range : block.layout()->formats())
        EXPECT_TRUE(range.start >= 2 || range.start + range.length <= 1) << range.start;
    // Drawn: red pixels in the line, and the bold attribute drawn bold.
    const QImage image = pane->viewport()->grab().toImage();
    const QRect line = pane->cursorRect(QTextCursor(block));
    int red = 0;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = line.top(); y <= line.bottom() && y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++red;
        }
    }
    EXPECT_GT(red, 3);
    cursor.setPosition(4);
    EXPECT_GE(cursor.charFormat().fontWeight(), QFont::Bold);
}

TEST_F(PaneColours, ColoursReadOnADarkPaletteAsOnALightOne) {
    for (const auto& [base, text] : {std::pair{QColor(255, 255, 255), QColor(0, 0, 0)},
                                     std::pair{QColor(30, 30, 30), QColor(220, 220, 220)},
                                     std::pair{QColor(0, 43, 54), QColor(131, 148, 150)}}) {
        QPalette palette = pane->palette();
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, text);
        pane->setPalette(palette);
        const QSet<QRgb> colours = coloursShown();
        ASSERT_GE(colours.size(), 3);
        const auto rgb = [](const QColor& c) {
            return Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                       static_cast<std::uint8_t>(c.blue())};
        };
        for (const QRgb colour : colours) {
            const QColor c = QColor::fromRgb(colour);
            EXPECT_GE(contrastRatio(rgb(c), rgb(base)), 4.5)
                << c.name().toStdString() << " on " << base.name().toStdString();
        }
    }
}

TEST_F(PaneColours, ACommentTypedAtTheTopColoursWhatIsShownBelowItAndClosingItBringsTheColoursBack) {
    QString page;
    for (int i = 0; i < 5000; ++i) page += QStringLiteral("<p class=\"c%1\">line %1</p>\n").arg(i);
    pane->setPlainText(page);
    pane->moveCursor(QTextCursor::Start);
    const QTextBlock third = pane->document()->findBlockByNumber(2);
    const QSet<QRgb> before = coloursOf(third);
    ASSERT_GE(before.size(), 3);
    QTest::keyClicks(pane, "<!--");
    const QSet<QRgb> comment = coloursOf(third);
    EXPECT_EQ(comment.size(), 1);
    EXPECT_EQ(coloursOf(pane->document()->firstBlock()), comment);
    QTest::keyClicks(pane, "-->");
    EXPECT_EQ(coloursOf(third), before);
    // The end of the text is coloured as soon as it is shown.
    pane->moveCursor(QTextCursor::End);
    EXPECT_EQ(coloursOf(pane->document()->lastBlock().previous()), before);
    // Off, the pane shows its own text colour alone.
    CodeColouring::of(pane)->setEnabled(false);
    EXPECT_TRUE(coloursOf(pane->document()->lastBlock().previous()).isEmpty());
    CodeColouring::of(pane)->setEnabled(true);
    EXPECT_EQ(coloursOf(pane->document()->lastBlock().previous()), before);
}

// The paragraphs on screen keep their shaped glyphs between paints; scrolled, typed, pasted or
// deleted past, the pane keeps no more than a screenful of them.
TEST_F(PaneColours, OnlyTheParagraphsOnScreenKeepTheirGlyphs) {
    QString page;
    for (int i = 0; i < 3000; ++i) page += QStringLiteral("<p class=\"c%1\">line %1</p>\n").arg(i);
    pane->setPlainText(page);
    pane->moveCursor(QTextCursor::Start);
    const ShownGlyphs* glyphs = ShownGlyphs::of(pane);
    ASSERT_NE(glyphs, nullptr);
    const int screenful = pane->viewport()->height() / pane->fontMetrics().lineSpacing() + 3;
    pane->viewport()->repaint();
    EXPECT_GE(glyphs->keptCount(), screenful - 4);
    const auto act = [&](const std::function<void()>& action) {
        action();
        pane->viewport()->repaint();
    };
    for (int page = 0; page < 40; ++page) act([&] { QTest::keyClick(pane, Qt::Key_PageDown); });
    EXPECT_LE(glyphs->keptCount(), screenful);
    QString lines;
    for (int i = 0; i < 500; ++i) lines += QStringLiteral("<b>pasted %1</b>\n").arg(i);
    act([&] { pane->textCursor().insertText(lines); });
    act([&] { QTest::keyClick(pane, Qt::Key_PageUp); });
    act([&] {
        QTextCursor cursor = pane->textCursor();
        cursor.movePosition(QTextCursor::Up, QTextCursor::KeepAnchor, 300);
        cursor.removeSelectedText();
    });
    act([&] {
        QTest::keyClicks(pane, "typed");
        QTest::keyClick(pane, Qt::Key_Return);
        QTest::keyClicks(pane, "<i>");
    });
    for (int page = 0; page < 40; ++page) act([&] { QTest::keyClick(pane, Qt::Key_PageUp); });
    EXPECT_LE(glyphs->keptCount(), screenful);
    act([&] { pane->moveCursor(QTextCursor::End); });
    EXPECT_LE(glyphs->keptCount(), screenful);
    w.form().htmlDirty = 0;
}

// Edits anywhere, with the pane scrolled anywhere, leave it coloured as a pane that was given the
// same text afresh: what the colouring keeps of earlier lexing never shows through.
TEST_F(PaneColours, AfterRandomEditsThePaneIsColouredAsOneGivenTheSameTextAfresh) {
    QString page;
    for (int i = 0; i < 800; ++i) {
        page += i % 7 == 0 ? QStringLiteral("<script>let s = 'a' + b / 2; // c\n</script>\n")
                           : QStringLiteral("<p class=\"c%1\">line &amp; %1</p>\n").arg(i);
    }
    pane->setPlainText(page);
    RichEditWidget fresh;
    new CodeColouring(&fresh, CodeLanguage::Html);
    fresh.setFont(pane->font());
    fresh.document()->setDefaultFont(pane->document()->defaultFont());
    fresh.setWordWrapOff();
    fresh.resize(pane->size());
    pane->setWordWrapOff();
    fresh.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fresh));
    const QStringList pieces = {"<!--", "-->", "\"", "'", "<script>", "</script>", "<style>", "</style>",
                                "/*",   "*/",  "\n", "x", "`",        "${",        "}",       "<"};
    std::mt19937 random(18);
    for (int step = 0; step < 200; ++step) {
        QTextCursor cursor(pane->document());
        cursor.setPosition(
            static_cast<int>(random() % static_cast<unsigned>(pane->document()->characterCount())));
        if (random() % 4 == 0) {
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor,
                                static_cast<int>(random() % 40));
            cursor.removeSelectedText();
        } else {
            cursor.insertText(pieces[static_cast<int>(random() % static_cast<unsigned>(pieces.size()))]);
        }
        QScrollBar* bar = pane->verticalScrollBar();
        if (random() % 3 == 0)
            bar->setValue(static_cast<int>(random() % static_cast<unsigned>(bar->maximum() + 1)));
        pane->viewport()->repaint();
        fresh.setPlainText(pane->toPlainText());
        fresh.verticalScrollBar()->setValue(bar->value());
        fresh.viewport()->repaint();
        QTextBlock mine = pane->cursorForPosition(QPoint(0, 0)).block();
        QTextBlock theirs = fresh.document()->findBlockByNumber(mine.blockNumber());
        for (int line = 0; line < 10 && mine.isValid(); ++line, mine = mine.next(), theirs = theirs.next()) {
            ASSERT_EQ(mine.layout()->formats(), theirs.layout()->formats())
                << "step " << step << ", paragraph " << mine.blockNumber() << ": "
                << mine.text().toStdString();
        }
        // Nor does what the paragraphs on screen keep of their shaping: laid out afresh, the
        // pane looks the same.
        if (step % 10 == 0) {
            const QImage kept = pane->viewport()->grab().toImage();
            pane->document()->markContentsDirty(0, pane->document()->characterCount());
            ASSERT_EQ(pane->viewport()->grab().toImage(), kept) << "step " << step;
        }
    }
    w.form().htmlDirty = 0;
}

}  // namespace
}  // namespace corvane::qt
