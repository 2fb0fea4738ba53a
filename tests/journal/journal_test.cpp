#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "app/captions.h"
#include "fakes/fake_platform.h"
#include "fakes/file_size_limit.h"
#include "fakes/temp_dir.h"
#include "journal/journal_folder.h"
#include "journal/journal_format.h"
#include "journal/recovery.h"
#include "panes/utf.h"
#include "platform/platform_error.h"

namespace corvane::journal {
namespace {

namespace fs = std::filesystem;
using fakes::readFile;
using fakes::TempDir;
using fakes::writeFile;

// A base as the journal names it.
void nameBase(PaneRecord& pane, BaseKind kind, const std::string& name, std::string_view bytes) {
    pane.baseKind = kind;
    pane.text.clear();
    pane.baseSource.clear();
    pane.baseName = name;
    pane.baseBytes = bytes.size();
    pane.baseCrc = crc32Of(bytes);
}

// Three panes as a person leaves them: Chinese, a byte the file's encoding could not read, every
// kind of line end, a file name with a line break in it, and a pane that has no file yet.
Journal sampleJournal() {
    Journal journal;
    journal.savedAtMs = 1765183257123;
    std::string escaped = "<p>中文";
    utf::appendEscapedByte(0x80, escaped);
    escaped += "</p>\n";
    journal.panes.push_back({PaneId::Html, "/home/u/页面\n.html", TextFormat{"gb18030", false, LineEnd::CrLf},
                             7, FileStamp{true, 1234, 1765183200000000001, 0xDEADBEEF}, escaped});
    journal.panes.push_back({PaneId::Css, "", TextFormat{}, 0, FileStamp{}, "p { color: red }\r\nend\n"});
    journal.panes.push_back({PaneId::Js, "/tmp/a.js", TextFormat{"UTF-16LE", true, LineEnd::Cr}, 3,
                             FileStamp{}, std::string(1500, 'x')});
    // The style sheet from a copy of a file, the script from its text with edits since, one of
    // them ending inside a surrogate pair.
    nameBase(journal.panes[1], BaseKind::Copy, "1-ab.2.base", "p { color: red }\r\nend\n");
    journal.panes[1].baseSource = "/home/u/a.css";
    journal.panes[1].baseLength = 21;
    journal.panes[2].baseLength = 1500;
    journal.panes[2].edits = {Edit{0, 2, u"ab\n"}, Edit{1500, 0, u"\U0001F600"}, Edit{1502, 0, u"\xD83D"}};
    return journal;
}


std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TEST(JournalFormat, ReadsBackExactlyWhatWasWritten) {
    const Journal journal = sampleJournal();
    const std::string bytes = encodeJournal(journal);
    const std::optional<Journal> read = readJournal(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, journal);
}

TEST(JournalFormat, NeverTakesACutOrChangedJournalForAGoodOne) {
    const std::string bytes = encodeJournal(sampleJournal());
    ASSERT_GT(bytes.size(), 1024u);
    // Cut short at every byte of its first kilobyte, and at every byte of its end.
    for (std::size_t length = 0; length <= 1024; ++length)
        EXPECT_FALSE(readJournal(bytes.substr(0, length)).has_value()) << "cut at " << length;
    for (std::size_t length = bytes.size() - 64; length < bytes.size(); ++length)
        EXPECT_FALSE(readJournal(bytes.substr(0, length)).has_value()) << "cut at " << length;
    // Random bytes flipped, one to eight of them, anywhere.
    std::mt19937 random(24);
    for (int trial = 0; trial < 2000; ++trial) {
        std::string damaged = bytes;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i)
            damaged[random() % damaged.size()] ^= static_cast<char>(1 + random() % 255);
        if (damaged == bytes) continue;
        EXPECT_FALSE(readJournal(damaged).has_value()) << "trial " << trial;
    }
    // Well-formed but not the program's: garbage after the end, a pane twice.
    EXPECT_FALSE(readJournal(bytes + "x").has_value());
    EXPECT_FALSE(readJournal("").has_value());
}

TEST(JournalFormat, CompletesPanesFromTheirBasesAndRefusesAnyBaseThatIsNotTheOneNamed) {
    Journal journal = sampleJournal();
    journal.panes.resize(2);
    // The HTML pane starts from a copy of its GB18030 file with CRLF, read again as Open reads it;
    // the CSS pane from a file of its text.
    const std::string file = "<meta charset=\"gbk\">\r\n<p>\xd6\xd0</p>\r\n";
    const std::string css = std::string(100000, 'c') + "\n";
    nameBase(journal.panes[0], BaseKind::Copy, "t.1.base", file);
    journal.panes[0].baseLength = 30;
    journal.panes[0].edits = {Edit{0, 0, u"<!-- "}, Edit{5, 0, u"x -->"}, Edit{31, 3, u"<i>"}, Edit{35, 0, u"中"}};
    nameBase(journal.panes[1], BaseKind::Whole, "t.2.base", css);
    journal.panes[1].baseLength = 100001;
    journal.panes[1].edits = {Edit{100000, 1, u"}"}, Edit{0, 99990, u"p{"}};
    std::map<std::string, std::string> bases{{"t.1.base", file}, {"t.2.base", css}};
    const auto load = [&bases](const std::string& name) -> std::optional<std::string> {
        const auto found = bases.find(name);
        if (found == bases.end()) return std::nullopt;
        return found->second;
    };
    const std::optional<Journal> read = readJournal(encodeJournal(journal));
    ASSERT_EQ(read, journal);
    Journal complete = *read;
    ASSERT_TRUE(completeJournal(complete, load));
    EXPECT_EQ(complete.panes[0].text, "<!-- x --><meta charset=\"gbk\">\n<i>中中</p>\n");
    EXPECT_EQ(complete.panes[1].text, "p{cccccccccc}");
    EXPECT_EQ(complete.panes[0].edits.size(), 0u);

    // A base missing, cut short, changed, or not the length named; an edit past the end.
    const auto refused = [&](const std::function<void(Journal&)>& change) {
        Journal damaged = journal;
        change(damaged);
        return !completeJournal(damaged, load);
    };
    EXPECT_TRUE(refused([](Journal& j) { j.panes[1].baseName = "t.3.base"; }));
    EXPECT_TRUE(refused([&](Journal&) { bases["t.2.base"].pop_back(); }));
    bases["t.2.base"] = css;
    EXPECT_TRUE(refused([&](Journal&) { bases["t.1.base"][12] ^= 1; }));
    bases["t.1.base"] = file;
    EXPECT_TRUE(refused([](Journal& j) { j.panes[0].baseLength = 31; }));
    EXPECT_TRUE(refused([](Journal& j) { j.panes[1].edits.push_back(Edit{13, 1, u""}); }));
    EXPECT_TRUE(refused([](Journal& j) { j.panes[1].edits.push_back(Edit{14, 0, u"x"}); }));
    EXPECT_FALSE(refused([](Journal& j) { j.panes[1].edits.push_back(Edit{13, 0, u"x"}); }));
}

// Another editor's folder in the same process: a lock of its own on its own open file.
class JournalFolders : public testing::Test {
protected:
    TempDir dir;
    std::string folder = (dir.path() / "state" / "corvane").string();

