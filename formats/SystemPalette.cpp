#include "formats/SystemPalette.h"

#include <cstring>

void SystemPaletteEntry(unsigned i, std::uint8_t* pRgb)
{
    static const std::uint8_t s_low[10][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    };
    static const std::uint8_t s_high[10][3] = {
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
    };
    if (i < 10)
        std::memcpy(pRgb, s_low[i], 3);
    else if (i >= 246 && i < 256)
        std::memcpy(pRgb, s_high[i - 246], 3);
    else if (i >= 10 && i < 26)
        pRgb[0] = pRgb[1] = pRgb[2] = static_cast<std::uint8_t>(17 * (i - 10));
    else if (i >= 26 && i < 242)
    {
        const unsigned c = i - 26;
        pRgb[0] = static_cast<std::uint8_t>(51 * (c / 36));
        pRgb[1] = static_cast<std::uint8_t>(51 * (c / 6 % 6));
        pRgb[2] = static_cast<std::uint8_t>(51 * (c % 6));
    }
    else
        pRgb[0] = pRgb[1] = pRgb[2] = 0;
}

RgbPalette SystemPalette()
{
    RgbPalette pal{};
    for (unsigned i = 0; i < 256; ++i)
        SystemPaletteEntry(i, pal.rgb + 3 * i);
    return pal;
}
