// assetTrial.exe: the Windows asset guard's throw-away process. The game
// starts it for each asset, inside a job object that limits its memory, and
// reads its exit status: 0 passed, 1 failed (the library said why on
// standard error), anything else crashed.
//
//   assetTrial image FILE
//   assetTrial font FILE CHARACTER-SIZE OUTLINE-THICKNESS TEXT-IN-HEX
#include "assetTrial.hpp"

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string unhex(const char* digits)
{
    std::string text;
    for (const char* d = digits; d[0] && d[1]; d += 2)
        text += static_cast<char>(std::strtoul(std::string(d, 2).c_str(), nullptr, 16));
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    // A crash ends this process at once, without an error dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

    if (argc == 3 && std::strcmp(argv[1], "image") == 0)
        return assetTrial::imageLoads(argv[2]) ? 0 : 1;
    if (argc == 6 && std::strcmp(argv[1], "font") == 0)
        return assetTrial::fontLoads(argv[2], unhex(argv[5]).c_str(),
                                     static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)),
                                     std::strtof(argv[4], nullptr))
                   ? 0
                   : 1;
    (void)std::fprintf(stderr, "usage: assetTrial image FILE | assetTrial font FILE SIZE OUTLINE TEXT-IN-HEX\n");
    return 1;
}
