// A save killed part-way must leave the file as it was before or as it is after, whole.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "fakes/child_process.h"
#include "fakes/fake_platform.h"
#include "fakes/temp_dir.h"
#include "panes/file_io.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using fakes::DialogReply;
using fakes::FakeWindow;
using fakes::TempDir;
using fakes::temporariesIn;
using fakes::writeFile;

constexpr std::uint64_t kDefaultSeed = 20250607;
constexpr int kRounds = 5;
constexpr std::size_t kNewBytes = 50u * 1024 * 1024;
// Old is large too, so the file spends about as long in each state; its odd size keeps a
// truncated new file from passing for it.
constexpr std::size_t kOldBytes = 40u * 1024 * 1024 + 17;

std::uint64_t testSeed() {
    const char* env = std::getenv("CORVANE_SEED");
    return env != nullptr && *env != '\0' ? std::strtoull(env, nullptr, 0) : kDefaultSeed;
}

// Two contents that share no byte at any offset, so a mix of them cannot pass for either.
std::string oldContent() {
    std::string text(kOldBytes, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    return text;
}
std::string newContent() {
    std::string text(kNewBytes, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
    return text;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec) return "<unreadable: " + ec.message() + ">";
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::string describe(const std::string& found, const std::string& old, const std::string& fresh) {
    std::ostringstream out;
    out << found.size() << " bytes (old " << old.size() << ", new " << fresh.size() << ")";
    const std::string& likely = found.size() > old.size() ? fresh : old;
    const auto mismatch = std::mismatch(found.begin(), found.end(), likely.begin(), likely.end());
    out << ", first difference at byte " << (mismatch.first - found.begin());
    return out.str();
}

// The copy of the process saves without end, new over old and old over new, until it is killed.
// Odd rounds save through the window, the rest call the writer directly.
[[noreturn]] void saveForever(const std::string& target, const std::string& old, const std::string& fresh,
                              bool throughWindow) {
    if (!throughWindow) {
        for (;;) {
            writeFileAtomic(target, fresh);
            writeFileAtomic(target, old);
        }
    }
    FakeWindow w;
    w.html.setText(fresh);
    w.dialog.replies.push_back(DialogReply{true, target, std::nullopt});
    w.frm.mnuFileSaveAs_Click();
    for (;;) {
        w.html.setText(old);
        w.frm.mnuFileSave_Click();
        w.html.setText(fresh);
        w.frm.mnuFileSave_Click();
    }
}

TEST(KilledSave, LeavesTheOldOrTheNewFileWholeNeverAMixOrATruncation) {
    const std::uint64_t seed = testSeed();
    SCOPED_TRACE("CORVANE_SEED=" + std::to_string(seed));
    std::mt19937_64 random(seed);
    TempDir dir;  // on the real temporary file system: this is about what reaches the disk
    const std::string target = dir.file("page.html");
    const std::string old = oldContent();
    const std::string fresh = newContent();

    // One cycle of saves sets the scale for the kill delays, so the kills land all over the cycle.
    const auto started = std::chrono::steady_clock::now();
    writeFileAtomic(dir.file("timing.html"), fresh);
    writeFileAtomic(dir.file("timing.html"), old);
    const auto cycleMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    fs::remove(dir.file("timing.html"));

    int endedOld = 0, endedNew = 0, temporariesLeft = 0;
    std::ostringstream log;
    for (int round = 0; round < kRounds; ++round) {
        writeFile(target, old);
        const auto delayMs = 1 + static_cast<long>(random() % static_cast<std::uint64_t>(2 * cycleMs + 20));
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                saveForever(target, old, fresh, round % 2 == 1);
            } catch (...) {
            }
            ::_exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "round " << round << ": the saving process ended before the kill, wait status " << status;

        const std::string found = readWhole(target);
        const bool isOld = found == old;
        const bool isNew = found == fresh;
        EXPECT_TRUE(isOld || isNew) << "round " << round << ", killed after " << delayMs
                                    << " ms: the file is neither the old nor the new content: "
                                    << describe(found, old, fresh);
        endedOld += isOld;
        endedNew += isNew;

        // Only the save under way at the kill can have left its temporary behind.
        const auto temporaries = temporariesIn(dir.path());
        EXPECT_LE(temporaries.size(), 1u) << "round " << round;
        for (const std::string& name : temporaries) {
            EXPECT_EQ(name.rfind(".page.html.corvane-", 0), 0u) << name;
            fs::remove(dir.path() / name);
        }
        temporariesLeft += static_cast<int>(temporaries.size());
        log << " round " << round << (round % 2 == 1 ? " (window)" : " (writer)") << ": killed after "
            << delayMs << " ms, file "
            << (isOld   ? "old"
                : isNew ? "new"
                        : "BROKEN")
            << (temporaries.empty() ? "" : ", temporary left") << ";";
    }
    std::cout << "[ killed   ] one save cycle " << cycleMs << " ms;" << log.str() << "\n[ killed   ] "
              << endedOld << " ended old, " << endedNew << " ended new, " << temporariesLeft
              << " temporaries left by the killed save\n";
}

}  // namespace
}  // namespace corvane
