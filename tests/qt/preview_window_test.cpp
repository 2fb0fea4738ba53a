#include <gtest/gtest.h>

#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/window_definition.h"
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

TEST_F(PreviewWindow, ShowsThePaneAsAPageWithChineseTextAndNoCharsetDeclared) {
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
