#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// What a printer dialog hands back: the printer that a pane prints on. Its device is the
// platform's own type, defined by the platform layer that makes it; the logic only hands it from
// the dialog to the pane, as a device context is handed on.
class Printer {
public:
    class Device;
    explicit Printer(Device* device = nullptr) : device_(device) {}
    Device* device() const { return device_; }

private:
    Device* device_;
};

// The properties one common dialog keeps between uses. Every open, save, print, font and colour
// dialog is shown by the same object, so a value one command leaves is what the next one sees.
struct CommonDialogProperties {
    std::string DialogTitle;
    std::string Filter;  // "description|pattern|description|pattern…"
    std::string FileName;
    std::int32_t Flags = 0;
    std::string FontName;
    float FontSize = 0;
    bool FontBold = false;
    bool FontItalic = false;
    bool FontUnderline = false;
    bool FontStrikethru = false;
    std::int32_t Color = 0;  // 0x00BBGGRR
};

// Printer dialog options.
inline constexpr std::int32_t kPdSelection = 1;
inline constexpr std::int32_t kPdNoPageNums = 8;
inline constexpr std::int32_t kPdReturnDc = 256;
// Font dialog options: list screen and printer fonts.
inline constexpr std::int32_t kCfBoth = 3;

class CommonDialog {
public:
    virtual ~CommonDialog() = default;

    CommonDialogProperties& props() { return props_; }
    const CommonDialogProperties& props() const { return props_; }

    // Each returns whether the user accepted. A cancelled file dialog leaves FileName empty; a
    // cancelled font or colour dialog leaves the font and colour values as they were.
    virtual bool ShowOpen() = 0;
    virtual bool ShowSave() = 0;
    virtual bool ShowPrinter() = 0;
    virtual bool ShowFont() = 0;
    virtual bool ShowColor() = 0;

    // The printer the last accepted printer dialog chose.
    virtual Printer& hDC() = 0;

protected:
    CommonDialogProperties props_;
};

}  // namespace corvane
