// Saves and previews that cannot be written must say so and lose nothing: the file that was there
// stays byte for byte, and the pane keeps its text, its unsaved flag and its unsaved caption.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/captions.h"
#include "fakes/child_process.h"
#include "fakes/fake_platform.h"
#include "fakes/file_size_limit.h"
#include "fakes/temp_dir.h"
#include "panes/file_io.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using fakes::DialogReply;
using fakes::exitedWith;
using fakes::FakeWindow;
using fakes::FileSizeLimit;
using fakes::readFile;
using fakes::runInChild;
using fakes::TempDir;
using fakes::temporariesIn;
using fakes::writeFile;

constexpr int kSkipped = 77;

std::string pattern(const std::string& unit, std::size_t bytes) {
    std::string text;
    text.reserve(bytes + unit.size());
    while (text.size() < bytes) text += unit;
    text.resize(bytes);
    return text;
}

const std::string kOld = pattern("<p>the saved page</p>\n", 8 * 1024);

int childResult() { return testing::Test::HasFailure() ? 1 : 0; }

// Runs `checks` as a user that permission bits stop: this process when it is not root, otherwise a
// copy of it that becomes nobody. Returns false when no such user can be had here.
bool runUnprivileged(const std::function<void()>& checks) {
    if (::geteuid() != 0) {
        checks();
        return true;
    }
    const int status = runInChild([&] {
        if (!fakes::becomeNobody()) return kSkipped;
        checks();
        return childResult();
    });
    if (exitedWith(status, kSkipped)) return false;
    EXPECT_TRUE(exitedWith(status, 0)) << "the unprivileged checks went wrong; wait status " << status;
    return true;
}

// The handler must fail, and say which file and why.
void expectReported(const std::function<void()>& handler, const std::string& file) {
    try {
        handler();
        ADD_FAILURE() << "the failure on " << file << " was not reported";
    } catch (const PlatformError& e) {
        EXPECT_NE(e.operation().find(file), std::string::npos) << e.what();
        EXPECT_FALSE(e.reason().empty()) << e.what();
    }
}

// The HTML pane still holds its edits, marked unsaved, and its file is still the one it was.
void expectHtmlPaneKept(const FakeWindow& w, const std::string& text, const std::string& path) {
    EXPECT_EQ(w.html.text.size(), text.size());
    EXPECT_TRUE(w.html.text == text) << "the pane's text changed";
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
    EXPECT_EQ(w.frm.htm, path);
    EXPECT_EQ(w.frm.change, kTrue);
}

// Gives the HTML pane the old content and makes path its file, as a completed Save As does.
void fileHtmlPane(FakeWindow& w, const std::string& path) {
    w.html.setText(kOld);
    w.dialog.replies.push_back(DialogReply{true, path, std::nullopt});
    w.frm.mnuFileSaveAs_Click();
    ASSERT_EQ(w.frm.htm, path);
    ASSERT_EQ(readFile(path), kOld);
}

constexpr rlim_t kRoomBytes = 64 * 1024;
const std::string kTooBig = pattern("<p>a page too large for the disk</p>\n", 1024 * 1024);

class FailingWrite : public testing::Test {
protected:
    TempDir dir;
};

// ---- a folder that refuses the write ----

TEST_F(FailingWrite, SaveIntoAFolderTheUserMayNotWriteReportsItAndLosesNothing) {
    const fs::path locked = dir.path() / "locked";
    fs::create_directory(locked);
    const std::string page = (locked / "page.html").string();
    const std::string other = (locked / "other.html").string();
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        // The folder becomes nobody's, and the copy of the process that saves runs as nobody.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(::chown(locked.c_str(), fakes::kNobody, fakes::kNobody), 0);
    }
    auto session = [&] {
        FakeWindow w;
        fileHtmlPane(w, page);
        if (testing::Test::HasFatalFailure()) return;
        ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
        w.html.type("<h1>new work</h1>\n");
        const std::string edited = w.html.text;

        expectReported([&] { w.frm.mnuFileSave_Click(); }, page);
        expectHtmlPaneKept(w, edited, page);
        expectReported(
            [&] {
                w.frm.Label1_Click();
                w.frm.Label1_DblClick();
            },
            page);
        expectHtmlPaneKept(w, edited, page);
        w.dialog.replies.push_back(DialogReply{true, other, std::nullopt});
        expectReported([&] { w.frm.mnuFileSaveAs_Click(); }, other);
        expectHtmlPaneKept(w, edited, page);
        EXPECT_EQ(w.form.title, page);

        EXPECT_EQ(readFile(page), kOld);
        EXPECT_FALSE(fs::exists(other));
        EXPECT_TRUE(temporariesIn(locked).empty());
        ::chmod(locked.c_str(), 0755);
    };
    if (!runUnprivileged(session)) GTEST_SKIP() << "cannot run a process as nobody here";
    EXPECT_EQ(readFile(page), kOld);
    EXPECT_TRUE(temporariesIn(locked).empty());
}

