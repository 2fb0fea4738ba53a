#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

#include <QMessageBox>
#include <QTemporaryDir>

#include "app/captions.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::acceptFileDialog;
using testing::ShownWindow;
using testing::whenModalOpens;

struct OpenCase {
    const char* name;
    std::string bytes;         // written to the file unless the case makes its own
    QString expectedText;      // the pane afterwards, when the open succeeds
    bool refused = false;      // a clear message and an unchanged pane instead
    QString told = QString();  // a message shown after the file is open
};

// CTest names the cases by the file they open.
void PrintTo(const OpenCase& c, std::ostream* out) { *out << c.name; }

std::string utf16(const std::u16string& text, bool bigEndian, bool mark) {
    std::string out;
    auto put = [&](char16_t unit) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xff);
        out += bigEndian ? std::string{high, low} : std::string{low, high};
    };
    if (mark) put(0xFEFF);
    for (char16_t unit : text) put(unit);
    return out;
}

class OpenFiles : public ::testing::TestWithParam<OpenCase> {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
    QTemporaryDir dir;

    // Opens a path through the File menu and its real dialog; a message box that follows is
    // read into `told` and closed.
    void open(const QString& path, QString* told = nullptr) {
        whenModalOpens([path, told](QWidget* modal) {
            acceptFileDialog(modal, path);
            if (told == nullptr) return;
            whenModalOpens([told](QWidget* box) {
                if (auto* message = qobject_cast<QMessageBox*>(box)) {
                    *told = message->text();
                    message->accept();
                }
            });
        });
        w.menuAction("mnuFileOpen")->trigger();
    }

    void expectRefusedAndUnchanged(const QString& path) {
        const QString before = w.pane(1)->toPlainText();
        open(path);
        ASSERT_EQ(shown.failures.size(), 1) << path.toStdString();
        EXPECT_TRUE(shown.failures[0].contains(path)) << shown.failures[0].toStdString();
        EXPECT_EQ(w.pane(1)->toPlainText(), before);
        EXPECT_EQ(w.windowTitle(), "Corvane 2.5");
        EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区");
    }
};

TEST_P(OpenFiles, GivesWhatAUserExpects) {
    const OpenCase& c = GetParam();
    const QString path = dir.filePath(QString::fromUtf8(c.name));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.bytes.data(), static_cast<qint64>(c.bytes.size()));
    file.close();
    QString told;
    open(path, c.told.isEmpty() ? nullptr : &told);
    EXPECT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
    EXPECT_EQ(w.pane(1)->toPlainText(), c.expectedText);
    EXPECT_EQ(told, c.told);
    EXPECT_EQ(w.windowTitle(), path);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenFiles,
    ::testing::Values(
        OpenCase{"empty.html", "", ""}, OpenCase{"empty.rtf", "", ""},
        // Unreadable bytes are kept, shown as lone surrogates (a replacement mark on screen).
        OpenCase{"nul.bin", std::string("ab\0cd", 5),
                 QStringLiteral("ab") + QChar(0xDC00) + QStringLiteral("cd"), false,
                 QString::fromStdString(text::unreadableBytesMessage(1, "UTF-8"))},
        OpenCase{"bad-utf8.txt", "<p>你好，世界。中文段落</p> \xff\xfe end",
                 QStringLiteral("<p>你好，世界。中文段落</p> ") + QChar(0xDCFF) + QChar(0xDCFE) +
                     QStringLiteral(" end"),
                 false, QString::fromStdString(text::unreadableBytesMessage(2, "UTF-8"))},
        OpenCase{"utf16le-mark.txt", utf16(u"<p>你好</p>", false, true), QStringLiteral("<p>你好</p>")},
        OpenCase{"utf16be-mark.txt", utf16(u"<p>你好</p>", true, true), QStringLiteral("<p>你好</p>")},
        OpenCase{"utf16le.txt", utf16(u"<p>hello</p>", false, false), QStringLiteral("<p>hello</p>")},
        OpenCase{"utf16be.txt", utf16(u"<p>hello</p>", true, false), QStringLiteral("<p>hello</p>")},
        OpenCase{"gb18030.txt", "\xc4\xe3\xba\xc3 GB", QStringLiteral("你好 GB")},
        OpenCase{"crlf.txt", "a\r\nb\r\n", QStringLiteral("a\nb\n")},
        OpenCase{"cr.txt", "a\rb\rc", QStringLiteral("a\nb\nc")},
        OpenCase{"rich.rtf", "{\\rtf1\\ansi\\ansicpg936 {\\b \\'c4\\'e3}\\par second\\par}",
                 QStringLiteral("你\nsecond")},
        OpenCase{"带 空格 的 名字.html", "<p>名字</p>", QStringLiteral("<p>名字</p>")}),
    [](const ::testing::TestParamInfo<OpenCase>& info) {
        std::string name = std::to_string(info.index) + "_";
        for (const char ch : std::string(info.param.name))
            name += std::isalnum(static_cast<unsigned char>(ch)) && ch > 0 ? ch : '_';
        return name;
    });

