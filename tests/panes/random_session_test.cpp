// A long random session against the whole window, checked step by step against a small model of
// what each handler must do to the panes, the files and the rest of the window.
//
// Reproduce a failure with CORVANE_SEED=<seed printed in the failure> ./logic_tests
//     --gtest_filter='RandomSession.*'

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/captions.h"
#include "app/window_definition.h"
#include "fakes/fake_platform.h"
#include "fakes/file_size_limit.h"
#include "fakes/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using fakes::DialogReply;
using fakes::FakeWindow;
using fakes::FileSizeLimit;
using fakes::readFile;
using fakes::TempDir;
using fakes::writeFile;

constexpr std::uint64_t kDefaultSeed = 20250607;
constexpr int kSteps = 100000;
constexpr int kDiskCheckEvery = 1000;
constexpr std::size_t kHistory = 16;

std::uint64_t sessionSeed() {
    const char* env = std::getenv("CORVANE_SEED");
    if (env != nullptr && *env != '\0') return std::strtoull(env, nullptr, 0);
    return kDefaultSeed;
}

// Plain modulo over mt19937_64 keeps a seed's run the same with every standard library.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : engine_(seed) {}
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(engine_() % n); }
    bool percent(unsigned p) { return below(100) < p; }
    template <class T>
    const T& pick(const std::vector<T>& items) {
        return items[below(items.size())];
    }

private:
    std::mt19937_64 engine_;
};

// Every save syncs the file to disk, which on a disk-backed temporary folder costs milliseconds;
// a memory file system keeps 100,000 steps quick without changing what is checked.
fs::path fastScratchBase() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    return fs::temp_directory_path();
}

constexpr std::size_t kDiskRoomBytes = 24;

const char* const kPaneNames[] = {"HTML", "CSS", "JS"};

// The model's whole view of one pane.
struct PaneModel {
    std::string path;
    Flag hasFile = kFalse;
    Flag dirty = kFalse;
    std::int16_t selected = 0;
    std::string caption;
    std::uint32_t color = kButtonFaceColor;
    int height = 9375;
    std::string text;
    std::size_t selStart = 0;
    std::size_t selLen = 0;
    std::string stored;  // the content as of the pane's last write, or as at start-up
    bool savedAsThisStep = false;
    std::map<std::string, std::string> known;  // what each file held when the pane last read or wrote it
};

struct FormatModel {
    std::string fontName = "Sans";
    float fontSize = 12;
    Tristate bold = Tristate::False, italic = Tristate::False, underline = Tristate::False,
             strike = Tristate::False;
    std::int32_t color = 0;
    std::int16_t align = 0;
    std::size_t calls = 0;  // formatting calls the pane accepted this step
};

struct ExpectedDialog {
    std::string kind;
    std::string title;   // checked for file dialogs
    std::string filter;  // checked for file dialogs
    std::int32_t flags;  // checked for the other dialogs
};

// Thrown by the model where the handler must fail: the file that cannot be read or written, or
// empty for a refusal of the pane or the clipboard.
struct ModelFailure {
    std::string file;
};

class Session {
public:
    Session(std::uint64_t seed, const fs::path& base) : rng_(seed), seed_(seed), dir_(base) {
        prepareFiles();
        startWindow();
        buildCommands();
    }

    // Runs the session; stops at the first step that breaks a rule and reports it.
    void run(int steps) {
        for (step_ = 1; step_ <= steps; ++step_) {
            oneStep();
            if (!problems_.str().empty()) {
                report();
                return;
            }
            if (step_ % kDiskCheckEvery == 0) {
                checkWholeDisk();
                if (!problems_.str().empty()) {
                    report();
                    return;
                }
            }
        }
        step_ = steps;
        action_ = "final disk check";
        checkWholeDisk();
        if (!problems_.str().empty()) report();
    }

    void printSummary() const {
        std::cout << "[ session  ] seed " << seed_ << ": " << writes_ << " files written, " << failures_
                  << " failures reported, " << dialogs_ << " dialogs shown\n";
    }
    int writes() const { return writes_; }
    int failures() const { return failures_; }

private:
    struct Command {
        std::string name;
        std::function<void()> prepare;  // scripts the dialogs and arms failures
        std::function<void()> model;    // what the handler must do
        void (frmM::*handler)();
    };

    // ---- set-up ----

    std::string at(const std::string& name) const { return dir_.file(name); }

    // A fresh window as at start-up; the files stay as they are.
    void startWindow() {
        w_ = std::make_unique<FakeWindow>();
        const std::array<fakes::FakeLabel*, 3> labels{&w_->label1, &w_->label4, &w_->label5};
        for (int p = 0; p < 3; ++p) {
            m_[p] = PaneModel{};
            m_[p].caption = labels[p]->text;
            m_[p].color = labels[p]->color;
            m_[p].text = m_[p].stored = edit(p).text;
        }
        fmt_ = FormatModel{};
        formCaption_ = w_->form.title;
        clipboard_ = w_->clipboard.content;
        toolbarShown_ = true;
        marks_ = {false, false, false};
        dialogFlags_ = 0;
    }

