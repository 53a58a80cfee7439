// The launch script behind ./run: it starts the game in its asset directory,
// passes the exit status on, and refuses clearly when there is no display;
// started from the desktop menu, it shows a failure in a dialog.

#include "harness.hpp"


#include <X11/Xutil.h>

#include <algorithm>
#include <fstream>
#include <sstream>

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
        options.args = {"--as", "./run", gameExecutable().string(), assets.path.string()};
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
        EXPECT_NE(message.find("'xvfb-run -s \"-screen 0 1920x1080x24\" ./run'"), std::string::npos)
            << "it names the command the player typed: " << message;
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

// The command lines of the processes whose parent is `parent`.
std::vector<std::string> childCommandLines(pid_t parent)
{
    std::vector<std::string> lines;
    for (const auto& entry : fs::directory_iterator("/proc"))
    {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        std::istringstream after(line.substr(line.rfind(')') + 1));
        char state = 0;
        pid_t ppid = 0;
        after >> state >> ppid;
        if (ppid == parent)
            lines.push_back(readFile(entry.path() / "cmdline"));
    }
    return lines;
}

std::string windowClass(Window w)
{
    XClassHint hint{};
    std::string name;
    if (XGetClassHint(x(), w, &hint))
    {
        name = hint.res_class ? hint.res_class : "";
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return name;
}

TEST(Launcher, FromTheDesktopAFailureIsShownInADialog)
{
    ScratchDir assets;
    assets.writeAssets();
    fs::remove(assets.path / "chintzy.ttf");
    ScratchDir elsewhere;

    RunOptions options;
    options.args = {"--desktop", gameExecutable().string(), assets.path.string()};
    Game launch(launchScript(), elsewhere.path, options);
    const Window dialog = findGameWindow();
    ASSERT_NE(dialog, 0u) << "no dialog appeared: " << launch.out() << launch.err();
    const std::string dialogClass = windowClass(dialog);
    EXPECT_TRUE(dialogClass == "Xmessage" || dialogClass == "Zenity" || dialogClass == "kdialog") << dialogClass;
    EXPECT_TRUE(property(dialog, "WM_NAME", "STRING") == "Vorthane Run!" ||
                property(dialog, "_NET_WM_NAME", "UTF8_STRING") == "Vorthane Run!");

    // The dialog holds the failure lines, the library's words among them.
    std::string shown;
    for (const std::string& line : childCommandLines(launch.pid))
        shown += line;
    EXPECT_NE(shown.find("still the font doesn't work!"), std::string::npos) << shown;
    EXPECT_NE(shown.find("TheHestrel'sHolyLauncher.bat"), std::string::npos) << shown;
    EXPECT_NE(shown.find("chintzy.ttf"), std::string::npos) << "the library's diagnostic: " << shown;
    EXPECT_NE(shown.find("The Machine Spirits favor the Adept."), std::string::npos) << shown;

    // Dismissed, it lets the launcher end with the game's status; the log
    // went to the launcher's output as well.
    const auto status = answerDialog(launch, dialog);
    ASSERT_TRUE(status) << "the dialog did not close on Return";
    EXPECT_EQ(describeStatus(*status), "exit status 1");
    EXPECT_NE(launch.out().find("still the font doesn't work!"), std::string::npos) << launch.out();
}

TEST(Launcher, ShowsNoDialogFromATerminalOrAfterANormalEnd)
{
    ScratchDir assets;
    assets.writeAssets();
    ScratchDir empty;
    ScratchDir elsewhere;
    {
        SCOPED_TRACE("a failure started from a terminal or a script");
        MapWatch watch;
        RunOptions options;
        options.args = {"--as", "./run", gameExecutable().string(), empty.path.string()};
        Game launch(launchScript(), elsewhere.path, options);
        const auto status = launch.waitExit(20);
        ASSERT_TRUE(status);
        EXPECT_EQ(describeStatus(*status), "exit status 1");
        sleepFor(0.5);
        EXPECT_EQ(watch.mappedWindows(), 0) << "a window appeared";
    }
    {
        SCOPED_TRACE("a normal end from the desktop");
        RunOptions options;
        options.args = {"--desktop", gameExecutable().string(), assets.path.string()};
        Game launch(launchScript(), elsewhere.path, options);
        const Window window = findGameWindow();
        ASSERT_NE(window, 0u) << launch.out() << launch.err();
        MapWatch watch;
        const auto status = holdBackspaceUntilExit(launch, window);
        ASSERT_TRUE(status);
        EXPECT_EQ(describeStatus(*status), "exit status 0");
        sleepFor(0.5);
        EXPECT_EQ(watch.mappedWindows(), 0) << "a window appeared after the game ended";
    }
}

} // namespace
