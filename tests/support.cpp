#include "support.hpp"

#include <SFML/Graphics/Image.hpp>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <sstream>
#include <thread>

extern char** environ;

namespace harness {
namespace {

Display* connection = nullptr;
std::string name;
pid_t xvfbPid = -1;

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

Atom atom(const char* atomName) { return XInternAtom(connection, atomName, False); }

} // namespace

void startXvfb(int width, int height)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const std::string geometry = std::to_string(width) + "x" + std::to_string(height) + "x24";
    xvfbPid = fork();
    if (xvfbPid < 0)
        throw std::runtime_error("fork failed");
    if (xvfbPid == 0)
    {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", geometry.c_str(), "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&wait, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not start (is the package xvfb installed?)");
    name = ":" + number;
    setenv("DISPLAY", name.c_str(), 1);   // for our own use of the library
    connection = XOpenDisplay(name.c_str());
    if (!connection)
        throw std::runtime_error("cannot connect to Xvfb at " + name);
    XSetErrorHandler(ignoreXErrors);
}

void stopXvfb()
{
    if (connection)
        XCloseDisplay(connection);
    connection = nullptr;
    if (xvfbPid > 0)
    {
        kill(xvfbPid, SIGTERM);
        waitpid(xvfbPid, nullptr, 0);
    }
    xvfbPid = -1;
}

Display* x() { return connection; }
const std::string& displayName() { return name; }

std::string str(Rgb c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

// ---- Fixture assets ----------------------------------------------------------

void writeSolidPng(const fs::path& file, unsigned width, unsigned height, Rgb colour)
{
    sf::Image image;
    image.create(width, height,
                 sf::Color(static_cast<sf::Uint8>(colour.r), static_cast<sf::Uint8>(colour.g),
                           static_cast<sf::Uint8>(colour.b)));
    // The library picks the format from the name, so save as .png and rename:
    // some fixtures are PNG data under another name.
    const std::string png = file.string() + ".fixture.png";
    if (!image.saveToFile(png))
        throw std::runtime_error("cannot write " + png);
    fs::rename(png, file);
}

void writeFile(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

fs::path stagedFont() { return fs::path(VORTHANE_STAGED_ASSETS) / "chintzy.ttf"; }
fs::path gameExecutable() { return VORTHANE_GAME_EXE; }
fs::path sourceDir() { return VORTHANE_SOURCE_DIR; }

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "vorthane-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void ScratchDir::writeAssets() const
{
    writeSolidPng(path / "VorthaneBoi.png", adeptWidth, adeptHeight, adeptColour);
    writeSolidPng(path / "robotToFix.png", robotWidth, robotHeight, robotColour);
    fs::copy_file(stagedFont(), path / "chintzy.ttf", fs::copy_options::overwrite_existing);
}

// ---- The game process --------------------------------------------------------

std::string preload(const std::string& library)
{
    const char* const ours = std::getenv("LD_PRELOAD");
    return "LD_PRELOAD=" + library + (ours && *ours ? std::string(":") + ours : std::string());
}

Game::Game(const fs::path& executable, const fs::path& workDir, const RunOptions& options)
{
    static int runs = 0;
    const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++runs);
    stdoutFile = fs::temp_directory_path() / ("vorthane-out-" + tag);
    stderrFile = fs::temp_directory_path() / ("vorthane-err-" + tag);

    // Our environment, less the display and whatever extraEnv sets anew.
    std::vector<std::string> replaced = {"DISPLAY=", "WAYLAND_DISPLAY="};
    for (const auto& extra : options.extraEnv)
        replaced.push_back(extra.substr(0, extra.find('=') + 1));
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
    {
        const std::string entry = *e;
        if (std::none_of(replaced.begin(), replaced.end(),
                         [&](const std::string& prefix) { return entry.rfind(prefix, 0) == 0; }))
            env.push_back(entry);
    }
    if (options.withDisplay)
        env.push_back("DISPLAY=" + name);
    env.insert(env.end(), options.extraEnv.begin(), options.extraEnv.end());

    pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0)
    {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int out = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = open(options.input.c_str(), O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(workDir.c_str()) != 0)
            _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char*> envp;
        envp.reserve(env.size() + 1);
        for (auto& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> words{executable.string()};
        words.insert(words.end(), options.args.begin(), options.args.end());
        std::vector<char*> argv;
        argv.reserve(words.size() + 1);
        for (auto& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

Game::~Game()
{
    if (!status)
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove(stdoutFile, ignored);
    fs::remove(stderrFile, ignored);
}

std::optional<int> Game::waitExit(double seconds)
{
    waitUntil([this] { return !running(); }, seconds);
    return status;
}

bool Game::running()
{
    if (status)
        return false;
    int raw = 0;
    if (wait4(pid, &raw, WNOHANG, &usage) == pid)
    {
        status = raw;
        return false;
    }
    return true;
}

std::string Game::out() const { return readFile(stdoutFile); }
std::string Game::err() const { return readFile(stderrFile); }

std::string describeStatus(int status)
{
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("killed by signal ") + strsignal(WTERMSIG(status));
    return "raw wait status " + std::to_string(status);
}

// ---- Looking ---------------------------------------------------------------

bool waitUntil(const std::function<bool()>& condition, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        sleepFor(0.01);
    }
    return true;
}

Window findGameWindow(double seconds)
{
    Window found = 0;
    waitUntil(
        [&] {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(connection, DefaultRootWindow(connection), &rootReturn, &parent, &children, &count))
                return false;
            for (unsigned i = 0; i < count && !found; ++i)
            {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(connection, children[i], &attributes) &&
                    attributes.map_state == IsViewable && attributes.width > 1 && attributes.height > 1 &&
                    property(children[i], "WM_NAME", "STRING") != "harness")
                    found = children[i];
            }
            if (children)
                XFree(children);
            return found != 0;
        },
        seconds);
    return found;
}

Geometry rootGeometry(Window w)
{
    XWindowAttributes attributes{};
    XGetWindowAttributes(connection, w, &attributes);
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(connection, w, DefaultRootWindow(connection), 0, 0, &rootX, &rootY, &child);
    return {rootX, rootY, attributes.width, attributes.height};
}

std::string property(Window w, const char* propertyName, const char* type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(connection, w, atom(propertyName), 0, 1024, False, atom(type), &actualType, &format,
                           &items, &after, &data) == Success &&
        data)
    {
        // 32-bit items come back as longs; hand them over as raw bytes.
        const size_t itemSize = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
        value.assign(reinterpret_cast<const char*>(data), items * itemSize);
        XFree(data);
    }
    return value;
}

Shot grab(Window w)
{
    Shot shot;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(connection, w, &attributes))
        return shot;
    XImage* image = XGetImage(connection, w, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return shot;
    shot.width = attributes.width;
    shot.height = attributes.height;
    shot.pixels.resize(static_cast<size_t>(shot.width) * shot.height);
    for (int py = 0; py < shot.height; ++py)
        for (int px = 0; px < shot.width; ++px)
        {
            const unsigned long p = XGetPixel(image, px, py);
            shot.pixels[static_cast<size_t>(py) * shot.width + px] =
                Rgb{static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff)};
        }
    XDestroyImage(image);
    return shot;
}

