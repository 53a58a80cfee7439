#include "assetGuard.hpp"

#include <SFML/Graphics/Image.hpp>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// Generous for a real asset, far short of what the damaged files take
// (tens of seconds and gigabytes).
constexpr int trialMilliseconds = 2500;
constexpr unsigned long long trialExtraBytes = 768ULL << 20;

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
        sane = box.xMax - box.xMin <= FT_Pos{largestGlyph} && box.yMax - box.yMin <= FT_Pos{largestGlyph} &&
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

bool fontIsSane(const char* fileName, const char* text, unsigned characterSize, float outlineThickness)
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
    // The process ends right after; nothing needs freeing.
    return sane;
}

// Caps the child's address space at what it has now plus the trial's share.
void limitMemory()
{
    unsigned long long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        char line[128] = {};
        if (std::fgets(line, sizeof line, statm))
            pages = std::strtoull(line, nullptr, 10);
        (void)std::fclose(statm);
    }
    const auto bytes = pages * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE)) + trialExtraBytes;
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
}

// Runs `trial` in a child process; true when it returns true there in time.
template <typename Trial>
bool passesTrial(Trial trial)
{
    int result[2];
    if (pipe(result) != 0)
        return true;   // cannot check: leave it to the library, as before
    const pid_t child = fork();
    if (child < 0)
    {
        close(result[0]);
        close(result[1]);
        return true;
    }
    if (child == 0)
    {
        // Only the trial runs here; _exit skips destructors and exit
        // handlers, so nothing of the parent's is torn down twice.
        close(result[0]);
        limitMemory();
        const char verdict = trial() ? 'y' : 'n';
        if (write(result[1], &verdict, 1) != 1)
            _exit(2);
        _exit(0);
    }

    close(result[1]);
    pollfd wait{result[0], POLLIN, 0};
    char verdict = 'n';
    int ready = 0;
    while ((ready = poll(&wait, 1, trialMilliseconds)) < 0 && errno == EINTR)
    {
    }
    const bool answered = ready == 1 && read(result[0], &verdict, 1) == 1;
    close(result[0]);
    if (!answered)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    return answered && verdict == 'y' && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool imagePassesTrial(const char* fileName)
{
    return passesTrial([&] { return sf::Image().loadFromFile(fileName); });
}

bool fontPassesTrial(const char* fileName, const char* text, unsigned characterSize, float outlineThickness)
{
    return passesTrial([&] { return fontIsSane(fileName, text, characterSize, outlineThickness); });
}
