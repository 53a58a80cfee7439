// The start-up log on standard output, byte for byte, and the exit status,
// for every way the three assets can be present, missing or broken.

#include "expected_log.hpp"
#include "harness.hpp"

#include <SFML/Graphics/Texture.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>

using namespace harness;
using namespace expected_log;

namespace {

enum class State
{
    Good,
    Missing,
    Empty,
    Garbage,     // a file of the wrong kind under the right name
    Directory,
    TooWide,     // a valid image one pixel wider than the GPU's largest texture
};

struct LogCase
{
    const char* name;
    State adept, robot, font;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

void makeAsset(const fs::path& file, State state, bool isImage)
{
    switch (state)
    {
    case State::Good:
        if (isImage)
            writeSolidPng(file, 64, 64, adeptColour);
        else
            fs::copy_file(stagedFont(), file);
        break;
    case State::Missing:
        break;
    case State::Empty:
        writeFile(file, "");
        break;
    case State::Garbage:
        if (isImage)
            writeFile(file, "This is a text file, not a picture of anything.\n");
        else
            writeSolidPng(file, 16, 16, robotColour);
        break;
    case State::Directory:
        fs::create_directory(file);
        break;
    case State::TooWide:
        writeSolidPng(file, sf::Texture::getMaximumSize() + 1, 1, robotColour);
        break;
    }
}

std::string expectedLog(const LogCase& c)
{
    return whole(c.adept == State::Good, c.robot == State::Good, c.font == State::Good);
}

void makeAssets(const fs::path& dir, const LogCase& c)
{
    makeAsset(dir / "VorthaneBoi.png", c.adept, true);
    makeAsset(dir / "robotToFix.png", c.robot, true);
    makeAsset(dir / "chintzy.ttf", c.font, false);
}

class StartupLog : public ::testing::TestWithParam<LogCase>
{
};

TEST_P(StartupLog, ReportsEachAssetAndFailsWithoutAWindow)
{
    const LogCase& c = GetParam();
    ScratchDir dir;
    makeAssets(dir.path, c);

    MapWatch watch;
    Game game(gameExecutable(), dir.path);
    const auto status = game.waitExit(30);
    ASSERT_TRUE(status) << "the game did not end; output so far:\n" << game.out();
    EXPECT_EQ(describeStatus(*status), "exit status 1") << "stderr:\n" << game.err();
    EXPECT_EQ(game.out(), expectedLog(c));
    EXPECT_EQ(watch.mappedWindows(), 0) << "a window was shown although an asset failed";
}

// Runs the game on a pseudo-terminal with standard output and standard
// error both on it, as on a console; everything it wrote, and the status.
std::pair<std::string, std::optional<int>> runOnConsole(const fs::path& workDir)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const std::string slaveName = ptsname(master);
    const int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);   // bytes as written: no \r added before each \n
    tcsetattr(slave, TCSANOW, &raw);

