// A first look at an asset file before the library loads it.
//
// Some damaged files crash the library's decoders, make them run for minutes
// or claim gigabytes, and two kinds of broken font only crash at the first
// drawn text. Such a file must be reported like any asset that fails to load.
#pragma once

// Each check is a trial load in a short-lived child process with limited
// time and memory; true when it succeeds.

// The image decodes.
bool imagePassesTrial(const char* fileName);

// The font gives a sane glyph, plain and outlined, for every character of
// `text` at this size and outline thickness.
bool fontPassesTrial(const char* fileName, const char* text, unsigned characterSize, float outlineThickness);
