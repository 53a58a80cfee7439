// What a preloaded module needs to replace GL or GLX functions in the game,
// whichever way the library reaches them. SFML 2.5 links libGL and calls it
// directly, so a function of the same name here is found first. SFML 2.6
// opens libGL.so.1 itself and looks everything up in that handle, starting
// with glXGetProcAddressARB; gl_hook.cpp hands it this module instead, which
// links libGL: its own functions come first, libGL's after them.
#pragma once

#include <cstddef>

namespace gl_hook {

struct Replacement
{
    const char* name;
    void* function;
};

// Defined by the module: the functions it replaces.
extern const Replacement replacements[];
extern const std::size_t replacementCount;

// The library's own function `name`, for a replacement to call on to.
void* real(const char* name);

} // namespace gl_hook
