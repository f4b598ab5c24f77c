#pragma once
// The colours of the classic 256-colour display that the surface starts with: the twenty
// static colours at 0..9 and 246..255, a grey ramp at 10..25, a 6 x 6 x 6 colour cube at
// 26..241 and black at 242..245. The surface reports them as the system palette; export
// shows a sheet without colours of its own in them.

#include "formats/RgbPalette.h"

#include <cstdint>

// Entry i (0..255) as red, green, blue into pRgb[0..2].
void SystemPaletteEntry(unsigned i, std::uint8_t* pRgb);
RgbPalette SystemPalette();
