#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "panes/utf.h"

// The program's text (UTF-8, with escaped bytes, panes/utf.h) to Qt's strings and back: the one
// place the Qt side converts.
namespace corvane::qt {

// Escaped bytes become their lone surrogates; Qt's own conversion, used when there are none,
// would make each of their three bytes U+FFFD.
inline QString fromUtf8(std::string_view text) {
    if (!utf::hasEscapedByte(text))
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString out(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
    const std::size_t units = utf::utf8ToUtf16(text, reinterpret_cast<char16_t*>(out.data()));
    out.truncate(static_cast<qsizetype>(units));
    return out;
}

// With `separatorsAsNewlines`, paragraph and line separators become "\n", as a pane's text is
// written to a file.
inline std::string toUtf8(QStringView text, bool separatorsAsNewlines = false) {
    return utf::utf16ToUtf8(std::u16string_view(text.utf16(), static_cast<std::size_t>(text.size())),
                            separatorsAsNewlines);
}

}  // namespace corvane::qt
