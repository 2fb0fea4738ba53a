#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// Colour values that name a system colour: 0x80000000 plus the colour's index.
inline constexpr std::uint32_t kSystemColorBase = 0x80000000u;
inline constexpr std::uint32_t kInactiveTitleBarColor = kSystemColorBase + 3;
inline constexpr std::uint32_t kButtonFaceColor = kSystemColorBase + 15;

class Form {
public:
    virtual ~Form() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& caption) = 0;
    // Starts closing the window; the close query runs first and may keep it open.
    virtual void close() = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& caption) = 0;
    virtual std::uint32_t backColor() const = 0;
    virtual void setBackColor(std::uint32_t color) = 0;
};

class TextBox {
public:
    virtual ~TextBox() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
};

class MenuItem {
public:
    virtual ~MenuItem() = default;
    virtual bool checked() const = 0;
    virtual void setChecked(bool checked) = 0;
};

class ToolBar {
public:
    virtual ~ToolBar() = default;
    virtual bool visible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

enum class PaneId { Html, Css, Js };

// Where a run of lines of a previewed page came from: the page's lines from `pageLine` on are the
// lines of `pane` from `paneLine` on, up to the next run. Lines count from 1.
struct LineRun {
    int pageLine = 1;
    PaneId pane = PaneId::Html;
    int paneLine = 1;
};

// A pane whose file the page loads, with the pane's text in place of what the file holds.
struct LinkedPane {
    PaneId pane = PaneId::Css;
    std::string path;
    std::string text;
};

// What the run button shows: the page's text, shown at the address of a local file so that its
// relative references resolve in that file's folder, and the panes' texts that stand in for their
// files.
struct PreviewPage {
    std::string address;
    std::string text;
    std::vector<LinkedPane> linked;
    std::vector<LineRun> lines;
};

class Browser {
public:
    virtual ~Browser() = default;
    // An address as text: a web address, or a plain file path that the browser turns into a file URL.
    virtual void navigate(const std::string& address) = 0;
    // Shows the page from memory; no file is read for the page itself or for a linked pane's file.
    virtual void showPage(const PreviewPage& page) = 0;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual std::string getText() = 0;  // empty when the clipboard holds no text
    virtual void setText(const std::string& text) = 0;
};

enum class Answer { Yes, No };

class Prompt {
public:
    virtual ~Prompt() = default;
    // A modal box with Yes and No, Yes the default, no icon.
    virtual Answer askYesNo(const std::string& prompt, const std::string& title) = 0;
    // A modal box with one OK button and the information icon.
    virtual void tell(const std::string& message, const std::string& title) = 0;
};

class Launcher {
public:
    virtual ~Launcher() = default;
    // Opens a web address in the user's web browser without waiting for it.
    virtual void openUrl(const std::string& url) = 0;
};

struct LocalTime {
    std::string shortDate;  // the user's short date format
    std::string longTime;   // the user's long time format
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() = 0;
};

}  // namespace corvane