    const pid_t pid = fork();
    if (pid == 0)
    {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(master);
        dup2(slave, STDOUT_FILENO);
        dup2(slave, STDERR_FILENO);
        if (chdir(workDir.c_str()) != 0)
            _exit(126);
        // DISPLAY is the private Xvfb's already (startXvfb sets it).
        execl(gameExecutable().c_str(), gameExecutable().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(slave);
    std::string written;
    std::optional<int> status;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;)
    {
        // Read until every writer (the game and its trial processes) is gone.
        pollfd ready{master, POLLIN, 0};
        char buffer[4096];
        if (poll(&ready, 1, 100) > 0)
        {
            const ssize_t count = read(master, buffer, sizeof buffer);
            if (count > 0)
            {
                written.append(buffer, static_cast<size_t>(count));
                continue;
            }
            if (status)
                break;   // EIO: nobody holds the terminal any more
        }
        int raw = 0;
        if (!status && waitpid(pid, &raw, WNOHANG) == pid)
            status = raw;
        if (std::chrono::steady_clock::now() > end)
        {
            if (!status)
                kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
            break;
        }
    }
    close(master);
    return {written, status};
}

// On a console, whatever the library says about an asset comes after the
// previous asset's report line and before its own; an asset that loads says
// nothing, one that fails in the ordinary way is named in what is said.
TEST_P(StartupLog, OnAConsoleEachAssetsDiagnosticsComeBeforeItsLine)
{
    const LogCase& c = GetParam();
    ScratchDir dir;
    makeAssets(dir.path, c);

    const auto [console, status] = runOnConsole(dir.path);
    ASSERT_TRUE(status) << "the game did not end; so far:\n" << console;
    EXPECT_EQ(describeStatus(*status), "exit status 1");

    struct Asset
    {
        const char* file;
        State state;
        const std::string& line;
    };
    const Asset assets[] = {
        {"VorthaneBoi.png", c.adept, c.adept == State::Good ? adeptOk : adeptFailed},
        {"robotToFix.png", c.robot, c.robot == State::Good ? robotOk : robotFailed},
        {"chintzy.ttf", c.font, c.font == State::Good ? fontOk : fontFailed},
    };
    ASSERT_EQ(console.rfind(header, 0), 0u) << console;
    size_t at = header.size();
    for (const Asset& asset : assets)
    {
        SCOPED_TRACE(asset.file);
        const size_t line = console.find(asset.line, at);
        ASSERT_NE(line, std::string::npos) << "its report line is missing or out of order:\n" << console;
        const std::string said = console.substr(at, line - at);
        if (asset.state == State::Good)
            EXPECT_EQ(said, "") << "a good asset gets no diagnostic";
        else
            EXPECT_NE(said, "") << "the library's diagnostic is missing";
        // The texture size refusal names no file; every other failure does.
        if (asset.state != State::Good && asset.state != State::TooWide)
        {
            EXPECT_NE(said.find(asset.file), std::string::npos) << said;
        }
        for (const Asset& other : assets)
        {
            if (&other != &asset)
            {
                EXPECT_EQ(said.find(other.file), std::string::npos) << "another asset's diagnostic: " << said;
            }
        }
        at = line + asset.line.size();
    }
    EXPECT_EQ(console.substr(at), closing) << "nothing after the last report line but the closing lines";
}

INSTANTIATE_TEST_SUITE_P(
    Assets, StartupLog,
    ::testing::Values(
        LogCase{"AdeptMissing", State::Missing, State::Good, State::Good},
        LogCase{"RobotMissing", State::Good, State::Missing, State::Good},
        LogCase{"FontMissing", State::Good, State::Good, State::Missing},
        LogCase{"AllMissing", State::Missing, State::Missing, State::Missing},
        LogCase{"AdeptEmpty", State::Empty, State::Good, State::Good},
        LogCase{"RobotEmpty", State::Good, State::Empty, State::Good},
        LogCase{"FontEmpty", State::Good, State::Good, State::Empty},
        LogCase{"AdeptNotAnImage", State::Garbage, State::Good, State::Good},
        LogCase{"RobotNotAnImage", State::Good, State::Garbage, State::Good},
        LogCase{"FontIsAnImage", State::Good, State::Good, State::Garbage},
        LogCase{"AdeptIsADirectory", State::Directory, State::Good, State::Good},
        LogCase{"RobotIsADirectory", State::Good, State::Directory, State::Good},
        LogCase{"FontIsADirectory", State::Good, State::Good, State::Directory},
        LogCase{"AdeptWiderThanTheGpuAllows", State::TooWide, State::Good, State::Good},
        LogCase{"RobotWiderThanTheGpuAllows", State::Good, State::TooWide, State::Good},
        // Every asset is tried even after one has failed.
        LogCase{"AdeptMissingAndFontEmpty", State::Missing, State::Good, State::Empty},
        LogCase{"AdeptAndRobotBroken", State::Garbage, State::Directory, State::Good}),
    [](const ::testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

// Files that crash the library, or stall it for long and claim gigabytes,
// are reported like any asset that fails to load.
struct HostileCase
{
    const char* file;   // in tests/data/hostile
    const char* as;     // the asset it stands in for
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.file << " as " << c.as; }

class HostileAsset : public ::testing::TestWithParam<HostileCase>
{
};

TEST_P(HostileAsset, IsReportedAsAFailedLoad)
{
    const HostileCase& c = GetParam();
    ScratchDir dir;
    dir.writeAssets();
    fs::copy_file(sourceDir() / "tests" / "data" / "hostile" / c.file, dir.path / c.as,
                  fs::copy_options::overwrite_existing);

    MapWatch watch;
    Game game(gameExecutable(), dir.path);
    const auto status = game.waitExit(60);
    ASSERT_TRUE(status) << "the game hangs; output so far:\n" << game.out();
    EXPECT_EQ(describeStatus(*status), "exit status 1") << "stderr:\n" << game.err();
    const std::string as = c.as;
    EXPECT_EQ(game.out(), expectedLog({"", as == "VorthaneBoi.png" ? State::Garbage : State::Good,
                                       as == "robotToFix.png" ? State::Garbage : State::Good,
                                       as == "chintzy.ttf" ? State::Garbage : State::Good}));
    EXPECT_EQ(watch.mappedWindows(), 0);
    EXPECT_NE(game.err().find(c.as), std::string::npos) << "stderr names the refused file:\n" << game.err();
    EXPECT_LT(game.usage.ru_maxrss, 1L << 20) << "peak resident KiB of the game itself";
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileAsset,
    ::testing::Values(HostileCase{"crash_jpeg_assert_extend_receive.png", "VorthaneBoi.png"},
                      HostileCase{"crash_jpeg_assert_extend_receive.png", "robotToFix.png"},
                      HostileCase{"bomb_png_20000x20000_gray1.png", "robotToFix.png"},
                      HostileCase{"bomb_tga_rle_26435x18754.tga", "VorthaneBoi.png"},
                      HostileCase{"slow_bmp_5x33554432.bmp", "robotToFix.png"},
                      HostileCase{"crash_font_raster_overflow.ttf", "chintzy.ttf"},
                      HostileCase{"crash_font_int_overflow.ttf", "chintzy.ttf"},
                      HostileCase{"slow_font_head_upem16.ttf", "chintzy.ttf"}),
    [](const ::testing::TestParamInfo<HostileCase>& info) {
        std::string name = std::string(info.param.file).substr(0, std::string(info.param.file).find('.')) + "_as_" +
                           std::string(info.param.as).substr(0, std::string(info.param.as).find('.'));
        return name;
    });

TEST(StartupLog, AllPresentLogsThreeSuccessesBeforeTheWindowShows)
{
    ScratchDir dir;
    dir.writeAssets();
    Game game(gameExecutable(), dir.path);
    const Window window = findGameWindow();
    ASSERT_NE(window, 0u) << "no window; stderr:\n" << game.err();
    const std::string complete = header + adeptOk + robotOk + fontOk;
    EXPECT_EQ(game.out(), complete) << "the log must be complete, and flushed, when the window shows";

    const auto status = holdBackspaceUntilExit(game, window);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 0");
    EXPECT_EQ(game.out(), complete) << "nothing more is written after the window opens";
}

TEST(StartupLog, AssetsBesideTheExecutableAreNotFoundFromAnotherDirectory)
{
    ScratchDir install;
    install.writeAssets();
    const fs::path copy = install.path / "vorthane-run";
    fs::copy_file(gameExecutable(), copy);
    ScratchDir elsewhere;

    Game game(copy, elsewhere.path);
    const auto status = game.waitExit(30);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 1");
    EXPECT_EQ(game.out(), expectedLog({"", State::Missing, State::Missing, State::Missing}));
}

TEST(StartupLog, WithNoDisplayTheLogWrittenSoFarReachesTheFile)
{
    // The library ends the process when it cannot open a display; the header
    // was written before that and must not be lost in a buffer.
    ScratchDir dir;
    dir.writeAssets();
    RunOptions noDisplay;
    noDisplay.withDisplay = false;
    Game game(gameExecutable(), dir.path, noDisplay);
    const auto status = game.waitExit(30);
    ASSERT_TRUE(status);
    EXPECT_NE(describeStatus(*status), "exit status 0");
    EXPECT_EQ(game.out(), header) << "stderr:\n" << game.err();
}

} // namespace