    static void writeSample(JournalFolder& journals, const Journal& journal) {
        journals.write([&](const ByteSink& sink) { writeJournal(journal, sink); });
    }
    std::vector<std::string> namesIn(const std::string& where) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(where))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(JournalFolders, AreMadePrivateAndNeverOfferARunningEditorsJournal) {
    auto running = std::make_unique<JournalFolder>(folder);
    writeSample(*running, sampleJournal());
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(running->journalPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(readJournal(readFile(running->journalPath())), sampleJournal());

    JournalFolder second(folder);
    std::vector<LeftJournal> left = second.leftBehind();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_FALSE(second.lock(left.front()));
    // Killed: the journal stays, its lock goes with the process.
    running.reset();
    EXPECT_TRUE(second.lock(left.front()));
    // While one editor has it, a third one started at the same moment cannot have it.
    JournalFolder third(folder);
    std::vector<LeftJournal> seen = third.leftBehind();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(third.lock(seen.front()));
    second.forget(std::move(left.front()));
    EXPECT_FALSE(third.lock(seen.front()));
    EXPECT_TRUE(third.leftBehind().empty());
    EXPECT_TRUE(namesIn(folder).empty());
}

TEST_F(JournalFolders, OfferNewestFirstDiscardOnNoAndMoveDamagedOnesAside) {
    // Three editors that ended without closing: an older, a newer, and one cut short.
    for (int i = 0; i < 3; ++i) {
        JournalFolder left(folder);
        Journal journal = sampleJournal();
        journal.panes.resize(1);
        journal.panes[0].text = "editor " + std::to_string(i);
        writeSample(left, journal);
        if (i == 2) {
            const std::string bytes = readFile(left.journalPath());
            writeFile(left.journalPath(), bytes.substr(0, bytes.size() / 2));
        }
        const timespec when[2] = {{0, UTIME_OMIT}, {1700000000 + i * 100, 0}};
        ::utimensat(AT_FDCWD, left.journalPath().c_str(), when, 0);
    }
    JournalFolder mine(folder);
    fakes::FakePrompt prompt;
    prompt.answers = {Answer::No, Answer::Yes};
    std::vector<std::string> restored;
    EXPECT_TRUE(recoverLeftJournals(
        mine, prompt, [&](const Journal& journal) { restored.push_back(journal.panes[0].text); }, nowNs()));
    // The damaged one, newest, is said to be unreadable; then "editor 1" is asked about and
    // refused, then "editor 0" brought back.
    ASSERT_EQ(prompt.told.size(), 1u);
    EXPECT_NE(prompt.told[0].first.find("已损坏"), std::string::npos);
    ASSERT_EQ(prompt.asked.size(), 2u);
    EXPECT_EQ(prompt.asked[0].second, text::kRecoverTitle);
    EXPECT_NE(prompt.asked[0].first.find("HTML代码编辑区：/home/u/页面"), std::string::npos)
        << prompt.asked[0].first;
    EXPECT_EQ(restored, std::vector<std::string>{"editor 0"});
    EXPECT_EQ(namesIn(folder + "/discarded").size(), 2u);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"discarded"});
    // Nothing is left to offer at the next start.
    JournalFolder later(folder);
    EXPECT_FALSE(recoverLeftJournals(
        later, prompt, [](const Journal&) { FAIL(); }, nowNs()));
}

