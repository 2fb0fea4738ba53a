#pragma once

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

}  // namespace corvane::text