// A file the user made read-only is not replaced through its writable folder.
TEST_F(FailingWrite, AReadOnlyFileIsNotReplaced) {
    const fs::path folder = dir.path() / "open";
    fs::create_directory(folder);
    const std::string page = (folder / "page.html").string();
    writeFile(page, kOld);
    ASSERT_EQ(::chmod(page.c_str(), 0444), 0);
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(::chown(folder.c_str(), fakes::kNobody, fakes::kNobody), 0);
        ASSERT_EQ(::chown(page.c_str(), fakes::kNobody, fakes::kNobody), 0);
    }
    auto attempt = [&] {
        expectReported([&] { writeFileAtomic(page, "replacement"); }, page);
        EXPECT_EQ(readFile(page), kOld);
        EXPECT_TRUE(temporariesIn(folder).empty());
    };
    if (!runUnprivileged(attempt)) GTEST_SKIP() << "cannot run a process as nobody here";
    EXPECT_EQ(readFile(page), kOld);
}

// Permission bits stop no one as root; a folder that is in truth a file stops everyone.
TEST_F(FailingWrite, SaveAsIntoAFolderThatIsAFileReportsItAndLosesNothing) {
    FakeWindow w;
    const std::string page = dir.file("page.html");
    fileHtmlPane(w, page);
    w.html.type("<h1>new work</h1>\n");
    const std::string edited = w.html.text;
    const std::string inside = page + "/inner.html";

    w.dialog.replies.push_back(DialogReply{true, inside, std::nullopt});
    expectReported([&] { w.frm.mnuFileSaveAs_Click(); }, inside);

    expectHtmlPaneKept(w, edited, page);
    EXPECT_EQ(w.form.title, page);
    EXPECT_EQ(readFile(page), kOld);
    EXPECT_TRUE(temporariesIn(dir.path()).empty());
}

TEST_F(FailingWrite, SaveAsIntoProcReportsItEvenForRootAndLosesNothing) {
    if (!fs::is_directory("/proc/self")) GTEST_SKIP() << "no /proc here";
    FakeWindow w;
    const std::string page = dir.file("page.html");
    fileHtmlPane(w, page);
    w.html.type("<h1>new work</h1>\n");
    const std::string edited = w.html.text;
    const std::string version = readFile("/proc/version");

    for (const std::string target : {"/proc/version", "/proc/corvane-page.html"}) {
        w.dialog.replies.push_back(DialogReply{true, target, std::nullopt});
        expectReported([&] { w.frm.mnuFileSaveAs_Click(); }, target);
        expectHtmlPaneKept(w, edited, page);
    }
    EXPECT_EQ(readFile("/proc/version"), version);
    EXPECT_FALSE(fs::exists("/proc/corvane-page.html"));
    EXPECT_EQ(readFile(page), kOld);
}

// ---- a disk that runs out of space part-way ----

TEST_F(FailingWrite, AtomicWriteThatRunsOutOfSpaceLeavesTheOldFileWhole) {
    const std::string page = dir.file("page.html");
    writeFile(page, kOld);
    const int status = runInChild([&] {
        try {
            FileSizeLimit room(kRoomBytes);
            writeFileAtomic(page, kTooBig);
            return 2;
        } catch (const PlatformError& e) {
            const bool named = e.operation().find(page) != std::string::npos;
            return named && e.reason() == std::strerror(EFBIG) ? 0 : 3;
        }
    });
    EXPECT_TRUE(exitedWith(status, 0)) << "0: reported; 2: no failure; 3: failure without the file or "
                                       << "the system's reason; wait status " << status;
    EXPECT_EQ(readFile(page), kOld);
    EXPECT_TRUE(temporariesIn(dir.path()).empty());
}

