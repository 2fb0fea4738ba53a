#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "fakes/child_process.h"
#include "fakes/hostile_rtf.h"
#include "fakes/temp_dir.h"
#include "panes/pane_file.h"
#include "qt/long_lines.h"
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
