#pragma once

#include <string>
#include <string_view>

namespace corvane::text {

inline constexpr std::string_view kHtmlCaption = "HTML代码编辑区";
inline constexpr std::string_view kHtmlUnsaved = "HTML代码编辑区(未保存)";
inline constexpr std::string_view kCssCaption = "CSS代码编辑区";
inline constexpr std::string_view kCssUnsaved = "CSS代码编辑区(未保存)";
inline constexpr std::string_view kJsCaption = "JS代码编辑区";
inline constexpr std::string_view kJsUnsaved = "JS代码编辑区(未保存)";

inline constexpr std::string_view kHtmlFilter = "html超文本文件(*.html)|*.html";
inline constexpr std::string_view kCssFilter = "CSS文件(*.css)|*.css";
inline constexpr std::string_view kJsFilter = "js文件(*.js)|*.js";
inline constexpr std::string_view kOpenFilter =
    "html超文本文件|*.html|Text文本文件|*.txt|Word文本文件|*.doc|RTF文本文件|*.rtf|C语言文件|*.C|"
    "HTML源文件|*.html|CSS源文件|*.css|JS源文件|*.js|INF文件|*.inf|INI文本文件|*.ini|ASM文本文件|*.asm|"
    "log文件|*.log|BAT源文件|*.bat|所有文件|*.*";

inline constexpr std::string_view kOpenTitle = "打开";
inline constexpr std::string_view kSaveAsTitle = "另存为";

inline constexpr std::string_view kQuitPrompt = "当前记录尚未保存，确认要退出?";
inline constexpr std::string_view kQuitTitle = "提示";

inline constexpr std::string_view kClockPrefix = "现在是:";

inline constexpr std::string_view kOpenedTitle = "打开";
inline constexpr std::string_view kSaveTitle = "保存";

// The Encoding Standard writes a few names in lower case; the user sees them as they are usually written.
inline std::string encodingDisplayName(std::string_view encoding) {
    return encoding == "gb18030" ? std::string("GB18030") : std::string(encoding);
}

// Told after Open when some bytes of the file could not be read in its encoding.
inline std::string unreadableBytesMessage(std::size_t count, std::string_view encoding) {
    return "此文件中有 " + std::to_string(count) + " 个字节无法按 " + encodingDisplayName(encoding) +
           " 编码读出，窗格中以替换符号显示。这些字节会原样保留，保存时按原样写回。";
}

// Asked when a save meets a character the file's encoding cannot hold.
inline std::string unencodableMessage(std::string_view character, std::string_view encoding) {
    return "字符“" + std::string(character) + "”无法用此文件的编码 " + encodingDisplayName(encoding) +
           " 保存。\n是否改用带字节顺序标记（BOM）的 UTF-8 编码保存？浏览器会按 UTF-8 读取带此标记的文件，"
           "不论网页声明的是哪种编码。\n选“否”则不保存。";
}

inline constexpr std::string_view kRecoverTitle = "恢复未保存的内容";

// Asked at start for a journal an editor that did not end properly left; `panes` names its panes,
// one a line, and `when` is the local time of its last write.
inline std::string recoverQuestion(std::string_view panes, std::string_view when) {
    return "Corvane 上次没有正常退出，留下了以下未保存的内容（记录于 " + std::string(when) + "）：\n" +
           std::string(panes) + "是否恢复？\n选“否”则不恢复，这份内容移入 discarded 文件夹，7 天后删除。";
}

// One line of that question.
inline std::string recoverPaneLine(std::string_view caption, std::string_view path) {
    return "  " + std::string(caption) + "：" + (path.empty() ? std::string("尚无文件") : std::string(path)) +
           "\n";
}

// Told at start for a journal that is cut short or damaged.
inline std::string damagedJournalMessage(std::string_view path) {
    return "恢复文件“" + std::string(path) +
           "”已损坏或不完整，无法读取，其中的内容不能恢复。\n它已移入 discarded 文件夹，7 天后删除。";
}

inline constexpr std::string_view kJournalFailedTitle = "无法保存恢复副本";

// Told once when the journal cannot be written; typing goes on and the next write tries again.
inline std::string journalFailedMessage(std::string_view reason) {
    return "无法保存未保存内容的恢复副本，程序崩溃时这些内容可能丢失。\n" + std::string(reason) +
           "\n编辑不受影响，程序会继续尝试保存恢复副本。";
}

// Asked before a save would overwrite a file another program changed since the pane read or
// wrote it.
inline std::string changedOnDiskQuestion(std::string_view path) {
    return "文件“" + std::string(path) +
           "”在上次打开或保存之后已被其他程序修改。\n是否用窗格中的内容覆盖它？\n选“否”则不保存。";
}

}  // namespace corvane::text
