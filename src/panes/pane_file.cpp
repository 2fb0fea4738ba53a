#include "panes/pane_file.h"

#include "panes/file_io.h"
#include "panes/rtf_reader.h"
#include "panes/text_decoder.h"

namespace corvane {

void LoadFile(RichEdit& pane, const std::string& path) {
    std::string bytes = readFileBytes(path, kMaxPaneFileBytes);
    // The bytes go once they are read: the pane is given a long file while one copy fewer of it
    // is held.
    if (looksLikeRtf(bytes)) {
        const RichDocument document = readRtf(bytes);
        std::string().swap(bytes);
        pane.loadRichText(document);
    } else {
        const std::string text = decodeText(bytes);
        std::string().swap(bytes);
        pane.loadPlainText(text);
    }
}

void SaveFile(RichEdit& pane, const std::string& path) {
    writeFileAtomicFrom(path, [&pane](const ByteSink& sink) { pane.writePlainText(sink); });
}

}  // namespace corvane
