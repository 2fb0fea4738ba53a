#include "app/composition.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace corvane {

bool isSoftwareRenderer(std::string_view renderer) {
    std::string lower(renderer);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // Mesa's llvmpipe, softpipe and swrast ("Software Rasterizer"), Google's SwiftShader, Vulkan's
    // lavapipe through Zink, and the renderers Windows falls back to without a driver.
    constexpr std::array<std::string_view, 8> kSoftware = {"llvmpipe", "softpipe",    "swrast",
                                                           "software", "swiftshader", "lavapipe",
                                                           "basic render driver", "gdi generic"};
    return std::any_of(kSoftware.begin(), kSoftware.end(),
                       [&lower](std::string_view name) { return lower.find(name) != std::string::npos; });
}

Composition chooseComposition(const char* forced, bool contextMade, std::string_view renderer) {
    if (!contextMade) return Composition::Software;
    const std::string_view setting = forced == nullptr ? std::string_view() : std::string_view(forced);
    if (setting == "1") return Composition::OpenGl;
    if (setting == "0") return Composition::Software;
    return isSoftwareRenderer(renderer) ? Composition::Software : Composition::OpenGl;
}

}  // namespace corvane
