#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>

#include "app/window_definition.h"
#include "qt/page_messages.h"
#include "qt/preview_file_access.h"
#include "qt/preview_site.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::ShownWindow;
using testing::whenModalOpens;

class PreviewWindow : public ::testing::Test {
protected:
    QTemporaryDir cache;
    QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    std::unique_ptr<ShownWindow> shown;

    void SetUp() override {
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        shown = std::make_unique<ShownWindow>();
    }
    void TearDown() override {
        shown.reset();
        qputenv("XDG_CACHE_HOME", savedCache);
    }
    MainWindow& w() { return shown->window; }
    QString previewFile() const { return cache.filePath("corvane/test.html"); }

    // Presses the run button and waits for the page to finish loading.
    bool pressRunAndWait() {
        QWebEngineView* view = w().browser()->view();
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QTest::mouseClick(w().runButton(), Qt::LeftButton);
        return loaded.wait(20000) && loaded.last().at(0).toBool();
    }

    QVariant evaluate(const QString& script) {
        QVariant result;
        bool done = false;
        w().browser()->view()->page()->runJavaScript(script, [&](const QVariant& v) {
            result = v;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return result;
    }

    // Waits in a real event loop, as the program runs. QTest's waits sleep between their looks at
    // the condition, and each sleep holds up the browser engine's work on this thread: a page that
    // the program replaces in half a second takes three there.
    static bool waitInEventLoop(const std::function<bool()>& done, int timeoutMs) {
        if (done()) return true;
        QEventLoop loop;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            if (done()) loop.quit();
        });
        look.start(5);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return done();
    }

    QString pageText() {
        QString text;
        bool done = false;
        w().browser()->view()->page()->runJavaScript(QStringLiteral("document.body.innerText"),
                                                     [&](const QVariant& v) {
                                                         text = v.toString();
                                                         done = true;
                                                     });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return text;
    }
};

// A page saved beside pictures, style sheets and scripts that Debian's packages ship, with a script
// that reports what it could load and what it could read: the page's title once it has finished.
class PreviewFileAccess : public PreviewWindow {
protected:
    QTemporaryDir site;

    void SetUp() override {
        PreviewWindow::SetUp();
        ASSERT_TRUE(QDir(site.path()).mkpath("assets"));
        ASSERT_TRUE(QDir(site.path()).mkpath(".hidden"));
        ASSERT_TRUE(QFile::copy("/usr/share/icons/hicolor/48x48/apps/display-im6.q16.png",
                                site.filePath(".hidden/picture.png")));
        for (const auto& [from, to] :
             {std::pair{"/usr/share/icons/hicolor/48x48/apps/display-im6.q16.png", "picture.png"},
              std::pair{"/usr/share/lintian/data/stylesheets/lintian.css", "lintian.css"},
              std::pair{"/usr/share/javascript/jquery/jquery.min.js", "jquery.min.js"}}) {
            ASSERT_TRUE(QFile::copy(QString::fromUtf8(from), site.filePath(QStringLiteral("assets/") + to)))
                << from;
        }
    }

    // Saves the page with `script` in it into the site and shows it; returns what the script reported.
    QJsonObject preview(const QString& script) {
        const QString page = site.filePath("page.html");
        w().pane(1)->setPlainText(
            QStringLiteral(
                "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                "<link rel=\"stylesheet\" href=\"assets/lintian.css\">"
                "<script src=\"assets/jquery.min.js\"></script></head>"
                "<body><article><h1>标题</h1></article><img id=\"picture\" src=\"assets/picture.png\">"
                "<script>function report(r) { document.title = 'done:' + JSON.stringify(r); }\n%1</script>"
                "</body></html>")
                .arg(script));
        whenModalOpens([&](QWidget* modal) { testing::acceptFileDialog(modal, page); });
        w().menuAction("mnuFileSaveAs")->trigger();
        EXPECT_EQ(w().form().htm, page.toStdString());
        QTest::mouseClick(w().runButton(), Qt::LeftButton);
        QWebEngineView* view = w().browser()->view();
        const bool done = QTest::qWaitFor([&] { return view->title().startsWith("done:"); }, 30000);
        EXPECT_TRUE(done) << view->title().toStdString();
        return QJsonDocument::fromJson(view->title().mid(5).toUtf8()).object();
    }
};

