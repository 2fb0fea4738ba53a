#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/window_definition.h"
#include "fakes/fake_platform.h"
#include "fakes/temp_dir.h"
#include "preview/page_join.h"
#include "preview/preview_file.h"

namespace corvane {
namespace {

using fakes::DialogReply;
using fakes::FakeWindow;
using fakes::readFile;
using fakes::TempDir;

// Points the cache folder at a fresh temporary folder for one test.
class Preview : public testing::Test {
protected:
    TempDir cache;
    FakeWindow w;
    std::string saved;

    void SetUp() override {
        if (const char* old = std::getenv("XDG_CACHE_HOME")) saved = old;
        ::setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved.empty()) {
            ::unsetenv("XDG_CACHE_HOME");
        } else {
            ::setenv("XDG_CACHE_HOME", saved.c_str(), 1);
        }
    }
    std::string previewFile() const { return cache.file("corvane/test.html"); }
};

// The preview is UTF-8 with a byte-order mark, which a browser obeys over any declared charset.
const std::string kMark = "\xEF\xBB\xBF";

TEST_F(Preview, WritesThePaneToAPrivatePreviewFileAndShowsIt) {
    w.frm.Command1_Click();
    EXPECT_EQ(readFile(previewFile()), kMark + std::string(def::sampleText()));
    ASSERT_EQ(w.browser.navigations.size(), 1u);
    EXPECT_EQ(w.browser.navigations[0], previewFile());
    struct stat info {};
    ASSERT_EQ(::stat(cache.file("corvane").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
}

TEST_F(Preview, MakesAnOpenCacheFolderPrivate) {
    std::filesystem::create_directory(cache.file("corvane"));
    ::chmod(cache.file("corvane").c_str(), 0777);
    w.frm.Command1_Click();
    struct stat info {};
    ASSERT_EQ(::stat(cache.file("corvane").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(Preview, EveryPressWritesAndNavigatesAnew) {
    w.frm.Command1_Click();
    w.html.setText("");
    w.frm.Command1_Click();
    EXPECT_EQ(readFile(previewFile()), kMark);
    EXPECT_EQ(w.browser.navigations.size(), 2u);
}

// The pane's text, not the file as last saved, is shown at the file's address; the panes with
// files of their own stand in for those files, and nothing is written beside the page.
TEST_F(Preview, AfterSaveAsShowsThePanesTextAtTheFilesAddressWithTheLinkedPanes) {
    TempDir dir;
    w.dialog.replies.push_back(DialogReply{true, dir.file("page.html"), std::nullopt});
    w.frm.mnuFileSaveAs_Click();
    w.cssPane.setText("p { color: red }");
    w.dialog.replies.push_back(DialogReply{true, dir.file("style.css"), std::nullopt});
    w.frm.SaveCssAs();
    w.html.setText("newer text");
    w.cssPane.setText("p { color: green }");
    w.jsPane.setText("let joined = true;");
    w.frm.Command1_Click();
    ASSERT_EQ(w.browser.pages.size(), 1u);
    const PreviewPage& page = w.browser.pages[0];
    EXPECT_EQ(page.address, dir.file("page.html"));
    EXPECT_EQ(page.text, "newer text<script>\nlet joined = true;\n</script>");
    ASSERT_EQ(page.linked.size(), 1u);
    EXPECT_EQ(page.linked[0].path, dir.file("style.css"));
    EXPECT_EQ(page.linked[0].text, "p { color: green }");
    EXPECT_EQ(readFile(previewFile()), kMark + page.text);
    EXPECT_EQ(readFile(dir.file("page.html")), def::sampleText());
    EXPECT_EQ(readFile(dir.file("style.css")), "p { color: red }");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    // Without joining, the JS pane without a file stays out of the page.
    w.frm.previewJoinsPanes = false;
    w.frm.Command1_Click();
    EXPECT_EQ(w.browser.pages.back().text, "newer text");
}

TEST_F(Preview, AfterOpenAloneShowsThePaneInTheOpenedFilesFolder) {
    TempDir dir;
    // A page in GB2312 that says so: the preview holds the pane's characters in UTF-8.
    fakes::writeFile(dir.file("b.html"), "<meta charset=\"gb2312\"><b>\xD6\xD0\xCE\xC4</b>\r\n");
    w.dialog.replies.push_back(DialogReply{true, dir.file("b.html"), std::nullopt});
    w.frm.mnuFileOpen_Click();
    w.frm.Command1_Click();
    EXPECT_EQ(w.browser.navigations.back(), dir.file("b.html"));
    EXPECT_EQ(readFile(previewFile()), kMark + "<meta charset=\"gb2312\"><b>中文</b>\n");
}

TEST_F(Preview, OpenInBrowserOpensTheJoinedPagesCopyInThePrivateFolder) {
    w.cssPane.setText("body { color: navy }");
    w.frm.OpenPreviewInBrowser();
    ASSERT_EQ(w.launcher.opened.size(), 1u);
    EXPECT_EQ(w.launcher.opened[0], "file://" + previewFile());
    EXPECT_NE(readFile(previewFile()).find("<style>\nbody { color: navy }\n</style>"), std::string::npos);
}

// Where the panes go in, and which pane and line each line of the page came from.
TEST(JoinPanes, CssEndsTheHeadJsEndsTheBodyAndEveryLineIsTraced) {
    struct Case {
        const char* html;
        const char* css;
        const char* js;
        const char* page;
    } cases[] = {
        {"<html><head>\n</head><body>\n<p>x</p>\n</body></html>", "a{}", "f();\ng();",
         "<html><head>\n<style>\na{}\n</style></head><body>\n<p>x</p>\n<script>\nf();\ng();\n</script></"
         "body></html>"},
        // No head: the style opens the body; no body: the script ends the page.
        {"<!DOCTYPE html><p>x</p>", "a{}", "f();",
         "<!DOCTYPE html><style>\na{}\n</style><p>x</p><script>\nf();\n</script>"},
        {"<body class=a><p>x</p>", "a{}", "", "<body class=a><style>\na{}\n</style><p>x</p>"},
        // Tags inside comments and scripts are not the page's own.
        {"<!-- </head> --><script>'</body>'</script></body>", "", "f();",
         "<!-- </head> --><script>'</body>'</script><script>\nf();\n</script></body>"},
        // Nothing in a pane ends its element early.
        {"", "a::after{content:'</style>'}", "s='</SCRIPT><!--<script>'",
         "<style>\na::after{content:'<\\/style>'}\n</style><script>\ns='\\x3C/SCRIPT>\\x3C!--<script>'\n</"
         "script>"},
        // Blank panes add nothing.
        {"<p>x</p>", " \n", "\t", "<p>x</p>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(joinPanes(c.html, c.css, c.js).text, c.page) << c.html;
    }

    const JoinedPage page = joinPanes(cases[0].html, cases[0].css, cases[0].js);
    const std::string_view text = page.text;
    // Each line of the page, as the pane and line it should trace back to.
    const std::pair<PaneId, int> expected[] = {{PaneId::Html, 1}, {PaneId::Html, 2}, {PaneId::Css, 1},
                                               {PaneId::Html, 2}, {PaneId::Html, 3}, {PaneId::Html, 4},
                                               {PaneId::Js, 1},   {PaneId::Js, 2},   {PaneId::Html, 4}};
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n') + 1, 9);
    for (int line = 1; line <= 9; ++line) {
        const auto found = paneLineOf(page.lines, line);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->pane, expected[line - 1].first) << line;
        EXPECT_EQ(found->line, expected[line - 1].second) << line;
    }
    EXPECT_EQ(paneMessage(PaneId::Js, 3, "ReferenceError: foo is not defined"),
              "JS 第 3 行：ReferenceError: foo is not defined");
}

TEST_F(Preview, AFolderThatCannotBeMadeIsReportedAndNothingIsShown) {
    fakes::writeFile(cache.file("corvane"), "a file where the folder should be");
    EXPECT_THROW(w.frm.Command1_Click(), PlatformError);
    EXPECT_TRUE(w.browser.navigations.empty());
}

TEST_F(Preview, FallsBackToHomeCacheWhenXdgIsUnsetOrRelative) {
    ::setenv("XDG_CACHE_HOME", "relative/path", 1);
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    TempDir fakeHome;
    const std::string oldHome = home;
    ::setenv("HOME", fakeHome.path().c_str(), 1);
    EXPECT_EQ(previewFilePath(), fakeHome.file(".cache/corvane/test.html"));
    ::setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
}  // namespace corvane
