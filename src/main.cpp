// Vorthane Run! -- the Adept follows the mouse, a broken robot waits for repair.
//
// The game is started with its asset directory as the working directory
// (the ./run script and the installed launcher both see to that), so the
// three asset files are opened by their plain names.

#include "assetGuard.hpp"

#include <SFML/Graphics.hpp>

#include <algorithm>
#include <cstdlib>
#include <iostream>

const char* const windowTitle = "Vorthane Run!";

namespace {

// The instruction text, checked against the font before it is drawn.
const char* const messageText = "Press Backspace to get out of here... \n\nFix the machine...\n\nPraise the Hestrel...";
const unsigned messageSize = 30;
const float messageOutline = 5.f;

} // namespace

int main()
{
    // ---- Asset check -------------------------------------------------------
    // Every asset is tried, so that one run names everything that is missing.
    // Each line is flushed at once: if the library has to end the process
    // (it aborts when no display can be opened), what was already written
    // must still reach a log file.

    std::cout << "\n\n\n\n][-----LogOfPotentialErrors-----][\n\n\n\n" << std::flush;

    // Each file gets a trial load in a throw-away process first: a damaged
    // file that would crash or stall the library counts as failed to load.
    // The trials start before the library does anything, while this process
    // is still small and cheap to fork, and run while it sets up its
    // graphics context (the first texture does that: most of start-up).
    assetGuard::startTrials("VorthaneBoi.png", "robotToFix.png", "chintzy.ttf", messageText, messageSize,
                            messageOutline);

    bool failed = false;
    sf::Texture vorthaneBoyTexture;
    sf::Texture robotToFixTexture;

    // What the library says about an asset comes just before its line.
    if (!assetGuard::passedTrial("VorthaneBoi.png") ||
        !vorthaneBoyTexture.loadFromFile("VorthaneBoi.png", sf::IntRect()))
    {
        std::cout << "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the texture for the \nVorthane Adept doesn't work!\n" << std::flush;
        failed = true;
    }
    else
    {
        std::cout << "\nThe Machine Spirits favor the Adept.\n" << std::flush;
    }

    if (!assetGuard::passedTrial("robotToFix.png") ||
        !robotToFixTexture.loadFromFile("robotToFix.png", sf::IntRect()))
    {
        std::cout << "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the texture for the \nrobot sprite doesn't work!\n" << std::flush;
        failed = true;
    }
    else
    {
        std::cout << "\nThe Machine Spirits favor the robot that needs repair.\n" << std::flush;
    }

    sf::Font font;
    if (!assetGuard::passedTrial("chintzy.ttf") || !font.loadFromFile("chintzy.ttf"))
    {
        std::cout << "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the font doesn't work!\n" << std::flush;
        failed = true;
    }
    else
    {
        std::cout << "\nThe Machine Spirits favor this most sacred font.\n" << std::flush;
    }

    if (failed)
    {
        std::cout << "\nThe Machine Spirits are most displeased! They implore you to only start the program with \n TheHestrel'sHolyLauncher.bat." << std::flush;
        std::cout << "\nIf you have already made sure of this you need to contact Tamsk. He can rectify your problems.\n\n\n" << std::flush;
        std::exit(1);
    }

    // ---- Scene set-up ------------------------------------------------------

    // The Adept replaces the mouse cursor: its image's top-left corner is the
    // hot spot, moved every frame through the origin.
    sf::Sprite techBoi;
    techBoi.setTexture(vorthaneBoyTexture, false);

    // The robot never moves; a negative origin puts its top-left at (1350, 500).
    sf::Sprite robotThatNeedsFixing;
    robotThatNeedsFixing.setTexture(robotToFixTexture, false);
    robotThatNeedsFixing.setOrigin(-1350.f, -500.f);

    sf::RenderWindow window(sf::VideoMode(1920, 1080, 32), sf::String(windowTitle),
                            sf::Style::None, sf::ContextSettings());

    // Centred on the desktop, as the library means to place it, but never
    // with its top-left corner off the screen: on a desktop smaller than the
    // window the instructions, the only way out shown, must stay in sight.
    // (SFML 2.5 on X11 also centres it vertically with the screen's width,
    // which pushes a 1080-row window off a 1080-row screen.)
    {
        const sf::VideoMode desktop = sf::VideoMode::getDesktopMode();
        window.setPosition(sf::Vector2i(std::max(0, (static_cast<int>(desktop.width) - 1920) / 2),
                                        std::max(0, (static_cast<int>(desktop.height) - 1080) / 2)));
    }

    window.setMouseCursorVisible(false);

    sf::Text message(sf::String(messageText), font, messageSize);
    message.setOutlineColor(sf::Color(0, 0, 0, 255));
    message.setOutlineThickness(messageOutline);
    message.setFillColor(sf::Color(0, 255, 0, 255));
    message.setPosition(0.f, 0.f);

    sf::Event event;

    // ---- Frame loop --------------------------------------------------------
    // Unthrottled on purpose: the Adept is the cursor, so every frame of
    // latency is felt.

    while (window.isOpen())
    {
        while (window.pollEvent(event))
        {
            // Backspace is read from the real-time keyboard state, so any
            // event that arrives while it is held ends the run, and a press
            // that is already released by now does not.
            if (event.type == sf::Event::Closed || sf::Keyboard::isKeyPressed(sf::Keyboard::BackSpace))
                window.close();
        }

        window.draw(message);

        const sf::Vector2i mouse = sf::Mouse::getPosition(window);
        techBoi.setOrigin(static_cast<float>(-mouse.x), static_cast<float>(-mouse.y));

        window.draw(robotThatNeedsFixing);
        window.draw(techBoi);

        // Cleared after display: the next frame starts from black.
        window.display();
        window.clear(sf::Color(0, 0, 0, 255));
    }

    // ---- End ---------------------------------------------------------------
    // The scene and the assets go out of scope in reverse order.
    return 0;
}
