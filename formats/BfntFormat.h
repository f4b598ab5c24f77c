#pragma once
// The BFNT sheet's layout, for every reader and writer of it: a 32-byte header, an extension
// block of extensionLength bytes, a palette block when the format byte says so (256 or 16
// colours as blue, red, green triples), then the glyphs in code order, each row by row.
// Little-endian throughout.

#include <cstdint>

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

// The first four bytes of every sheet.
constexpr char BFNT_MAGIC[4] = {'B', 'F', 'N', 'T'};

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

// The header of a 256-colour sheet with a palette block as the program makes one: its
// unnamed bytes as the program sets them, codes 0 to 0, no extension block.
BfntHeader NewBfntHeader(std::uint16_t nGlyphWidth, std::uint16_t nGlyphHeight);

// The 32 header bytes, field by field, and back: the two give the same bytes again.
void ParseBfntHeader(const std::uint8_t* p, BfntHeader& h);
void StoreBfntHeader(std::uint8_t* p, const BfntHeader& h);

// (lastCode - firstCode + 1) x glyphWidth x glyphHeight; 0 when lastCode is below firstCode.
std::uint64_t BfntGlyphBytes(const BfntHeader& h);

// One palette entry: the file's blue, red, green triple and red, green, blue.
inline void BfntTripleToRgb(const std::uint8_t* pTriple, std::uint8_t* pRgb)
{
    pRgb[0] = pTriple[1];
    pRgb[1] = pTriple[2];
    pRgb[2] = pTriple[0];
}

inline void BfntRgbToTriple(const std::uint8_t* pRgb, std::uint8_t* pTriple)
{
    pTriple[0] = pRgb[2];
    pTriple[1] = pRgb[0];
    pTriple[2] = pRgb[1];
}
