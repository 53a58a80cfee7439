// Soak: the game under a flood of pointer motion in and out of its window
// and keys other than Backspace. Once a second it must show the Adept at a
// fresh pointer position (frames keep being presented); its resident memory
// after the warm-up must grow by less than 1 MiB; Backspace must then end it
// with status 0. Prints its figures; exits 1 when any of that fails.
//
//   soak [--seconds S]     (default 600; the warm-up is the first minute,
//                          or the first third of a shorter run)

#include "support.hpp"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

using namespace harness;

namespace {

double residentMiB(pid_t pid)
{
    std::istringstream statm(readFile("/proc/" + std::to_string(pid) + "/statm"));
    long long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident * sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 600;
    if (argc == 3 && std::string(argv[1]) == "--seconds")
        seconds = std::max(3.0, std::strtod(argv[2], nullptr));
    else if (argc != 1)
    {
        std::fprintf(stderr, "usage: soak [--seconds S]\n");
        return 2;
    }
    const double warmUp = std::min(60.0, seconds / 3);

    try
    {
        startXvfb();
        ScratchDir dir;
        dir.writeAssets();
        const fs::path probe = dir.path / "frames";
        RunOptions options;
        options.extraEnv = {preload(VORTHANE_FRAME_PROBE), "VORTHANE_PROBE_OUT=" + probe.string()};
        Game game(gameExecutable(), dir.path, options);
        const Window window = findGameWindow();
        if (!window)
            throw std::runtime_error("no window: " + game.err());
        sleepFor(0.5);
        const Geometry where = rootGeometry(window);

        const unsigned long keys[] = {XK_Escape, XK_Return, XK_space, XK_a, XK_z, XK_Delete, XK_Tab,
                                      XK_Left,   XK_F1,     XK_F12,   XK_Shift_L, XK_Control_L, XK_Alt_L};
        std::mt19937 random(20261211);
        long motions = 0, presses = 0, checks = 0, missed = 0;
        double atWarmUp = -1, highest = 0;
        const auto start = std::chrono::steady_clock::now();
        auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };

        std::printf("soak: %.0f s, warm-up %.0f s\n   time    RSS MiB   motions   presses   checks  missed\n", seconds,
                    warmUp);
        for (int second = 1; elapsed() < seconds && game.running(); ++second)
        {
            // A second of flood: the pointer anywhere on the screen, in and out of the window.
            const auto until = start + std::chrono::duration<double>(second);
            while (std::chrono::steady_clock::now() < until)
            {
                for (int i = 0; i < 20; ++i, ++motions)
                    XTestFakeMotionEvent(x(), -1, static_cast<int>(random() % screenWidth),
                                         static_cast<int>(random() % screenHeight), CurrentTime);
                const unsigned long keysym = keys[random() % (sizeof keys / sizeof keys[0])];
                key(keysym, true);
                key(keysym, false);
                ++presses;
                sleepFor(0.01);
            }

            // Then the Adept must turn up where the pointer now rests.
            const int px = 100 + static_cast<int>(random() % 1700), py = 100 + static_cast<int>(random() % 880);
            movePointer(where.x + px, where.y + py);
            ++checks;
            const bool seen = waitUntil(
                [&] {
                    const Shot shot = grab(window);
                    return shot.width > 0 && shot.at(px, py) == adeptColour && shot.at(px - 1, py) != adeptColour;
                },
                5);
            missed += !seen;

            const double rss = residentMiB(game.pid);
            if (atWarmUp < 0 && elapsed() >= warmUp)
                atWarmUp = rss;
            if (atWarmUp >= 0)
                highest = std::max(highest, rss);
            if (second % 10 == 0 || elapsed() >= seconds)
                std::printf("%7.0f s %9.2f %9ld %9ld %8ld %7ld\n", elapsed(), rss, motions, presses, checks, missed);
            if (second == static_cast<int>(warmUp))
                kill(game.pid, SIGUSR1);
        }
        kill(game.pid, SIGUSR1);
        const double atEnd = residentMiB(game.pid);

        const auto status = holdBackspaceUntilExit(game, window);

        std::istringstream report(readFile(probe));
        std::string word;
        long long firstWall = 0, firstCpu = 0, wall[2] = {}, cpu[2] = {};
        long frames[2] = {};
        report >> word >> firstWall >> firstCpu >> word >> frames[0] >> wall[0] >> cpu[0] >> word >> frames[1] >>
            wall[1] >> cpu[1];
        const double fps = report ? static_cast<double>(frames[1] - frames[0]) /
                                        (static_cast<double>(wall[1] - wall[0]) / 1e9)
                                  : 0;

        const double growth = atEnd - atWarmUp;
        const bool ended = status && describeStatus(*status) == "exit status 0";
        std::printf("\nframes presented per second after the warm-up: %.1f\n", fps);
        std::printf("checks: %ld, Adept not seen at the pointer within 5 s: %ld\n", checks, missed);
        std::printf("resident memory: %.2f MiB after the warm-up, %.2f MiB at the end (highest %.2f): growth %.3f MiB\n",
                    atWarmUp, atEnd, highest, growth);
        std::printf("Backspace: %s\n", status ? describeStatus(*status).c_str() : "the game did not end");
        const bool passed = missed == 0 && fps > 0 && growth < 1.0 && ended;
        std::printf("soak %s\n", passed ? "passed" : "FAILED");
        stopXvfb();
        return passed ? 0 : 1;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "soak: %s\n", error.what());
        stopXvfb();
        return 1;
    }
}
