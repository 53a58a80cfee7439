// Preloaded into the game by a test: the game's opaque black clear colour
// becomes grey, everything else passes through unchanged. gl_hook.hpp says
// how the call is caught whichever way the library reaches GL.
#include "gl_hook.hpp"

namespace {

void clearColour(float red, float green, float blue, float alpha)
{
    using ClearColour = void (*)(float, float, float, float);
    static const auto real = reinterpret_cast<ClearColour>(gl_hook::real("glClearColor"));
    if (red == 0.f && green == 0.f && blue == 0.f && alpha == 1.f)
        real(0.25f, 0.25f, 0.25f, 1.f);
    else
        real(red, green, blue, alpha);
}

} // namespace

const gl_hook::Replacement gl_hook::replacements[] = {{"glClearColor", reinterpret_cast<void*>(&clearColour)}};
const std::size_t gl_hook::replacementCount = 1;

extern "C" void glClearColor(float red, float green, float blue, float alpha)
{
    clearColour(red, green, blue, alpha);
}
