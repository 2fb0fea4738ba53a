#pragma once
#include <string_view>
#include "platform/rich_document.h"
namespace corvane {
bool looksLikeRtf(std::string_view bytes);
RichDocument readRtf(std::string_view bytes);
}
