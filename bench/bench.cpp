// Measures the game against a bare SFML window of the same size and
// settings, from outside both: frames presented per second and CPU per frame
// in a steady run, wall and CPU time to the first presented frame, peak
// resident memory, and the failure path (all assets missing). Runs alternate
// game / baseline / game with large art / failure path, round after round,
// so the machine's drift falls on all of them alike.
//
//   bench [--rounds N] [--seconds S]

#include "support.hpp"

#include <SFML/Graphics/Image.hpp>


#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace harness;

namespace {

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double cpuMs(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

using Figures = std::map<std::string, double>;

// One steady run of a program that shows the window and ends on Backspace.
Figures steadyRun(const fs::path& program, const fs::path& workDir, double seconds)
{
    const fs::path probe = fs::temp_directory_path() / ("vorthane-probe-" + std::to_string(getpid()));
    fs::remove(probe);
    fs::remove(probe.string() + ".first");
    RunOptions options;
    options.extraEnv = {preload(VORTHANE_FRAME_PROBE), "VORTHANE_PROBE_OUT=" + probe.string()};

    movePointer(960, 540);
    const double startMs = nowMs();
    Game game(program, workDir, options);
    if (!waitUntil([&] { return fs::exists(probe.string() + ".first"); }, 60))
        throw std::runtime_error(program.string() + " presented no frame: " + game.err());
    sleepFor(1.0);   // past the first frames' glyph and texture uploads
    kill(game.pid, SIGUSR1);
    sleepFor(seconds);
    kill(game.pid, SIGUSR1);
    const auto status = holdBackspaceUntilExit(game, 0, 30);
    if (!status || describeStatus(*status) != "exit status 0")
        throw std::runtime_error(program.string() + " did not end with status 0 on Backspace");

    std::istringstream lines(readFile(probe));
    std::string word;
    long long firstWall = 0, firstCpu = 0;
    long frames[2] = {};
    long long wall[2] = {}, cpu[2] = {};
    lines >> word >> firstWall >> firstCpu;
    for (int i = 0; i < 2; ++i)
        lines >> word >> frames[i] >> wall[i] >> cpu[i];
    if (!lines)
        throw std::runtime_error("the frame probe wrote no complete report for " + program.string());
    fs::remove(probe);
    fs::remove(probe.string() + ".first");

    const double steadyFrames = static_cast<double>(frames[1] - frames[0]);
    return {
        {"frames per second", steadyFrames / (static_cast<double>(wall[1] - wall[0]) / 1e9)},
        {"CPU ms per frame", static_cast<double>(cpu[1] - cpu[0]) / 1e6 / steadyFrames},
        {"wall ms to first frame", static_cast<double>(firstWall) / 1e6 - startMs},
        {"CPU ms to first frame", static_cast<double>(firstCpu) / 1e6},
        {"peak resident MiB", static_cast<double>(game.usage.ru_maxrss) / 1024.0},
    };
}

// The game started where none of its assets are: it must fail, and fast.
Figures failureRun(const fs::path& emptyDir)
{
    const double startMs = nowMs();
    Game game(gameExecutable(), emptyDir);
    const auto status = game.waitExit(60);
    if (!status || describeStatus(*status) != "exit status 1")
        throw std::runtime_error("the game did not fail with status 1 without its assets");
    return {{"wall ms to exit", nowMs() - startMs},
            {"CPU ms to exit", cpuMs(game.usage)},
            {"peak resident MiB", static_cast<double>(game.usage.ru_maxrss) / 1024.0}};
}

void writeNoisePng(const fs::path& file, unsigned size, unsigned seed)
{
    sf::Image image;
    image.create(size, size);
    unsigned state = seed;
    for (unsigned y = 0; y < size; ++y)
        for (unsigned x = 0; x < size; ++x)
        {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, sf::Color(static_cast<sf::Uint8>(state >> 24), static_cast<sf::Uint8>(state >> 16),
                                           static_cast<sf::Uint8>(state >> 8), (x + y) % 7 ? 255 : 0));
        }
    image.saveToFile(file.string());
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string spread(const std::vector<double>& values)
{
    char text[96];
    std::snprintf(text, sizeof text, "%9.2f (%.2f-%.2f)", median(values),
                  *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
    return text;
}

std::string ratios(const std::vector<double>& top, const std::vector<double>& bottom)
{
    std::vector<double> each;
    std::string rounds;
    for (size_t i = 0; i < top.size(); ++i)
    {
        each.push_back(top[i] / bottom[i]);
        char one[16];
        std::snprintf(one, sizeof one, "%s%.2f", i ? " " : "", each.back());
        rounds += one;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%5.2f  [", median(each));
    return text + rounds + "]";
}

struct Series
{
    std::map<std::string, std::vector<double>> values;
    void add(const Figures& figures)
    {
        for (const auto& [metric, value] : figures)
            values[metric].push_back(value);
    }
};

void table(const char* title, const Series& top, const Series& bottom, const char* topName, const char* bottomName,
           const std::vector<std::pair<std::string, std::string>>& rows)
{
    std::printf("\n%s\n", title);
    std::printf("  %-28s %-26s %-26s %s\n", "figure", topName, bottomName, "ratio: median  [per round]");
    for (const auto& [topMetric, bottomMetric] : rows)
    {
        const auto& t = top.values.at(topMetric);
        const auto& b = bottom.values.at(bottomMetric);
        std::printf("  %-28s %-26s %-26s %s\n", topMetric.c_str(), spread(t).c_str(), spread(b).c_str(),
                    ratios(t, b).c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    double seconds = 5;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--seconds" && i + 1 < argc)
            seconds = std::max(0.5, std::atof(argv[++i]));
        else
        {
            std::fprintf(stderr, "usage: bench [--rounds N] [--seconds S]\n");
            return 2;
        }
    }

    try
    {
        startXvfb(1920, 1080);
        ScratchDir large;
        writeNoisePng(large.path / "VorthaneBoi.png", 1024, 1);
        writeNoisePng(large.path / "robotToFix.png", 1024, 2);
        fs::copy_file(stagedFont(), large.path / "chintzy.ttf");
        ScratchDir empty;
        const fs::path stagedAssets = VORTHANE_STAGED_ASSETS;

        std::printf("Vorthane Run! bench: %d rounds of %.1f s steady runs on Xvfb 1920x1080x24, %ld cores\n", rounds,
                    seconds, sysconf(_SC_NPROCESSORS_ONLN));
        Series game, baseline, largeGame, failure;
        for (int round = 1; round <= rounds; ++round)
        {
            std::fprintf(stderr, "round %d/%d\n", round, rounds);
            game.add(steadyRun(gameExecutable(), stagedAssets, seconds));
            baseline.add(steadyRun(VORTHANE_BASELINE, stagedAssets, seconds));
            largeGame.add(steadyRun(gameExecutable(), large.path, seconds));
            failure.add(failureRun(empty.path));
        }
        stopXvfb();

        const std::vector<std::pair<std::string, std::string>> same = {
            {"frames per second", "frames per second"},       {"CPU ms per frame", "CPU ms per frame"},
            {"wall ms to first frame", "wall ms to first frame"}, {"CPU ms to first frame", "CPU ms to first frame"},
            {"peak resident MiB", "peak resident MiB"}};
        table("The game (its own art) against the bare window", game, baseline, "game", "baseline", same);
        table("The game with 1024x1024 images against the bare window", largeGame, baseline, "game, large art",
              "baseline", same);
        table("The game with 1024x1024 images against the game with its own art", largeGame, game, "game, large art",
              "game", same);
        table("Failure path (all assets missing) against the bare window's start", failure, baseline,
              "game, no assets", "baseline",
              {{"wall ms to exit", "wall ms to first frame"}, {"CPU ms to exit", "CPU ms to first frame"},
               {"peak resident MiB", "peak resident MiB"}});

        std::vector<double> memoryOver;
        for (size_t i = 0; i < game.values["peak resident MiB"].size(); ++i)
            memoryOver.push_back(game.values["peak resident MiB"][i] - baseline.values["peak resident MiB"][i]);
        std::printf("\nPeak resident memory over the baseline: %s MiB\n", spread(memoryOver).c_str());
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "bench: %s\n", error.what());
        stopXvfb();
        return 1;
    }
    return 0;
}
