#pragma once
// BFNT sheets as the PNG export reads them and the import writes them: 256 and 16 colours,
// with or without the extension and palette blocks. Unlike the 8-bit record (Bfnt.h) the
// glyphs stay the file's own values, packed as the file has them.

#include "formats/BfntFormat.h"
#include "formats/ByteStream.h"
#include "formats/FormatResult.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct BfntImage
{
    BfntHeader header{};
    bool b16 = false;             // two pixels a byte, earlier one in the high nibble
    bool bPalette = false;
    std::vector<std::uint8_t> extension;
    RgbPalette palette{};         // the file's 256 or 16 colours, when it has them
    // Parsing: points into the caller's bytes. Sixteen-colour sheets may lack the byte
    // holding an odd last pixel; nGlyphBytes is the count present. Writing: every byte.
    const std::uint8_t* pGlyphs = nullptr;
    std::uint64_t nGlyphBytes = 0;

    std::uint32_t GlyphCount() const { return std::uint32_t{header.lastCode} - header.firstCode + 1; }
    // Colours of the palette block: 16, 256, or 0 without one.
    std::uint32_t PaletteColors() const { return bPalette ? (b16 ? 16u : 256u) : 0u; }
    // The sheet as a grid of nColumns cells across (1 or more), one per code from 0: code c at
    // column c mod nColumns, row c div nColumns, so codes below the first are empty cells.
    std::uint64_t GridWidth(std::uint64_t nColumns) const { return nColumns * header.glyphWidth; }
    std::uint64_t GridHeight(std::uint64_t nColumns) const { return (header.lastCode / nColumns + 1) * header.glyphHeight; }
    // Colour index of pixel (x, y) of glyph g.
    std::uint8_t Pixel(std::uint64_t g, std::uint64_t y, std::uint64_t x) const;
};

// Checks everything against the bytes present before anything is allocated. On success
// out points into pData. On a refusal out holds the header fields read before the check
// that failed, so the caller can name them, and no glyphs.
FormatResult ParseBfntImage(const std::uint8_t* pData, std::size_t nSize, BfntImage& out);

// Writes the header with its format byte and extension length taken from b16, bPalette and
// the extension, the extension and palette blocks, and the glyphs, whose byte count must be
// what the header's codes and cells describe. FMT_BAD_RECORD, before anything is written,
// when it is not.
FormatResult WriteBfntImage(IByteStream& file, const BfntImage& f);
