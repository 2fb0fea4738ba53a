#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/captions.h"
#include "fakes/child_process.h"
#include "fakes/fake_platform.h"
#include "fakes/temp_dir.h"
#include "panes/file_io.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using fakes::DialogReply;
using fakes::FakeWindow;
using fakes::readFile;
using fakes::TempDir;
using fakes::temporariesIn;
using fakes::writeFile;

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(AtomicWrite, ThroughALinkWhoseFileDoesNotExistYetCreatesThatFile) {
    TempDir dir;
    fs::create_symlink("page.html", dir.path() / "link.html");
    writeFileAtomic(dir.file("link.html"), "<p>new</p>\n");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.html")) << "the link was replaced by a file";
    EXPECT_EQ(readFile(dir.file("page.html")), "<p>new</p>\n");
    EXPECT_EQ(entriesIn(dir.path()), 2u);
}

TEST(AtomicWrite, ThroughAChainOfRelativeLinksReplacesTheLastFile) {
    TempDir dir;
    fs::create_directory(dir.path() / "site");
    writeFile(dir.file("site/page.html"), "old");
    fs::create_symlink("site/page.html", dir.path() / "second.html");
    fs::create_symlink("second.html", dir.path() / "first.html");

    writeFileAtomic(dir.file("first.html"), "new");

    EXPECT_EQ(readFile(dir.file("site/page.html")), "new");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "first.html"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "second.html"));
    EXPECT_EQ(entriesIn(dir.path() / "site"), 1u);
    EXPECT_EQ(entriesIn(dir.path()), 3u);
}

// A name may have up to 255 bytes; the temporary beside it must not push past that.
TEST(AtomicWrite, SavesOverFilesWhoseNamesAreAtTheLengthLimit) {
    TempDir dir;
    std::string wide;
    while (wide.size() < 240) wide += "页";  // three bytes each, so a cut can fall inside one
    const std::string names[] = {std::string(250, 'n') + ".html", std::string(255, 'n'), wide + "a.html",
                                 wide + "ab.html"};
    for (const std::string& name : names) {
        ASSERT_LE(name.size(), 255u);
        const std::string path = dir.file(name);
        writeFile(path, "old");
        ASSERT_EQ(readFile(path), "old") << "this file system does not take " << name.size() << "-byte names";
        writeFileAtomic(path, "new");
        EXPECT_EQ(readFile(path), "new") << name.size() << "-byte name";
    }
    EXPECT_TRUE(temporariesIn(dir.path()).empty());
    EXPECT_EQ(entriesIn(dir.path()), std::size(names));
}

TEST(AtomicWrite, APaneSavesToAFileWithTheLongestNameAllowed) {
    TempDir dir;
    FakeWindow w;
    const std::string path = dir.file(std::string(250, 'p') + ".html");
    w.html.setText("<p>long name</p>\n");
    w.dialog.replies.push_back(DialogReply{true, path, std::nullopt});
    w.frm.mnuFileSaveAs_Click();
    EXPECT_EQ(readFile(path), "<p>long name</p>\n");
    EXPECT_EQ(w.frm.htm, path);
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
    EXPECT_EQ(w.label1.text, text::kHtmlCaption);
}

// A save made while its bytes are produced: the pieces land in order, and a producer that fails
// half-way leaves the old file whole and no temporary behind.
TEST(AtomicWrite, BytesMadeWhileWritingLandWholeOrNotAtAll) {
    TempDir dir;
    const std::string path = dir.file("page.html");
    writeFile(path, "old page");

    // Several megabytes, so that the disk is set going on the first stretches before the end.
    std::string expected = "<p>";
    writeFileAtomicFrom(path, [&expected](const ByteSink& sink) {
        sink("<p>");
        sink("");
        for (char fill = 'a'; fill < 'a' + 5; ++fill) {
            const std::string piece(3 * 1024 * 1024 + 7, fill);
            sink(piece);
            expected += piece;
        }
        sink("</p>\n");
    });
    expected += "</p>\n";
    EXPECT_EQ(readFile(path), expected);

    writeFile(path, "old page");
    EXPECT_THROW(writeFileAtomicFrom(path,
                                     [](const ByteSink& sink) {
                                         sink(std::string(100000, 'y'));
                                         throw PlatformError("保存文件", "转换失败");
                                     }),
                 PlatformError);
    EXPECT_EQ(readFile(path), "old page");
    EXPECT_TRUE(temporariesIn(dir.path()).empty());
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace corvane
