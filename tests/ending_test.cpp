// How a run ends: Backspace or the desktop's close request end it with 0;
// nothing else does.

#include "harness.hpp"

#include <X11/keysym.h>

#include <signal.h>

using namespace harness;

namespace {

class Ending : public RunningGame
{
protected:
    // The game still runs and still draws: the Adept follows a fresh move.
    void expectAlive(int pointerX, int pointerY)
    {
        EXPECT_TRUE(game->running()) << "the game ended";
        pointTo(pointerX, pointerY);
        EXPECT_TRUE(waitForShot([&](const Shot& s) {
            return s.at(pointerX, pointerY) == adeptColour && s.at(pointerX - 1, pointerY) != adeptColour;
        })) << "the Adept no longer follows the pointer";
    }
};

TEST_F(Ending, BackspaceEndsTheRunWithStatusZero)
{
    endWithBackspace();
    EXPECT_EQ(findGameWindow(0.5), 0u) << "the window is still shown";
}

TEST_F(Ending, TheDesktopsCloseRequestEndsTheRunWithStatusZero)
{
    requestClose(window);

    const auto status = game->waitExit(20);
    ASSERT_TRUE(status) << "the close request did not end the game";
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

struct OtherKey
{
    const char* name;
    unsigned long keysym;
};

TEST_F(Ending, EscapeAndOtherKeysDoNothing)
{
    const OtherKey keys[] = {
        {"Escape", XK_Escape}, {"Return", XK_Return}, {"space", XK_space},       {"Delete", XK_Delete},
        {"q", XK_q},           {"F4", XK_F4},         {"Left", XK_Left},         {"Control", XK_Control_L},
        {"Alt", XK_Alt_L},     {"Tab", XK_Tab},       {"KP_Enter", XK_KP_Enter},
    };
    int step = 0;
    for (const OtherKey& k : keys)
    {
        SCOPED_TRACE(k.name);
        pointTo(300 + 40 * step, 500);
        press(k.keysym);
        ++step;
        expectAlive(300 + 40 * step, 520);
    }
    endWithBackspace();
}

TEST_F(Ending, ABackspaceReleasedBeforeTheGameLooksDoesNothing)
{
    // Stopped, the game cannot drain its queue: the press and the release
    // both wait there, and when it looks the key is already up.
    pointTo(400, 400);
    ASSERT_EQ(kill(game->pid, SIGSTOP), 0);
    key(XK_BackSpace, true);
    key(XK_BackSpace, false);
    ASSERT_EQ(kill(game->pid, SIGCONT), 0);
    sleepFor(0.5);
    expectAlive(600, 450);
    endWithBackspace();
}

TEST_F(Ending, MovingThePointerWhileBackspaceIsHeldEndsTheRun)
{
    // A window of the tests' own takes the keyboard focus, so the press goes
    // there and the game only ever sees the pointer move.
    pointTo(500, 500);
    const Window other = XCreateSimpleWindow(x(), DefaultRootWindow(x()), 0, screenHeight - 100, 200, 100, 0, 0, 0);
    XStoreName(x(), other, "harness");
    XMapWindow(x(), other);
    xSync();
    sleepFor(0.2);
    XSetInputFocus(x(), other, RevertToPointerRoot, CurrentTime);
    xSync();
    sleepFor(0.3);

    key(XK_BackSpace, true);
    sleepFor(0.5);
    EXPECT_TRUE(game->running()) << "the game saw an event while the pointer was still";

    pointTo(520, 520);
    const auto status = game->waitExit(20);
    key(XK_BackSpace, false);
    XDestroyWindow(x(), other);
    xSync();
    ASSERT_TRUE(status) << "the pointer's motion with Backspace held did not end the game";
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

} // namespace
