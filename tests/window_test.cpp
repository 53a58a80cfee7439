// The window as the desktop sees it: size, place, decorations, title, cursor.

#include "harness.hpp"

#include <X11/extensions/Xfixes.h>

using namespace harness;

namespace {

using Window_ = RunningGame;

TEST_F(Window_, Is1920x1080AndCentredFullyOnTheScreen)
{
    EXPECT_EQ(where.width, 1920);
    EXPECT_EQ(where.height, 1080);
    // Where the desktop would centre it; SFML 2.5 on its own puts it lower.
    EXPECT_EQ(where.x, (screenWidth - 1920) / 2);
    EXPECT_EQ(where.y, (screenHeight - 1080) / 2);
    EXPECT_GE(where.x, 0);
    EXPECT_GE(where.y, 0);
    EXPECT_LE(where.x + where.width, screenWidth);
    EXPECT_LE(where.y + where.height, screenHeight);
}

TEST_F(Window_, AsksTheWindowManagerForNoDecorations)
{
    // Motif hints: flags, functions, decorations, input mode, status.
    const std::string raw = property(window, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS");
    ASSERT_EQ(raw.size(), 5 * sizeof(long)) << "no _MOTIF_WM_HINTS on the window";
    const auto* hints = reinterpret_cast<const long*>(raw.data());
    const long decorationsFlag = 1L << 1;
    EXPECT_TRUE(hints[0] & decorationsFlag) << "the decorations field is not in force";
    EXPECT_EQ(hints[2], 0) << "some decorations are asked for";
}

TEST_F(Window_, IsTitledVorthaneRun)
{
    EXPECT_EQ(property(window, "WM_NAME", "STRING"), "Vorthane Run!");
    EXPECT_EQ(property(window, "_NET_WM_NAME", "UTF8_STRING"), "Vorthane Run!");
}

// True when the cursor the server shows now has at least one visible pixel.
bool cursorVisible()
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(x());
    if (!cursor)
        return true;
    bool visible = false;
    for (int i = 0; i < cursor->width * cursor->height; ++i)
        visible = visible || (cursor->pixels[i] >> 24) != 0;
    XFree(cursor);
    return visible;
}

TEST_F(Window_, HidesTheSystemCursorOverItOnly)
{
    int eventBase = 0, errorBase = 0;
    ASSERT_TRUE(XFixesQueryExtension(x(), &eventBase, &errorBase));

    // Off the window, over the bare screen, the server's own cursor shows:
    // proof that a visible cursor would be seen.
    movePointer(where.x / 2, where.y / 2);
    EXPECT_TRUE(waitUntil(cursorVisible, 5)) << "the screen's cursor should show outside the window";

    pointTo(700, 400);
    EXPECT_TRUE(waitUntil([] { return !cursorVisible(); }, 5)) << "the system cursor shows over the window";
}

// On a screen smaller than the window its top-left corner stays on the
// screen, so the instructions (the only way out shown) can be read; where
// the window fits it is centred. Each case gets a screen of its own size.
TEST(Placement, KeepsTheInstructionsOnSmallScreensAndCentresWhereItFits)
{
    struct Screen
    {
        int width, height, x, y;
    };
    const Screen screens[] = {
        {1366, 768, 0, 0},     // a common laptop screen
        {1920, 1080, 0, 0},    // exactly the window's size
        {1600, 1200, 0, 60},   // narrower, but taller
        {2560, 1000, 320, 0},  // wider, but shorter
    };
    for (const Screen& screen : screens)
    {
        SCOPED_TRACE(std::to_string(screen.width) + "x" + std::to_string(screen.height));
        stopXvfb();
        startXvfb(screen.width, screen.height);
        ScratchDir dir;
        dir.writeAssets();
        movePointer(screen.width - 1, screen.height - 1);
        Game game(gameExecutable(), dir.path);
        const Window window = findGameWindow();
        ASSERT_NE(window, 0u) << game.err();
        EXPECT_TRUE(waitUntil(
            [&] {
                const Geometry at = rootGeometry(window);
                return at.x == screen.x && at.y == screen.y;
            },
            5))
            << "placed at (" << rootGeometry(window).x << ", " << rootGeometry(window).y << ")";

        // The green instructions show in the screen's top-left corner.
        int green = 0;
        waitUntil(
            [&] {
                const Shot screenShot = grab(DefaultRootWindow(x()));
                green = 0;
                for (int py = 0; py < 200; ++py)
                    for (int px = 0; px < 600; ++px)
                        green += screenShot.at(screen.x + px, screen.y + py) == Rgb{0, 255, 0};
                return green > 500;
            },
            10);
        EXPECT_GT(green, 500) << "green pixels of the instructions on the screen";

        const auto status = holdBackspaceUntilExit(game, window);
        ASSERT_TRUE(status);
        EXPECT_EQ(describeStatus(*status), "exit status 0");
    }
    stopXvfb();
    startXvfb();
}

} // namespace
