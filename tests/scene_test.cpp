// What the window shows: the robot in its place, the Adept on the cursor,
// the instruction text in the corner, black everywhere else.

// Before the harness: Xlib's macros (None) clash with the library's names.
#include <SFML/Graphics.hpp>

#include "harness.hpp"

#include <algorithm>

using namespace harness;

namespace {

// The instruction text lies within this corner; sprites may cover it.
constexpr int textZoneWidth = 700, textZoneHeight = 200;

bool inside(int px, int py, int left, int top, int width, int height)
{
    return px >= left && px < left + width && py >= top && py < top + height;
}

bool textish(Rgb c) { return c.r == 0 && c.b == 0; }   // green text, its edges, its black outline

// The first pixel that differs from the scene expected with the Adept's
// top-left at (adeptX, adeptY), or an empty string when all agree.
std::string firstMismatch(const Shot& s, int adeptX, int adeptY)
{
    for (int py = 0; py < s.height; ++py)
        for (int px = 0; px < s.width; ++px)
        {
            const Rgb seen = s.at(px, py);
            std::string wanted;
            if (inside(px, py, adeptX, adeptY, adeptWidth, adeptHeight))
                wanted = seen == adeptColour ? "" : "the Adept " + str(adeptColour);
            else if (inside(px, py, robotLeft, robotTop, robotWidth, robotHeight))
                wanted = seen == robotColour ? "" : "the robot " + str(robotColour);
            else if (inside(px, py, 0, 0, textZoneWidth, textZoneHeight))
                wanted = textish(seen) ? "" : "text: green or black";
            else
                wanted = seen == black ? "" : "black background";
            if (!wanted.empty())
                return "pixel (" + std::to_string(px) + ", " + std::to_string(py) + ") is " + str(seen) +
                       ", expected " + wanted;
        }
    return "";
}

struct Spot
{
    const char* what;
    int x, y;   // the pointer, in window coordinates
};

using Scene = RunningGame;

TEST_F(Scene, AdeptFollowsThePointerAboveEverythingAndTheRobotStays)
{
    // Walked in one run, so a frame left uncleared shows as a trail.
    const Spot spots[] = {
        {"in the open", 100, 200},
        {"over the text", 10, 10},
        {"over the robot's top-left corner", 1330, 470},
        {"inside the robot", 1380, 520},
        {"partly beyond the right and bottom edges", 1900, 1060},
        {"partly beyond the left and top edges", -20, -30},
        {"at the window's origin", 0, 0},
        {"back in the open", 700, 600},
    };
    for (const Spot& spot : spots)
    {
        SCOPED_TRACE(spot.what);
        pointTo(spot.x, spot.y);
        const bool matched = waitForShot([&](const Shot& s) { return firstMismatch(s, spot.x, spot.y).empty(); });
        EXPECT_TRUE(matched) << firstMismatch(shot, spot.x, spot.y);
    }
}

TEST_F(Scene, TextIsGreenInTheTopLeftCornerOnThreeLines)
{
    pointTo(900, 700);
    ASSERT_TRUE(waitForShot([](const Shot& s) { return firstMismatch(s, 900, 700).empty(); }))
        << firstMismatch(shot, 900, 700);

    int left = shot.width, top = shot.height, right = -1, bottom = -1;
    std::vector<bool> rowHasGreen(static_cast<size_t>(textZoneHeight), false);
    int greenPixels = 0;
    for (int py = 0; py < textZoneHeight; ++py)
        for (int px = 0; px < textZoneWidth; ++px)
            if (shot.at(px, py) == Rgb{0, 255, 0})
            {
                ++greenPixels;
                left = std::min(left, px);
                top = std::min(top, py);
                right = std::max(right, px);
                bottom = std::max(bottom, py);
                rowHasGreen[static_cast<size_t>(py)] = true;
            }
    EXPECT_GT(greenPixels, 3000) << "too little full green for 30-pixel text";
    EXPECT_LE(left, 6) << "the text should start at the left edge";
    EXPECT_LE(top, 12) << "the text should start at the top edge";
    EXPECT_GT(right, 400) << "the first line is long";
    EXPECT_GT(bottom, 110) << "three lines with blank lines between them";

    int lines = 0;
    for (size_t row = 0; row < rowHasGreen.size(); ++row)
        lines += rowHasGreen[row] && (row == 0 || !rowHasGreen[row - 1]);
    EXPECT_EQ(lines, 3) << "lines of text, counted as bands of green rows";
}

// With the clear colour turned grey, the text can be compared with a
// reference drawn by the library itself: same string, font, size, colours,
// black outline of 5 pixels, placed at (0, 0).
class OnGrey : public RunningGame
{
protected:
    RunOptions options() const override
    {
        RunOptions o;
        o.extraEnv.push_back(preload(VORTHANE_GREY_CLEAR_SHIM));
        return o;
    }
};

TEST_F(OnGrey, TextMatchesAReferenceWithItsBlackOutline)
{
    const Rgb grey{64, 64, 64};
    pointTo(900, 700);
    ASSERT_TRUE(waitForShot([&](const Shot& s) { return s.at(1000, 900) == grey; }))
        << "the grey clear colour never showed; is the shim loaded?";

    sf::Font font;
    ASSERT_TRUE(font.loadFromFile(stagedFont().string()));
    sf::Text text("Press Backspace to get out of here... \n\nFix the machine...\n\nPraise the Hestrel...", font, 30);
    text.setFillColor(sf::Color(0, 255, 0));
    text.setOutlineColor(sf::Color(0, 0, 0));
    text.setOutlineThickness(5);
    sf::RenderTexture reference;
    ASSERT_TRUE(reference.create(textZoneWidth, textZoneHeight));
    reference.clear(sf::Color(64, 64, 64));
    reference.draw(text);
    reference.display();
    const sf::Image expected = reference.getTexture().copyToImage();

    int differing = 0, blackPixels = 0;
    std::string first;
    for (int py = 0; py < textZoneHeight; ++py)
        for (int px = 0; px < textZoneWidth; ++px)
        {
            const sf::Color want = expected.getPixel(static_cast<unsigned>(px), static_cast<unsigned>(py));
            const Rgb seen = shot.at(px, py);
            blackPixels += seen == black;
            const int diff = std::max({std::abs(seen.r - want.r), std::abs(seen.g - want.g), std::abs(seen.b - want.b)});
            if (diff > 2 && differing++ == 0)
                first = "first at (" + std::to_string(px) + ", " + std::to_string(py) + "): " + str(seen) +
                        " instead of " + str({want.r, want.g, want.b});
        }
    EXPECT_EQ(differing, 0) << first;
    EXPECT_GT(blackPixels, 5000) << "the outline should show black against grey";
}

} // namespace
