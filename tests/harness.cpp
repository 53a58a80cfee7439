#include "harness.hpp"


#include <iostream>

namespace harness {
namespace {

class XvfbEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { startXvfb(); }
    void TearDown() override { stopXvfb(); }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

} // namespace

// ---- A game that has shown its first frame -----------------------------------

void RunningGame::SetUp()
{
    dir.writeAssets();
    // Start with the pointer away from everything the scene draws.
    movePointer(screenWidth / 2, screenHeight / 2);
    game = std::make_unique<Game>(gameExecutable(), dir.path, options());
    window = findGameWindow();
    ASSERT_NE(window, 0u) << "no window appeared; stderr:\n" << game->err();
    ASSERT_TRUE(waitForShot([](const Shot& s) { return s.at(robotLeft, robotTop) == robotColour; }, 20))
        << "the robot never appeared";
    // Only now: the window is mapped first and placed right after.
    where = rootGeometry(window);
}

void RunningGame::TearDown()
{
    if (::testing::Test::HasFailure() && shot.width > 0)
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string file = std::string(info->test_suite_name()) + "." + info->name() + ".png";
        for (char& c : file)
            if (c == '/')
                c = '_';
        shot.save(fs::current_path() / file);
        std::cout << "last screenshot: " << (fs::current_path() / file).string() << "\n";
    }
}

void RunningGame::pointTo(int windowX, int windowY) const { movePointer(where.x + windowX, where.y + windowY); }

bool RunningGame::waitForShot(const std::function<bool(const Shot&)>& check, double seconds)
{
    return waitUntil(
        [&] {
            shot = grab(window);
            return shot.width > 0 && check(shot);
        },
        seconds);
}

void RunningGame::endWithBackspace()
{
    const auto status = holdBackspaceUntilExit(*game, window);
    ASSERT_TRUE(status) << "Backspace did not end the game";
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

} // namespace harness
