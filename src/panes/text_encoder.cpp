#include "panes/text_encoder.h"

#include <cstring>

#include "panes/gb18030.h"
#include "panes/iconv_converter.h"
#include "panes/utf.h"
#include "platform/platform_error.h"

namespace corvane {

namespace {

using Byte = unsigned char;

// How much of the text ends at a whole sequence: a sequence cut by the end of a piece waits for
// the rest.
std::size_t wholeLength(std::string_view text) {
    const std::size_t size = text.size();
    for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
        const auto b = static_cast<Byte>(text[size - back]);
        if ((b & 0xC0) == 0x80) continue;
        const std::size_t expected = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        return expected > back ? size - back : size;
    }
    return size;
}

void appendUnit(char32_t unit, bool bigEndian, std::string& out) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

}  // namespace

UnencodableCharacter::UnencodableCharacter(char32_t character, std::string encoding)
    : std::runtime_error("a character the file's encoding cannot hold"),
      character_(character),
      encoding_(std::move(encoding)) {}

TextEncoder::TextEncoder(const TextFormat& format, std::function<void(std::string_view)> sink)
    : format_(format), sink_(std::move(sink)) {
    const std::string& encoding = format_.encoding;
    if (encoding == "UTF-8") {
        kind_ = Kind::Utf8;
    } else if (encoding == "UTF-16LE") {
        kind_ = Kind::Utf16Le;
    } else if (encoding == "UTF-16BE") {
        kind_ = Kind::Utf16Be;
    } else if (encoding == "gb18030") {
        kind_ = Kind::Gb18030;
    } else {
        kind_ = Kind::Iconv;
        const char* name = iconvNameOf(encoding);
        if (name != nullptr) converter_ = std::make_unique<IconvConverter>(name, "UTF-8");
        if (!converter_ || !converter_->valid()) {
            throw PlatformError("保存文件", "系统不能写出 " + encoding + " 编码");
        }
    }
    lineEnd_ = format_.lineEnd == LineEnd::CrLf ? "\r\n" : format_.lineEnd == LineEnd::Cr ? "\r" : "\n";
}

TextEncoder::~TextEncoder() = default;

void TextEncoder::write(std::string_view text) {
    if (!carry_.empty()) {
        std::string joined = carry_ + std::string(text);
        carry_.clear();
        const std::size_t whole = wholeLength(joined);
        carry_.assign(joined, whole);
        writeWhole(std::string_view(joined).substr(0, whole));
        return;
    }
    const std::size_t whole = wholeLength(text);
    carry_.assign(text.substr(whole));
    writeWhole(text.substr(0, whole));
}

void TextEncoder::finish() {
    const std::string rest = std::move(carry_);
    carry_.clear();
    writeWhole(rest);
    if (kind_ == Kind::Iconv) {
        out_.clear();
        converter_->finish(out_);
        if (!out_.empty()) sink_(out_);
    }
}

