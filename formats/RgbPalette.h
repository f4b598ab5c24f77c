#pragma once
// 256 colours of three bytes each, red, green, blue. Readers store the file's
// colours here and writers take all 256 from it; records only point at one.

#include <cstdint>

struct RgbPalette
{
    std::uint8_t rgb[768];
};

// Where colours live in the surface's palette. The system's static colours keep
// 0..9 and 246..255, so the blit needs no translation; a picture's own colours
// take the 236 entries between. Files that number their colours from 0 (TIM,
// 16-colour BFNT) are moved up to the first image colour as they are read.
enum : int
{
    PAL_FIRST_IMAGE_COLOR = 10,
    PAL_IMAGE_COLORS = 236,
    PAL_BACKGROUND_INDEX = 247,  // in the upper static block, so no image colour can change it
};
