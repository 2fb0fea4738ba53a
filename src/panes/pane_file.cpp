#include "panes/pane_file.h"

#include "panes/file_io.h"
#include "panes/rtf_reader.h"
#include "panes/text_decoder.h"

namespace corvane {

void LoadFile(RichEdit& pane, const std::string& path) {
    const std::string bytes = readFileBytes(path, kMaxPaneFileBytes);
    if (looksLikeRtf(bytes)) {
        pane.loadRichText(readRtf(bytes));
    } else {
        pane.loadPlainText(decodeText(bytes));
    }
}

void SaveFile(RichEdit& pane, const std::string& path) { writeFileAtomic(path, pane.plainText()); }

}  // namespace corvane
