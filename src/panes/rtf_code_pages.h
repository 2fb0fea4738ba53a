#pragma once

#include <cstdint>
#include <string_view>

// Code pages of rich-text fonts, and the symbol fonts that have none.
namespace corvane::rtf {

// The code page Windows gives symbol fonts (\fcharset2): their bytes are glyph numbers.
inline constexpr int kSymbolCodePage = 42;

// The code page of a font's character set; 0 leaves it to the document's code page.
int charsetCodePage(int charset);

// Whether a byte opens a two-byte character in a double-byte code page.
bool isLeadByte(int codePage, unsigned char b);

enum class SymbolFont : std::uint8_t { Other, Symbol, Wingdings };

SymbolFont symbolFontNamed(std::string_view name);

// The character that glyph number `code` of a symbol font shows. Word and LibreOffice write a
// glyph as its byte, as that byte's Unicode value, or moved into the private use area at
// U+F000; all three come here. A glyph no table names stays in the private use area, where a
// symbol font installed on the system has it.
char32_t symbolCharacter(SymbolFont font, char32_t code);

}  // namespace corvane::rtf