TEST_F(PreviewFileAccess, APageLoadsItsOwnPicturesStyleSheetsAndScripts) {
    const QJsonObject r =
        preview(QStringLiteral("window.addEventListener('load', () => report({"
                               "  picture: document.getElementById('picture').naturalWidth,"
                               "  style: getComputedStyle(document.querySelector('article h1')).fontSize,"
                               "  script: typeof jQuery }));"));
    EXPECT_EQ(r["picture"].toInt(), 48);
    EXPECT_EQ(r["style"].toString(), "28px");  // lintian.css: "article h1 { font-size: 28px; }"
    EXPECT_EQ(r["script"].toString(), "function");
}

// A page shows the files of its folder but its scripts read none of them, nor any other file: not
// through a frame's document (first, the hole a page opened from disk in a browser does not have),
// not from a frame of its own folder that frames them in turn, not from a canvas, a style sheet's
// rules or a script's error text, not by XMLHttpRequest or fetch.
TEST_F(PreviewFileAccess, APageShowsItsFolderButItsScriptsReadNoFile) {
    ASSERT_TRUE(QDir(site.path()).mkpath("sub"));
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(site.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write("sub/secret.txt", "TOP SECRET tax numbers"));
    ASSERT_TRUE(write("sub/throws.js", "throw new Error('TOP SECRET in a script');"));
    // A page of the folder, framed by the page, that frames the secret beside it and tells.
    ASSERT_TRUE(write("sub/spy.html",
                      "<iframe src=\"secret.txt\" onload=\"let r; try { r = 'read ' + "
                      "this.contentDocument.body.innerText; } catch (e) { r = 'refused'; } "
                      "parent.postMessage(r, '*');\"></iframe>"));
    const QJsonObject r = preview(QStringLiteral(
        "const late = (p, what) => Promise.race([p, new Promise(d => setTimeout(() => d(what), 4000))]);\n"
        "const frame = url => late(new Promise(done => { const f = document.createElement('iframe');\n"
        "  f.onload = () => { try { done('read ' + f.contentDocument.body.innerText); }\n"
        "    catch (e) { done('refused'); } }; f.src = url; document.body.appendChild(f); }), 'no answer');\n"
        "const spy = () => late(new Promise(done => { window.addEventListener('message', e => "
        "done(e.data));\n"
        "  const f = document.createElement('iframe'); f.src = 'sub/spy.html'; document.body.appendChild(f); "
        "}),\n"
        "  'no answer');\n"
        "const xhr = url => new Promise(done => {\n"
        "  try { const x = new XMLHttpRequest(); x.open('GET', url);\n"
        "    x.onload = () => done('read ' + x.responseText); x.onerror = () => done('refused');\n"
        "    x.send(); } catch (e) { done('refused'); } });\n"
        "const get = url => fetch(url).then(r => r.text()).then(t => 'read ' + t, () => 'refused');\n"
        "const shown = url => new Promise(done => { const i = new Image();\n"
        "  i.onload = () => done('shown'); i.onerror = () => done('not shown'); i.src = url; });\n"
        "const pixels = url => new Promise(done => { const i = new Image();\n"
        "  i.onload = () => { const c = document.createElement('canvas'); c.width = c.height = 8;\n"
        "    const g = c.getContext('2d'); g.drawImage(i, 0, 0);\n"
        "    try { g.getImageData(0, 0, 1, 1); done('read'); } catch (e) { done('refused'); } };\n"
        "  i.onerror = () => done('not shown'); i.src = url; });\n"
        "const rules = () => { try { return 'read ' + document.styleSheets[0].cssRules.length; }\n"
        "  catch (e) { return 'refused'; } };\n"
        "const errorText = () => late(new Promise(done => { window.onerror = m => done(String(m));\n"
        "  const s = document.createElement('script'); s.src = 'sub/throws.js'; "
        "document.body.appendChild(s); }),\n"
        "  'no answer');\n"
        "window.addEventListener('load', () => Promise.all([frame('sub/secret.txt'), spy(),\n"
        "  pixels('assets/picture.png'), rules(), errorText(),\n"
        "  xhr('sub/secret.txt'), get('sub/secret.txt'), xhr('file:///etc/os-release'), "
        "shown('.hidden/picture.png'),\n"
        "  shown('file:///usr/share/icons/hicolor/16x16/apps/display-im6.q16.png')])\n"
        "  .then(([fr, sp, px, ru, er, x, f, other, hidden, elsewhere]) => report({frame: fr,\n"
        "    frameInFrame: sp, canvas: px, styleRules: ru, errorText: er, xhr: x, fetch: f, otherFile: "
        "other,\n"
        "    hiddenPicture: hidden, pictureElsewhere: elsewhere})));"));
    ASSERT_EQ(r.size(), 10);
    for (const QString& attempt : r.keys()) {
        const QString outcome = r[attempt].toString();
        EXPECT_FALSE(outcome.startsWith("read") || outcome.contains("TOP SECRET"))
            << attempt.toStdString() << ": " << outcome.toStdString();
    }
    EXPECT_EQ(r["frame"].toString(), "refused");
    EXPECT_EQ(r["canvas"].toString(), "refused");  // shown, but its pixels are not the page's to read
    EXPECT_EQ(r["hiddenPicture"].toString(), "not shown");
    EXPECT_EQ(r["pictureElsewhere"].toString(), "not shown");
}

