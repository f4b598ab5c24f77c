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
