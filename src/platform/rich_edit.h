#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/rich_document.h"

namespace corvane {

class Printer;

// A selection attribute read over a selection that holds both values reports Mixed.
enum class Tristate { False, True, Mixed };

// One code pane. Every operation the program asks of a pane is here; loading and saving files go
// through LoadFile/SaveFile in panes/pane_file.h, which read and write the file and hand the pane
// its content. Operations that fail throw PlatformError.
class RichEdit {
public:
    virtual ~RichEdit() = default;

    // The whole content is replaced; the change event follows.
    virtual void setText(const std::string& text) = 0;
    virtual void loadPlainText(const std::string& text) = 0;
    virtual void loadRichText(const RichDocument& document) = 0;
    // The pane's characters only, paragraphs ended by "\n".
    virtual std::string plainText() const = 0;
    // The same bytes handed to `sink` a piece at a time, so that saving a long text never holds a
    // whole second copy of it.
    virtual void writePlainText(const std::function<void(std::string_view)>& sink) const {
        sink(plainText());
    }

    // The caret, in UTF-16 units from the start of plainText().
    virtual long caretPosition() const = 0;
    virtual void setCaretPosition(long position) = 0;

    virtual std::string selText() const = 0;
    virtual void setSelText(const std::string& text) = 0;
    virtual long selLength() const = 0;

    virtual std::string selFontName() const = 0;
    virtual void setSelFontName(const std::string& name) = 0;
    virtual float selFontSize() const = 0;
    virtual void setSelFontSize(float points) = 0;
    virtual Tristate selBold() const = 0;
    virtual void setSelBold(Tristate value) = 0;
    virtual Tristate selItalic() const = 0;
    virtual void setSelItalic(Tristate value) = 0;
    virtual Tristate selUnderline() const = 0;
    virtual void setSelUnderline(Tristate value) = 0;
    virtual Tristate selStrikeThru() const = 0;
    virtual void setSelStrikeThru(Tristate value) = 0;
    virtual std::int32_t selColor() const = 0;
    virtual void setSelColor(std::int32_t color) = 0;
    virtual std::int16_t selAlignment() const = 0;
    virtual void setSelAlignment(std::int16_t code) = 0;

    // The selection with its formatting, or the whole content when nothing is selected.
    virtual void selPrint(Printer& printer) = 0;

    virtual int heightTwips() const = 0;
    virtual void setHeightTwips(int twips) = 0;
    virtual void setWordWrapOff() = 0;

    // Raised after every change of the content, never for a change of formatting alone.
    std::function<void()> onChange;

protected:
    void raiseChange() {
        if (onChange) onChange();
    }
};

// The negation a toggle command writes back: a mixed selection becomes uniformly on.
inline Tristate negate(Tristate value) { return value == Tristate::True ? Tristate::False : Tristate::True; }

}  // namespace corvane
