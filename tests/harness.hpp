// End-to-end harness: every test process gets its own Xvfb; RunningGame
// starts the real game with the fixture assets and waits for its first frame.
#pragma once

// GoogleTest first: Xlib defines macros (None, Bool, Status) that clash with it.
#include <gtest/gtest.h>

#include "support.hpp"

#include <memory>

namespace harness {

// ---- A game that has shown its first frame -----------------------------------

class RunningGame : public ::testing::Test
{
protected:
    virtual RunOptions options() const { return {}; }
    void SetUp() override;
    void TearDown() override;

    // Moves the pointer to a position in window coordinates.
    void pointTo(int windowX, int windowY) const;
    // Waits until the window shows what `check` accepts; the last shot is kept.
    bool waitForShot(const std::function<bool(const Shot&)>& check, double seconds = 10);
    // Presses Backspace and expects the game to end with status 0.
    void endWithBackspace();

    ScratchDir dir;
    std::unique_ptr<Game> game;
    Window window = 0;
    Geometry where{};
    Shot shot;
};

} // namespace harness