// What the preview's console sends, as the strip reads it: a message as the engine gave it, one
// marked with its file and line, the count of those left out, and several sent together (a mark
// or a quote in a text included; a batch that is not one brings nothing).
TEST(PreviewConsole, ReadsOneMessageTheCountLeftOutAndSeveralSentTogether) {
    const QString m(QChar(0x2063));
    const auto read = [](const QString& message) {
        QStringList said;
        for (const ConsoleMessage& one : pageConsoleMessages(message, QStringLiteral("engine.js"), 7))
            said << QStringLiteral("%1|%2|%3|%4").arg(one.source).arg(one.line).arg(one.text).arg(one.dropped);
        return said.join(u'/').toStdString();
    };
    EXPECT_EQ(read("Uncaught ReferenceError: x"), "engine.js|7|Uncaught ReferenceError: x|0");
    EXPECT_EQ(read(m + "a.html" + m + "3" + m + " hello world"), "a.html|3|hello world|0");
    EXPECT_EQ(read(m + "dropped" + m + "9900"), "|0||9900");
    const QJsonArray entries{"a.html" + m + "1" + m + "one", "b.js" + m + "2" + m + "two " + m + " \"q\"",
                             m + "0" + m + "bare"};
    const QString batch = QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Compact));
    EXPECT_EQ(read(m + "batch" + m + batch),
              QString("a.html|1|one|0/b.js|2|two " + m + " \"q\"|0/|0|bare|0").toStdString());
    EXPECT_EQ(read(m + "batch" + m + "not json"), "");
}

TEST(PreviewFilePolicy, APageShowsOnlyWhatLiesInItsOwnFolder) {
    using Info = QWebEngineUrlRequestInfo;
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("site/images"));
    const auto touch = [&](const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly);
    };
    ASSERT_TRUE(touch("site/page.html") && touch("site/images/a.png") && touch("outside.png"));
    ASSERT_TRUE(QFile::link(dir.filePath("outside.png"), dir.filePath("site/images/link.png")));
    const QUrl page = QUrl::fromLocalFile(dir.filePath("site/page.html"));
    const auto url = [&](const QString& name) { return QUrl::fromLocalFile(dir.filePath(name)); };
    EXPECT_TRUE(previewMayLoad(url("site/images/a.png"), page, Info::ResourceTypeImage));
    EXPECT_FALSE(previewMayLoad(url("site/images/a.png"), page, Info::ResourceTypeXhr));
    EXPECT_FALSE(previewMayLoad(url("outside.png"), page, Info::ResourceTypeImage));
    EXPECT_FALSE(previewMayLoad(url("site/images/../../outside.png"), page, Info::ResourceTypeImage));
    EXPECT_FALSE(previewMayLoad(url("site/images/link.png"), page, Info::ResourceTypeImage));
    EXPECT_TRUE(previewMayLoad(url("outside.png"), page, Info::ResourceTypeMainFrame));
    EXPECT_TRUE(previewMayLoad(QUrl("https://www.debian.org/"), page, Info::ResourceTypeXhr));
    EXPECT_FALSE(
        previewMayLoad(url("site/images/a.png"), QUrl("https://www.debian.org/"), Info::ResourceTypeImage));
}

