#pragma once
// The 15-bit colours of TIM files and how they meet 8-bit RGBA. Widening is the format's
// (TimWiden5: the top bits repeat in the low ones, so 31 gives 255) and narrowing by >> 3
// gives back every value. Bit 15 is the semi-transparency bit.

#include "exchange/Png.h"
#include "formats/TimFormat.h"

#include <cstdint>

enum : std::uint8_t
{
    TIM_ALPHA_CLEAR = 0,    // the colour value 0x0000
    TIM_ALPHA_SEMI = 128,   // the semi-transparency bit set
    TIM_ALPHA_OPAQUE = 255,
};

inline PngColor WidenTimColor(std::uint16_t c)
{
    const std::uint8_t a = c == 0 ? TIM_ALPHA_CLEAR : ((c & TIM_COLOR_STP) != 0 ? TIM_ALPHA_SEMI : TIM_ALPHA_OPAQUE);
    return PngColor{TimWiden5(c & 31u), TimWiden5((c >> 5) & 31u), TimWiden5((c >> 10) & 31u), a};
}

// Alpha 0 is the transparent value 0x0000 whatever the colour; any alpha short of
// opaque sets the semi-transparency bit. Opaque black is 0x0000 too: the format has
// no other plain black.
inline std::uint16_t NarrowTimColor(const PngColor& c)
{
    if (c.a == TIM_ALPHA_CLEAR)
        return 0;
    const auto v = static_cast<std::uint16_t>((c.r >> 3) | ((c.g >> 3) << 5) | ((c.b >> 3) << 10));
    return c.a == TIM_ALPHA_OPAQUE ? v : static_cast<std::uint16_t>(v | TIM_COLOR_STP);
}
