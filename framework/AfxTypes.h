#pragma once
// The basic types of the framework and the device-context seam through which everything
// that draws reaches a window. Plain C++: the surface, the document and the view include
// this without seeing any platform.

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;

using LPCTSTR = const char*;  // UTF-8 throughout
using LPTSTR = char*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct RGBQUAD
{
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
};

struct GdiPalette;  // a logical palette object
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

// A device context: a memory DC of the surface, or a window's DC during its paint.
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
