// asset-fuzz: crafted and mutated variants of the three assets, each run
// through the real game under a private Xvfb. Every variant must end one of
// two ways within 10 s: that asset's failure lines and exit status 1, or a
// window that opens and closes with status 0 on Backspace. Anything else is
// recorded, and the file that did it is kept.
//
//   asset-fuzz [--count N] [--seed S] [--keep DIR]
//
// N variants of each asset (default 100), from seed S (default 1); kept
// files go to DIR (default ./asset-fuzz-findings).

#include "support.hpp"

#include <SFML/Graphics/Image.hpp>

#include <zlib.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace harness;

namespace {

using Bytes = std::string;
std::mt19937_64 rng;

size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(rng() % n); }
uint8_t byte() { return static_cast<uint8_t>(rng()); }

void put16be(Bytes& b, size_t at, unsigned v) { if (at + 2 <= b.size()) { b[at] = char(v >> 8); b[at + 1] = char(v); } }
void put16le(Bytes& b, size_t at, unsigned v) { if (at + 2 <= b.size()) { b[at] = char(v); b[at + 1] = char(v >> 8); } }
void put32be(Bytes& b, size_t at, uint32_t v) { for (int i = 0; i < 4 && at + 4 <= b.size(); ++i) b[at + i] = char(v >> (24 - 8 * i)); }
void put32le(Bytes& b, size_t at, uint32_t v) { for (int i = 0; i < 4 && at + 4 <= b.size(); ++i) b[at + i] = char(v >> (8 * i)); }
uint32_t get32be(const Bytes& b, size_t at) { uint32_t v = 0; for (int i = 0; i < 4 && at + 4 <= b.size(); ++i) v = v << 8 | uint8_t(b[at + i]); return v; }
unsigned get16be(const Bytes& b, size_t at) { return at + 2 <= b.size() ? unsigned(uint8_t(b[at])) << 8 | uint8_t(b[at + 1]) : 0; }

uint32_t hugeDimension()
{
    static const uint32_t sizes[] = {0, 1, 16384, 16385, 20000, 32767, 32768, 65535, 65536, 100000, 1u << 24, 0x7fffffff, 0xffffffff};
    return sizes[below(sizeof sizes / sizeof sizes[0])];
}

// ---- Seeds: small valid files of every format the decoder sniffs ---------------

Bytes encodeWithLibrary(const char* extension)
{
    sf::Image image;
    image.create(40, 30);
    for (unsigned y = 0; y < 30; ++y)
        for (unsigned x = 0; x < 40; ++x)
            image.setPixel(x, y, sf::Color(byte(), byte(), byte(), (x + y) % 5 ? 255 : 0));
    const fs::path file = fs::temp_directory_path() / (std::string("asset-fuzz-seed.") + extension);
    image.saveToFile(file.string());
    Bytes data = readFile(file);
    fs::remove(file);
    return data;
}

Bytes deflate(const Bytes& raw)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
}

