// The asset guard on POSIX systems: each trial runs in a forked child.
#include "assetGuard.hpp"

#include "assetTrial.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

// Generous for a real asset, far short of what the damaged files take
// (tens of seconds and gigabytes).
constexpr int trialMilliseconds = 2500;
constexpr unsigned long long trialExtraBytes = 768ULL << 20;
// Room for any diagnostic the library writes; a trial that writes more is
// stopped (SIGXFSZ) like one that stalls.
constexpr rlim_t trialLargestDiagnostics = 1 << 20;

struct Trial
{
    const char* fileName = nullptr;
    pid_t child = -1;             // -1: the trial could not be started
    int verdict = -1;             // read end of the pipe the child answers on
    std::FILE* diagnostics = nullptr;   // the child's standard error, if a file could be made
    long long deadlineMs = 0;
};

Trial trials[3];

long long nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Caps the child's address space at what it has now plus the trial's share.
void limitMemory()
{
    unsigned long long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        char line[128] = {};
        if (std::fgets(line, sizeof line, statm))
            pages = std::strtoull(line, nullptr, 10);
        (void)std::fclose(statm);
    }
    const auto bytes = pages * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE)) + trialExtraBytes;
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
}

void start(Trial& trial, const char* fileName, const std::function<bool()>& load)
{
    trial.fileName = fileName;
    trial.diagnostics = std::tmpfile();
    int answer[2];
    if (pipe(answer) != 0)
        return;   // cannot check: leave the file to the library, as without the guard
    trial.deadlineMs = nowMs() + trialMilliseconds;
    trial.child = fork();
    if (trial.child == 0)
    {
        // Only the trial runs here; _exit skips destructors and exit
        // handlers, so nothing of the parent's is torn down twice. The alarm
        // ends the child even if the parent is gone before it can.
        close(answer[0]);
        alarm(trialMilliseconds / 1000 + 2);
        if (trial.diagnostics)
            dup2(fileno(trial.diagnostics), STDERR_FILENO);
        const rlimit diagnostics{trialLargestDiagnostics, trialLargestDiagnostics};
        setrlimit(RLIMIT_FSIZE, &diagnostics);
        limitMemory();
        const char verdict = load() ? 'y' : 'n';
        if (write(answer[1], &verdict, 1) != 1)
            _exit(2);
        _exit(0);
    }
    close(answer[1]);
    if (trial.child < 0)
        close(answer[0]);
    else
        trial.verdict = answer[0];
}

// Passes what the child wrote to standard error on to ours.
void relayDiagnostics(std::FILE* diagnostics)
{
    if (!diagnostics)
        return;
    std::rewind(diagnostics);
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, diagnostics)) > 0)
        (void)std::fwrite(buffer, 1, count, stderr);
    (void)std::fclose(diagnostics);
}

} // namespace

void assetGuard::startTrials(const char* adeptImage, const char* robotImage, const char* fontFile, const char* text,
                             unsigned characterSize, float outlineThickness)
{
    // Nothing buffered may be written twice by a child.
    (void)std::fflush(nullptr);
    start(trials[0], adeptImage, [=] { return assetTrial::imageLoads(adeptImage); });
    start(trials[1], robotImage, [=] { return assetTrial::imageLoads(robotImage); });
    start(trials[2], fontFile,
          [=] { return assetTrial::fontLoads(fontFile, text, characterSize, outlineThickness); });
}

bool assetGuard::passedTrial(const char* fileName)
{
    Trial* trial = nullptr;
    for (Trial& t : trials)
        if (t.fileName && std::strcmp(t.fileName, fileName) == 0)
            trial = &t;
    if (!trial || trial->child < 0)
    {
        if (trial && trial->diagnostics)
            (void)std::fclose(trial->diagnostics);
        return true;   // never started: leave the file to the library
    }

    pollfd wait{trial->verdict, POLLIN, 0};
    int ready = 0;
    do
    {
        const long long left = trial->deadlineMs - nowMs();
        ready = poll(&wait, 1, left > 0 ? static_cast<int>(left) : 0);
    } while (ready < 0 && errno == EINTR);
    char verdict = 'n';
    const bool answered = ready == 1 && read(trial->verdict, &verdict, 1) == 1;
    close(trial->verdict);
    const bool timedOut = ready == 0;
    if (!answered)
        kill(trial->child, SIGKILL);
    int status = 0;
    while (waitpid(trial->child, &status, 0) < 0 && errno == EINTR)
    {
    }

    relayDiagnostics(trial->diagnostics);
    if (timedOut)
        (void)std::fprintf(stderr,
                           "Failed to load \"%s\": it is damaged or far too large (it took over %.1f s to read)\n",
                           fileName, trialMilliseconds / 1000.0);
    else if (WIFSIGNALED(status))
        (void)std::fprintf(stderr, "Failed to load \"%s\": it is damaged (reading it crashed with signal %d)\n",
                           fileName, WTERMSIG(status));
    else if (!answered)
        (void)std::fprintf(stderr, "Failed to load \"%s\": it is damaged (reading it ended with status %d)\n",
                           fileName, WEXITSTATUS(status));
    (void)std::fflush(stderr);
    return answered && verdict == 'y' && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