TEST_F(PreviewWindow, ShowsThePaneAsAPageWithChineseTextAndNoCharsetDeclared) {
    // The browser engine starts with the first preview, not with the window.
    QCoreApplication::processEvents();
    EXPECT_FALSE(w().browser()->started());
    w().pane(1)->setPlainText(QStringLiteral("<p>你好，世界 hello</p>"));
    ASSERT_TRUE(pressRunAndWait());
    EXPECT_EQ(w().browser()->view()->url(), previewAddress(previewFile()));
    EXPECT_EQ(pageText().trimmed(), QStringLiteral("你好，世界 hello"));
    // Formatting in the pane never reaches the page.
    w().pane(1)->selectAll();
    w().form().mnuTxtBold_Click();
    ASSERT_TRUE(pressRunAndWait());
    QFile file(previewFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QByteArray("\xEF\xBB\xBF") + QStringLiteral("<p>你好，世界 hello</p>").toUtf8());
    file.close();

    // A long line, which the pane holds in pieces, reaches the page whole.
    std::string line = "<p>";
    while (line.size() < 20000) line += "长行 long line ";
    line += "</p>";
    w().pane(1)->setText(line);
    ASSERT_GT(w().pane(1)->document()->blockCount(), 1);
    ASSERT_TRUE(pressRunAndWait());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == QByteArray("\xEF\xBB\xBF") + QByteArray::fromStdString(line));
}

// A page in GB2312 that declares so, made by iconv from a Chinese manual page: the browser shows
// the very characters the pane shows, although the preview file is UTF-8.
TEST_F(PreviewWindow, AGb2312PageThatDeclaresItsCharsetShowsThePanesChinese) {
    const QString page = QStringLiteral(CORVANE_TEST_DATA "/encodings/gb2312-meta.html");
    whenModalOpens([&](QWidget* modal) { testing::acceptFileDialog(modal, page); });
    w().menuAction("mnuFileOpen")->trigger();
    ASSERT_EQ(w().windowTitle(), page);
    const QString source = w().pane(1)->toPlainText();
    ASSERT_TRUE(source.contains(QStringLiteral("<meta charset=\"gb2312\">")));
    QStringList paragraphs;
    static const QRegularExpression paragraph(QStringLiteral("<p>(.*)</p>"));
    for (auto it = paragraph.globalMatch(source); it.hasNext();)
        paragraphs << it.next().captured(1).simplified();
    ASSERT_GT(paragraphs.size(), 20);
    ASSERT_TRUE(paragraphs.contains(QStringLiteral("ls - 列出目录内容")));

    ASSERT_TRUE(pressRunAndWait());
    QStringList shown = pageText().split(u'\n', Qt::SkipEmptyParts);
    for (QString& line : shown) line = line.simplified();
    shown.removeAll(QString());
    EXPECT_EQ(shown, paragraphs);
}

