#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/captions.h"
#include "app/window_definition.h"
#include "fakes/fake_platform.h"
#include "fakes/temp_dir.h"
#include "panes/text_decoder.h"
#include "panes/utf.h"

namespace corvane {
namespace {

using fakes::DialogReply;
using fakes::FakeWindow;
using fakes::readFile;
using fakes::TempDir;
using fakes::writeFile;

DialogReply choose(const std::string& path) { return DialogReply{true, path, std::nullopt}; }
DialogReply cancel() { return DialogReply{false, "", std::nullopt}; }

class FileCommands : public testing::Test {
protected:
    FakeWindow w;
    TempDir dir;

    void saveHtmlAs(const std::string& path) {
        w.dialog.replies.push_back(choose(path));
        w.frm.mnuFileSaveAs_Click();
    }
};

TEST_F(FileCommands, NewEmptiesTheHtmlPaneAndMarksItWithoutAsking) {
    saveHtmlAs(dir.file("a.html"));
    w.cssPane.type("p{}");
    w.frm.mnuFileNew_Click();
    EXPECT_EQ(w.html.text, "");
    EXPECT_EQ(w.form.title, "Corvane");
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
    EXPECT_EQ(w.frm.htm, dir.file("a.html"));
    EXPECT_EQ(w.frm.change, kTrue);
    EXPECT_EQ(w.cssPane.text, "p{}");
    EXPECT_TRUE(w.prompt.asked.empty());
    EXPECT_TRUE(w.dialog.shown.size() == 1);
}

TEST_F(FileCommands, OpenShowsTheFileWithoutMakingItThePanesFile) {
    writeFile(dir.file("b.html"), "<h1>b</h1>\r\n");
    w.dialog.replies.push_back(choose(dir.file("b.html")));
    w.frm.mnuFileOpen_Click();
    ASSERT_EQ(w.dialog.shown.size(), 1u);
    EXPECT_EQ(w.dialog.shown[0].first, "open");
    EXPECT_EQ(w.dialog.shown[0].second.DialogTitle, "打开");
    EXPECT_EQ(w.dialog.shown[0].second.Filter, text::kOpenFilter);
    EXPECT_EQ(w.html.text, "<h1>b</h1>\n");
    EXPECT_EQ(w.form.title, dir.file("b.html"));
    EXPECT_EQ(w.frm.htm, "");
    EXPECT_EQ(w.frm.change, kFalse);
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
}

TEST_F(FileCommands, AFileGivenAtStartIsShownLikeOpenWithoutADialog) {
    writeFile(dir.file("c.css"), "p { color: red; }\n");
    w.frm.OpenFile(dir.file("c.css"));
    EXPECT_TRUE(w.dialog.shown.empty());
    EXPECT_EQ(w.html.text, "p { color: red; }\n");
    EXPECT_EQ(w.cssPane.text, "") << "every file goes to the HTML pane, as Open puts it";
    EXPECT_EQ(w.form.title, dir.file("c.css"));
    EXPECT_EQ(w.frm.htm, "");
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
}

TEST_F(FileCommands, CancelledOpenChangesNothing) {
    w.dialog.replies.push_back(cancel());
    w.frm.mnuFileOpen_Click();
    EXPECT_EQ(w.form.title, "Corvane 2.5");
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
}

TEST_F(FileCommands, FailedOpenFailsLoudlyAndLeavesPaneAndCaption) {
    const std::string before = w.html.text;
    w.dialog.replies.push_back(choose(dir.file("missing.html")));
    EXPECT_THROW(w.frm.mnuFileOpen_Click(), PlatformError);
    EXPECT_EQ(w.html.text, before);
    EXPECT_EQ(w.form.title, "Corvane 2.5");
    EXPECT_EQ(w.frm.htmlDirty, kFalse);

    w.dialog.replies.push_back(choose(dir.path().string()));
    try {
        w.frm.mnuFileOpen_Click();
        FAIL() << "a folder was opened";
    } catch (const PlatformError& e) {
        EXPECT_NE(e.operation().find(dir.path().string()), std::string::npos);
        EXPECT_FALSE(e.reason().empty());
    }
}

TEST_F(FileCommands, SaveAsWritesPlainUtf8AndFilesThePane) {
    w.html.setText("<p>你好</p>\n");
    saveHtmlAs(dir.file("a.html"));
    EXPECT_EQ(w.dialog.shown.back().second.DialogTitle, "另存为");
    EXPECT_EQ(w.dialog.shown.back().second.Filter, "html超文本文件(*.html)|*.html");
    EXPECT_EQ(readFile(dir.file("a.html")), "<p>你好</p>\n");
    EXPECT_EQ(w.frm.htm, dir.file("a.html"));
    EXPECT_EQ(w.form.title, dir.file("a.html"));
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
    EXPECT_EQ(w.frm.change, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlCaption);
}

TEST_F(FileCommands, CancelledSaveAsFromTheMenuChangesNothing) {
    w.html.type("x");
    w.dialog.replies.push_back(cancel());
    w.frm.mnuFileSaveAs_Click();
    EXPECT_EQ(w.frm.htm, "");
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
}

TEST_F(FileCommands, FailedSaveAsKeepsPathFlagsAndCaptions) {
    saveHtmlAs(dir.file("a.html"));
    w.html.type("more");
    w.dialog.replies.push_back(choose(dir.file("no-such-folder/b.html")));
    EXPECT_THROW(w.frm.mnuFileSaveAs_Click(), PlatformError);
    EXPECT_EQ(w.frm.htm, dir.file("a.html"));
    EXPECT_EQ(w.form.title, dir.file("a.html"));
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
}

TEST_F(FileCommands, OpenThenSaveWithHtmlSelectedAsksForANameNotTheOpenedFile) {
    writeFile(dir.file("b.html"), "bbb");
    w.frm.Label1_Click();
    w.dialog.replies.push_back(choose(dir.file("b.html")));
    w.frm.mnuFileOpen_Click();
    w.dialog.replies.push_back(cancel());
    w.frm.mnuFileSave_Click();
    ASSERT_EQ(w.dialog.shown.size(), 2u);
    EXPECT_EQ(w.dialog.shown[1].first, "save");
    EXPECT_EQ(w.dialog.shown[1].second.DialogTitle, "另存为");
    EXPECT_EQ(readFile(dir.file("b.html")), "bbb");
    // The cancelled dialog stored nothing, so the pane stays marked unsaved.
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
}

TEST_F(FileCommands, SaveAfterOpenWritesThePanesOwnFile) {
    saveHtmlAs(dir.file("a.html"));
    writeFile(dir.file("b.html"), "from b");
    w.dialog.replies.push_back(choose(dir.file("b.html")));
    w.frm.mnuFileOpen_Click();
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(readFile(dir.file("a.html")), "from b");
    EXPECT_EQ(readFile(dir.file("b.html")), "from b");
    EXPECT_EQ(w.form.title, dir.file("b.html"));
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
    EXPECT_EQ(w.label1.text, text::kHtmlCaption);
}

TEST_F(FileCommands, SaveWithCssSelectedRewritesHtmlThenRunsTheCssStep) {
    saveHtmlAs(dir.file("a.html"));
    w.html.setText("html now");
    w.frm.Label4_Click();
    w.cssPane.type("p{}");
    w.dialog.replies.push_back(choose(dir.file("style.css")));
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(readFile(dir.file("a.html")), "html now");
    EXPECT_EQ(w.label1.text, text::kHtmlCaption);
    EXPECT_EQ(w.dialog.shown.back().second.Filter, "CSS文件(*.css)|*.css");
    EXPECT_EQ(readFile(dir.file("style.css")), "p{}");
    EXPECT_EQ(w.frm.css, dir.file("style.css"));
    EXPECT_EQ(w.frm.change1, kTrue);
    EXPECT_EQ(w.form.title, dir.file("style.css"));
    EXPECT_EQ(w.label4.text, text::kCssCaption);
}

TEST_F(FileCommands, CancelledJsSaveAsUnderSaveKeepsTheJsEditsMarked) {
    saveHtmlAs(dir.file("a.html"));
    w.frm.Label5_Click();
    w.jsPane.type("alert(1)");
    w.dialog.replies.push_back(cancel());
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(w.dialog.shown.back().second.DialogTitle, "另存为");
    EXPECT_EQ(w.dialog.shown.back().second.Filter, "js文件(*.js)|*.js");
    EXPECT_EQ(w.frm.jsDirty, kTrue);
    EXPECT_EQ(w.label5.text, text::kJsUnsaved);
    EXPECT_EQ(w.frm.js, "");
}

// With no file to write to, a save asks for a name instead of writing anywhere.
TEST_F(FileCommands, SaveRightAfterStartUpAsksForTheHtmlFile) {
    w.dialog.replies.push_back(choose(dir.file("first.html")));
    w.frm.mnuFileSave_Click();
    ASSERT_EQ(w.dialog.shown.size(), 1u);
    EXPECT_EQ(w.dialog.shown[0].second.Filter, text::kHtmlFilter);
    EXPECT_EQ(readFile(dir.file("first.html")), def::sampleText());
    EXPECT_EQ(w.frm.htm, dir.file("first.html"));
}

TEST_F(FileCommands, FailedWriteStopsSaveBeforeTheSelectedPane) {
    saveHtmlAs(dir.file("a.html"));
    w.frm.Label4_Click();
    w.cssPane.type("p{}");
    w.html.type("edit");
    std::filesystem::remove(dir.file("a.html"));
    std::filesystem::create_directory(dir.file("a.html"));  // the file is now a folder
    EXPECT_THROW(w.frm.mnuFileSave_Click(), PlatformError);
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
    EXPECT_EQ(w.dialog.shown.size(), 1u) << "the CSS step ran after the failed write";
}

TEST_F(FileCommands, SaveOverAnExistingFileKeepsItsPermissions) {
    writeFile(dir.file("a.html"), "old");
    ::chmod(dir.file("a.html").c_str(), 0640);
    saveHtmlAs(dir.file("a.html"));
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("a.html").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(readFile(dir.file("a.html")), def::sampleText());
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(FileCommands, CssSaveAsShowsItsOwnPathInTheCaption) {
    saveHtmlAs(dir.file("a.html"));
    w.dialog.replies.push_back(choose(dir.file("style.css")));
    w.frm.SaveCssAs();
    EXPECT_EQ(w.form.title, dir.file("style.css"));
    EXPECT_EQ(w.frm.htm, dir.file("a.html"));
}

TEST_F(FileCommands, NewThenSaveWritesTheEmptyPaneToItsFile) {
    saveHtmlAs(dir.file("a.html"));
    w.frm.mnuFileNew_Click();
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(readFile(dir.file("a.html")), "");
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
}

// Files made with iconv from the text of Debian's manual pages and translations
// (tests/data/encodings/make_files.sh): each opens readable and an unchanged Save As writes it
// back byte for byte.
struct RealFile {
    const char* name;
    TextFormat format;
    std::size_t unreadable;
    const char* shows;  // text from the file that must read as it is
};

const RealFile kRealFiles[] = {
    {"utf8.html", {"UTF-8", false, LineEnd::Lf}, 0, "复制文件和目录"},
    {"utf8-bom.html", {"UTF-8", true, LineEnd::Lf}, 0, "变更文件模式位"},
    {"utf16le-bom.txt", {"UTF-16LE", true, LineEnd::Lf}, 0, "列出目录内容"},
    {"utf16be-bom.txt", {"UTF-16BE", true, LineEnd::Lf}, 0, "列出目录内容"},
    {"utf16le-prose.txt", {"UTF-16LE", false, LineEnd::Lf}, 0, "必选参数对长短选项同时适用"},
    {"gb2312-meta.html", {"gb18030", false, LineEnd::Lf}, 0, "列出目录内容"},
    {"gbk-http-equiv.html", {"gb18030", false, LineEnd::Lf}, 0, "复制文件和目录"},
    {"big5.html", {"Big5", false, LineEnd::Lf}, 0, "列出目錄內容"},
    {"windows-1252.html", {"windows-1252", false, LineEnd::Lf}, 0, "encodage hexadécimal"},
    {"shift_jis.html", {"Shift_JIS", false, LineEnd::Lf}, 0, "ディレクトリの内容をリスト表示する"},
    {"crlf.css", {"UTF-8", false, LineEnd::CrLf}, 0, "div.clearer {\n"},
    {"utf8-stray-byte.html", {"UTF-8", false, LineEnd::Lf}, 1, "不要忽略以点号（“.”）起始的条目"},
    {"utf8-cut.txt", {"UTF-8", false, LineEnd::Lf}, 2, "八进制数字"},
};

// Another program changes the pane's file between the pane's write and the next Save.
TEST_F(FileCommands, SaveAsksBeforeOverwritingAFileAnotherProgramChanged) {
    const std::string page = dir.file("a.html");
    saveHtmlAs(page);
    const auto otherProgram = [&](const std::string& bytes) {
        writeFile(page, bytes);
        // Same size, same second: only the checksum tells.
        const timespec when[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
        ::utimensat(AT_FDCWD, page.c_str(), when, 0);
    };
    w.html.setText("mine");
    otherProgram("them");
    w.prompt.answers.push_back(Answer::No);
    w.frm.mnuFileSave_Click();
    ASSERT_EQ(w.prompt.asked.size(), 1u);
    EXPECT_EQ(w.prompt.asked[0].first, text::changedOnDiskQuestion(page));
    EXPECT_EQ(w.prompt.asked[0].second, text::kSaveTitle);
    EXPECT_EQ(readFile(page), "them");
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);

    w.prompt.answers.push_back(Answer::Yes);
    w.frm.Label1_DblClick();
    EXPECT_EQ(w.prompt.asked.size(), 2u);
    EXPECT_EQ(readFile(page), "mine");
    EXPECT_EQ(w.frm.htmlDirty, kFalse);

    // Touched without a change, or removed: written without a question.
    otherProgram("mine");
    w.frm.mnuFileSave_Click();
    std::filesystem::remove(page);
    w.html.setText("again");
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(readFile(page), "again");
    EXPECT_EQ(w.prompt.asked.size(), 2u);
}

TEST_F(FileCommands, RestoredPanesComeBackUnsavedAndSaveWhereTheyBelong) {
    // What an editor that was killed kept of its panes: a GB18030 page with CRLF and a byte it
    // could not read, and a style sheet never saved.
    journal::Journal left;
    std::string page = "<p>\xe4\xb8\xad";  // 中
    utf::appendEscapedByte(0x81, page);
    page += "</p>\n";
    left.panes.push_back(
        {PaneId::Html, dir.file("p.html"), TextFormat{"gb18030", false, LineEnd::CrLf}, 4, {}, page});
    left.panes.push_back({PaneId::Css, "", TextFormat{}, 2, {}, "p{}"});
    w.frm.restorePanes(left);
    EXPECT_EQ(w.html.text, page);
    EXPECT_EQ(w.html.caretPosition(), 4);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
    EXPECT_EQ(w.label4.text, text::kCssUnsaved);
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.frm.cssDirty, kTrue);
    EXPECT_EQ(w.frm.jsDirty, kFalse);
    EXPECT_EQ(w.frm.htm, dir.file("p.html"));
    EXPECT_EQ(w.frm.change, kTrue);
    EXPECT_EQ(w.frm.change1, kFalse);
    const std::vector<journal::PaneRecord> unsaved = w.frm.unsavedPanes();
    ASSERT_EQ(unsaved.size(), 2u);
    EXPECT_EQ(unsaved[0].format, left.panes[0].format);
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(readFile(dir.file("p.html")), "<p>\xd6\xd0\x81</p>\r\n");
    EXPECT_TRUE(w.frm.unsavedPanes().size() == 1u && w.frm.unsavedPanes()[0].pane == PaneId::Css);
}

TEST_F(FileCommands, RealFilesOpenReadableAndSaveBackByteForByte) {
    for (const RealFile& file : kRealFiles) {
        SCOPED_TRACE(file.name);
        const std::string path = std::string(CORVANE_TEST_DATA) + "/encodings/" + file.name;
        const std::string bytes = readFile(path);
        ASSERT_FALSE(bytes.empty());
        w.prompt.told.clear();
        w.dialog.replies.push_back(choose(path));
        w.frm.mnuFileOpen_Click();
        EXPECT_NE(w.html.text.find(file.shows), std::string::npos);
        EXPECT_EQ(w.frm.htmlFormat, file.format);
        if (file.unreadable == 0) {
            EXPECT_TRUE(w.prompt.told.empty());
        } else {
            ASSERT_EQ(w.prompt.told.size(), 1u);
            EXPECT_EQ(w.prompt.told[0].first,
                      text::unreadableBytesMessage(file.unreadable, file.format.encoding));
            EXPECT_EQ(w.prompt.told[0].second, "打开");
        }
        saveHtmlAs(dir.file(file.name));
        EXPECT_TRUE(readFile(dir.file(file.name)) == bytes) << "not written back as it was";
        EXPECT_TRUE(w.prompt.asked.empty());
    }
}

TEST_F(FileCommands, ACharacterThePageCannotHoldAsksToWriteUtf8WithAMark) {
    const std::string page = std::string(CORVANE_TEST_DATA) + "/encodings/big5.html";
    w.dialog.replies.push_back(choose(page));
    w.frm.mnuFileOpen_Click();
    w.html.type("<p>café</p>\n");

    // No: nothing is written and the pane stays unsaved.
    w.prompt.answers = {Answer::No};
    saveHtmlAs(dir.file("a.html"));
    ASSERT_EQ(w.prompt.asked.size(), 1u);
    EXPECT_EQ(w.prompt.asked[0].first, text::unencodableMessage("é", "Big5"));
    EXPECT_EQ(w.prompt.asked[0].second, "保存");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.html")));
    EXPECT_EQ(w.frm.htm, "");
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);

