// Feeds arbitrary bytes to the recovery journal's reader, as they are and with a right checksum
// line appended (so that the fuzzer gets past the checksum into the fields), and checks that a
// journal it accepts is written back byte for byte, and that applying its edits (with no base
// files to be had) never reads or writes outside the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "journal/journal_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string withChecksum(bytes);
    char end[16];
    std::snprintf(end, sizeof end, "end %08x\n", static_cast<unsigned>(corvane::crc32Of(bytes)));
    withChecksum += end;
    for (const std::string_view input : {bytes, std::string_view(withChecksum)}) {
        const std::optional<corvane::journal::Journal> journal = corvane::journal::readJournal(input);
        if (journal && corvane::journal::encodeJournal(*journal) != input)
            corvane::fuzz::fail("a journal read back is not written back as it was");
        if (journal) {
            corvane::journal::Journal complete = *journal;
            (void)corvane::journal::completeJournal(
                complete, [](const std::string&) { return std::optional<std::string>(); });
        }
    }
    return 0;
}