// A saved page and its saved style sheet, both edited since: the run button shows the panes, at
// the page's own address, where its picture still loads; the files stay as saved.
TEST_F(PreviewWindow, ASavedPageShowsItsPanesAsEditedNotItsFiles) {
    QTemporaryDir dir;
    const QString page = dir.filePath("页面 one.html");
    const QString style = dir.filePath("style.css");
    ASSERT_TRUE(
        QFile::copy("/usr/share/icons/hicolor/48x48/apps/display-im6.q16.png", dir.filePath("picture.png")));
    const QString html = QStringLiteral(
        "<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"style.css\"></head>"
        "<body><p id=\"p\">%1</p><img id=\"picture\" src=\"picture.png\"><script src=\"app.js\"></script>"
        "</body></html>");
    w().pane(1)->setPlainText(html.arg("saved"));
    whenModalOpens([&](QWidget* modal) { testing::acceptFileDialog(modal, page); });
    w().menuAction("mnuFileSaveAs")->trigger();
    ASSERT_EQ(w().form().htm, page.toStdString());
    w().pane(2)->setPlainText(QStringLiteral("p { color: rgb(255, 0, 0) }"));
    whenModalOpens([&](QWidget* modal) { testing::acceptFileDialog(modal, style); });
    w().run([this] { w().form().SaveCssAs(); });
    ASSERT_EQ(w().form().css, style.toStdString());
    const QString script = dir.filePath("app.js");
    w().pane(3)->setPlainText(QStringLiteral("// saved"));
    whenModalOpens([&](QWidget* modal) { testing::acceptFileDialog(modal, script); });
    w().run([this] { w().form().SaveJsAs(); });
    ASSERT_EQ(w().form().js, script.toStdString());

    w().pane(1)->setPlainText(html.arg("not yet saved"));
    w().pane(2)->setPlainText(QStringLiteral("p { color: rgb(0, 128, 0) }"));
    w().pane(3)->setPlainText(QStringLiteral("// edited\nnotDefined();"));
    ASSERT_TRUE(pressRunAndWait());
    // The linked script's error names its pane and its line there.
    QListWidget* messages = w().browser()->messages()->list();
    ASSERT_TRUE(waitInEventLoop([&] { return messages->count() == 1; }, 10000)) << messages->count();
    EXPECT_EQ(messages->item(0)->text(),
              QStringLiteral("JS 第 2 行：ReferenceError: notDefined is not defined"));
    EXPECT_EQ(w().browser()->view()->url(), previewAddress(page));
    EXPECT_EQ(evaluate("document.getElementById('p').textContent").toString(), "not yet saved");
    EXPECT_EQ(evaluate("getComputedStyle(document.getElementById('p')).color").toString(), "rgb(0, 128, 0)");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return evaluate("document.getElementById('picture').naturalWidth").toInt() == 48; }, 10000));
    QFile saved(style);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "p { color: rgb(255, 0, 0) }");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);

    QTest::mouseClick(w().label(3), Qt::LeftButton);
    // The contact page takes the preview's place once the page shown has answered.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w().browser()->view()->url().toString().toStdString() == def::kContactChatAddress; },
        5000));
    ASSERT_TRUE(pressRunAndWait());
    EXPECT_EQ(w().browser()->view()->url(), previewAddress(page));
}

// The start-up sample previews as it always has; then the CSS and JS panes of a fresh window join
// the page, a "</script>" in a string of the script included.
TEST_F(PreviewWindow, TheSampleAsBeforeThenAFreshWindowsCssAndJsPanesJoinThePage) {
    ASSERT_TRUE(pressRunAndWait());
    QFile file(previewFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\xEF\xBB\xBF") +
                                  QByteArray(def::sampleText().data(), qsizetype(def::sampleText().size())));
    file.close();

    w().pane(1)->setPlainText(
        QStringLiteral("<!DOCTYPE html><html><head></head><body><p id=\"p\">x</p></body></html>"));
    w().pane(2)->setPlainText(QStringLiteral("#p { color: rgb(0, 0, 255) }"));
    w().pane(3)->setPlainText(QStringLiteral("document.getElementById('p').textContent = 'a </script> b';"));
    ASSERT_TRUE(pressRunAndWait());
    EXPECT_EQ(evaluate("document.getElementById('p').textContent").toString(), "a </script> b");
    EXPECT_EQ(evaluate("getComputedStyle(document.getElementById('p')).color").toString(), "rgb(0, 0, 255)");

    // Turned off in the preview pane's context menu, the panes stay out of the page.
    w().browser()->joinAction()->trigger();
    ASSERT_TRUE(pressRunAndWait());
    EXPECT_EQ(evaluate("document.getElementById('p').textContent").toString(), "x");
}

