#pragma once

#include <string_view>

namespace corvane {

// How the window is put on the screen once the browser view is in it.
enum class Composition {
    // Through OpenGL: the browser view's frames go to the window as textures. Cheap on a GPU.
    OpenGl,
    // Painted by the CPU, the browser view included. On a machine whose OpenGL is itself drawn by
    // the CPU (llvmpipe and the like) this costs a small part of what composing through it does,
    // and it is the only way where no OpenGL context can be made at all.
    Software,
};

// Whether an OpenGL renderer string names a rasteriser that runs on the CPU.
bool isSoftwareRenderer(std::string_view renderer);

// The choice, from what the machine offers. `forced` is the user's setting (the CORVANE_OPENGL
// environment variable: "1" asks for OpenGL, "0" for software; anything else, or null, lets the
// machine decide). OpenGL is never chosen where no context could be made: that would crash.
Composition chooseComposition(const char* forced, bool contextMade, std::string_view renderer);

}  // namespace corvane
