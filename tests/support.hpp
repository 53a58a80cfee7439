// Support for driving the real game from outside: a private Xvfb, the game
// started as a child in a scratch directory, and X11 tools (XTest, XFixes,
// XGetImage) to drive it and look at it. Used by the tests and the bench.
#pragma once

#include <X11/Xlib.h>

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace harness {

// ---- The X server ------------------------------------------------------------

// The virtual screen is larger than the game's window in both directions,
// so a window placed where it belongs fits, and one misplaced is seen.
constexpr int screenWidth = 2048;
constexpr int screenHeight = 1536;

// Starts Xvfb on a free display number (-displayfd), whatever DISPLAY says,
// and connects to it; throws when it cannot.
void startXvfb(int width = screenWidth, int height = screenHeight);
void stopXvfb();
Display* x();              // our own connection to the private Xvfb
const std::string& displayName();

// ---- Fixture assets ----------------------------------------------------------

struct Rgb
{
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
std::string str(Rgb c);

// Solid colours make every placement exact.
constexpr Rgb adeptColour{255, 0, 0};
constexpr Rgb robotColour{0, 0, 255};
constexpr Rgb black{0, 0, 0};
constexpr int adeptWidth = 50, adeptHeight = 70;
constexpr int robotWidth = 120, robotHeight = 90;
constexpr int robotLeft = 1350, robotTop = 500;

void writeSolidPng(const fs::path& file, unsigned width, unsigned height, Rgb colour);
void writeFile(const fs::path& file, const std::string& bytes);
std::string readFile(const fs::path& file);
fs::path stagedFont();                       // the font the build staged
fs::path gameExecutable();
fs::path sourceDir();

// A scratch directory holding the three assets, removed afterwards.
struct ScratchDir
{
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    void writeAssets() const;                // the standard fixture set
    fs::path path;
};

// ---- The game process --------------------------------------------------------

// "LD_PRELOAD=library", keeping whatever we preload ourselves (the
// sanitizer run does) after it.
std::string preload(const std::string& library);

struct RunOptions
{
    std::vector<std::string> args;           // after the program's name
    bool withDisplay = true;
    std::vector<std::string> extraEnv;       // NAME=value, replacing ours
    fs::path input = "/dev/null";            // standard input
};

struct Game
{
    Game(const fs::path& executable, const fs::path& workDir, const RunOptions& options = {});
    ~Game();                                 // kills the process if it still runs
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // Waits for the process to end; the raw wait status, or nothing on timeout.
    std::optional<int> waitExit(double seconds);
    bool running();
    std::string out() const;                 // everything written to standard output
    std::string err() const;

    pid_t pid = -1;
    fs::path stdoutFile, stderrFile;
    std::optional<int> status;
    rusage usage{};                          // the process's own, once it has ended
};

std::string describeStatus(int status);

// ---- Looking ---------------------------------------------------------------

bool waitUntil(const std::function<bool()>& condition, double seconds);

// The game's mapped top-level window (1x1 helper windows aside), waiting
// for it to appear.
Window findGameWindow(double seconds = 20);
struct Geometry { int x, y, width, height; };
Geometry rootGeometry(Window w);
std::string property(Window w, const char* name, const char* type);

struct Shot
{
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb at(int px, int py) const { return pixels[static_cast<size_t>(py) * width + px]; }
    void save(const fs::path& file) const;
};
Shot grab(Window w);

// Counts the windows mapped anywhere on the screen while it lives, but for
// the 1x1 helper windows a toolkit keeps out of sight (Wine maps some).
struct MapWatch
{
    MapWatch();
    ~MapWatch();
    MapWatch(const MapWatch&) = delete;
    MapWatch& operator=(const MapWatch&) = delete;
    int mappedWindows();
};

// ---- Input -----------------------------------------------------------------

void movePointer(int rootX, int rootY);
// Holds the key down for a moment, as a person's press does: the game reads
// the real-time key state while it drains its events.
void press(unsigned long keysym);
void key(unsigned long keysym, bool down);
// Holds Backspace down (with the pointer over `window`, unless it is 0) until
// the game ends or `seconds` pass, then lets go: the wait status, or nothing.
std::optional<int> holdBackspaceUntilExit(Game& game, Window window, double seconds = 20);
// With no window manager the keyboard follows the pointer: puts the pointer
// on the middle of `window`.
void pointAtMiddle(Window window);
// Presses Return over a dialog (its default button), then waits for
// `process` to end: the wait status, or nothing on timeout.
std::optional<int> answerDialog(Game& process, Window dialog, double seconds = 20);
// Sends what a window manager sends when the user closes a window.
void requestClose(Window window);
void xSync();
void sleepFor(double seconds);

} // namespace harness