// An error on line 3 of the JS pane says so in the strip under the page; a click on it brings the
// JS pane forward with the caret on that line. Nothing the page writes is read as markup.
TEST_F(PreviewWindow, APageErrorNamesItsPaneAndLineAndAClickGoesThere) {
    w().pane(1)->setPlainText(QStringLiteral("<p>page</p>\n<script>console.log('<b>not bold</b>')</script>\n"
                                             "<script>function burst(n) {\n"
                                             "  for (let i = 0; i < n; i++) console.log('n ' + i);\n"
                                             "  notThere(); }</script>"));
    // A first line long enough to be held in pieces: the click still finds the third line.
    w().pane(3)->loadPlainText("let a = '" + std::string(3000, 'x') + "';\nlet b = 2;\nfoo();\n");
    ASSERT_TRUE(pressRunAndWait());
    QListWidget* list = w().browser()->messages()->list();
    ASSERT_TRUE(waitInEventLoop([&] { return list->count() == 2; }, 10000)) << list->count();
    EXPECT_TRUE(w().browser()->messages()->isVisible());
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("HTML 第 2 行：<b>not bold</b>"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("JS 第 3 行：ReferenceError: foo is not defined"));

    const QRect place = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
    EXPECT_EQ(w().form().jsSelected, 1);
    EXPECT_GT(w().pane(3)->height(), 0);
    ASSERT_GT(w().pane(3)->document()->blockCount(), 5);
    EXPECT_EQ(w().pane(3)->textCursor().block().text(), QStringLiteral("foo();"));
    EXPECT_EQ(w().pane(3)->textCursor().positionInBlock(), 0);

    // Closed, the strip comes back with the next message.
    QTest::mouseClick(w().browser()->messages()->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(w().browser()->messages()->isVisible());
    evaluate("console.warn('again')");
    ASSERT_TRUE(waitInEventLoop([&] { return w().browser()->messages()->isVisible(); }, 10000));
    EXPECT_EQ(list->item(list->count() - 1)->text(), QStringLiteral("again"));

    // A burst: every message with its line, in order, the error that ends it last.
    evaluate("setTimeout(() => burst(40))");
    const auto row = [&](const QString& text) {
        const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? -1 : list->row(found.last());
    };
    const QString error = QStringLiteral("HTML 第 5 行：ReferenceError: notThere is not defined");
    ASSERT_TRUE(waitInEventLoop([&] { return row(error) >= 0 && row(QStringLiteral("HTML 第 4 行：n 39")) >= 0; },
                                10000));
    EXPECT_EQ(row(error), list->count() - 1);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(row(QStringLiteral("HTML 第 4 行：n %1").arg(i)), row(error) - 40 + i);

    // A flood: the page's share of a second is shown, the rest counted, the strip keeps 500.
    evaluate("for (let i = 0; i < 2000; i++) console.log('flood ' + i)");
    ASSERT_TRUE(waitInEventLoop(
        [&] { return list->item(list->count() - 1)->text().startsWith(QStringLiteral("页面在一秒内写出的消息太多")); },
        10000));
    EXPECT_LE(list->count(), PageMessages::kKept);
    EXPECT_TRUE(list->findItems(QStringLiteral("flood 0"), Qt::MatchExactly).size() == 1);
}

// A page that spins for ever never holds the editor: keys typed meanwhile land, and the next run
// replaces it within two seconds.
TEST_F(PreviewWindow, ASpinningPageIsReplacedByTheNextRun) {
    w().pane(1)->setPlainText(
        QStringLiteral("<p>spinning</p><script>setTimeout(() => { document.title = 'spinning'; while (true) "
                       "{} }, 100)</script>"));
    ASSERT_TRUE(pressRunAndWait());
    QWebEngineView* view = w().browser()->view();
    ASSERT_TRUE(waitInEventLoop([&] { return view->title() == "spinning"; }, 10000)) << view->title().toStdString();

    w().pane(1)->setPlainText(QStringLiteral("<title>next</title><p>next</p>"));
    QElapsedTimer sinceRun;
    sinceRun.start();
    QTest::mouseClick(w().runButton(), Qt::LeftButton);
    w().pane(3)->setFocus();
    QTest::keyClicks(w().pane(3), "typed");
    EXPECT_EQ(w().pane(3)->toPlainText(), "typed");
    EXPECT_TRUE(waitInEventLoop([&] { return view->title() == "next"; }, 2000 - int(sinceRun.elapsed())))
        << view->title().toStdString();
    EXPECT_EQ(pageText().trimmed(), "next");
}

// Live preview follows the panes once typing stops, where the page was scrolled, and leaves the
// keyboard where it was.
TEST_F(PreviewWindow, LivePreviewFollowsThePanesAndKeepsTheScrollPosition) {
    QString page = QStringLiteral("<!DOCTYPE html><html><body>\n");
    for (int i = 0; i < 400; ++i) page += QStringLiteral("<p>paragraph %1</p>\n");
    w().browser()->liveAction()->trigger();
    ASSERT_TRUE(w().browser()->liveAction()->isChecked());
    QWebEngineView* view = w().browser()->view();
    {
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        w().pane(1)->setPlainText(page + QStringLiteral("<p id=\"last\">first</p></body></html>"));
        ASSERT_TRUE(loaded.wait(20000));
    }
    evaluate(QStringLiteral("window.scrollTo(0, 3000)"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return evaluate(QStringLiteral("window.scrollY")).toInt() == 3000; }, 10000));

    w().pane(1)->setFocus();
    QTextCursor end = w().pane(1)->textCursor();
    end.movePosition(QTextCursor::End);
    w().pane(1)->setTextCursor(end);
    QTest::keyClicks(w().pane(1), "<p id=\"added\">second</p>");
    const int caret = w().pane(1)->textCursor().position();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return evaluate("document.getElementById('added') ? 'yes' : 'no'").toString() == "yes"; },
        10000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return evaluate(QStringLiteral("window.scrollY")).toInt() == 3000; }, 10000))
        << evaluate(QStringLiteral("window.scrollY")).toInt();
    EXPECT_EQ(w().pane(1)->textCursor().position(), caret);
    EXPECT_EQ(w().focusWidget(), w().pane(1));
}

