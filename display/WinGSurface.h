#pragma once
// The view's offscreen 8-bit surface: a WinG bitmap whose colour table and logical
// palette hold the same colours entry for entry, with the system's static colours at
// 0..9 and 246..255 so that the blit to the window needs no colour translation.

#include "display/Raster.h"
#include "display/WinG.h"
#include "display/WinGdi.h"

#include <cstddef>
#include <cstdint>

class CWinGSurface
{
public:
    CWinGSurface();
    ~CWinGSurface();
    CWinGSurface(const CWinGSurface&) = delete;
    CWinGSurface& operator=(const CWinGSurface&) = delete;

    // Creates DC, bitmap and palette on the first call, replaces the bitmap when the size
    // changes. Should the DC or bitmap not come into being, the surface is left empty
    // (0 x 0, no pixels) and the next call tries again. Non-positive sizes are ignored.
    void SetSize(std::int32_t width, std::int32_t height);
    // rgb holds R,G,B triples for entries first, first + 1, ...; entries outside 0..255 are skipped.
    void SetColors(const std::uint8_t* rgb, std::int32_t first, std::int32_t count);
    void GetColors(std::uint8_t* rgb, std::int32_t first, std::int32_t count) const;
    HPALETTE GetPalette() const { return m_hPalette; }
    BOOL BlitTo(HDC dc);
    std::int32_t GetWidth() const { return m_bits.width; }
    std::int32_t GetHeight() const { return m_bits.height; }
    void Destroy();

    void FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::uint8_t colour);
    void DrawCell(const std::uint8_t* cells, std::int32_t x, std::int32_t y, std::int32_t n,
                  std::int32_t index);
    void DrawCell(const std::uint8_t* cells, std::size_t nCellsSize, std::int32_t x, std::int32_t y,
                  std::int32_t n, std::int32_t index);
    void DrawCellRect(const std::uint8_t* cells, std::size_t nCellsSize, std::int32_t x, std::int32_t y,
                      std::int32_t cellWidth, std::int32_t cellHeight, std::int32_t index);
    void DrawRow(std::int32_t x, std::int32_t y, std::int32_t count, std::uint32_t step,
                 const std::uint8_t* src);
    void DrawRow(std::int32_t x, std::int32_t y, std::int32_t count, std::uint32_t step,
                 const std::uint8_t* src, std::size_t nSrcSize);

    // For anyone who writes m_bits.bits directly: lets the window drop its cached copy.
    void NoteBitsChanged();

    HDC m_hDC;
    SurfaceBits m_bits;
    void* m_pReserved;
    BITMAPINFOHEADER m_bmiHeader;
    RGBQUAD m_bmiColors[256];
    HBITMAP m_hOldBitmap;
    HPALETTE m_hPalette;
    LOGPALETTE m_logPalette;

private:
    void MakeEmpty();
};
