// The trial load of one asset, run by the asset guard in a throw-away
// process: whatever a damaged file does to the library happens there.
#pragma once

namespace assetTrial {

// The image decodes. On failure the library says why on standard error.
bool imageLoads(const char* fileName);

// The library opens the font, and every character of `text` gives a sane
// glyph, plain and outlined. Says why not on standard error.
bool fontLoads(const char* fileName, const char* text, unsigned characterSize, float outlineThickness);

} // namespace assetTrial
