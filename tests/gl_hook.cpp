#include "gl_hook.hpp"

#include <dlfcn.h>

#include <cstring>

extern "C" void* glXGetProcAddressARB(const unsigned char* name);

namespace {

using ProcAddress = void* (*)(const unsigned char*);

// libGL's own glXGetProcAddressARB (this module links libGL).
ProcAddress realProcAddress()
{
    static const auto real = reinterpret_cast<ProcAddress>(dlsym(RTLD_NEXT, "glXGetProcAddressARB"));
    return real;
}

void* replacementFor(const char* name)
{
    if (!name)
        return nullptr;
    for (std::size_t i = 0; i < gl_hook::replacementCount; ++i)
        if (std::strcmp(name, gl_hook::replacements[i].name) == 0)
            return gl_hook::replacements[i].function;
    // The library may fetch glXGetProcAddress itself through it, and then
    // ask that for the GL functions: it gets ours too.
    if (std::strcmp(name, "glXGetProcAddressARB") == 0 || std::strcmp(name, "glXGetProcAddress") == 0)
        return reinterpret_cast<void*>(&glXGetProcAddressARB);
    return nullptr;
}

} // namespace

void* gl_hook::real(const char* name)
{
    const ProcAddress procAddress = realProcAddress();
    return procAddress ? procAddress(reinterpret_cast<const unsigned char*>(name)) : nullptr;
}

extern "C" void* glXGetProcAddressARB(const unsigned char* name)
{
    if (void* ours = replacementFor(reinterpret_cast<const char*>(name)))
        return ours;
    const ProcAddress procAddress = realProcAddress();
    return procAddress ? procAddress(name) : nullptr;
}

extern "C" void* glXGetProcAddress(const unsigned char* name)
{
    return glXGetProcAddressARB(name);
}

// Whoever opens libGL by name gets this module: a lookup in it finds our
// functions first, then libGL's, a dependency of ours. Every other file is
// opened as asked.
extern "C" void* dlopen(const char* file, int mode)
{
    using Open = void* (*)(const char*, int);
    static const auto next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "dlopen"));
    if (file && (std::strcmp(file, "libGL.so.1") == 0 || std::strcmp(file, "libGL.so") == 0))
    {
        Dl_info self{};
        if (dladdr(reinterpret_cast<void*>(&glXGetProcAddressARB), &self) && self.dli_fname)
            if (void* module = next(self.dli_fname, mode | RTLD_NOLOAD))
                return module;
    }
    return next(file, mode);
}
