#pragma once
// BFNT sheets as export reads them: 256 and 16 colours, with or without the
// extension and palette blocks. The 32 header bytes are kept as they are.

#include "exchange/Png.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BfntImage
{
    std::uint8_t header[32] = {};
    bool b16 = false;             // two pixels a byte, earlier one in the high nibble
    bool bPalette = false;
    std::uint32_t nGlyphWidth = 0;
    std::uint32_t nGlyphHeight = 0;
    std::uint32_t nFirstCode = 0;
    std::uint32_t nLastCode = 0;  // inclusive
    std::vector<std::uint8_t> extension;
    std::vector<PngColor> palette;  // the file's 256 or 16 colours, when it has them
    // Points into the caller's bytes. Sixteen-colour sheets may lack the byte holding
    // an odd last pixel; nGlyphBytes is the count present.
    const std::uint8_t* pGlyphs = nullptr;
    std::uint64_t nGlyphBytes = 0;

    std::uint32_t GlyphCount() const { return nLastCode - nFirstCode + 1; }
    // Colour index of pixel (x, y) of glyph g.
    std::uint8_t Pixel(std::uint64_t g, std::uint64_t y, std::uint64_t x) const;
};

[[nodiscard]] bool ParseBfnt(const std::uint8_t* pData, std::size_t nSize, BfntImage& out, std::string& strError);
