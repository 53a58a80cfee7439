// The least the library can do for the same window: same size, style and
// settings, no assets, nothing drawn. It drains events (ending, like the
// game, on Backspace or a close request), displays and clears.

#include <SFML/Graphics.hpp>

int main()
{
    sf::RenderWindow window(sf::VideoMode(1920, 1080, 32), sf::String("Vorthane Run!"), sf::Style::None,
                            sf::ContextSettings());
    window.setMouseCursorVisible(false);
    sf::Event event;
    while (window.isOpen())
    {
        while (window.pollEvent(event))
            if (event.type == sf::Event::Closed || sf::Keyboard::isKeyPressed(sf::Keyboard::BackSpace))
                window.close();
        window.display();
        window.clear(sf::Color(0, 0, 0, 255));
    }
    return 0;
}