    void prepareFiles() {
        auto prepared = [this](const std::string& name, const std::string& bytes) {
            writeFile(at(name), bytes);
            disk_[at(name)] = bytes;
        };
        prepared("open1.html", "<p>one</p>\n");
        prepared("empty.txt", "");
        prepared("plain.txt", "plain\n");
        fs::create_directory(at("adir"));
        fs::create_directory(at("ro"));
        // A link is followed on save: its target is the file written.
        fs::create_symlink(at("a.html"), at("link.html"));
        links_[at("link.html")] = at("a.html");

        ::chmod(at("ro").c_str(), 0555);
        // Permission bits do not stop root, so ask the folder itself whether it refuses.
        const std::string probe = at("ro/.probe");
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        const bool roRefuses = fd < 0;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
        }

        unwritable_ = {at("missing/x.html"), at("adir"), at("plain.txt/x.html")};
        if (roRefuses) unwritable_.insert(at("ro/y.html"));

        savePaths_ = {at("a.html"),     at("a.html"),         at("b.css"),     at("c.js"),
                      at("shared.txt"), at("open1.html"),     at("link.html"), at("plain.txt"),
                      at("ro/y.html"),  at("missing/x.html"), at("adir"),      at("plain.txt/x.html")};
        openPaths_ = {at("open1.html"), at("empty.txt"),    at("plain.txt"),  at("a.html"),
                      at("b.css"),      at("c.js"),         at("shared.txt"), at("link.html"),
                      at("ro/y.html"),  at("nothere.html"), at("adir"),       at("missing/x.html")};
    }

    std::string resolve(const std::string& path) const {
        const auto link = links_.find(path);
        return link == links_.end() ? path : link->second;
    }

    // ---- scripted replies, shared by the fake dialog and the model ----

    void offer(const DialogReply& reply) {
        w_->dialog.replies.push_back(reply);
        replies_.push_back(reply);
    }
    void offerFile(const std::vector<std::string>& paths) {
        const std::size_t roll = rng_.below(100);
        if (roll < 20) {
            offer(DialogReply{false, "", std::nullopt});
        } else if (roll < 25) {
            offer(DialogReply{true, "", std::nullopt});  // accepted with no name
        } else {
            offer(DialogReply{true, rng_.pick(paths), std::nullopt});
        }
    }
    void offerAnswer(bool accept) { offer(DialogReply{accept, "", std::nullopt}); }
    void offerFont() {
        CommonDialogProperties values;
        static const std::vector<std::string> kFonts{"Serif", "Mono", "宋体"};
        values.FontName = rng_.pick(kFonts);
        values.FontSize = static_cast<float>(8 + rng_.below(20));
        values.FontBold = rng_.percent(50);
        values.FontItalic = rng_.percent(50);
        values.FontUnderline = rng_.percent(50);
        values.FontStrikethru = rng_.percent(50);
        offer(DialogReply{rng_.percent(75), "", values});
    }
    void offerColor() {
        CommonDialogProperties values;
        values.Color = static_cast<std::int32_t>(rng_.below(0x1000000));
        offer(DialogReply{rng_.percent(75), "", values});
    }

    DialogReply takeReply(ExpectedDialog shown) {
        expectedDialogs_.push_back(std::move(shown));
        if (replies_.empty()) return DialogReply{false, "", std::nullopt};
        DialogReply reply = replies_.front();
        replies_.pop_front();
        return reply;
    }

    // ---- failure injection ----

    void maybeFillDisk() { diskNearlyFull_ = rng_.percent(10); }

    void maybeRefusePane() {
        if (rng_.percent(10)) {
            w_->html.failNextWrite = true;
            paneRefuses_ = true;
        }
    }
    // The pane's next content or formatting call: refused when armed, once.
    void paneCall() {
        if (paneRefuses_) {
            paneRefuses_ = false;
            throw ModelFailure{};
        }
    }
    void formatCall() {
        if (formatFailAt_ == 0) {
            formatFailAt_ = -1;
            throw ModelFailure{};
        }
        if (formatFailAt_ > 0) --formatFailAt_;
        paneCall();
        ++fmt_.calls;
    }

    // ---- the model of each handler ----

    void changed(int p) {
        m_[p].dirty = kTrue;
        m_[p].caption = unsavedCaption(p);
    }
    static std::string savedCaption(int p) {
        static const std::string_view kSaved[] = {text::kHtmlCaption, text::kCssCaption, text::kJsCaption};
        return std::string(kSaved[p]);
    }
    static std::string unsavedCaption(int p) {
        static const std::string_view kUnsaved[] = {text::kHtmlUnsaved, text::kCssUnsaved, text::kJsUnsaved};
        return std::string(kUnsaved[p]);
    }
    static std::string filter(int p) {
        static const std::string_view kFilters[] = {text::kHtmlFilter, text::kCssFilter, text::kJsFilter};
        return std::string(kFilters[p]);
    }

    void writeFileModel(const std::string& path, const std::string& bytes) {
        if (unwritable_.count(path) != 0) throw ModelFailure{path};
        if (diskNearlyFull_ && bytes.size() > kDiskRoomBytes) throw ModelFailure{path};
        disk_[resolve(path)] = bytes;
        written_.push_back(resolve(path));
    }

    void saveAsModel(int p) {
        const DialogReply reply = takeReply({"save", std::string(text::kSaveAsTitle), filter(p), 0});
        if (!reply.accept || reply.fileName.empty()) return;
        writeFileModel(reply.fileName, m_[p].text);
        m_[p].known[reply.fileName] = m_[p].text;
        m_[p].path = reply.fileName;
        formCaption_ = reply.fileName;
        m_[p].dirty = kFalse;
        m_[p].hasFile = kTrue;
        m_[p].caption = savedCaption(p);
        m_[p].stored = m_[p].text;
        m_[p].savedAsThisStep = true;
    }

    // A pane with no file yet has nowhere to be written, so it is asked for a name instead.
    void writePaneModel(int p) {
        if (m_[p].path.empty()) {
            saveAsModel(p);
            return;
        }
        // Another pane may have written the file since this one last read or wrote it.
        const auto known = m_[p].known.find(m_[p].path);
        const auto onDisk = disk_.find(resolve(m_[p].path));
        if (known != m_[p].known.end() && onDisk != disk_.end() && onDisk->second != known->second)
            overwriteAsked_.push_back(text::changedOnDiskQuestion(m_[p].path));
        writeFileModel(m_[p].path, m_[p].text);
        m_[p].known[m_[p].path] = m_[p].text;
        m_[p].caption = savedCaption(p);
        m_[p].dirty = kFalse;
        m_[p].stored = m_[p].text;
    }

    void saveStepModel(int p) {
        if (m_[p].dirty == kTrue && m_[p].hasFile == kFalse) {
            saveAsModel(p);
        } else {
            writePaneModel(p);
        }
    }

    void saveModel() {
        PaneModel& html = m_[0];
        if (html.selected == 1 && html.dirty == kTrue && html.hasFile == kFalse) {
            saveAsModel(0);
        } else {
            writePaneModel(0);
        }
        if (m_[1].selected == 1) saveStepModel(1);
        if (m_[2].selected == 1) saveStepModel(2);
    }

    void newModel() {
        m_[0].text.clear();
        m_[0].selStart = m_[0].selLen = 0;
        changed(0);
        formCaption_ = std::string(def::kCaptionAfterNew);
    }

    void openModel() {
        const DialogReply reply =
            takeReply({"open", std::string(text::kOpenTitle), std::string(text::kOpenFilter), 0});
        if (!reply.accept || reply.fileName.empty()) return;
        const auto file = disk_.find(resolve(reply.fileName));
        if (file == disk_.end()) throw ModelFailure{reply.fileName};
        m_[0].text = file->second;
        m_[0].known[reply.fileName] = file->second;
        m_[0].selStart = m_[0].selLen = 0;
        changed(0);
        formCaption_ = reply.fileName;
    }

    void printModel() {
        PaneModel& html = m_[0];
        dialogFlags_ = kPdReturnDc + kPdNoPageNums + (html.selLen != 0 ? kPdSelection : 0);
        if (!takeReply({"printer", "", "", dialogFlags_}).accept) return;
        expectedPrint_ = html.selLen != 0 ? html.text.substr(html.selStart, html.selLen) : html.text;
        expectPrint_ = true;
    }

    void replaceSelection(int p, const std::string& with) {
        PaneModel& m = m_[p];
        m.text.replace(m.selStart, m.selLen, with);
        m.selStart += with.size();
        m.selLen = 0;
        changed(p);
    }

    void cutModel() {
        if (clipboardRefusesSet_) throw ModelFailure{};
        clipboard_ = m_[0].text.substr(m_[0].selStart, m_[0].selLen);
        paneCall();
        replaceSelection(0, "");
    }
    void copyModel() {
        if (clipboardRefusesSet_) throw ModelFailure{};
        clipboard_ = m_[0].text.substr(m_[0].selStart, m_[0].selLen);
    }
    void pasteModel() {
        if (clipboardRefusesGet_) throw ModelFailure{};
        paneCall();
        replaceSelection(0, clipboard_);
    }

    void fontModel() {
        dialogFlags_ = kCfBoth;
        const DialogReply reply = takeReply({"font", "", "", dialogFlags_});
        if (!reply.accept || !reply.values) return;
        const CommonDialogProperties& v = *reply.values;
        auto tri = [](bool b) { return b ? Tristate::True : Tristate::False; };
        formatCall();
        fmt_.fontName = v.FontName;
        formatCall();
        fmt_.fontSize = v.FontSize;
        formatCall();
        fmt_.bold = tri(v.FontBold);
        formatCall();
        fmt_.italic = tri(v.FontItalic);
        formatCall();
        fmt_.underline = tri(v.FontUnderline);
        formatCall();
        fmt_.strike = tri(v.FontStrikethru);
    }
    void colorModel() {
        const DialogReply reply = takeReply({"color", "", "", dialogFlags_});
        if (!reply.accept || !reply.values) return;
        formatCall();
        fmt_.color = reply.values->Color;
    }
    void toggleModel(Tristate& attribute) {
        formatCall();
        attribute = negate(attribute);
    }
    void alignModel(int mark, std::int16_t code) {
        for (int i = 0; i < 3; ++i) marks_[i] = i == mark;
        formatCall();
        fmt_.align = code;
    }

    void clickModel(int p) {
        for (int i = 0; i < 3; ++i) {
            m_[i].selected = i == p ? 1 : 0;
            m_[i].color = i == p ? kInactiveTitleBarColor : kButtonFaceColor;
            m_[i].height = i == p ? 9375 : 0;
        }
    }

    // ---- commands ----

    void buildCommands() {
        auto save2 = [this] {
            offerFile(savePaths_);
            offerFile(savePaths_);
            maybeFillDisk();
        };
        auto save1 = [this] {
            offerFile(savePaths_);
            maybeFillDisk();
        };
        auto refuse = [this] { maybeRefusePane(); };
        auto clip = [this] {
            maybeRefusePane();
            if (rng_.percent(10)) {
                w_->clipboard.failSet = clipboardRefusesSet_ = true;
            }
            if (rng_.percent(10)) {
                w_->clipboard.failGet = clipboardRefusesGet_ = true;
            }
        };
        // The fifteen toolbar commands, in the order of their keys below.
        toolbarCommands_ = {
            {"New", [] {}, [this] { newModel(); }, &frmM::mnuFileNew_Click},
            {"Open", [this] { offerFile(openPaths_); }, [this] { openModel(); }, &frmM::mnuFileOpen_Click},
            {"Save", save2, [this] { saveModel(); }, &frmM::mnuFileSave_Click},
            {"Print", [this] { offerAnswer(rng_.percent(70)); }, [this] { printModel(); },
             &frmM::mnuFilePrint_Click},
            {"Cut", clip, [this] { cutModel(); }, &frmM::mnuEditCut_Click},
            {"Copy", clip, [this] { copyModel(); }, &frmM::mnuEditCopy_Click},
            {"Paste", clip, [this] { pasteModel(); }, &frmM::mnuEditPaste_Click},
            {"Font",
             [this] {
                 offerFont();
                 if (rng_.percent(15)) {
                     formatFailAt_ = static_cast<int>(rng_.below(6));
                     w_->html.formatCallsBeforeFailure = formatFailAt_;
                 }
             },
             [this] { fontModel(); }, &frmM::mnuTxtFont_Click},
            {"Color",
             [this] {
                 offerColor();
                 maybeRefusePane();
             },
             [this] { colorModel(); }, &frmM::mnuTxtColor_Click},
            {"Bold", refuse, [this] { toggleModel(fmt_.bold); }, &frmM::mnuTxtBold_Click},
            {"Italic", refuse, [this] { toggleModel(fmt_.italic); }, &frmM::mnuTxtItalic_Click},
            {"Underline", refuse, [this] { toggleModel(fmt_.underline); }, &frmM::mnuTxtUnderline_Click},
            {"Left", refuse, [this] { alignModel(0, 0); }, &frmM::mnuTxtL_Click},
            {"Centre", refuse, [this] { alignModel(1, 2); }, &frmM::mnuTxtC_Click},
            {"Right", refuse, [this] { alignModel(2, 1); }, &frmM::mnuTxtR_Click},
        };
        menuOnlyCommands_ = {
            {"SaveAs", save1, [this] { saveAsModel(0); }, &frmM::mnuFileSaveAs_Click},
            {"SaveCssAs", save1, [this] { saveAsModel(1); }, &frmM::SaveCssAs},
            {"SaveJsAs", save1, [this] { saveAsModel(2); }, &frmM::SaveJsAs},
            {"SaveCss", save1, [this] { saveStepModel(1); }, &frmM::SaveCss},
            {"SaveJs", save1, [this] { saveStepModel(2); }, &frmM::SaveJs},
            {"ViewToolbar", [] {}, [this] { toolbarShown_ = !toolbarShown_; }, &frmM::mnuViewToolbar_Click},
        };
    }

    // The keys as the toolbar carries them, matched to toolbarCommands_ by position.
    inline static const std::vector<std::string> kKeys{"新建", "打开",   "保存",   "打印",     "剪切",
                                                       "复制", "粘贴",   "字体",   "字体颜色", "粗体",
                                                       "斜体", "下划线", "左对齐", "置中",     "右对齐"};
    inline static const std::vector<std::string> kUnknownKeys{"", "新建 ", "字体颜色X", "Save", "对齐"};

    // ---- one step ----

    void oneStep() {
        for (PaneModel& m : m_) m.savedAsThisStep = false;
        written_.clear();
        expectedDialogs_.clear();
        expectPrint_ = false;
        fmt_.calls = 0;
        before_ = {w_->frm.htm, w_->frm.css, w_->frm.js};

        const std::size_t roll = rng_.below(1000);
        if (roll < 220) {
            typeInto(static_cast<int>(rng_.below(3)));
        } else if (roll < 270) {
            selectInHtml();
        } else if (roll < 330) {
            headerClick(static_cast<int>(rng_.below(3)), false);
        } else if (roll < 400) {
            headerClick(static_cast<int>(rng_.below(3)), true);
        } else if (roll < 580) {
            runCommand(toolbarCommands_[rng_.below(toolbarCommands_.size())], false);
        } else if (roll < 700) {
            runCommand(menuOnlyCommands_[rng_.below(menuOnlyCommands_.size())], false);
        } else if (roll < 760) {
            // Save and Open are the commands that matter most here; give them extra turns.
            runCommand(toolbarCommands_[rng_.percent(50) ? 2 : 1], false);
        } else if (roll < 940) {
            pressToolbarButton();
        } else if (roll < 970) {
            otherProgramSetsClipboard();
        } else if (roll < 995) {
            queryUnload();
        } else {
            // Nothing leads a pane back to having no file, so only a new start brings those
            // states round again.
            action_ = "quit and start again";
            startWindow();
            before_ = {w_->frm.htm, w_->frm.css, w_->frm.js};
        }
        disarm();
        checkStep();
        if (history_.size() == kHistory) history_.pop_front();
        history_.push_back(std::to_string(step_) + ": " + action_);
    }

    // Runs one handler against the model. A failure the model expects must be thrown, naming the
    // file when a file is at fault; the toolbar may instead absorb a failure without a message.
    void execute(const std::function<void()>& real, const std::function<void()>& model,
                 bool failureMayBeAbsorbed) {
        bool expectFailure = false;
        std::string failingFile;
        try {
            model();
        } catch (const ModelFailure& failure) {
            expectFailure = true;
            failingFile = failure.file;
        }
        bool threw = false;
        try {
            std::optional<FileSizeLimit> room;
            if (diskNearlyFull_) room.emplace(kDiskRoomBytes);
            real();
        } catch (const PlatformError& e) {
            threw = true;
            ++failures_;
            if (!failingFile.empty() && e.operation().find(failingFile) == std::string::npos) {
                problems_ << "the failure does not name " << failingFile << ": " << e.what() << "\n";
            }
            if (e.operation().empty() || e.reason().empty())
                problems_ << "a failure without operation or reason\n";
        } catch (const std::exception& e) {
            problems_ << "a failure of the wrong kind escaped: " << e.what() << "\n";
            return;
        }
        if (threw && !expectFailure) problems_ << "failed where it should have worked\n";
        if (!threw && expectFailure && !failureMayBeAbsorbed) {
            problems_ << "worked where it should have failed" << (failingFile.empty() ? "" : " on ")
                      << failingFile << "\n";
        }
    }

    void runCommand(const Command& command, bool fromToolbar, const std::string& key = "") {
        action_ = (fromToolbar ? "toolbar " + key + " " : "menu ") + command.name;
        command.prepare();
        describeReplies();
        execute(
            [&] {
                if (fromToolbar) {
                    w_->frm.tbToolBar_ButtonClick(key);
                } else {
                    (w_->frm.*command.handler)();
                }
            },
            command.model, fromToolbar);
    }

    void pressToolbarButton() {
        if (rng_.percent(10)) {
            const std::string key = rng_.pick(kUnknownKeys);
            action_ = "toolbar unknown key \"" + key + "\"";
            execute([&] { w_->frm.tbToolBar_ButtonClick(key); }, [] {}, false);
            return;
        }
        const std::size_t index = rng_.below(kKeys.size());
        runCommand(toolbarCommands_[index], true, kKeys[index]);
    }

    void headerClick(int p, bool doubleClick) {
        static void (frmM::*const kClick[])() = {&frmM::Label1_Click, &frmM::Label4_Click,
                                                 &frmM::Label5_Click};
        static void (frmM::*const kDblClick[])() = {&frmM::Label1_DblClick, &frmM::Label4_DblClick,
                                                    &frmM::Label5_DblClick};
        action_ = std::string(doubleClick ? "double-click " : "click ") + kPaneNames[p] + " header";
        if (doubleClick) {
            offerFile(savePaths_);
            maybeFillDisk();
        }
        describeReplies();
        // A double-click always arrives after a click on the same header.
        execute([&] { (w_->frm.*kClick[p])(); }, [&] { clickModel(p); }, false);
        if (doubleClick) execute([&] { (w_->frm.*kDblClick[p])(); }, [&] { saveStepModel(p); }, false);
    }

    fakes::FakeRichEdit& edit(int p) { return p == 0 ? w_->html : p == 1 ? w_->cssPane : w_->jsPane; }

    std::string randomText(std::size_t maxLen) {
        static const std::string kAlphabet = "abcxyz<>/{}; =\n\"'";
        std::string text(1 + rng_.below(maxLen), ' ');
        for (char& ch : text) ch = kAlphabet[rng_.below(kAlphabet.size())];
        return text;
    }

    void setSelection(int p, std::size_t start, std::size_t length) {
        edit(p).select(start, length);
        m_[p].selStart = start;
        m_[p].selLen = length;
    }

    void typeInto(int p) {
        PaneModel& m = m_[p];
        const std::size_t len = m.text.size();
        if (len > 48) {
            // Keep the panes small: typing over most of a long text.
            const std::size_t start = rng_.below(8);
            setSelection(p, start, len - start - rng_.below(4));
        } else if (rng_.percent(30)) {
            const std::size_t start = rng_.below(len + 1);
            setSelection(p, start, rng_.below(len - start + 1));
        }
        const std::string typed = randomText(5);
        action_ = std::string("type into ") + kPaneNames[p] + " at " + std::to_string(m.selStart) + "+" +
                  std::to_string(m.selLen) + ": \"" + typed + "\"";
        execute([&] { edit(p).type(typed); }, [&] { replaceSelection(p, typed); }, false);
    }

    void selectInHtml() {
        const std::size_t len = m_[0].text.size();
        const std::size_t start = rng_.below(len + 1);
        setSelection(0, start, rng_.percent(25) ? 0 : rng_.below(len - start + 1));
        action_ = "select HTML " + std::to_string(m_[0].selStart) + "+" + std::to_string(m_[0].selLen);
    }

    void otherProgramSetsClipboard() {
        clipboard_ = rng_.percent(20) ? "" : randomText(6);
        w_->clipboard.content = clipboard_;
        action_ = "another program puts \"" + clipboard_ + "\" on the clipboard";
    }

    void queryUnload() {
        const bool answerNo = rng_.percent(50);
        w_->prompt.answers.push_back(answerNo ? Answer::No : Answer::Yes);
        action_ = std::string("close the window, answering ") + (answerNo ? "No" : "Yes");
        std::int16_t cancel = kFalse;
        execute([&] { w_->frm.Form_QueryUnload(cancel, 0); }, [] {}, false);
        const bool asked = !w_->prompt.asked.empty();
        // Unsaved HTML must be asked about; whether unsaved CSS or JS is asked about too is the
        // window's choice. With nothing unsaved anywhere there is nothing to ask.
        const bool anyDirty = m_[0].dirty == kTrue || m_[1].dirty == kTrue || m_[2].dirty == kTrue;
        if (m_[0].dirty == kTrue && !asked) problems_ << "closed over unsaved HTML without asking\n";
        if (!anyDirty && asked) problems_ << "asked although nothing is unsaved\n";
        if (cancel != (asked && answerNo ? kTrue : kFalse)) problems_ << "cancel flag " << cancel << "\n";
        w_->prompt.asked.clear();
        w_->prompt.answers.clear();
    }

    void describeReplies() {
        for (const DialogReply& reply : replies_) {
            action_ += reply.accept ? " [ok " + reply.fileName + "]" : " [cancel]";
        }
        if (paneRefuses_) action_ += " [pane refuses]";
        if (formatFailAt_ >= 0) action_ += " [format call " + std::to_string(formatFailAt_) + " refused]";
        if (clipboardRefusesSet_) action_ += " [clipboard refuses text]";
        if (clipboardRefusesGet_) action_ += " [clipboard unreadable]";
        if (diskNearlyFull_) action_ += " [disk nearly full]";
    }

    void disarm() {
        w_->html.failNextWrite = false;
        w_->html.formatCallsBeforeFailure = -1;
        w_->clipboard.failSet = w_->clipboard.failGet = false;
        paneRefuses_ = clipboardRefusesSet_ = clipboardRefusesGet_ = false;
        formatFailAt_ = -1;
        diskNearlyFull_ = false;
        w_->dialog.replies.clear();
        replies_.clear();
    }

    // ---- checks ----

    void checkStep() {
        const std::array<const std::string*, 3> paths{&w_->frm.htm, &w_->frm.css, &w_->frm.js};
        const std::array<Flag, 3> hasFile{w_->frm.change, w_->frm.change1, w_->frm.change2};
        const std::array<Flag, 3> dirty{w_->frm.htmlDirty, w_->frm.cssDirty, w_->frm.jsDirty};
        const std::array<std::int16_t, 3> selected{w_->frm.htmlSelected, w_->frm.cssSelected,
                                                   w_->frm.jsSelected};
        const std::array<const fakes::FakeLabel*, 3> labels{&w_->label1, &w_->label4, &w_->label5};

        int selectedCount = 0;
        for (int p = 0; p < 3; ++p) {
            const PaneModel& m = m_[p];
            const char* name = kPaneNames[p];
            const fakes::FakeRichEdit& pane = edit(p);
            if (selected[p] == 1) ++selectedCount;
            if (selected[p] != 0 && selected[p] != 1)
                problems_ << name << " selected flag is " << selected[p] << "\n";
            for (Flag f : {hasFile[p], dirty[p]}) {
                if (f != kTrue && f != kFalse) problems_ << name << " flag holds " << f << "\n";
            }
            if (*paths[p] != before_[p] && !m.savedAsThisStep) {
                problems_ << name << " path changed from \"" << before_[p] << "\" to \"" << *paths[p]
                          << "\" without a completed Save As\n";
            }
            if (dirty[p] == kTrue && labels[p]->text != unsavedCaption(p)) {
                problems_ << name << " is unsaved but its header shows \"" << labels[p]->text << "\"\n";
            }
            if (pane.text != m.stored && dirty[p] != kTrue) {
                problems_ << name << " holds edits no write stored, yet is not marked unsaved\n";
            }
            if (*paths[p] != m.path)
                problems_ << name << " path \"" << *paths[p] << "\", expected \"" << m.path << "\"\n";
            if (hasFile[p] != m.hasFile)
                problems_ << name << " has-file " << hasFile[p] << ", expected " << m.hasFile << "\n";
            if (dirty[p] != m.dirty)
                problems_ << name << " unsaved " << dirty[p] << ", expected " << m.dirty << "\n";
            if (selected[p] != m.selected)
                problems_ << name << " selected " << selected[p] << ", expected " << m.selected << "\n";
            if (labels[p]->text != m.caption)
                problems_ << name << " header \"" << labels[p]->text << "\", expected \"" << m.caption
                          << "\"\n";
            if (labels[p]->color != m.color)
                problems_ << name << " header colour " << labels[p]->color << "\n";
            if (pane.height != m.height)
                problems_ << name << " height " << pane.height << ", expected " << m.height << "\n";
            if (pane.text != m.text)
                problems_ << name << " text \"" << pane.text << "\", expected \"" << m.text << "\"\n";
            if (pane.selStart != m.selStart || pane.selLen != m.selLen)
                problems_ << name << " selection moved\n";
        }
        if (selectedCount > 1) problems_ << selectedCount << " panes are selected at once\n";
        std::vector<std::string> overwriteAsked;
        std::erase_if(w_->prompt.asked, [&](const auto& question) {
            if (question.first.find("已被其他程序修改") == std::string::npos) return false;
            overwriteAsked.push_back(question.first);
            return true;
        });
        if (overwriteAsked != overwriteAsked_)
            problems_ << "asked about a file changed on disk where not expected, or not asked\n";
        overwriteAsked_.clear();
        if (w_->form.title != formCaption_)
            problems_ << "window caption \"" << w_->form.title << "\", expected \"" << formCaption_ << "\"\n";
        if (w_->clipboard.content != clipboard_)
            problems_ << "clipboard \"" << w_->clipboard.content << "\", expected \"" << clipboard_ << "\"\n";
        if (w_->toolbar.shown != toolbarShown_ || w_->viewToolbar.mark != toolbarShown_)
            problems_ << "toolbar shown/mark out of step\n";
        const std::array<bool, 3> marks{w_->txtL.mark, w_->txtC.mark, w_->txtR.mark};
        if (marks != marks_) problems_ << "alignment marks out of step\n";
        checkFormatting();
        checkDialogs();
        checkPrint();
        // Every file written this step is checked at once, byte for byte.
        for (const std::string& path : written_) {
            ++writes_;
            if (readFile(path) != disk_[path]) problems_ << path << " on disk is not what was written\n";
        }
    }

    void checkFormatting() {
        const fakes::FakeRichEdit& html = w_->html;
        if (html.formatLog.size() != fmt_.calls) {
            problems_ << html.formatLog.size() << " formatting calls reached the pane, expected "
                      << fmt_.calls << "\n";
        }
        if (html.fontName != fmt_.fontName || html.fontSize != fmt_.fontSize || html.bold != fmt_.bold ||
            html.italic != fmt_.italic || html.underline != fmt_.underline || html.strike != fmt_.strike ||
            html.color != fmt_.color || html.align != fmt_.align) {
            problems_ << "the HTML pane's formatting is not what the commands set\n";
        }
        w_->html.formatLog.clear();
        w_->markLog.clear();
    }

    void checkDialogs() {
        const auto& shown = w_->dialog.shown;
        dialogs_ += static_cast<int>(shown.size());
        if (shown.size() != expectedDialogs_.size()) {
            problems_ << shown.size() << " dialogs shown, expected " << expectedDialogs_.size() << "\n";
        } else {
            for (std::size_t i = 0; i < shown.size(); ++i) {
                const ExpectedDialog& e = expectedDialogs_[i];
                const CommonDialogProperties& props = shown[i].second;
                const bool fileDialog = e.kind == "open" || e.kind == "save";
                if (shown[i].first != e.kind ||
                    (fileDialog && (props.DialogTitle != e.title || props.Filter != e.filter)) ||
                    (!fileDialog && props.Flags != e.flags)) {
                    problems_ << "dialog " << i << " was " << shown[i].first << " \"" << props.DialogTitle
                              << "\" " << props.Filter << " flags " << props.Flags << ", expected " << e.kind
                              << " \"" << e.title << "\" " << e.filter << " flags " << e.flags << "\n";
                }
            }
        }
        w_->dialog.shown.clear();
    }

    void checkPrint() {
        const auto& printed = w_->html.printed;
        if (printed.size() != (expectPrint_ ? 1u : 0u)) {
            problems_ << printed.size() << " printouts, expected " << (expectPrint_ ? 1 : 0) << "\n";
        } else if (expectPrint_ && printed[0] != expectedPrint_) {
            problems_ << "printed \"" << printed[0] << "\", expected \"" << expectedPrint_ << "\"\n";
        }
        w_->html.printed.clear();
    }

    // Every file holds what its last successful write wrote; nothing else lies about, no
    // temporary file is left behind, and the link is still a link.
    void checkWholeDisk() {
        for (const auto& [path, bytes] : disk_) {
            if (readFile(path) != bytes) problems_ << path << " on disk is not what its last write wrote\n";
        }
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir_.path(), ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const std::string path = it->path().string();
            const std::string name = it->path().filename().string();
            if (name.find(".corvane-") != std::string::npos)
                problems_ << "temporary file left behind: " << path << "\n";
            if (it->is_symlink()) {
                if (links_.count(path) == 0) problems_ << "unexpected link " << path << "\n";
            } else if (it->is_regular_file() && disk_.count(path) == 0) {
                problems_ << "unexpected file " << path << "\n";
            }
        }
        for (const auto& [link, target] : links_) {
            if (!fs::is_symlink(link)) problems_ << link << " is no longer a link\n";
        }
    }

    void report() {
        std::ostringstream recent;
        for (const std::string& line : history_) recent << "  " << line << "\n";
        ADD_FAILURE() << "CORVANE_SEED=" << seed_ << ", step " << step_ << ": " << action_ << "\n"
                      << problems_.str() << "steps before it:\n"
                      << recent.str();
    }

    Rng rng_;
    std::uint64_t seed_;
    TempDir dir_;
    std::unique_ptr<FakeWindow> w_;

    std::array<PaneModel, 3> m_;
    FormatModel fmt_;
    std::string formCaption_;
    std::string clipboard_;
    bool toolbarShown_ = true;
    std::array<bool, 3> marks_{false, false, false};
    std::int32_t dialogFlags_ = 0;

    std::map<std::string, std::string> disk_;  // every file and what it must hold
    std::vector<std::string> overwriteAsked_;  // the questions about files changed on disk this step
    std::map<std::string, std::string> links_;
    std::set<std::string> unwritable_;
    std::vector<std::string> savePaths_, openPaths_;

    std::vector<Command> toolbarCommands_, menuOnlyCommands_;
    std::deque<DialogReply> replies_;
    std::vector<ExpectedDialog> expectedDialogs_;
    std::vector<std::string> written_;
    std::array<std::string, 3> before_;
    bool expectPrint_ = false;
    std::string expectedPrint_;
    bool paneRefuses_ = false;
    int formatFailAt_ = -1;
    bool clipboardRefusesSet_ = false;
    bool clipboardRefusesGet_ = false;
    bool diskNearlyFull_ = false;

    int step_ = 0;
    std::string action_;
    std::ostringstream problems_;
    std::deque<std::string> history_;
    int writes_ = 0;
    int failures_ = 0;
    int dialogs_ = 0;
};

TEST(RandomSession, HundredThousandHandlerCallsKeepPanesFlagsAndFilesInStep) {
    const std::uint64_t seed = sessionSeed();
    SCOPED_TRACE("CORVANE_SEED=" + std::to_string(seed));
    Session session(seed, fastScratchBase());
    session.run(kSteps);
    session.printSummary();
    // A session that never wrote or never failed would have checked little.
    EXPECT_GT(session.writes(), 1000);
    EXPECT_GT(session.failures(), 1000);
}

}  // namespace
}  // namespace corvane