TEST_F(JournalFolders, BasesGoWithTheirJournalAndAJournalWhoseBaseIsGoneIsNotOffered) {
    // Two editors that ended without closing, each with a base file; one's base went meanwhile.
    const std::string text = std::string(70000, 't');
    std::vector<std::string> bases;
    for (int i = 0; i < 2; ++i) {
        JournalFolder left(folder);
        Journal journal = sampleJournal();
        journal.panes.resize(1);
        bases.push_back(left.baseName(7));
        left.writeBase(bases.back(), [&](const ByteSink& sink) { sink(text); });
        nameBase(journal.panes[0], BaseKind::Whole, bases.back(), text);
        journal.panes[0].edits = {Edit{0, 1, i == 0 ? u"A" : u"B"}};
        writeSample(left, journal);
        const timespec when[2] = {{0, UTIME_OMIT}, {1700000000 + i * 100, 0}};
        ::utimensat(AT_FDCWD, left.journalPath().c_str(), when, 0);
    }
    fs::remove(folder + "/" + bases[1]);
    // One that ended between its base and its first journal, and one that runs and is there.
    std::string orphan;
    {
        JournalFolder ended(folder);
        orphan = ended.baseName(1);
        ended.writeBase(orphan, [&](const ByteSink& sink) { sink(text); });
    }
    JournalFolder running(folder);
    running.writeBase(running.baseName(1), [&](const ByteSink& sink) { sink(text); });
    JournalFolder mine(folder);
    fakes::FakePrompt prompt;
    prompt.answers = {Answer::Yes};
    std::vector<std::string> restored;
    EXPECT_TRUE(recoverLeftJournals(
        mine, prompt, [&](const Journal& journal) { restored.push_back(journal.panes[0].text); }, nowNs()));
    ASSERT_EQ(prompt.told.size(), 1u);
    EXPECT_NE(prompt.told[0].first.find("已损坏"), std::string::npos);
    EXPECT_EQ(restored, std::vector<std::string>{"A" + text.substr(1)});
    // The one brought back is gone with its base, and so is the base no journal named; the other
    // is aside; the running editor's base is left alone.
    EXPECT_FALSE(fs::exists(folder + "/" + orphan));
    EXPECT_TRUE(fs::remove(folder + "/" + running.baseName(1)));
    std::vector<std::string> rest = namesIn(folder);
    std::erase_if(rest, [](const std::string& name) { return name.ends_with(".lock"); });
    EXPECT_EQ(rest, std::vector<std::string>{"discarded"});
    EXPECT_EQ(namesIn(folder + "/discarded").size(), 1u);
}

