#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/window_definition.h"
#include "fakes/fake_platform.h"
#include "fakes/temp_dir.h"
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

TEST_F(Preview, AfterSaveAsShowsTheSavedFileWhileStillWritingThePreviewFile) {
    TempDir dir;
    w.dialog.replies.push_back(DialogReply{true, dir.file("page.html"), std::nullopt});
    w.frm.mnuFileSaveAs_Click();
    w.html.setText("newer text");
    w.frm.Command1_Click();
    EXPECT_EQ(w.browser.navigations.back(), dir.file("page.html"));
    EXPECT_EQ(readFile(previewFile()), kMark + "newer text");
    EXPECT_EQ(readFile(dir.file("page.html")), def::sampleText());
}

TEST_F(Preview, AfterOpenAlonePreviewsThroughThePreviewFile) {
    TempDir dir;
    // A page in GB2312 that says so: the preview holds the pane's characters in UTF-8.
    fakes::writeFile(dir.file("b.html"), "<meta charset=\"gb2312\"><b>\xD6\xD0\xCE\xC4</b>\r\n");
    w.dialog.replies.push_back(DialogReply{true, dir.file("b.html"), std::nullopt});
    w.frm.mnuFileOpen_Click();
    w.frm.Command1_Click();
    EXPECT_EQ(w.browser.navigations.back(), previewFile());
    EXPECT_EQ(readFile(previewFile()), kMark + "<meta charset=\"gb2312\"><b>中文</b>\n");
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
