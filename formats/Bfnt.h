#pragma once
// The BFNT bitmap-font sheet: fixed-size glyph cells for a contiguous range of
// codes. In memory a sheet is always 256-colour; 16-colour files are expanded.

#include "formats/BfntFormat.h"
#include "formats/ByteStream.h"
#include "formats/FormatResult.h"
#include "formats/PixelBuffer.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CBmpData;

// The 8-bit picture of a sheet's cells in code order, as the conversion to a bitmap lays them
// out: as many cells across as fit in 256 pixels, so a sheet of tall cells stays 256 wide.
struct BfntPictureLayout
{
    std::uint64_t nPerRow;
    std::uint64_t nWidth;
    std::uint64_t nHeight;
};

// For cells 1 to 256 pixels wide.
constexpr BfntPictureLayout LayOutBfntPicture(std::uint64_t nGlyphWidth, std::uint64_t nGlyphHeight,
                                              std::uint64_t nCount)
{
    const std::uint64_t nPerRow = 256 / nGlyphWidth;
    return {nPerRow, nPerRow * nGlyphWidth, (nCount + nPerRow - 1) / nPerRow * nGlyphHeight};
}

class CBfntData
{
public:
    CBfntData();
    ~CBfntData();
    CBfntData(const CBfntData&) = delete;
    CBfntData& operator=(const CBfntData&) = delete;

    // Reads 256-colour sheets only; FMT_BFNT_NOT_256 means "try ReadBfnt from the start".
    [[nodiscard]] FormatResult ReadBfnt256(IByteStream& file);
    // Reads 256- and 16-colour sheets; readPixels 0 leaves the glyph buffer alone.
    [[nodiscard]] FormatResult ReadBfnt(IByteStream& file, int readPixels);
    // Always writes a 256-colour sheet with its 768-byte palette block, top row first.
    [[nodiscard]] FormatResult WriteBfnt(IByteStream& file);
    // The same without the palette block, and a format byte that says so.
    [[nodiscard]] FormatResult WriteBfntWithoutPalette(IByteStream& file);
    // 0: each glyph's rows top row first (as in files); non-zero: bottom row first.
    void SetBfntRowOrder(int order);

    [[nodiscard]] FormatResult BfntToBmp(CBmpData& bmp);

    // lastCode - firstCode + 1, or 0 when lastCode is below firstCode.
    std::uint32_t GlyphCount() const;
    // GlyphCount() x glyphWidth x glyphHeight, without wrapping.
    std::uint64_t GlyphByteCount() const;
    // True when the glyph buffer holds every glyph the header describes.
    bool HasCompleteGlyphs() const;

    BfntHeader m_header;
    std::unique_ptr<std::uint8_t[]> m_pExtension;  // extensionLength bytes, or null
    std::size_t m_nExtensionSize;
    RgbPalette* m_pPalette;                         // not owned
    PixelBuffer m_pGlyphs;                          // one colour index per pixel, glyphs in code order
    std::size_t m_nGlyphsSize;
    std::int32_t m_nRowOrder;

private:
    FormatResult WriteSheet(IByteStream& file, bool bPaletteBlock);
};
