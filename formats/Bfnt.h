#pragma once
// The BFNT bitmap-font sheet: fixed-size glyph cells for a contiguous range of
// codes. In memory a sheet is always 256-colour; 16-colour files are expanded.

#include "formats/ByteStream.h"
#include "formats/FormatResult.h"
#include "formats/PixelBuffer.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CBmpData;

enum : std::uint8_t
{
    BFNT_PALETTE = 0x80,      // format bit: a palette block follows the extension block
    BFNT_COLOR_MASK = 0x7F,
    BFNT_COLORS_256 = 7,      // one byte per pixel
    BFNT_COLORS_16 = 3,       // two pixels per byte, earlier pixel in the high nibble
};

enum : std::uint32_t
{
    BFNT_HEADER_SIZE = 32,
    BFNT_PALETTE_256_SIZE = 768,
    BFNT_PALETTE_16_SIZE = 48,
};

// The 32-byte file header, field for field. The unnamed bytes are kept so a
// sheet read and saved again keeps them.
struct BfntHeader
{
    char magic[4];                // "BFNT"
    std::uint8_t unknown4;        // 0x1A in headers this program creates
    std::uint8_t format;          // BFNT_PALETTE | colour type
    std::uint8_t unknown6;        // 22 in headers this program creates
    std::uint8_t unknown7;
    std::uint16_t glyphWidth;
    std::uint16_t glyphHeight;
    std::uint16_t firstCode;
    std::uint16_t lastCode;       // inclusive
    std::uint8_t unknown16[12];
    std::uint16_t extensionLength;
    std::uint8_t unknown30[2];
};

// The 32 header bytes as the record holds them, field by field (little-endian).
void ParseBfntHeader(const std::uint8_t* p, BfntHeader& h);

class CBfntData
{
public:
    CBfntData();
    ~CBfntData();
    CBfntData(const CBfntData&) = delete;
    CBfntData& operator=(const CBfntData&) = delete;

    // Reads 256-colour sheets only; FMT_BFNT_NOT_256 means "try ReadBfnt from the start".
    [[nodiscard]] int ReadBfnt256(IByteStream& file);
    // Reads 256- and 16-colour sheets; readPixels 0 leaves the glyph buffer alone.
    [[nodiscard]] int ReadBfnt(IByteStream& file, int readPixels);
    // Always writes a 256-colour sheet with its 768-byte palette block, top row first.
    [[nodiscard]] int WriteBfnt(IByteStream& file);
    // 0: each glyph's rows top row first (as in files); non-zero: bottom row first.
    void SetBfntRowOrder(int order);

    [[nodiscard]] int BfntToBmp(CBmpData& bmp);

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
};