TEST_F(FailingWrite, SaveThatRunsOutOfSpaceKeepsTheOldFileAndThePanesEdits) {
    const std::string page = dir.file("page.html");
    const int status = runInChild([&] {
        FakeWindow w;
        fileHtmlPane(w, page);
        w.html.setText(kTooBig);
        {
            FileSizeLimit room(kRoomBytes);
            expectReported([&] { w.frm.mnuFileSave_Click(); }, page);
        }
        expectHtmlPaneKept(w, kTooBig, page);
        return childResult();
    });
    EXPECT_TRUE(exitedWith(status, 0)) << "wait status " << status;
    EXPECT_EQ(readFile(page), kOld);
    EXPECT_TRUE(temporariesIn(dir.path()).empty());
}

// ---- a preview that cannot be written ----

class FailingPreview : public FailingWrite {
protected:
    std::string savedCache;
    bool hadCache = false;
    FakeWindow w;
    std::string page;
    std::string edited;

    void SetUp() override {
        if (const char* old = std::getenv("XDG_CACHE_HOME")) {
            hadCache = true;
            savedCache = old;
        }
        page = dir.file("page.html");
        fileHtmlPane(w, page);
        w.html.type("<h1>new work</h1>\n");
        edited = w.html.text;
    }
    void TearDown() override {
        if (hadCache) {
            ::setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
    }
    void useCache(const std::string& folder) { ::setenv("XDG_CACHE_HOME", folder.c_str(), 1); }

    void expectNothingLost() {
        expectHtmlPaneKept(w, edited, page);
        EXPECT_EQ(readFile(page), kOld);
        EXPECT_TRUE(w.browser.navigations.empty());
    }
};

TEST_F(FailingPreview, CacheFolderThatCannotBeMadeIsReportedAndLosesNothing) {
    const std::string notAFolder = dir.file("cache");
    writeFile(notAFolder, "a file where the cache folder should be");
    useCache(notAFolder);
    expectReported([&] { w.frm.Command1_Click(); }, notAFolder);
    expectNothingLost();
    EXPECT_EQ(readFile(notAFolder), "a file where the cache folder should be");
}

TEST_F(FailingPreview, PreviewFileThatIsAFolderIsReportedAndLosesNothing) {
    useCache(dir.file("cache"));
    const std::string previewFile = dir.file("cache/corvane/test.html");
    fs::create_directories(previewFile);
    expectReported([&] { w.frm.Command1_Click(); }, previewFile);
    expectNothingLost();
    EXPECT_TRUE(fs::is_directory(previewFile));
}

TEST_F(FailingPreview, PreviewThatRunsOutOfSpaceKeepsTheLastPreviewWhole) {
    useCache(dir.file("cache"));
    const std::string previewFile = dir.file("cache/corvane/test.html");
    w.frm.Command1_Click();
    // The preview is UTF-8 with its byte-order mark.
    const std::string preview = "\xEF\xBB\xBF" + edited;
    ASSERT_EQ(readFile(previewFile), preview);
    const int status = runInChild([&] {
        w.html.setText(kTooBig);
        {
            FileSizeLimit room(kRoomBytes);
            expectReported([&] { w.frm.Command1_Click(); }, previewFile);
        }
        expectHtmlPaneKept(w, kTooBig, page);
        EXPECT_EQ(w.browser.navigations.size(), 1u);
        return childResult();
    });
    EXPECT_TRUE(exitedWith(status, 0)) << "wait status " << status;
    EXPECT_EQ(readFile(previewFile), preview);
    EXPECT_EQ(readFile(page), kOld);
    EXPECT_TRUE(temporariesIn(dir.file("cache/corvane")).empty());
}

}  // namespace
}  // namespace corvane
