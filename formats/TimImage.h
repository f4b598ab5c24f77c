#pragma once
// TIM files of every depth, as the PNG export and import see them: 4 and 8 bits per pixel
// with a CLUT of one or more rows or without one (a texture whose colours are elsewhere),
// 16 and 24 bits with or without one. Unlike the 8-bit
// record (Tim.h) the pixels stay the file's own values, and every header field is kept so
// that the writer gives back the same bytes.

#include "formats/FormatResult.h"
#include "formats/TimFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct TimImage
{
    TimFileHeader header{TIM_ID, 0, 0, 0};
    int nBpp = 0;                     // 4, 8, 16 or 24
    TimBlockHeader clutBlock{};       // present when the flags say so
    std::vector<std::uint16_t> clut;  // (block length - 12) / 2 colours, file order
    TimBlockHeader imageBlock{};
    std::uint32_t nPixelWidth = 0;    // 4, 2, 1 or 2/3 times the units (rounded down)
    // Parsing: points into the caller's bytes. Writing: the rows to write, 2 x units bytes each.
    const std::uint8_t* pPixels = nullptr;

    std::uint64_t RowBytes() const { return 2 * std::uint64_t{imageBlock.width}; }
    bool HasClut() const { return (header.flags & TIM_FLAG_CLUT) != 0; }
    // Colours per palette: 16 or 256 for indexed pictures, 0 otherwise.
    std::uint32_t PaletteSize() const { return nBpp == 4 ? 16u : (nBpp == 8 ? 256u : 0u); }
    // Palettes of PaletteSize() consecutive colours; a last partial one counts. 0 without a CLUT.
    std::uint32_t PaletteCount() const;
};

// Bits per pixel of a pixel mode (the flags' low three bits); 0 for the mixed mode and
// the modes the format does not define.
int TimModeBpp(std::uint32_t nMode);

// Checks everything against the bytes present before anything is allocated. On success
// out points into pData. On a refusal out holds the header fields read before the check
// that failed, so the caller can name them, and no pixels.
FormatResult ParseTimImage(const std::uint8_t* pData, std::size_t nSize, TimImage& out);

// Writes the file header as given, the CLUT block (when the flags ask for one) with a
// length of 12 plus its colours, and the image block with a length of 12 plus its pixels.
// FMT_TIM_TOO_LARGE, before anything is written, when a length does not fit.
FormatResult WriteTimImage(IByteStream& file, const TimImage& tim);
// The same with the pixels made a row at a time: fnRow(y, pRow) fills row y's RowBytes()
// bytes (zeros on entry), so a large picture is never held whole in the file's layout.
FormatResult WriteTimImage(IByteStream& file, const TimImage& tim,
                           const std::function<void(std::uint32_t, std::uint8_t*)>& fnRow);
