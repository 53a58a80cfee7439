#include "gl_hook.hpp"

#include <dlfcn.h>

#include <cstring>
#include <initializer_list>

namespace {

using Dlsym = void* (*)(void*, const char*);
using ProcAddress = void* (*)(const unsigned char*);

// The dlsym that comes after ours (glibc's, or another preloaded module's).
Dlsym nextDlsym()
{
    static const Dlsym next = [] {
        for (const char* version : {"GLIBC_2.34", "GLIBC_2.2.5", "GLIBC_2.17", "GLIBC_2.0"})
            if (void* found = dlvsym(RTLD_NEXT, "dlsym", version))
                return reinterpret_cast<Dlsym>(found);
        return Dlsym{};
    }();
    return next;
}

// libGL's own glXGetProcAddressARB: already linked in (SFML 2.5), or from
// the same libGL.so.1 the library opens (SFML 2.6).
ProcAddress realProcAddress()
{
    static const ProcAddress real = [] {
        void* found = nextDlsym()(RTLD_NEXT, "glXGetProcAddressARB");
        if (!found)
            if (void* gl = dlopen("libGL.so.1", RTLD_LAZY | RTLD_LOCAL))
                found = nextDlsym()(gl, "glXGetProcAddressARB");
        return reinterpret_cast<ProcAddress>(found);
    }();
    return real;
}

extern "C" void* glXGetProcAddressARB(const unsigned char* name);

void* replacementFor(const char* name)
{
    if (!name)
        return nullptr;
    for (std::size_t i = 0; i < gl_hook::replacementCount; ++i)
        if (std::strcmp(name, gl_hook::replacements[i].name) == 0)
            return gl_hook::replacements[i].function;
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

// Only the names above are answered differently; everything else goes on to
// the real dlsym. (A caller's RTLD_NEXT is then resolved from this module:
// neither the library nor libGL asks for it.)
extern "C" void* dlsym(void* handle, const char* name)
{
    if (void* ours = replacementFor(name))
        return ours;
    const Dlsym next = nextDlsym();
    return next ? next(handle, name) : nullptr;
}
