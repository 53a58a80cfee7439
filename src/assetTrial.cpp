#include "assetTrial.hpp"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/Image.hpp>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include <cstdio>

namespace {

bool glyphIsSane(FT_Face face, FT_Stroker stroker, unsigned long character, bool outlined, unsigned largestGlyph)
{
    // The same load flags as the library's own glyph rendering.
    if (FT_Load_Char(face, character, FT_LOAD_TARGET_NORMAL | FT_LOAD_FORCE_AUTOHINT) != 0)
        return false;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0)
        return false;
    bool sane = !outlined || glyph->format != FT_GLYPH_FORMAT_OUTLINE || FT_Glyph_Stroke(&glyph, stroker, 1) == 0;
    if (sane)
    {
        // Measure before rasterising: a huge glyph is refused without
        // allocating its bitmap.
        FT_BBox box;
        FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_PIXELS, &box);
        const auto largest = static_cast<FT_Pos>(largestGlyph);
        sane = box.xMax - box.xMin <= largest && box.yMax - box.yMin <= largest &&
               FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) == 0;
    }
    if (sane)
    {
        const FT_Bitmap& bitmap = reinterpret_cast<FT_BitmapGlyph>(glyph)->bitmap;
        sane = bitmap.width <= largestGlyph && bitmap.rows <= largestGlyph;
    }
    FT_Done_Glyph(glyph);
    return sane;
}

bool glyphsAreSane(const char* fileName, const char* text, unsigned characterSize, float outlineThickness)
{
    // No real font draws a letter eight times its size; the broken ones that
    // stall or crash the library's glyph cache draw them hundreds of times it.
    const unsigned largestGlyph = 8 * characterSize;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FT_Stroker stroker = nullptr;
    bool sane = FT_Init_FreeType(&library) == 0 && FT_New_Face(library, fileName, 0, &face) == 0 &&
                FT_Stroker_New(library, &stroker) == 0 && FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0 &&
                FT_Set_Pixel_Sizes(face, 0, characterSize) == 0;
    if (sane)
    {
        FT_Stroker_Set(stroker, static_cast<FT_Fixed>(outlineThickness * 64), FT_STROKER_LINECAP_ROUND,
                       FT_STROKER_LINEJOIN_ROUND, 0);
        bool seen[256] = {};
        for (const char* c = text; sane && *c; ++c)
        {
            const unsigned char character = static_cast<unsigned char>(*c);
            if (!seen[character])
                sane = glyphIsSane(face, stroker, character, false, largestGlyph) &&
                       glyphIsSane(face, stroker, character, true, largestGlyph);
            seen[character] = true;
        }
    }
    // The trial's process ends right after; nothing needs freeing.
    return sane;
}

} // namespace

bool assetTrial::imageLoads(const char* fileName)
{
    return sf::Image().loadFromFile(fileName);
}

bool assetTrial::fontLoads(const char* fileName, const char* text, unsigned characterSize, float outlineThickness)
{
    if (!sf::Font().loadFromFile(fileName))
        return false;
    if (glyphsAreSane(fileName, text, characterSize, outlineThickness))
        return true;
    (void)std::fprintf(stderr,
                       "Failed to load font \"%s\": some of its glyphs are damaged or far too large to draw\n",
                       fileName);
    return false;
}