    // Yes: UTF-8 with its mark, which browsers obey over the page's declaration; later saves
    // write the same without asking again.
    w.prompt.answers = {Answer::Yes};
    saveHtmlAs(dir.file("a.html"));
    const std::string written = readFile(dir.file("a.html"));
    EXPECT_EQ(written, "\xEF\xBB\xBF" + w.html.text);
    EXPECT_EQ(w.frm.htmlFormat, (TextFormat{"UTF-8", true, LineEnd::Lf}));
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
    w.html.type("<p>naïve</p>\n");
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(w.prompt.asked.size(), 2u);
    EXPECT_EQ(readFile(dir.file("a.html")), "\xEF\xBB\xBF" + w.html.text);
}

TEST_F(FileCommands, AChinesePageNeverAsksAndNewTextIsUtf8) {
    const std::string page = std::string(CORVANE_TEST_DATA) + "/encodings/gb2312-meta.html";
    w.dialog.replies.push_back(choose(page));
    w.frm.mnuFileOpen_Click();
    w.html.type("<p>café 😀 ㈱</p>\n");
    saveHtmlAs(dir.file("a.html"));
    EXPECT_TRUE(w.prompt.asked.empty());
    const DecodedText back = decodeAs(readFile(dir.file("a.html")), w.frm.htmlFormat);
    EXPECT_EQ(back.text, w.html.text);
    EXPECT_EQ(back.unreadableBytes, 0u);

    w.frm.mnuFileNew_Click();
    EXPECT_EQ(w.frm.htmlFormat, TextFormat{});
    w.html.type("<p>新的</p>\n");
    w.frm.mnuFileSave_Click();
    EXPECT_EQ(readFile(dir.file("a.html")), "<p>新的</p>\n");
}

TEST_F(FileCommands, PrintPreselectsTheSelectionAndPrintsOnlyIt) {
    w.html.setText("hello world");
    w.html.select(6, 5);
    w.dialog.replies.push_back({});
    w.frm.mnuFilePrint_Click();
    EXPECT_EQ(w.dialog.shown.back().first, "printer");
    EXPECT_EQ(w.dialog.shown.back().second.Flags, 265);
    ASSERT_EQ(w.html.printed.size(), 1u);
    EXPECT_EQ(w.html.printed[0], "world");

    w.html.select(0, 0);
    w.dialog.replies.push_back({});
    w.frm.mnuFilePrint_Click();
    EXPECT_EQ(w.dialog.shown.back().second.Flags, 264);
    EXPECT_EQ(w.html.printed.back(), "hello world");
}

TEST_F(FileCommands, CancelledPrinterDialogPrintsNothing) {
    w.dialog.replies.push_back(cancel());
    w.frm.mnuFilePrint_Click();
    EXPECT_TRUE(w.html.printed.empty());
}

TEST_F(FileCommands, ExitClosesTheWindow) {
    w.frm.mnuFileExit_Click();
    EXPECT_EQ(w.form.closeRequests, 1);
}

}  // namespace
}  // namespace corvane
