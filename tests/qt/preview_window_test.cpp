#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/window_definition.h"
#include "qt/preview_file_access.h"
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

TEST_F(PreviewFileAccess, APageCannotReadOtherLocalFiles) {
    const QJsonObject r = preview(QStringLiteral(
        "const other = 'file:///etc/os-release';\n"
        "const xhr = url => new Promise(done => {\n"
        "  try { const x = new XMLHttpRequest(); x.open('GET', url);\n"
        "    x.onload = () => done('read ' + x.responseText.length); x.onerror = () => done('refused');\n"
        "    x.send(); } catch (e) { done('refused'); } });\n"
        "const get = url => fetch(url).then(r => r.text()).then(t => 'read ' + t.length, () => 'refused');\n"
        "const frame = url => new Promise(done => { const f = document.createElement('iframe');\n"
        "  f.onload = () => { try { done('read ' + f.contentDocument.body.innerText.length); }\n"
        "    catch (e) { done('refused'); } }; f.src = url; document.body.appendChild(f); });\n"
        "const pixels = url => new Promise(done => { const i = new Image();\n"
        "  i.onload = () => { const c = document.createElement('canvas'); c.width = c.height = 8;\n"
        "    const g = c.getContext('2d'); g.drawImage(i, 0, 0);\n"
        "    try { g.getImageData(0, 0, 1, 1); done('read'); } catch (e) { done('refused'); } };\n"
        "  i.onerror = () => done('not shown'); i.src = url; });\n"
        "Promise.all([xhr(other), get(other), xhr('assets/lintian.css'), frame(other),\n"
        "  pixels('file:///usr/share/icons/hicolor/16x16/apps/display-im6.q16.png'),\n"
        "  pixels('.hidden/picture.png'), pixels('assets/picture.png')])\n"
        "  .then(([x, f, own, fr, p, h, mine]) => report({xhr: x, fetch: f, ownFileByXhr: own, frame: fr,\n"
        "    pictureElsewhere: p, hiddenPicture: h, ownPicture: mine}));"));
    ASSERT_EQ(r.size(), 7);
    for (const char* attempt :
         {"xhr", "fetch", "ownFileByXhr", "frame", "pictureElsewhere", "hiddenPicture"}) {
        EXPECT_FALSE(r[attempt].toString().startsWith("read"))
            << attempt << ": " << r[attempt].toString().toStdString();
    }
    EXPECT_EQ(r["ownPicture"].toString(), "read");
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
    EXPECT_EQ(w().browser()->view()->url(), QUrl::fromLocalFile(previewFile()));
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

TEST_F(PreviewWindow, AfterSaveAsShowsTheSavedFileAndTheContactLinkGivesWayToThePreview) {
    QTemporaryDir dir;
    const QString saved = dir.filePath("页面 one.html");
    w().pane(1)->setPlainText(QStringLiteral("<p>saved</p>"));
    whenModalOpens([&](QWidget* modal) { testing::acceptFileDialog(modal, saved); });
    w().menuAction("mnuFileSaveAs")->trigger();
    ASSERT_EQ(w().form().htm, saved.toStdString());
    w().pane(1)->setPlainText(QStringLiteral("<p>not yet saved</p>"));
    ASSERT_TRUE(pressRunAndWait());
    EXPECT_EQ(w().browser()->view()->url(), QUrl::fromLocalFile(saved));
    EXPECT_EQ(pageText().trimmed(), "saved");

    QTest::mouseClick(w().label(3), Qt::LeftButton);
    EXPECT_EQ(w().browser()->view()->url().toString().toStdString(), def::kContactChatAddress);
    ASSERT_TRUE(pressRunAndWait());
    EXPECT_EQ(w().browser()->view()->url(), QUrl::fromLocalFile(saved));
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
    EXPECT_EQ(w().browser()->view()->url(), QUrl::fromLocalFile(previewFile()));
    EXPECT_EQ(pageText().trimmed(), "first");
}

}  // namespace
}  // namespace corvane::qt