void pngChunk(Bytes& png, const char* type, const Bytes& data)
{
    Bytes chunk(4, '\0');
    put32be(chunk, 0, static_cast<uint32_t>(data.size()));
    const Bytes body = std::string(type, 4) + data;
    chunk += body;
    Bytes crc(4, '\0');
    put32be(crc, 0, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
    png += chunk + crc;
}

// Decompression bombs and liars: tiny files that declare enormous images.
Bytes pngBomb()
{
    const uint32_t width = 20000 + static_cast<uint32_t>(below(20000)), height = 20000 + static_cast<uint32_t>(below(20000));
    Bytes ihdr(13, '\0');
    put32be(ihdr, 0, width);
    put32be(ihdr, 4, height);
    ihdr[8] = 1;   // 1-bit grey
    Bytes raw;
    const size_t rows = 2000 + below(4000);
    raw.assign(rows * (1 + (width + 7) / 8), '\0');
    Bytes png = "\x89PNG\r\n\x1a\n";
    pngChunk(png, "IHDR", ihdr);
    pngChunk(png, "IDAT", deflate(raw));
    pngChunk(png, "IEND", "");
    return png;
}

Bytes tgaBomb()
{
    Bytes tga(18, '\0');
    tga[2] = static_cast<char>(below(2) ? 10 : 2);   // RLE or raw true colour
    put16le(tga, 12, 16384 + static_cast<unsigned>(below(49151)));
    put16le(tga, 14, 16384 + static_cast<unsigned>(below(49151)));
    tga[16] = 32;
    return tga + Bytes(below(64), char(0x80 | byte()));
}

Bytes bmpBomb()
{
    Bytes bmp(54 + 64, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32le(bmp, 2, static_cast<uint32_t>(bmp.size()));
    put32le(bmp, 10, 54 + 64);
    put32le(bmp, 14, 40);
    put32le(bmp, 18, static_cast<uint32_t>(1 + below(64)));
    put32le(bmp, 22, hugeDimension());
    put16le(bmp, 26, 1);
    static const unsigned depths[] = {1, 4, 8, 16, 24, 32};
    put16le(bmp, 28, depths[below(6)]);
    return bmp;
}

Bytes gifBomb()
{
    Bytes gif = "GIF89a";
    Bytes screen(7, '\0');
    put16le(screen, 0, static_cast<unsigned>(hugeDimension()));
    put16le(screen, 2, static_cast<unsigned>(hugeDimension()));
    screen[4] = char(0x80);   // global colour table of 2
    gif += screen + Bytes(6, '\0') + ",";
    Bytes image(9, '\0');
    put16le(image, 4, 65535);
    put16le(image, 6, 65535);
    gif += image + "\x02" + Bytes(1 + below(200), char(byte())) + Bytes("\x00;", 2);
    return gif;
}

Bytes psdBomb()
{
    Bytes psd = "8BPS";
    Bytes header(22, '\0');
    put16be(header, 0, 1);
    put16be(header, 8, 3 + static_cast<unsigned>(below(2)));
    put32be(header, 10, 30000 + static_cast<uint32_t>(below(100000)));
    put32be(header, 14, 30000 + static_cast<uint32_t>(below(100000)));
    put16be(header, 18, 8);
    put16be(header, 20, 3);
    psd += header + Bytes(12, '\0');
    psd += below(2) ? Bytes("\x00\x01", 2) : Bytes("\x00\x00", 2);   // RLE or raw
    return psd + Bytes(below(256), char(byte()));
}

Bytes hdrBomb()
{
    return "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(hugeDimension()) + " +X " +
           std::to_string(hugeDimension()) + "\n" + Bytes(below(64), char(byte()));
}

Bytes picBomb()
{
    Bytes pic(88, '\0');
    put32be(pic, 0, 0x5380F634);
    std::memcpy(&pic[88 - 4], "PICT", 4);
    Bytes header(16, '\0');
    put16be(header, 0, static_cast<unsigned>(hugeDimension()));
    put16be(header, 2, static_cast<unsigned>(hugeDimension()));
    pic += header;
    pic += Bytes("\x00\x08\x02\xf0", 4);   // one packet: 8-bit, mixed RLE, RGBA
    return pic + Bytes(below(64), char(byte()));
}

Bytes pnmBomb()
{
    const char* magic = below(2) ? "P6" : "P5";
    return std::string(magic) + "\n" + std::to_string(hugeDimension()) + " " + std::to_string(hugeDimension()) +
           "\n255\n" + Bytes(below(64), char(byte()));
}

Bytes jpegBomb(const Bytes& validJpeg)
{
    // Rewrite the frame header's height and width.
    Bytes jpeg = validJpeg;
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (uint8_t(jpeg[i]) == 0xFF && (uint8_t(jpeg[i + 1]) == 0xC0 || uint8_t(jpeg[i + 1]) == 0xC2))
        {
            put16be(jpeg, i + 5, 1 + static_cast<unsigned>(below(65535)));
            put16be(jpeg, i + 7, 1 + static_cast<unsigned>(below(65535)));
            break;
        }
    return jpeg;
}

// ---- Mutations of any file ----------------------------------------------------

Bytes mutateBytes(Bytes data)
{
    switch (below(6))
    {
    case 0: // bit flips
        for (size_t n = 1 + below(16); n-- && !data.empty();)
        {
            char& target = data[below(data.size())];
            target = static_cast<char>(static_cast<uint8_t>(target) ^ (1u << below(8)));
        }
        break;
    case 1: // truncation, anywhere
        data.resize(below(data.size() + 1));
        break;
    case 2: // an inserted run
        data.insert(below(data.size() + 1), Bytes(1 + below(64), char(byte())));
        break;
    case 3: // a deleted run
        if (!data.empty())
        {
            const size_t at = below(data.size());
            data.erase(at, 1 + below(64));
        }
        break;
    case 4: // wrong magic
        for (size_t i = 0; i < std::min<size_t>(data.size(), 1 + below(8)); ++i)
            data[i] = char(byte());
        break;
    default: // random bytes over a stretch
        for (size_t i = 0, at = below(data.size()); i < 1 + below(32) && at + i < data.size(); ++i)
            data[at + i] = char(byte());
        break;
    }
    return data;
}

// ---- Images ------------------------------------------------------------------

struct Variant
{
    std::string how;
    Bytes data;
};

Variant imageVariant(const std::map<std::string, Bytes>& seeds)
{
    const char* formats[] = {"png", "bmp", "tga", "jpg"};
    const std::string seed = formats[below(4)];
    switch (below(5))
    {
    case 0: case 1:
        return {"mutated " + seed, mutateBytes(seeds.at(seed))};
    case 2:
    {
        Bytes png = seeds.at("png");   // declared size in IHDR, CRC left stale as often as not
        put32be(png, 16, hugeDimension());
        put32be(png, 20, hugeDimension());
        return {"png with huge IHDR", png};
    }
    case 3:
    {
        std::function<Bytes()> bombs[] = {pngBomb, tgaBomb, bmpBomb, gifBomb, psdBomb, hdrBomb, picBomb, pnmBomb,
                                          [&] { return jpegBomb(seeds.at("jpg")); }};
        const char* names[] = {"png", "tga", "bmp", "gif", "psd", "hdr", "pic", "pnm", "jpeg"};
        const size_t which = below(9);
        return {std::string(names[which]) + " bomb", bombs[which]()};
    }
    default:
    {
        std::function<Bytes()> bombs[] = {pngBomb, tgaBomb, bmpBomb, gifBomb, psdBomb, hdrBomb, picBomb, pnmBomb};
        return {"mutated bomb", mutateBytes(bombs[below(8)]())};
    }
    }
}

// ---- Fonts -------------------------------------------------------------------

struct Table
{
    std::string tag;
    uint32_t offset, length;
    size_t entry;   // where its directory entry is
};

std::vector<Table> tables(const Bytes& font)
{
    std::vector<Table> found;
    const unsigned count = get16be(font, 4);
    for (unsigned i = 0; i < count && 12 + 16 * (i + 1) <= font.size(); ++i)
    {
        const size_t entry = 12 + 16 * i;
        found.push_back({font.substr(entry, 4), get32be(font, entry + 8), get32be(font, entry + 12), entry});
    }
    return found;
}

const Table* findTable(const std::vector<Table>& all, const char* tag)
{
    for (const auto& t : all)
        if (t.tag == tag)
            return &t;
    return nullptr;
}

Variant fontVariant(const Bytes& seed)
{
    Bytes font = seed;
    const auto all = tables(font);
    const Table* head = findTable(all, "head");
    switch (below(6))
    {
    case 0: case 1:
        return {"mutated font", mutateBytes(font)};
    case 2:
    {
        static const unsigned upem[] = {0, 1, 2, 15, 16, 17, 32, 64, 100, 16383, 16384, 16385, 32768, 65535};
        const unsigned value = upem[below(sizeof upem / sizeof upem[0])];
        if (head)
            put16be(font, head->offset + 18, value);
        return {"unitsPerEm " + std::to_string(value), font};
    }
    case 3:
    {
        static const unsigned extremes[] = {0x8000, 0x8001, 0xFFFF, 0x7FFF, 0x7FFE, 0, 1};
        if (head)
            for (unsigned field = 36; field <= 42; field += 2)
                if (below(2))
                    put16be(font, head->offset + field, extremes[below(7)]);
        return {"head bounding box extremes", font};
    }
    case 4:
    {
        // Garbage over part of one table's contents.
        if (all.empty())
            return {"mutated font", mutateBytes(font)};
        const Table& t = all[below(all.size())];
        for (size_t i = 0, n = 1 + below(64); i < n && t.length; ++i)
        {
            const size_t at = t.offset + below(t.length);
            if (at < font.size())
                font[at] = char(byte());
        }
        return {"corrupt " + t.tag + " table", font};
    }
    default:
    {
        // A table directory entry pointing at the wrong place or length.
        if (all.empty())
            return {"mutated font", mutateBytes(font)};
        const Table& t = all[below(all.size())];
        put32be(font, t.entry + 8 + 4 * below(2), static_cast<uint32_t>(rng()));
        return {"bad directory entry for " + t.tag, font};
    }
    }
}

// ---- Running the game on one variant ------------------------------------------

enum class Outcome { FailedLoad, Played, Bad };

struct Result
{
    Outcome outcome;
    std::string why;
    double seconds;
    double peakMiB;
};

const char* const header = "\n\n\n\n][-----LogOfPotentialErrors-----][\n\n\n\n";

Result run(const fs::path& dir, const std::string& asset)
{
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    Game game(gameExecutable(), dir);
    Window window = 0;
    waitUntil([&] {
        if (!game.running())
            return true;
        window = findGameWindow(0);
        return window != 0;
    }, 10);

    Result result{Outcome::Bad, "", 0, 0};
    if (window)
        sleepFor(0.3);   // dozens of frames: a font that breaks drawing has had its chance
    if (window && !game.running())
        result.why = "window, then " + describeStatus(*game.status) + " before Backspace";
    else if (window)
    {
        const auto status = holdBackspaceUntilExit(game, window, std::max(0.5, 10 - elapsed()));
        if (!status)
            result.why = "window did not close on Backspace";
        else if (describeStatus(*status) != "exit status 0")
            result.why = "window, then " + describeStatus(*status);
        else
            result.outcome = Outcome::Played;
    }
    else if (const auto status = game.waitExit(std::max(0.1, 10 - elapsed())))
    {
        const std::string out = game.out();
        const std::string line = asset == "chintzy.ttf" ? "the font doesn't work" : asset == "robotToFix.png" ? "robot sprite doesn't work" : "Vorthane Adept doesn't work";
        if (describeStatus(*status) != "exit status 1")
            result.why = describeStatus(*status);
        else if (out.rfind(header, 0) != 0 || out.find(line) == std::string::npos ||
                 out.find("He can rectify your problems.\n\n\n") == std::string::npos)
            result.why = "status 1 without the asset's failure lines";
        else
            result.outcome = Outcome::FailedLoad;
    }
    else
        result.why = "neither a window nor an exit within 10 s";

    result.seconds = elapsed();
    if (game.running())
        game.waitExit(0);
    result.peakMiB = static_cast<double>(game.usage.ru_maxrss) / 1024.0;
    if (result.outcome != Outcome::Bad && result.seconds > 10)
    {
        result.outcome = Outcome::Bad;
        result.why = "took " + std::to_string(result.seconds) + " s";
    }
    if (result.outcome != Outcome::Bad && result.peakMiB > 2048)
    {
        result.outcome = Outcome::Bad;
        result.why = "peak " + std::to_string(result.peakMiB) + " MiB";
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    long count = 100;
    unsigned long long seed = 1;
    fs::path keep = fs::current_path() / "asset-fuzz-findings";
    for (int i = 1; i + 1 < argc + 1; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc)
            count = std::max(1L, std::strtol(argv[++i], nullptr, 10));
        else if (arg == "--seed" && i + 1 < argc)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else
        {
            std::fprintf(stderr, "usage: asset-fuzz [--count N] [--seed S] [--keep DIR]\n");
            return 2;
        }
    }
    rng.seed(seed);

    try
    {
        startXvfb();
        std::map<std::string, Bytes> imageSeeds;
        for (const char* format : {"png", "bmp", "tga", "jpg"})
            imageSeeds[format] = encodeWithLibrary(format);
        const Bytes fontSeed = readFile(stagedFont());

        ScratchDir dir;
        dir.writeAssets();
        const Bytes goodAdept = readFile(dir.path / "VorthaneBoi.png");
        const Bytes goodRobot = readFile(dir.path / "robotToFix.png");

        std::printf("asset-fuzz: %ld variants of each asset, seed %llu\n", count, seed);
        long bad = 0;
        for (const std::string asset : {"VorthaneBoi.png", "robotToFix.png", "chintzy.ttf"})
        {
            std::map<Outcome, long> outcomes;
            double worstSeconds = 0, worstPeak = 0;
            std::string worstWhat;
            for (long i = 0; i < count; ++i)
            {
                const Variant variant = asset == "chintzy.ttf" ? fontVariant(fontSeed) : imageVariant(imageSeeds);
                writeFile(dir.path / "VorthaneBoi.png", goodAdept);
                writeFile(dir.path / "robotToFix.png", goodRobot);
                fs::copy_file(stagedFont(), dir.path / "chintzy.ttf", fs::copy_options::overwrite_existing);
                writeFile(dir.path / asset, variant.data);

                const Result result = run(dir.path, asset);
                ++outcomes[result.outcome];
                if (result.seconds > worstSeconds)
                {
                    worstSeconds = result.seconds;
                    worstWhat = variant.how;
                }
                worstPeak = std::max(worstPeak, result.peakMiB);
                if (result.outcome == Outcome::Bad)
                {
                    ++bad;
                    fs::create_directories(keep);
                    const fs::path file = keep / (asset + ".seed" + std::to_string(seed) + "." + std::to_string(i));
                    writeFile(file, variant.data);
                    std::printf("  BAD %s #%ld (%s): %s -> kept as %s\n", asset.c_str(), i, variant.how.c_str(),
                                result.why.c_str(), file.string().c_str());
                }
            }
            std::printf("%-16s variants %5ld   failed load %5ld   played %5ld   bad %3ld   worst %.2f s (%s)   "
                        "worst peak %.1f MiB\n",
                        asset.c_str(), count, outcomes[Outcome::FailedLoad], outcomes[Outcome::Played],
                        outcomes[Outcome::Bad], worstSeconds, worstWhat.c_str(), worstPeak);
            std::fflush(stdout);
        }
        stopXvfb();
        std::printf("%s\n", bad == 0 ? "asset-fuzz: every variant ended as it should" : "asset-fuzz: FAILURES above");
        return bad == 0 ? 0 : 1;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "asset-fuzz: %s\n", error.what());
        stopXvfb();
        return 1;
    }
}