MapWatch::MapWatch()
{
    XSelectInput(connection, DefaultRootWindow(connection), SubstructureNotifyMask);
    XSync(connection, False);
}

MapWatch::~MapWatch()
{
    XSelectInput(connection, DefaultRootWindow(connection), NoEventMask);
    XSync(connection, False);
}

int MapWatch::mappedWindows()
{
    XSync(connection, False);
    // Sizes from the creation and configuration events before each map: a
    // window that is gone by now still counts.
    std::map<Window, bool> tiny;
    int mapped = 0;
    while (XPending(connection))
    {
        XEvent event;
        XNextEvent(connection, &event);
        if (event.type == CreateNotify)
            tiny[event.xcreatewindow.window] = event.xcreatewindow.width <= 1 || event.xcreatewindow.height <= 1;
        else if (event.type == ConfigureNotify)
            tiny[event.xconfigure.window] = event.xconfigure.width <= 1 || event.xconfigure.height <= 1;
        else if (event.type == MapNotify)
            mapped += !tiny[event.xmap.window];
    }
    return mapped;
}

void Shot::save(const fs::path& file) const
{
    sf::Image image;
    image.create(static_cast<unsigned>(width), static_cast<unsigned>(height));
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
        {
            const Rgb c = at(px, py);
            image.setPixel(static_cast<unsigned>(px), static_cast<unsigned>(py),
                           sf::Color(static_cast<sf::Uint8>(c.r), static_cast<sf::Uint8>(c.g),
                                     static_cast<sf::Uint8>(c.b)));
        }
    image.saveToFile(file.string());
}

// ---- Input -----------------------------------------------------------------

void movePointer(int rootX, int rootY)
{
    XTestFakeMotionEvent(connection, -1, rootX, rootY, CurrentTime);
    XSync(connection, False);
}

void press(unsigned long keysym)
{
    key(keysym, true);
    sleepFor(0.15);
    key(keysym, false);
}

void key(unsigned long keysym, bool down)
{
    XTestFakeKeyEvent(connection, XKeysymToKeycode(connection, keysym), down ? True : False, CurrentTime);
    XSync(connection, False);
}

void pointAtMiddle(Window window)
{
    const Geometry where = rootGeometry(window);
    movePointer(where.x + where.width / 2, where.y + where.height / 2);
}

std::optional<int> holdBackspaceUntilExit(Game& game, Window window, double seconds)
{
    if (window)
        pointAtMiddle(window);
    key(XK_BackSpace, true);
    const auto status = game.waitExit(seconds);
    key(XK_BackSpace, false);
    return status;
}

std::optional<int> answerDialog(Game& process, Window dialog, double seconds)
{
    pointAtMiddle(dialog);
    press(XK_Return);
    return process.waitExit(seconds);
}

void requestClose(Window window)
{
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = atom("WM_PROTOCOLS");
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection, window, False, NoEventMask, &request);
    XSync(connection, False);
}

void xSync() { XSync(connection, False); }

void sleepFor(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

} // namespace harness