TEST_F(JournalFolders, DeleteWhatWasDiscardedAWeekAgo) {
    fs::create_directories(folder + "/discarded");
    writeFile(folder + "/discarded/old.journal", "x");
    writeFile(folder + "/discarded/recent.journal", "y");
    const std::int64_t now = nowNs();
    const auto age = [&](const char* name, std::int64_t days) {
        const std::int64_t at = now / 1000000000 - days * 24 * 3600;
        const timespec when[2] = {{at, 0}, {at, 0}};
        ::utimensat(AT_FDCWD, (folder + "/discarded/" + name).c_str(), when, 0);
    };
    age("old.journal", 8);
    age("recent.journal", 6);
    JournalFolder journals(folder);
    journals.purgeDiscarded(now);
    EXPECT_EQ(namesIn(folder + "/discarded"), std::vector<std::string>{"recent.journal"});
}

TEST_F(JournalFolders, NeverWriteThroughALinkAndRefuseAFolderThatIsNotTheUsers) {
    JournalFolder journals(folder);
    journals.open();
    // A link planted at the journal's name: the victim stays as it was, the journal is a file.
    const std::string victim = dir.file("victim");
    writeFile(victim, "precious");
    fs::create_symlink(victim, journals.journalPath());
    writeSample(journals, sampleJournal());
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_FALSE(fs::is_symlink(journals.journalPath()));

    // The folder itself a link, or another user's folder: nothing is written there.
    const std::string elsewhere = dir.file("elsewhere");
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, dir.file("linked"));
    JournalFolder linked(dir.file("linked"));
    EXPECT_THROW(writeSample(linked, sampleJournal()), PlatformError);
    const std::string foreign = dir.file("foreign");
    fs::create_directory(foreign);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    JournalFolder theirs(foreign);
    EXPECT_THROW(writeSample(theirs, sampleJournal()), PlatformError);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_TRUE(fs::is_empty(foreign));
}

TEST_F(JournalFolders, AFullDiskLeavesTheLastJournalWhole) {
    JournalFolder journals(folder);
    writeSample(journals, sampleJournal());
    Journal larger = sampleJournal();
    larger.panes[2].text = std::string(200000, 'y');
    {
        fakes::FileSizeLimit nearlyFull(100000);
        EXPECT_THROW(writeSample(journals, larger), PlatformError);
    }
    EXPECT_EQ(readJournal(readFile(journals.journalPath())), sampleJournal());
    EXPECT_EQ(namesIn(folder).size(), 2u);  // the journal and its lock, no temporary left
    writeSample(journals, larger);
    EXPECT_EQ(readJournal(readFile(journals.journalPath())), larger);
}

}  // namespace
}  // namespace corvane::journal
