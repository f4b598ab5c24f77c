#pragma once
// 256 colours of three bytes each, red, green, blue. Readers store the file's
// colours here and writers take all 256 from it; records only point at one.

#include <cstdint>

struct RgbPalette
{
    std::uint8_t rgb[768];
};
