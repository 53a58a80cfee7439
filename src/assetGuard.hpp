// A first look at an asset file before the library loads it.
//
// Some damaged files crash the library's decoders, make them run for minutes
// or claim gigabytes, and two kinds of broken font only crash at the first
// drawn text. Such a file must be reported like any asset that fails to load.
#pragma once

enum class AssetKind
{
    Image,
    Font,
};

// True when a trial load of the file, in a short-lived child process with
// limited time and memory, succeeds: the image decodes, or the font gives a
// sane outlined glyph for every character the game shows.
bool assetLooksSafe(const char* fileName, AssetKind kind);
