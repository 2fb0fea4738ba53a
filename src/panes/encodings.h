#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/text_format.h"

namespace corvane {

// What a browser takes a file for, which decides where it looks for a declared encoding.
enum class FileKind { Html, Css, Other };
FileKind fileKindOf(std::string_view path);

// The encoding a label names, after the Encoding Standard's table: "gb2312" and "GBK" read as
// "gb18030", "iso-8859-1" and "ascii" as "windows-1252". Case and surrounding spaces do not count.
// Labels of encodings the program does not read give nothing.
std::optional<std::string> encodingForLabel(std::string_view label);

// The encoding an HTML page declares with <meta charset> or <meta http-equiv="Content-Type"> in
// its first 1024 bytes, found as the HTML standard's prescan finds it.
std::optional<std::string> prescanHtmlCharset(std::string_view bytes);

// The encoding a style sheet names in a leading @charset "…"; rule.
std::optional<std::string> cssCharset(std::string_view bytes);

// The encoding and mark of a file, decided as a browser would and then by content: a byte-order
// mark; what an HTML page or a style sheet declares; UTF-16 without a mark; UTF-8 that fits a
// sample of the text; the statistical detector's guess among the legacy encodings; else GB18030.
// The line-end style is left to the reader.
TextFormat detectFormat(std::string_view bytes, FileKind kind);

// The iconv name of an encoding the program converts with iconv.
const char* iconvNameOf(std::string_view encoding);

}  // namespace corvane