// A person checking a change near the bottom of a long page presses the run button again and
// finds the page where it was.
TEST_F(PreviewWindow, TheRunButtonShowsTheSameFileAgainWhereItWasScrolled) {
    QString page = QStringLiteral("<!DOCTYPE html><html><body>\n");
    for (int i = 0; i < 400; ++i) page += QStringLiteral("<p>paragraph %1</p>\n").arg(i);
    w().pane(1)->setPlainText(page + QStringLiteral("<p id=\"last\">first version</p></body></html>"));
    ASSERT_TRUE(pressRunAndWait());
    evaluate(QStringLiteral("window.scrollTo(0, 3000)"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return evaluate(QStringLiteral("window.scrollY")).toInt() == 3000; }, 10000));

    w().pane(1)->setPlainText(page + QStringLiteral("<p id=\"last\">second version</p></body></html>"));
    ASSERT_TRUE(pressRunAndWait());
    EXPECT_EQ(evaluate(QStringLiteral("document.getElementById('last').textContent")).toString(),
              "second version");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return evaluate(QStringLiteral("window.scrollY")).toInt() == 3000; }, 10000))
        << evaluate(QStringLiteral("window.scrollY")).toInt();
}

TEST_F(PreviewWindow, AnUnwritablePreviewFileIsReportedAndThePageStays) {
    w().pane(1)->setPlainText(QStringLiteral("<p>first</p>"));
    ASSERT_TRUE(pressRunAndWait());
    // A file where the private folder should be: the preview cannot be written.
    QDir(cache.filePath("corvane")).removeRecursively();
    QFile blocker(cache.filePath("corvane"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w().pane(1)->setPlainText(QStringLiteral("<p>second</p>"));
    QTest::mouseClick(w().runButton(), Qt::LeftButton);
    ASSERT_EQ(shown->failures.size(), 1);
    EXPECT_TRUE(shown->failures[0].contains("corvane"));
    EXPECT_EQ(w().browser()->view()->url(), previewAddress(previewFile()));
    EXPECT_EQ(pageText().trimmed(), "first");
}

}  // namespace
}  // namespace corvane::qt
