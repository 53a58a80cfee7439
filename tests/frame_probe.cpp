// Preloaded into the program being measured, so that it prints nothing of
// its own: counts presented frames (glXSwapBuffers, however the library
// reaches it: see gl_hook.hpp) and notes when the first
// one was presented. SIGUSR1 takes a snapshot (frames, wall clock, CPU time
// of the process and its finished children); at exit everything goes to the file named by VORTHANE_PROBE_OUT:
//   first <wall ns> <cpu ns>
//   mark <frames> <wall ns> <cpu ns>      (one line per SIGUSR1, at most 2)
// and the file "$VORTHANE_PROBE_OUT.first" appears at the first frame.

#include "gl_hook.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Snapshot
{
    long frames = 0;
    long long wallNs = 0, cpuNs = 0;
};

long frames = 0;
Snapshot first;
Snapshot marks[2];
volatile sig_atomic_t markCount = 0;

long long nanoseconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// CPU time of the process and of the children it has waited for: work a
// program hands to helper processes counts as its own.
long long cpuNanoseconds()
{
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return nanoseconds(CLOCK_PROCESS_CPUTIME_ID) +
           (static_cast<long long>(children.ru_utime.tv_sec + children.ru_stime.tv_sec) * 1000000LL +
            children.ru_utime.tv_usec + children.ru_stime.tv_usec) * 1000LL;
}

Snapshot now() { return {frames, nanoseconds(CLOCK_MONOTONIC), cpuNanoseconds()}; }

void mark(int)
{
    if (markCount < 2)
        marks[markCount++] = now();
}

__attribute__((constructor)) void install()
{
    struct sigaction action{};
    action.sa_handler = mark;
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
}

__attribute__((destructor)) void report()
{
    const char* path = std::getenv("VORTHANE_PROBE_OUT");
    if (!path)
        return;
    if (FILE* out = std::fopen(path, "w"))
    {
        std::fprintf(out, "first %lld %lld\n", first.wallNs, first.cpuNs);
        for (int i = 0; i < markCount; ++i)
            std::fprintf(out, "mark %ld %lld %lld\n", marks[i].frames, marks[i].wallNs, marks[i].cpuNs);
        std::fclose(out);
    }
}

void swapBuffers(void* display, unsigned long drawable)
{
    using Swap = void (*)(void*, unsigned long);
    static const auto real = reinterpret_cast<Swap>(gl_hook::real("glXSwapBuffers"));
    real(display, drawable);
    if (++frames == 1)
    {
        first = now();
        if (const char* path = std::getenv("VORTHANE_PROBE_OUT"))
            close(open((std::string(path) + ".first").c_str(), O_WRONLY | O_CREAT, 0600));
    }
}

} // namespace

const gl_hook::Replacement gl_hook::replacements[] = {{"glXSwapBuffers", reinterpret_cast<void*>(&swapBuffers)}};
const std::size_t gl_hook::replacementCount = 1;

extern "C" void glXSwapBuffers(void* display, unsigned long drawable)
{
    swapBuffers(display, drawable);
}
