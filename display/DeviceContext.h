#pragma once
// The device-context seam between the offscreen surface and whatever shows it.
// The surface side (memory DCs, bitmaps, palettes) is plain C++; a window's DC is
// implemented by the framework layer on Qt and only has to accept a blit.

#include <cstdint>

struct RGBQUAD
{
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
};

struct GdiPalette;                 // a logical palette object
using HPALETTE = GdiPalette*;

// An 8-bit bitmap as a blit source sees it.
struct DibView
{
    const std::uint8_t* pBits = nullptr;  // memory row 0, column 0
    int nWidth = 0;                       // pixels per row, and bytes per row
    int nHeight = 0;                      // rows, never negative
    int nOrientation = 1;                 // >= 0: memory row 0 is the bottom line; < 0: the top line
    const RGBQUAD* pColors = nullptr;     // 256 entries
    std::uint64_t nGeneration = 0;        // changes whenever the pixels or the colour table change
};

class CDeviceContext
{
public:
    virtual ~CDeviceContext() = default;

    // Copies nWidth x nHeight pixels from (xSrc, ySrc) of src, unscaled, to (xDest, yDest),
    // clipped to both. Coordinates count from the top-left corner as shown.
    virtual bool BlitFrom(const DibView& src, int xDest, int yDest, int nWidth, int nHeight,
                          int xSrc, int ySrc) = 0;

    // The palette last selected into this DC (SelectPalette); null when none.
    HPALETTE m_hSelectedPalette = nullptr;
};

using HDC = CDeviceContext*;
