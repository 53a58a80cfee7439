// The start-up log on standard output, byte for byte, and the exit status,
// for every way the three assets can be present, missing or broken.

#include "harness.hpp"

#include <SFML/Graphics/Texture.hpp>


#include <sys/wait.h>

using namespace harness;

namespace {

const std::string header = "\n\n\n\n][-----LogOfPotentialErrors-----][\n\n\n\n";
const std::string adeptOk = "\nThe Machine Spirits favor the Adept.\n";
const std::string adeptFailed =
    "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the "
    "texture for the \nVorthane Adept doesn't work!\n";
const std::string robotOk = "\nThe Machine Spirits favor the robot that needs repair.\n";
const std::string robotFailed =
    "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the "
    "texture for the \nrobot sprite doesn't work!\n";
const std::string fontOk = "\nThe Machine Spirits favor this most sacred font.\n";
const std::string fontFailed =
    "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the font "
    "doesn't work!\n";
const std::string closing =
    "\nThe Machine Spirits are most displeased! They implore you to only start the program with \n "
    "TheHestrel'sHolyLauncher.bat."
    "\nIf you have already made sure of this you need to contact Tamsk. He can rectify your problems.\n\n\n";

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
    std::string log = header;
    log += c.adept == State::Good ? adeptOk : adeptFailed;
    log += c.robot == State::Good ? robotOk : robotFailed;
    log += c.font == State::Good ? fontOk : fontFailed;
    if (c.adept != State::Good || c.robot != State::Good || c.font != State::Good)
        log += closing;
    return log;
}

// Watches the screen for any window being mapped while a run lasts.
struct MapWatch
{
    MapWatch() { XSelectInput(x(), DefaultRootWindow(x()), SubstructureNotifyMask); xSync(); }
    ~MapWatch() { XSelectInput(x(), DefaultRootWindow(x()), NoEventMask); xSync(); }
    int mappedWindows()
    {
        xSync();
        int mapped = 0;
        while (XPending(x()))
        {
            XEvent event;
            XNextEvent(x(), &event);
            mapped += event.type == MapNotify;
        }
        return mapped;
    }
};

class StartupLog : public ::testing::TestWithParam<LogCase>
{
};

TEST_P(StartupLog, ReportsEachAssetAndFailsWithoutAWindow)
{
    const LogCase& c = GetParam();
    ScratchDir dir;
    makeAsset(dir.path / "VorthaneBoi.png", c.adept, true);
    makeAsset(dir.path / "robotToFix.png", c.robot, true);
    makeAsset(dir.path / "chintzy.ttf", c.font, false);

    MapWatch watch;
    Game game(gameExecutable(), dir.path);
    const auto status = game.waitExit(30);
    ASSERT_TRUE(status) << "the game did not end; output so far:\n" << game.out();
    EXPECT_EQ(describeStatus(*status), "exit status 1") << "stderr:\n" << game.err();
    EXPECT_EQ(game.out(), expectedLog(c));
    EXPECT_EQ(watch.mappedWindows(), 0) << "a window was shown although an asset failed";
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
