// The game's start-up log, text by text, as the tests expect it on
// standard output (Linux and Windows alike, before text mode).
#pragma once

#include <string>

namespace expected_log {

inline const std::string header = "\n\n\n\n][-----LogOfPotentialErrors-----][\n\n\n\n";
inline const std::string adeptOk = "\nThe Machine Spirits favor the Adept.\n";
inline const std::string adeptFailed =
    "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the "
    "texture for the \nVorthane Adept doesn't work!\n";
inline const std::string robotOk = "\nThe Machine Spirits favor the robot that needs repair.\n";
inline const std::string robotFailed =
    "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the "
    "texture for the \nrobot sprite doesn't work!\n";
inline const std::string fontOk = "\nThe Machine Spirits favor this most sacred font.\n";
inline const std::string fontFailed =
    "\nOh dang! Oh crap! You need to lauch with the launcher or let Tamsk know if your tried that and still the font "
    "doesn't work!\n";
inline const std::string closing =
    "\nThe Machine Spirits are most displeased! They implore you to only start the program with \n "
    "TheHestrel'sHolyLauncher.bat."
    "\nIf you have already made sure of this you need to contact Tamsk. He can rectify your problems.\n\n\n";

// The whole log for assets that loaded (true) or failed (false).
inline std::string whole(bool adept, bool robot, bool font)
{
    const std::string log =
        header + (adept ? adeptOk : adeptFailed) + (robot ? robotOk : robotFailed) + (font ? fontOk : fontFailed);
    return adept && robot && font ? log : log + closing;
}

} // namespace expected_log
