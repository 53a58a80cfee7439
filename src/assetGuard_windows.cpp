// The asset guard on Windows: each trial runs in assetTrial.exe, shipped
// beside the game, inside a job object that limits its memory and ends it
// with the game. The game takes no arguments, but the trial program does:
// what to check comes on its command line.
#include "assetGuard.hpp"

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Generous for a real asset, far short of what the damaged files take
// (tens of seconds and gigabytes).
constexpr DWORD trialMilliseconds = 2500;
constexpr SIZE_T trialBytes = SIZE_T{768} << 20;

struct Trial
{
    const char* fileName = nullptr;
    HANDLE process = nullptr;       // null: the trial could not be started
    HANDLE diagnostics = nullptr;   // the child's standard error, a temporary file
    ULONGLONG deadline = 0;
};

Trial trials[3];
HANDLE job = nullptr;

// Every trial process belongs to one job: each may use trialBytes, none
// outlives the game, and a crash ends the process without a dialog.
HANDLE trialJob()
{
    if (job)
        return job;
    job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.ProcessMemoryLimit = trialBytes;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

std::wstring trialProgram()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof path / sizeof path[0]));
    std::wstring program(path, length);
    program.erase(program.find_last_of(L"\\/") + 1);
    return program + L"assetTrial.exe";
}

std::wstring widen(const std::string& text)
{
    std::wstring wide;
    for (const unsigned char c : text)
        wide += static_cast<wchar_t>(c);
    return wide;
}

// One argument, quoted as the C runtime splits command lines.
std::wstring quoted(const std::wstring& argument)
{
    std::wstring result = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument)
    {
        if (c == L'\\')
        {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

// Arbitrary text (line feeds included) as hexadecimal digits.
std::string hex(const char* text)
{
    static const char digits[] = "0123456789abcdef";
    std::string result;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c)
        result += std::string{digits[*c >> 4], digits[*c & 15]};
    return result;
}

void start(Trial& trial, const char* fileName, const std::string& arguments)
{
    trial.fileName = fileName;
    wchar_t folder[MAX_PATH + 1];
    wchar_t file[MAX_PATH + 1];
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (GetTempPathW(MAX_PATH + 1, folder) && GetTempFileNameW(folder, L"vrt", 0, file))
        trial.diagnostics = CreateFileW(file, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (trial.diagnostics == INVALID_HANDLE_VALUE)
        trial.diagnostics = nullptr;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nullptr;
    startup.hStdError = trial.diagnostics ? trial.diagnostics : GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = quoted(trialProgram()) + L" " + widen(arguments);
    PROCESS_INFORMATION started{};
    trial.deadline = GetTickCount64() + trialMilliseconds;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &started))
        return;   // cannot check: leave the file to the library, as without the guard
    if (const HANDLE limits = trialJob())
        AssignProcessToJobObject(limits, started.hProcess);
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    trial.process = started.hProcess;
}

// Passes what the child wrote to standard error on to ours.
void relayDiagnostics(HANDLE diagnostics)
{
    if (!diagnostics)
        return;
    SetFilePointer(diagnostics, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(diagnostics, buffer, sizeof buffer, &count, nullptr) && count > 0)
        (void)std::fwrite(buffer, 1, count, stderr);
    CloseHandle(diagnostics);
}

} // namespace

void assetGuard::startTrials(const char* adeptImage, const char* robotImage, const char* fontFile, const char* text,
                             unsigned characterSize, float outlineThickness)
{
    start(trials[0], adeptImage, "image \"" + std::string(adeptImage) + "\"");
    start(trials[1], robotImage, "image \"" + std::string(robotImage) + "\"");
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %u %.3f ", characterSize, static_cast<double>(outlineThickness));
    start(trials[2], fontFile, "font \"" + std::string(fontFile) + "\"" + numbers + hex(text));
}

bool assetGuard::passedTrial(const char* fileName)
{
    Trial* trial = nullptr;
    for (Trial& t : trials)
        if (t.fileName && std::strcmp(t.fileName, fileName) == 0)
            trial = &t;
    if (!trial || !trial->process)
    {
        if (trial && trial->diagnostics)
            CloseHandle(trial->diagnostics);
        return true;   // never started: leave the file to the library
    }

    const ULONGLONG now = GetTickCount64();
    const DWORD left = trial->deadline > now ? static_cast<DWORD>(trial->deadline - now) : 0;
    const bool timedOut = WaitForSingleObject(trial->process, left) == WAIT_TIMEOUT;
    if (timedOut)
    {
        TerminateProcess(trial->process, 3);
        WaitForSingleObject(trial->process, INFINITE);
    }
    DWORD status = 1;
    GetExitCodeProcess(trial->process, &status);
    CloseHandle(trial->process);

    (void)std::fflush(stderr);
    relayDiagnostics(trial->diagnostics);
    if (timedOut)
        (void)std::fprintf(stderr,
                           "Failed to load \"%s\": it is damaged or far too large (it took over %.1f s to read)\n",
                           fileName, trialMilliseconds / 1000.0);
    else if (status != 0 && status != 1)
        (void)std::fprintf(stderr, "Failed to load \"%s\": it is damaged (reading it crashed with code 0x%08lX)\n",
                           fileName, static_cast<unsigned long>(status));
    (void)std::fflush(stderr);
    return !timedOut && status == 0;
}
