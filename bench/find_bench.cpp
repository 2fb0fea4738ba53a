// find_bench: finding and replacing in a 10 MB page and in a minified line of 10 MB, through the
// find bar of the real window as a person uses it, beside a bare QPlainTextEdit doing the same
// with its own find() loop on the same text, in the same run. Wall time on the window's thread.
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "qt/app_setup.h"
#include "qt/find_bar.h"
#include "qt/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;
using corvane::qt::FindBar;
using corvane::qt::MainWindow;

constexpr int kMarkers = 100'000;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <typename F>
double timeMs(F&& work) {
    const Clock::time_point start = Clock::now();
    work();
    return msSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    const Clock::time_point start = Clock::now();
    while (!done()) {
        if (msSince(start) > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

// About 10 MB of HTML in lines of about 100 bytes, each with one "marker", Chinese in each, and
// one "needle" near the end. `oneLine` joins them into a single minified line.
QString page(bool oneLine) {
    QString text;
    text.reserve(kMarkers * 104);
    for (int i = 0; i < kMarkers; ++i) {
        text +=
            QStringLiteral("<p class=\"row r%1\">第 %1 行，内容 marker 与 some more words here</p>").arg(i);
        if (i == kMarkers * 9 / 10) text += QStringLiteral("<b>needle</b>");
        text += oneLine ? u' ' : u'\n';
    }
    return text;
}

struct Row {
    std::string figure;
    std::string text;
    double editor = 0;
    double bare = 0;
    std::string target;
};

void print(const std::vector<Row>& rows) {
    std::printf("%-44s %-16s %12s %12s %8s  %s\n", "figure", "text", "editor", "bare find()", "ratio",
                "target");
    for (const Row& r : rows) {
        if (r.bare < 0) {
            std::printf("%-44s %-16s %9.1f ms %12s %8s  %s\n", r.figure.c_str(), r.text.c_str(), r.editor,
                        "n/a", "", r.target.c_str());
            continue;
        }
        std::printf("%-44s %-16s %9.1f ms %9.1f ms %8.2f  %s\n", r.figure.c_str(), r.text.c_str(), r.editor,
                    r.bare, r.bare > 0 ? r.editor / r.bare : 0.0, r.target.c_str());
    }
    std::fflush(stdout);
}

// The same work with a bare QPlainTextEdit and its find().
struct Bare {
    double firstMatch = 0;
    double count = 0;
    double replaceAll = 0;
    double undo = 0;
    int found = 0;
};

// A line of 10 MB is more than a bare QPlainTextEdit can show (it lays the paragraph out whole on
// every change, minutes for a replace all); there the bare figure is its document's own find()
// of the first match without the view.
Bare bareFigures(const QString& text, bool withView) {
    QPlainTextEdit edit;
    Bare bare;
    if (!withView) {
        QTextDocument doc;
        doc.setPlainText(text);
        QTextCursor at(&doc);
        bare.firstMatch = timeMs([&] { doc.find(QStringLiteral("needle"), at); });
        // Its find() copies the whole paragraph for every match: a count of 100,000 is quadratic.
        bare.count = bare.replaceAll = bare.undo = -1;
        return bare;
    }
    edit.resize(480, 600);
    edit.show();
    edit.setPlainText(text);
    QCoreApplication::processEvents();
    edit.moveCursor(QTextCursor::Start);
    bare.firstMatch = timeMs([&] { edit.find(QStringLiteral("needle")); });
    edit.moveCursor(QTextCursor::Start);
    bare.count = timeMs([&] {
        while (edit.find(QStringLiteral("marker"))) ++bare.found;
    });
    bare.replaceAll = timeMs([&] {
        QTextDocument* doc = edit.document();
        QTextCursor step(doc);
        step.beginEditBlock();
        QTextCursor at(doc);
        for (;;) {
            at = doc->find(QStringLiteral("marker"), at);
            if (at.isNull()) break;
            at.insertText(QStringLiteral("MARK"));
        }
        step.endEditBlock();
        QCoreApplication::processEvents();
    });
    bare.undo = timeMs([&] {
        edit.undo();
        QCoreApplication::processEvents();
    });
    return bare;
}

void measure(MainWindow& w, bool oneLine, std::vector<Row>& rows) {
    const QString text = page(oneLine);
    const std::string name = oneLine ? "one line, 10 MB" : "10 MB page";
    const Bare bare = bareFigures(text, !oneLine);
    std::fprintf(stderr, "bare done: %s\n", name.c_str());

    auto* pane = w.pane(1);
    pane->loadPlainText(text.toStdString());
    pane->setFocus();
    pane->moveCursor(QTextCursor::Start);
    QCoreApplication::processEvents();
    auto* bar = pane->findChild<FindBar*>();
    const double open = timeMs([&] { QTest::keyClick(pane, Qt::Key_F, Qt::ControlModifier); });
    rows.push_back({"Ctrl+F: the bar opens and reads the text", name, open, bare.firstMatch, "-"});

    // A rare word: each key finds the first match from the caret, 90 % of the way down.
    std::vector<double> keys;
    double firstKey = 0;
    for (int round = 0; round < 3; ++round) {
        bar->findField()->clear();
        pane->moveCursor(QTextCursor::Start);
        QCoreApplication::processEvents();
        for (const char c : std::string("needle")) {
            const double t = timeMs([&] { QTest::keyClick(bar->findField(), c); });
            if (round == 0 && keys.empty() && firstKey == 0) {
                firstKey = t;
            } else {
                keys.push_back(t);
            }
        }
        if (pane->textCursor().selectedText() != QStringLiteral("needle"))
            std::fprintf(stderr, "needle not found\n");
    }
    std::fprintf(stderr, "keys done\n");
    rows.push_back({"first key in the field", name, firstKey, bare.firstMatch, "50 ms"});
    rows.push_back(
        {"key in the field to the first match shown", name, median(keys), bare.firstMatch, "50 ms"});

    // A common word: the count is done off the window's thread; the key returns at once.
    bar->findField()->clear();
    pane->moveCursor(QTextCursor::Start);
    QCoreApplication::processEvents();
    QTest::keyClicks(bar->findField(), QStringLiteral("marke"));
    const Clock::time_point countStart = Clock::now();
    const double lastKey = timeMs([&] { QTest::keyClick(bar->findField(), 'r'); });
    const bool counted =
        spinUntil([&] { return bar->countText().contains(QStringLiteral("100000")); }, 20000);
    const double count = msSince(countStart);
    if (!counted) std::fprintf(stderr, "count: %s\n", bar->countText().toStdString().c_str());
    rows.push_back({"key to all matches counted", name, count, bare.count, "300 ms"});
    rows.push_back({"the key itself (window's thread)", name, lastKey, bare.firstMatch, "50 ms"});

    std::fprintf(stderr, "count done\n");
    // Replace all of 100,000 matches, and its undo.
    QTest::keyClick(pane, Qt::Key_H, Qt::ControlModifier);
    bar->replaceField()->clear();
    QTest::keyClicks(bar->replaceField(), QStringLiteral("MARK"));
    QPushButton* all = nullptr;
    for (auto* b : bar->findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("全部替换")) all = b;
    const double replace = timeMs([&] {
        all->click();
        QCoreApplication::processEvents();
    });
    const QString after = QString::fromStdString(pane->plainText());
    // Every byte outside the matches stays as it was.
    QString expected = text;
    expected.replace(QStringLiteral("marker"), QStringLiteral("MARK"));
    if (after != expected) std::fprintf(stderr, "replace all changed more than the matches\n");
    QTest::keyClick(bar->findField(), Qt::Key_Escape);
    const double undo = timeMs([&] {
        QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
        QCoreApplication::processEvents();
    });
    if (pane->plainText() != text.toStdString()) std::fprintf(stderr, "undo did not bring the text back\n");
    rows.push_back({"replace all of 100,000 matches", name, replace, bare.replaceAll, "1 s"});
    rows.push_back({"undo of the replace all", name, undo, bare.undo, "1 s"});
    w.form().htmlDirty = 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    corvane::qt::prepareEnvironment();
    QApplication app(argc, argv);
    corvane::qt::describeApplication();
    QStandardPaths::setTestModeEnabled(true);
    MainWindow w;
    w.show();
    QCoreApplication::processEvents();
    std::vector<Row> rows;
    if (!qEnvironmentVariableIsSet("FIND_BENCH_LINE_ONLY")) measure(w, false, rows);
    measure(w, true, rows);
    print(rows);
    w.form().htmlDirty = 0;
    return 0;
}
