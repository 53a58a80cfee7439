// The launch script behind ./run: it starts the game in its asset directory,
// passes the exit status on, and refuses clearly when there is no display.

#include "harness.hpp"


#include <algorithm>

using namespace harness;

namespace {

fs::path launchScript() { return sourceDir() / "scripts" / "launch"; }

struct NoDisplayCase
{
    const char* name;
    bool withDisplay;
    const char* display;   // DISPLAY to set, when withDisplay is false and this is not null
};

TEST(Launcher, RefusesClearlyWhenNoDisplayIsReachable)
{
    const NoDisplayCase cases[] = {
        {"DISPLAY unset", false, nullptr},
        {"DISPLAY empty", false, ""},
        {"DISPLAY names no server", false, ":917"},
    };
    ScratchDir assets;
    assets.writeAssets();
    ScratchDir elsewhere;
    for (const NoDisplayCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        RunOptions options;
        options.args = {gameExecutable().string(), assets.path.string()};
        options.withDisplay = c.withDisplay;
        if (c.display)
            options.extraEnv.push_back(std::string("DISPLAY=") + c.display);
        Game launch(launchScript(), elsewhere.path, options);
        const auto status = launch.waitExit(20);
        ASSERT_TRUE(status);
        EXPECT_EQ(describeStatus(*status), "exit status 1");
        EXPECT_EQ(launch.out(), "") << "the game must not have started";
        const std::string message = launch.err();
        EXPECT_NE(message.find("no X display is reachable"), std::string::npos) << message;
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << "one sentence, one line: " << message;
    }
}

TEST(Launcher, StartsTheGameInItsAssetDirectoryAndPassesTheStatusOn)
{
    ScratchDir assets;
    assets.writeAssets();
    ScratchDir empty;
    ScratchDir elsewhere;

    // From elsewhere, pointed at its assets: the game finds them, and ends with 0.
    RunOptions good;
    good.args = {gameExecutable().string(), assets.path.string()};
    Game playing(launchScript(), elsewhere.path, good);
    const Window window = findGameWindow();
    ASSERT_NE(window, 0u) << playing.out() << playing.err();
    const auto played = holdBackspaceUntilExit(playing, window);
    ASSERT_TRUE(played);
    EXPECT_EQ(describeStatus(*played), "exit status 0");

    // Pointed at a directory without them: the game's own failure, status 1.
    RunOptions bad;
    bad.args = {gameExecutable().string(), empty.path.string()};
    Game failing(launchScript(), elsewhere.path, bad);
    const auto failed = failing.waitExit(20);
    ASSERT_TRUE(failed);
    EXPECT_EQ(describeStatus(*failed), "exit status 1");
    EXPECT_NE(failing.out().find("TheHestrel'sHolyLauncher.bat"), std::string::npos) << failing.out();
}

} // namespace
