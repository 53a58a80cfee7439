// The Windows release as a player unpacks it, run under Wine on a private
// Xvfb and checked from outside like the Linux game: the start-up log, the
// window, the scene against the Linux build's pixels, the endings, the
// launcher and the asset guard. One Wine session serves the whole run.

// GoogleTest first: Xlib defines macros (None, Bool, Status) that clash with it.
#include <gtest/gtest.h>

#include "expected_log.hpp"
#include "support.hpp"

#include <X11/keysym.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

using namespace harness;

namespace {

const fs::path release = VORTHANE_WINDOWS_RELEASE;
const fs::path wine = VORTHANE_WINE;
const fs::path launcherName = "TheHestrel'sHolyLauncher.bat";

// Runs a Wine tool (wineboot, wineserver) to its end.
bool runToEnd(const fs::path& program, const std::vector<std::string>& args, double seconds)
{
    RunOptions options;
    options.args = args;
    Game tool(program, fs::temp_directory_path(), options);
    const auto status = tool.waitExit(seconds);
    return status && describeStatus(*status) == "exit status 0";
}

fs::path wineTool(const char* name) { return wine.parent_path() / name; }

class WineSession : public ::testing::Environment
{
public:
    void SetUp() override
    {
        startXvfb();
        setenv("WINEPREFIX", VORTHANE_WINE_PREFIX, 1);
        setenv("WINEDEBUG", "-all", 1);
        // No offers to install Mono or Gecko: the game needs neither.
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        if (!fs::exists(fs::path(VORTHANE_WINE_PREFIX) / "system.reg"))
        {
            ASSERT_TRUE(runToEnd(wineTool("wineboot"), {"--init"}, 300)) << "wineboot failed";
        }
        RunOptions options;
        options.args = {VORTHANE_WINE_KEEPER};
        keeper = std::make_unique<Game>(wine, fs::temp_directory_path(), options);
        sleepFor(2);
        ASSERT_TRUE(keeper->running()) << "wineKeeper.exe did not stay: " << keeper->err();
    }
    void TearDown() override
    {
        // Stops every Windows process of the session, the keeper too.
        runToEnd(wineTool("wineserver"), {"-k"}, 60);
        keeper.reset();
        stopXvfb();
    }

private:
    std::unique_ptr<Game> keeper;
};

const auto* const session = ::testing::AddGlobalTestEnvironment(new WineSession);

// Windows writes text mode: every line feed goes out as CR LF.
std::string crlf(const std::string& text)
{
    std::string result;
    for (const char c : text)
        result += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return result;
}

// A copy of the release's assets, with any of them taken away or replaced.
struct Assets : ScratchDir
{
    Assets()
    {
        for (const char* file : {"VorthaneBoi.png", "robotToFix.png", "chintzy.ttf"})
            fs::copy_file(release / "assets" / file, path / file);
    }
};

// The Windows game started by Wine in `workDir`.
std::unique_ptr<Game> startOnWine(const fs::path& workDir, const std::vector<std::string>& args = {})
{
    RunOptions options;
    options.args = args.empty() ? std::vector<std::string>{(release / "vorthane-run.exe").string()} : args;
    return std::make_unique<Game>(wine, workDir, options);
}

// ---- The start-up log ----------------------------------------------------------

struct LogCase
{
    const char* name;
    bool adept, robot, font;
};

TEST(WindowsStartupLog, ReportsEachAssetInTextModeAndFailsWithStatusOne)
{
    const LogCase cases[] = {
        {"adept missing", false, true, true},
        {"robot missing", true, false, true},
        {"font missing", true, true, false},
        {"all missing", false, false, false},
    };
    for (const LogCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Assets assets;
        if (!c.adept)
            fs::remove(assets.path / "VorthaneBoi.png");
        if (!c.robot)
            fs::remove(assets.path / "robotToFix.png");
        if (!c.font)
            fs::remove(assets.path / "chintzy.ttf");
        MapWatch watch;
        const auto game = startOnWine(assets.path);
        const auto status = game->waitExit(60);
        ASSERT_TRUE(status) << "the game did not end: " << game->out();
        EXPECT_EQ(describeStatus(*status), "exit status 1") << game->err();
        EXPECT_EQ(game->out(), crlf(expected_log::whole(c.adept, c.robot, c.font)));
        EXPECT_EQ(watch.mappedWindows(), 0) << "a window was shown although an asset failed";
    }
}

TEST(WindowsStartupLog, AllPresentLogsThreeSuccessesThenPlays)
{
    Assets assets;
    const auto game = startOnWine(assets.path);
    const Window window = findGameWindow(60);
    ASSERT_NE(window, 0u) << game->err();
    EXPECT_EQ(game->out(), crlf(expected_log::whole(true, true, true)));
    const auto status = holdBackspaceUntilExit(*game, window, 30);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

TEST(WindowsStartupLog, FromAnotherWorkingDirectoryEveryAssetIsMissing)
{
    // The assets lie beside the executable, as unpacked, but the game
    // reads them from its working directory only.
    ScratchDir elsewhere;
    const auto game = startOnWine(elsewhere.path);
    const auto status = game->waitExit(60);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 1");
    EXPECT_EQ(game->out(), crlf(expected_log::whole(false, false, false)));
}

// ---- The window, the scene, the endings ------------------------------------------

class WindowsGame : public ::testing::Test
{
protected:
    void SetUp() override
    {
        movePointer(screenWidth / 2, screenHeight / 2);
        game = startOnWine(assets.path);
        window = findGameWindow(60);
        ASSERT_NE(window, 0u) << "no window appeared: " << game->err();
        // Placed right after it is mapped: wait until it has settled.
        waitUntil([&] { return rootGeometry(window).x == (screenWidth - 1920) / 2; }, 10);
        where = rootGeometry(window);
    }

    Assets assets;
    std::unique_ptr<Game> game;
    Window window = 0;
    Geometry where{};
};

TEST_F(WindowsGame, IsABorderless1920x1080WindowCentredAndTitled)
{
    EXPECT_EQ(where.width, 1920);
    EXPECT_EQ(where.height, 1080);
    EXPECT_EQ(where.x, (screenWidth - 1920) / 2);
    EXPECT_EQ(where.y, (screenHeight - 1080) / 2);
    const std::string raw = property(window, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS");
    ASSERT_GE(raw.size(), 3 * sizeof(long)) << "no _MOTIF_WM_HINTS on the window";
    const auto* hints = reinterpret_cast<const long*>(raw.data());
    EXPECT_TRUE(hints[0] & (1L << 1)) << "the decorations field is not in force";
    EXPECT_EQ(hints[2], 0) << "some decorations are asked for";
    EXPECT_EQ(property(window, "_NET_WM_NAME", "UTF8_STRING"), "Vorthane Run!");
    EXPECT_TRUE(holdBackspaceUntilExit(*game, window, 30));
}

TEST_F(WindowsGame, BackspaceEndsTheRunWithStatusZero)
{
    const auto status = holdBackspaceUntilExit(*game, window, 30);
    ASSERT_TRUE(status) << "Backspace did not end the game";
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

TEST_F(WindowsGame, TheDesktopsCloseRequestEndsTheRunWithStatusZero)
{
    requestClose(window);
    const auto status = game->waitExit(30);
    ASSERT_TRUE(status) << "the close request did not end the game";
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

TEST_F(WindowsGame, EscapeAndOtherKeysDoNothing)
{
    const Geometry at = rootGeometry(window);
    movePointer(at.x + 700, at.y + 400);
    for (const unsigned long keysym : {XK_Escape, XK_Return, XK_space, XK_Delete, XK_q})
        press(keysym);
    sleepFor(1);
    EXPECT_TRUE(game->running()) << "another key ended the game";
    EXPECT_TRUE(holdBackspaceUntilExit(*game, window, 30));
}

// Waits until two grabs 0.1 s apart agree: the frame for the pointer's
// place is on the screen.
Shot settledShot(Window window)
{
    Shot settled, previous;
    waitUntil(
        [&] {
            previous = settled;
            sleepFor(0.1);
            settled = grab(window);
            return settled.width > 0 && settled.pixels == previous.pixels;
        },
        10);
    return settled;
}

TEST(WindowsScene, DrawsTheSamePixelsAsTheLinuxBuild)
{
    // The Linux game with the same assets, on the same screen, gives the
    // reference for each pointer position (in window coordinates).
    const std::pair<int, int> pointers[] = {{100, 200}, {1300, 450}, {20, 20}, {1890, 1060}, {-30, 500}};
    const int left = (screenWidth - 1920) / 2, top = (screenHeight - 1080) / 2;
    Assets assets;
    std::vector<Shot> linuxShots;
    {
        Game linux(gameExecutable(), assets.path);
        const Window window = findGameWindow();
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(waitUntil([&] { return rootGeometry(window).x == left && rootGeometry(window).y == top; }, 10));
        for (const auto& [px, py] : pointers)
        {
            movePointer(left + px, top + py);
            linuxShots.push_back(settledShot(window));
        }
        ASSERT_TRUE(holdBackspaceUntilExit(linux, window, 30));
    }

    const auto game = startOnWine(assets.path);
    const Window window = findGameWindow(60);
    ASSERT_NE(window, 0u) << game->err();
    ASSERT_TRUE(waitUntil([&] { return rootGeometry(window).x == left && rootGeometry(window).y == top; }, 10));
    for (size_t i = 0; i < linuxShots.size(); ++i)
    {
        SCOPED_TRACE("pointer at (" + std::to_string(pointers[i].first) + ", " + std::to_string(pointers[i].second) +
                     ")");
        movePointer(left + pointers[i].first, top + pointers[i].second);
        Shot shot;
        const bool same = waitUntil(
            [&] {
                shot = grab(window);
                return shot.pixels == linuxShots[i].pixels;
            },
            10);
        if (same)
            continue;
        ASSERT_EQ(shot.pixels.size(), linuxShots[i].pixels.size()) << "the windows' sizes differ";
        const auto differing = std::mismatch(shot.pixels.begin(), shot.pixels.end(), linuxShots[i].pixels.begin());
        const long at = differing.first - shot.pixels.begin();
        ADD_FAILURE() << "first differing pixel at (" << at % shot.width << ", " << at / shot.width << "): "
                      << str(*differing.first) << " on Windows, " << str(*differing.second) << " on Linux";
        shot.save(fs::current_path() / ("windows-scene-" + std::to_string(i) + ".png"));
        linuxShots[i].save(fs::current_path() / ("linux-scene-" + std::to_string(i) + ".png"));
    }
    EXPECT_TRUE(holdBackspaceUntilExit(*game, window, 30));
}

// ---- The launcher ---------------------------------------------------------------

// The launcher as Explorer starts a double-clicked script: cmd /c "<file>".
std::unique_ptr<Game> startLauncher(const fs::path& launcher, const fs::path& workDir, const fs::path& input)
{
    RunOptions options;
    options.args = {"cmd", "/c", launcher.string()};
    options.input = input;
    return std::make_unique<Game>(wine, workDir, options);
}

// A copy of the release, to take pieces away from.
struct ReleaseCopy : ScratchDir
{
    ReleaseCopy() { fs::copy(release, path / "Vorthane Run", fs::copy_options::recursive); }
    fs::path launcher() const { return path / "Vorthane Run" / launcherName; }
};

TEST(WindowsLauncher, StartsTheGameInItsAssetsFromAnotherDirectoryAndPassesTheStatusOn)
{
    ReleaseCopy copy;
    ScratchDir elsewhere;
    const auto launch = startLauncher(copy.launcher(), elsewhere.path, "/dev/null");
    const Window window = findGameWindow(60);
    ASSERT_NE(window, 0u) << launch->out() << launch->err();
    EXPECT_NE(launch->out().find("favor this most sacred font"), std::string::npos) << launch->out();
    const auto status = holdBackspaceUntilExit(*launch, window, 30);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

TEST(WindowsLauncher, AfterAFailureWaitsForAKeyOnlyWhenItsInputIsInteractive)
{
    ReleaseCopy copy;
    fs::remove(copy.path / "Vorthane Run" / "assets" / "chintzy.ttf");
    ScratchDir elsewhere;
    {
        SCOPED_TRACE("input that is not interactive: no wait");
        const auto launch = startLauncher(copy.launcher(), elsewhere.path, "/dev/null");
        const auto status = launch->waitExit(60);
        ASSERT_TRUE(status) << "the launcher waits: " << launch->out();
        EXPECT_EQ(describeStatus(*status), "exit status 1");
        EXPECT_NE(launch->out().find("the font doesn't work!"), std::string::npos) << launch->out();
    }
    {
        // A pipe kept open stands in for a console: the window stays until a key.
        SCOPED_TRACE("input held open: waits for a key");
        const fs::path fifo = elsewhere.path / "keys";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const int keys = open(fifo.c_str(), O_RDWR);
        const auto launch = startLauncher(copy.launcher(), elsewhere.path, fifo);
        EXPECT_TRUE(waitUntil([&] { return launch->out().find("Press any key") != std::string::npos; }, 60))
            << launch->out();
        sleepFor(1);
        EXPECT_TRUE(launch->running()) << "it did not wait for a key";
        EXPECT_EQ(write(keys, "\r\n", 2), 2);
        const auto status = launch->waitExit(30);
        close(keys);
        ASSERT_TRUE(status) << "a key did not end it";
        EXPECT_EQ(describeStatus(*status), "exit status 1");
    }
}

TEST(WindowsLauncher, WithoutItsAssetsFolderSaysSoAndFails)
{
    ReleaseCopy copy;
    fs::remove_all(copy.path / "Vorthane Run" / "assets");
    const auto launch = startLauncher(copy.launcher(), copy.path, "/dev/null");
    const auto status = launch->waitExit(60);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 1");
    EXPECT_NE(launch->out().find("No \"assets\" folder"), std::string::npos) << launch->out();
}

// ---- The asset guard on Windows ---------------------------------------------------

struct HostileCase
{
    const char* file;   // in tests/data/hostile
    const char* as;
};

TEST(WindowsAssetGuard, HostileFilesAreReportedAsFailedLoads)
{
    const HostileCase cases[] = {
        {"crash_jpeg_assert_extend_receive.png", "VorthaneBoi.png"},
        {"crash_jpeg_assert_extend_receive.png", "robotToFix.png"},
        {"bomb_png_20000x20000_gray1.png", "robotToFix.png"},
        {"bomb_tga_rle_26435x18754.tga", "VorthaneBoi.png"},
        {"slow_bmp_5x33554432.bmp", "robotToFix.png"},
        {"crash_font_raster_overflow.ttf", "chintzy.ttf"},
        {"crash_font_int_overflow.ttf", "chintzy.ttf"},
        {"slow_font_head_upem16.ttf", "chintzy.ttf"},
    };
    for (const HostileCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.file) + " as " + c.as);
        Assets assets;
        fs::copy_file(sourceDir() / "tests" / "data" / "hostile" / c.file, assets.path / c.as,
                      fs::copy_options::overwrite_existing);
        MapWatch watch;
        const auto game = startOnWine(assets.path);
        const auto status = game->waitExit(60);
        ASSERT_TRUE(status) << "the game hangs: " << game->out();
        EXPECT_EQ(describeStatus(*status), "exit status 1") << game->err();
        const std::string as = c.as;
        EXPECT_EQ(game->out(),
                  crlf(expected_log::whole(as != "VorthaneBoi.png", as != "robotToFix.png", as != "chintzy.ttf")));
        EXPECT_NE(game->err().find(c.as), std::string::npos) << "stderr names the refused file:\n" << game->err();
        EXPECT_EQ(watch.mappedWindows(), 0);
    }
}

// ---- Wine itself --------------------------------------------------------------------

TEST(WindowsUnderWine, TwentyLaunchesInARowAllPlay)
{
    Assets assets;
    int played = 0;
    for (int launch = 1; launch <= 20; ++launch)
    {
        const auto game = startOnWine(assets.path);
        const Window window = findGameWindow(60);
        const auto status = window ? holdBackspaceUntilExit(*game, window, 30) : std::nullopt;
        if (status && describeStatus(*status) == "exit status 0")
            ++played;
        else
            ADD_FAILURE() << "launch " << launch << " failed: " << game->err();
    }
    EXPECT_EQ(played, 20);
}

} // namespace