// Through the real pane: its characters and the bytes it could not read go back to the file as
// they were read (files made by iconv from Debian's manual pages, tests/data/encodings).
TEST_F(OpenFiles, AnUnchangedSaveAsWritesTheFileBackByteForByte) {
    // A minified script: a megabyte on one line, Chinese strings and a stray byte in it, which the
    // pane holds in pieces.
    std::string minified;
    while (minified.size() < (1 << 20)) minified += "var s=\"中文字符串\",t={a:1,b:[2,3]};if(s){t.a++}\xff";
    minified += "\n";
    const QString generated = dir.filePath("minified.js");
    {
        QFile file(generated);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(minified.data(), static_cast<qint64>(minified.size()));
    }
    // Minified files as jQuery ships them (libjs-jquery) too: the script, and its source map of
    // 155 KB on one line.
    const QString shipped = QStringLiteral("/usr/share/javascript/jquery/");
    for (const char* name : {"utf8-stray-byte.html", "utf8-cut.txt", "big5.html", "utf16le-prose.txt",
                             "minified.js", "jquery.min.js", "jquery.min.map"}) {
        SCOPED_TRACE(name);
        const QString original =
            name == std::string_view("minified.js") ? generated
            : std::string_view(name).starts_with("jquery")
                ? shipped + QString::fromUtf8(name)
                : QStringLiteral(CORVANE_TEST_DATA "/encodings/") + QString::fromUtf8(name);
        QString told;
        open(original, &told);
        ASSERT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
        EXPECT_EQ(!told.isEmpty(), !std::string_view(name).starts_with("big5") &&
                                       !std::string_view(name).starts_with("utf16") &&
                                       !std::string_view(name).starts_with("jquery"));
        if (original != QStringLiteral(CORVANE_TEST_DATA "/encodings/") + QString::fromUtf8(name)) {
            EXPECT_GT(w.pane(1)->document()->blockCount(), 50);  // in pieces
        }
        const QString copy = dir.filePath(QStringLiteral("copy-") + QString::fromUtf8(name));
        whenModalOpens([copy](QWidget* modal) { acceptFileDialog(modal, copy); });
        w.menuAction("mnuFileSaveAs")->trigger();
        QFile a(original), b(copy);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_TRUE(a.readAll() == b.readAll());
    }
}

TEST_F(OpenFiles, AFolderIsOpenedInTheDialogNotLoaded) {
    const QString before = w.pane(1)->toPlainText();
    QString shownFolder;
    whenModalOpens([&](QWidget* modal) {
        acceptFileDialog(modal, dir.path());
        // The dialog goes into the folder and stays open; the person then cancels.
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        shownFolder = dialog->directory().absolutePath();
        if (dialog->isVisible()) QMetaObject::invokeMethod(dialog, "reject");
    });
    w.menuAction("mnuFileOpen")->trigger();
    EXPECT_EQ(shownFolder, QDir(dir.path()).absolutePath());
    EXPECT_EQ(w.pane(1)->toPlainText(), before);
    EXPECT_TRUE(shown.failures.isEmpty());
}

TEST_F(OpenFiles, RefusesAMissingFileAndOneTooLarge) {
    expectRefusedAndUnchanged(dir.filePath("missing.html"));
    shown.failures.clear();
    // 300 MB without writing it: a sparse file.
    const QString huge = dir.filePath("huge.html");
    const int fd = ::open(huge.toLocal8Bit().constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 300LL * 1024 * 1024), 0);
    ::close(fd);
    expectRefusedAndUnchanged(huge);
    EXPECT_TRUE(shown.failures[0].contains("256 MiB"));
}

TEST_F(OpenFiles, RefusesAFileItCannotRead) {
    if (::geteuid() == 0) {
        // Root reads every mode; the kernel still refuses reads of this one.
        expectRefusedAndUnchanged(QStringLiteral("/proc/self/mem"));
    } else {
        const QString locked = dir.filePath("locked.html");
        QFile file(locked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        ASSERT_TRUE(file.setPermissions(QFileDevice::Permissions()));
        expectRefusedAndUnchanged(locked);
    }
}

// "Open with" on the desktop starts the program with the file's name: it is shown as Open shows it,
// a relative name taken from the current folder, and a file that cannot be read is reported.
TEST_F(OpenFiles, AFileTheProgramIsStartedWithIsShownAsOpenShowsIt) {
    const QString path = dir.filePath(QStringLiteral("从桌面 打开.html"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<p>桌面</p>\n");
    file.close();
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    w.openFile(QStringLiteral("从桌面 打开.html"));
    QDir::setCurrent(previous);
    EXPECT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
    EXPECT_EQ(w.pane(1)->toPlainText(), QStringLiteral("<p>桌面</p>\n"));
    EXPECT_EQ(w.windowTitle(), QFileInfo(path).absoluteFilePath());
    EXPECT_EQ(w.form().htm, "") << "an opened file is not the pane's file";

    const QString before = w.pane(1)->toPlainText();
    w.openFile(dir.filePath("gone.html"));
    ASSERT_EQ(shown.failures.size(), 1);
    EXPECT_TRUE(shown.failures[0].contains("gone.html")) << shown.failures[0].toStdString();
    EXPECT_EQ(w.pane(1)->toPlainText(), before);
}

}  // namespace
}  // namespace corvane::qt
