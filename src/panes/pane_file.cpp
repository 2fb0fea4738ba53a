#include "panes/pane_file.h"

#include "panes/file_io.h"
#include "panes/rtf_reader.h"
#include "panes/text_decoder.h"
#include "panes/text_encoder.h"

namespace corvane {

LoadedFile LoadFile(RichEdit& pane, const std::string& path) {
    FileStamp stamp;
    std::string bytes = readFileBytes(path, kMaxPaneFileBytes, &stamp);
    // The bytes go once they are read: the pane is given a long file while one copy fewer of it
    // is held.
    if (looksLikeRtf(bytes)) {
        const RichDocument document = readRtf(bytes);
        std::string().swap(bytes);
        pane.loadRichText(document);
        LoadedFile loaded;
        loaded.stamp = stamp;
        return loaded;
    }
    DecodedText decoded = decodeFile(bytes, fileKindOf(path));
    std::string().swap(bytes);
    pane.loadPlainText(decoded.text);
    return LoadedFile{std::move(decoded.format), decoded.unreadableBytes, stamp};
}

FileStamp SaveFile(RichEdit& pane, const std::string& path, const TextFormat& format) {
    FileStamp stamp;
    writeFileAtomicFrom(
        path,
        [&pane, &format](const ByteSink& sink) {
            TextEncoder encoder(format, sink);
            pane.writePlainText([&encoder](std::string_view piece) { encoder.write(piece); });
            encoder.finish();
        },
        &stamp);
    return stamp;
}

}  // namespace corvane