void TextEncoder::writeWhole(std::string_view text) {
    // An empty view may have no data behind it, which the byte searches below must not be given.
    if (text.data() == nullptr) text = std::string_view("", 0);
    out_.clear();
    if (!started_) {
        started_ = true;
        if (format_.byteOrderMark) {
            switch (kind_) {
                case Kind::Utf8:
                    out_ += utf::kByteOrderMarkUtf8;
                    break;
                case Kind::Utf16Le:
                    out_ += "\xFF\xFE";
                    break;
                case Kind::Utf16Be:
                    out_ += "\xFE\xFF";
                    break;
                case Kind::Gb18030:
                    out_ += "\x84\x31\x95\x33";
                    break;
                case Kind::Iconv:
                    break;
            }
        }
    }
    const Byte* const begin = reinterpret_cast<const Byte*>(text.data());
    const Byte* const end = begin + text.size();
    const bool lf = format_.lineEnd == LineEnd::Lf;
    switch (kind_) {
        case Kind::Utf8: {
            // Most pieces go out as they are: nothing escaped, lines ending as the pane ends them.
            if (lf && std::memchr(text.data(), 0xED, text.size()) == nullptr) {
                if (!out_.empty()) sink_(out_);
                if (!text.empty()) sink_(text);
                return;
            }
            out_.reserve(out_.size() + text.size() + text.size() / 16);
            const auto find = [end](const Byte* from, int byte) {
                const void* found = std::memchr(from, byte, static_cast<std::size_t>(end - from));
                return found != nullptr ? static_cast<const Byte*>(found) : end;
            };
            const Byte* p = begin;
            const Byte* nextEscape = find(p, 0xED);
            while (p < end) {
                if (nextEscape < p) nextEscape = find(p, 0xED);
                const Byte* stop = nextEscape;
                if (!lf) {
                    const void* newline = std::memchr(p, '\n', static_cast<std::size_t>(stop - p));
                    if (newline != nullptr) stop = static_cast<const Byte*>(newline);
                }
                out_.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(stop - p));
                if (stop == end) break;
                Byte byte = 0;
                if (*stop == '\n') {
                    out_ += lineEnd_;
                    p = stop + 1;
                } else if (utf::readEscapedByte(stop, end, byte)) {
                    out_.push_back(static_cast<char>(byte));
                    p = stop + 3;
                } else {
                    out_.push_back(static_cast<char>(*stop));
                    p = stop + 1;
                }
            }
            break;
        }
        case Kind::Utf16Le:
        case Kind::Utf16Be: {
            const bool bigEndian = kind_ == Kind::Utf16Be;
            out_.reserve(out_.size() + text.size() * 2);
            for (const Byte* p = begin; p < end;) {
                std::size_t length = 0;
                const char32_t c = utf::decodeUtf8At(p, end, length);
                p += length;
                if (c == '\n') {
                    for (const char unit : lineEnd_) appendUnit(static_cast<Byte>(unit), bigEndian, out_);
                } else if (utf::isEscapedByte(c)) {
                    out_.push_back(static_cast<char>(c - 0xDC00));
                } else if (c >= 0x10000) {
                    appendUnit(utf::highSurrogateOf(c), bigEndian, out_);
                    appendUnit(utf::lowSurrogateOf(c), bigEndian, out_);
                } else {
                    appendUnit(c, bigEndian, out_);
                }
            }
            break;
        }
        case Kind::Gb18030: {
            const char32_t bad = gb18030::encode(text, out_, lineEnd_);
            if (bad != 0) throw UnencodableCharacter(bad, format_.encoding);
            break;
        }
        case Kind::Iconv: {
            // Runs between escaped bytes go through the converter, line ends included, so that a
            // converter with a shift state writes them in the right one.
            const Byte* p = begin;
            while (p < end) {
                run_.clear();
                Byte byte = 0;
                bool escaped = false;
                while (p < end) {
                    if (*p == 0xED && utf::readEscapedByte(p, end, byte)) {
                        escaped = true;
                        p += 3;
                        break;
                    }
                    if (*p == '\n') {
                        run_ += lineEnd_;
                    } else {
                        run_.push_back(static_cast<char>(*p));
                    }
                    ++p;
                }
                std::string_view in = run_;
                if (converter_->convert(in, out_) != IconvConverter::Stop::Done) {
                    std::size_t length = 0;
                    const auto* at = reinterpret_cast<const Byte*>(in.data());
                    throw UnencodableCharacter(utf::decodeUtf8At(at, at + in.size(), length),
                                               format_.encoding);
                }
                if (escaped) {
                    converter_->finish(out_);
                    out_.push_back(static_cast<char>(byte));
                }
            }
            break;
        }
    }
    if (!out_.empty()) sink_(out_);
}

std::string encodeText(std::string_view text, const TextFormat& format) {
    std::string out;
    TextEncoder encoder(format, [&out](std::string_view piece) { out.append(piece); });
    encoder.write(text);
    encoder.finish();
    return out;
}

}  // namespace corvane
