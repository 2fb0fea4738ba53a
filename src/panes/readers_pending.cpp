#include "panes/rtf_reader.h"
#include "panes/text_decoder.h"
namespace corvane {
std::string decodeText(std::string_view bytes) { return std::string(bytes); }
bool looksLikeRtf(std::string_view) { return false; }
RichDocument readRtf(std::string_view) { return {}; }
}
