#include <gtest/gtest.h>

#include "app/composition.h"

namespace corvane {
namespace {

// Renderer strings as Mesa, Google and the GPU drivers report them.
TEST(Composition, SoftwareRasterisersAreComposedInSoftwareAndGpusThroughOpenGl) {
    struct Case {
        const char* renderer;
        Composition expected;
    } cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", Composition::Software},
        {"softpipe", Composition::Software},
        {"Software Rasterizer", Composition::Software},
        {"Imagination PowerVR Rogue GE8320", Composition::OpenGl},  // a name we do not know: a GPU
        {"Mesa DRI swrast", Composition::Software},
        {"Google SwiftShader", Composition::Software},
        {"zink (llvmpipe (LLVM 15.0.6, 256 bits))", Composition::Software},
        {"ANGLE (Microsoft, Microsoft Basic Render Driver Direct3D11)", Composition::Software},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", Composition::OpenGl},
        {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)", Composition::OpenGl},
        {"NVIDIA GeForce GTX 1060 6GB/PCIe/SSE2", Composition::OpenGl},
        {"virgl (AMD Radeon RX 6600)", Composition::OpenGl},
        {"SVGA3D; build: RELEASE;  LLVM;", Composition::OpenGl},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseComposition(nullptr, true, c.renderer), c.expected) << c.renderer;
        EXPECT_EQ(chooseComposition("", true, c.renderer), c.expected) << c.renderer;
    }
}

TEST(Composition, TheUsersSettingWinsWhereAContextCanBeMadeAndNoContextMeansSoftware) {
    EXPECT_EQ(chooseComposition("1", true, "llvmpipe (LLVM 15.0.6, 256 bits)"), Composition::OpenGl);
    EXPECT_EQ(chooseComposition("0", true, "NVIDIA GeForce GTX 1060"), Composition::Software);
    EXPECT_EQ(chooseComposition("yes", true, "llvmpipe"), Composition::Software);
    for (const char* forced : {static_cast<const char*>(nullptr), "0", "1"})
        EXPECT_EQ(chooseComposition(forced, false, ""), Composition::Software);
}

}  // namespace
}  // namespace corvane
