#include "formats/BfntImage.h"

#include "formats/detail/StreamIo.h"

#include <cstring>
#include <limits>

std::uint8_t BfntImage::Pixel(std::uint64_t g, std::uint64_t y, std::uint64_t x) const
{
    const std::uint64_t k = (g * header.glyphHeight + y) * header.glyphWidth + x;
    if (!b16)
        return pGlyphs[k];
    if (k / 2 >= nGlyphBytes)
        return 0;
    const std::uint8_t v = pGlyphs[k / 2];
    return static_cast<std::uint8_t>((k % 2) == 0 ? v >> 4 : v & 0x0F);
}

FormatResult ParseBfntImage(const std::uint8_t* pData, std::size_t nSize, BfntImage& out)
{
    out = BfntImage{};
    if (nSize < 4 || std::memcmp(pData, BFNT_MAGIC, 4) != 0)
        return FMT_BFNT_MAGIC;
    if (nSize < BFNT_HEADER_SIZE)
        return FMT_BFNT_TRUNCATED;
    ParseBfntHeader(pData, out.header);
    const BfntHeader& h = out.header;
    const unsigned nType = h.format & BFNT_COLOR_MASK;
    if (nType != BFNT_COLORS_256 && nType != BFNT_COLORS_16)
        return FMT_BFNT_TYPE;
    out.b16 = nType == BFNT_COLORS_16;
    out.bPalette = (h.format & BFNT_PALETTE) != 0;
    if (h.lastCode < h.firstCode)
        return FMT_BFNT_CODES;
    if (h.glyphWidth == 0 || h.glyphHeight == 0)
        return FMT_BFNT_EMPTY_CELLS;

    std::uint64_t nPos = BFNT_HEADER_SIZE;
    const std::uint64_t nExtension = h.extensionLength;
    if (nExtension > nSize - nPos)
        return FMT_BFNT_EXTENSION_CUT;
    out.extension.assign(pData + nPos, pData + nPos + nExtension);
    nPos += nExtension;

    const std::uint64_t nColours = out.PaletteColors();
    if (3 * nColours > nSize - nPos)
        return FMT_BFNT_PALETTE_CUT;
    for (std::uint64_t i = 0; i < nColours; ++i)
        BfntTripleToRgb(pData + nPos + 3 * i, out.palette.rgb + 3 * i);
    nPos += 3 * nColours;

    const std::uint64_t nPixels = BfntGlyphBytes(h);
    const std::uint64_t nLeft = nSize - nPos;
    const std::uint64_t nNeed = out.b16 ? nPixels / 2 : nPixels;
    if (nNeed > nLeft)
        return FMT_BFNT_GLYPHS_CUT;
    out.pGlyphs = pData + nPos;
    out.nGlyphBytes = out.b16 ? (nPixels % 2 != 0 && nLeft > nNeed ? nNeed + 1 : nNeed) : nNeed;
    return FMT_OK;
}

FormatResult WriteBfntImage(IByteStream& file, const BfntImage& f)
{
    const std::uint64_t nPixels = BfntGlyphBytes(f.header);
    const std::uint64_t nBytes = f.b16 ? (nPixels + 1) / 2 : nPixels;
    if (f.header.lastCode < f.header.firstCode || f.nGlyphBytes != nBytes || (nBytes != 0 && !f.pGlyphs) ||
        f.extension.size() > std::numeric_limits<std::uint16_t>::max())
        return FMT_BAD_RECORD;

    BfntHeader header = f.header;
    header.format = static_cast<std::uint8_t>((f.bPalette ? BFNT_PALETTE : 0) | (f.b16 ? BFNT_COLORS_16 : BFNT_COLORS_256));
    header.extensionLength = static_cast<std::uint16_t>(f.extension.size());
    std::uint8_t bytes[BFNT_HEADER_SIZE];
    StoreBfntHeader(bytes, header);
    WriteExact(file, bytes, sizeof bytes);
    WriteExact(file, f.extension.data(), f.extension.size());

    std::uint8_t block[BFNT_PALETTE_256_SIZE];
    const std::uint32_t nColours = f.PaletteColors();
    for (std::uint32_t i = 0; i < nColours; ++i)
        BfntRgbToTriple(f.palette.rgb + 3 * i, block + 3 * i);
    WriteExact(file, block, 3 * std::uint64_t{nColours});

    WritePiecewise(file, f.pGlyphs, nBytes);
    return FMT_OK;
}
