#pragma once
// TIM files of every depth: 4 and 8 bits per pixel with a CLUT of one or more rows,
// 16 and 24 bits with or without one. The reader keeps every header field so the
// writer can give back the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : std::uint32_t
{
    TIM_FLAG_MODE_MASK = 0x07,
    TIM_FLAG_CLUT = 0x08,
    TIM_MODE_4BIT = 0,
    TIM_MODE_8BIT = 1,
    TIM_MODE_16BIT = 2,
    TIM_MODE_24BIT = 3,
    TIM_FILE_HEADER_SIZE = 8,
    TIM_BLOCK_HEAD_SIZE = 12,
};

struct TimImage
{
    std::uint16_t nReserved = 0;  // bytes 2 and 3
    std::uint32_t nFlags = 0;
    int nBpp = 0;                 // 4, 8, 16 or 24
    // CLUT block: present when the flags say so.
    std::uint16_t nClutX = 0;
    std::uint16_t nClutY = 0;
    std::uint16_t nClutWidth = 0;
    std::uint16_t nClutHeight = 0;
    std::vector<std::uint16_t> clut;  // (block length - 12) / 2 colours, file order
    // Image block.
    std::uint16_t nImageX = 0;
    std::uint16_t nImageY = 0;
    std::uint16_t nImageUnits = 0;    // width in 16-bit units
    std::uint16_t nImageHeight = 0;
    std::uint32_t nPixelWidth = 0;    // 4, 2, 1 or 2/3 times the units (rounded down)
    // Parsing: points into the caller's bytes. Writing: the rows to write, 2 x units bytes each.
    const std::uint8_t* pPixels = nullptr;

    std::uint64_t RowBytes() const { return 2 * std::uint64_t{nImageUnits}; }
    bool HasClut() const { return (nFlags & TIM_FLAG_CLUT) != 0; }
    // Colours per palette: 16 or 256 for indexed pictures, 0 otherwise.
    std::uint32_t PaletteSize() const { return nBpp == 4 ? 16u : (nBpp == 8 ? 256u : 0u); }
    // Palettes of PaletteSize() consecutive colours; a last partial one counts.
    std::uint32_t PaletteCount() const;
};

// Checks everything against the bytes present before anything is allocated; out is
// changed only on success and then points into pData.
[[nodiscard]] bool ParseTim(const std::uint8_t* pData, std::size_t nSize, TimImage& out, std::string& strError);
// The CLUT block length written is 12 plus the colours, the image block length 12 plus the pixels.
[[nodiscard]] bool WriteTimFile(const TimImage& tim, std::vector<std::uint8_t>& out, std::string& strError);
