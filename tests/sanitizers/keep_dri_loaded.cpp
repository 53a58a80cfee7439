// Preloaded into the game in the sanitizer run. libGL loads Mesa's driver
// with dlopen() and unloads it at exit, before LeakSanitizer looks: the
// driver's live allocations would then show as leaks from an unknown module,
// which no suppression can name. Pinning the driver keeps them reachable, so
// the leak check sees the program as it really is.
#include <dlfcn.h>

__attribute__((constructor)) static void keepDriverLoaded()
{
    dlopen(VORTHANE_DRI_DRIVER, RTLD_LAZY | RTLD_NODELETE);
}
