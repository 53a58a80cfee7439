// A first look at the asset files before the library loads them.
//
// Some damaged files crash the library's decoders, make them run for minutes
// or claim gigabytes, and two kinds of broken font only crash at the first
// drawn text. Such a file must be reported like any asset that fails to load.
#pragma once

namespace assetGuard {

// Starts a trial load of each file at once, each in a short-lived child
// process with limited time and memory, and returns: the trials run while
// the caller goes on. An image must decode; the font must give a sane
// glyph, plain and outlined, for every character of `text` at this size and
// outline thickness.
void startTrials(const char* adeptImage, const char* robotImage, const char* fontFile, const char* text,
                 unsigned characterSize, float outlineThickness);

// Waits for the trial of one of those files and writes to the standard
// error stream what the library said during it (or why the trial failed,
// where the library could not say), so that each asset's diagnostics come
// just before its report line. True when the trial passed.
bool passedTrial(const char* fileName);

} // namespace assetGuard
