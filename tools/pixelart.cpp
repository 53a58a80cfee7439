// pixelart: turns a character-grid drawing into a PNG.
//
//   pixelart drawing.art out.png [scale]
//
// The optional scale replaces the drawing's own (icons at other sizes).
// A drawing is plain text:
//   # comment lines and blank lines are skipped before the grid
//   scale N                 each character becomes an N x N block (1..16)
//   colour C RRGGBBAA       character C stands for this colour
//   grid                    every following line is one row of pixels
// Rows must all be as wide as the first, and use only declared characters.

#include <SFML/Graphics/Image.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

int fail(const std::string& where, const std::string& what)
{
    std::cerr << "pixelart: " << where << ": " << what << '\n';
    return 1;
}

bool parseColour(const std::string& hex, sf::Color& colour)
{
    if (hex.size() != 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(hex, nullptr, 16);
    colour = sf::Color(static_cast<sf::Uint32>(value));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4)
    {
        std::cerr << "usage: pixelart drawing.art out.png [scale]\n";
        return 2;
    }
    const std::string inputName = argv[1];
    std::ifstream input(inputName);
    if (!input)
        return fail(inputName, "cannot open");

    unsigned scale = 1;
    std::map<char, sf::Color> palette;
    std::vector<std::string> rows;
    bool inGrid = false;
    std::string line;
    for (int lineNumber = 1; std::getline(input, line); ++lineNumber)
    {
        const std::string where = inputName + ":" + std::to_string(lineNumber);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (inGrid)
        {
            if (line.empty())
                continue;
            for (char c : line)
                if (palette.count(c) == 0)
                    return fail(where, std::string("character '") + c + "' has no colour");
            if (!rows.empty() && line.size() != rows.front().size())
                return fail(where, "row is " + std::to_string(line.size()) + " wide, the first row is " +
                                       std::to_string(rows.front().size()));
            rows.push_back(line);
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;

        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "scale")
        {
            if (!(words >> scale) || scale < 1 || scale > 16)
                return fail(where, "scale must be a whole number from 1 to 16");
        }
        else if (keyword == "colour")
        {
            std::string key;
            std::string hex;
            sf::Color colour;
            if (!(words >> key >> hex) || key.size() != 1 || key[0] == '#' || !parseColour(hex, colour))
                return fail(where, "expected: colour C RRGGBBAA");
            palette[key[0]] = colour;
        }
        else if (keyword == "grid")
        {
            inGrid = true;
        }
        else
        {
            return fail(where, "unknown line '" + line + "'");
        }
    }
    if (rows.empty())
        return fail(inputName, "no grid rows");
    if (argc == 4)
    {
        const std::string wanted = argv[3];
        if (wanted.empty() || wanted.find_first_not_of("0123456789") != std::string::npos || wanted.size() > 2 ||
            std::stoul(wanted) < 1 || std::stoul(wanted) > 16)
            return fail(wanted, "scale must be a whole number from 1 to 16");
        scale = static_cast<unsigned>(std::stoul(wanted));
    }

    const unsigned width = static_cast<unsigned>(rows.front().size());
    const unsigned height = static_cast<unsigned>(rows.size());
    sf::Image image;
    image.create(width * scale, height * scale, sf::Color::Transparent);
    for (unsigned y = 0; y < height * scale; ++y)
        for (unsigned x = 0; x < width * scale; ++x)
            image.setPixel(x, y, palette[rows[y / scale][x / scale]]);

    // Write beside the target and rename, so a failed run never leaves a
    // half-written PNG that the build would take as up to date.
    const std::string outputName = argv[2];
    const std::string partName = outputName + ".part.png";
    if (!image.saveToFile(partName))
        return fail(outputName, "cannot write");
    if (std::rename(partName.c_str(), outputName.c_str()) != 0)
        return fail(outputName, "cannot rename from " + partName);
    return 0;
}
