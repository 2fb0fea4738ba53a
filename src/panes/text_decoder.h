#pragma once
#include <string>
#include <string_view>
namespace corvane {
std::string decodeText(std::string_view bytes);
}
