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

} // namespace
