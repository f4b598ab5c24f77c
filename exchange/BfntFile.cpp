#include "exchange/BfntFile.h"

#include "formats/ByteOrder.h"

#include <cstring>

namespace
{
bool Fail(std::string& strError, std::string strMessage)
{
    strError = std::move(strMessage);
    return false;
}

enum : std::uint8_t
{
    FILE_BFNT_PALETTE = 0x80,
    FILE_BFNT_TYPE_MASK = 0x7F,
    FILE_BFNT_256 = 7,
    FILE_BFNT_16 = 3,
};
}  // namespace

std::uint8_t BfntImage::Pixel(std::uint64_t g, std::uint64_t y, std::uint64_t x) const
{
    const std::uint64_t k = (g * nGlyphHeight + y) * nGlyphWidth + x;
    if (!b16)
        return pGlyphs[k];
    if (k / 2 >= nGlyphBytes)
        return 0;
    const std::uint8_t v = pGlyphs[k / 2];
    return static_cast<std::uint8_t>((k % 2) == 0 ? v >> 4 : v & 0x0F);
}

bool ParseBfnt(const std::uint8_t* pData, std::size_t nSize, BfntImage& out, std::string& strError)
{
    if (nSize < 4 || std::memcmp(pData, "BFNT", 4) != 0)
        return Fail(strError, "not a BFNT file.");
    if (nSize < 32)
        return Fail(strError, "the BFNT file is cut short.");
    BfntImage f;
    std::memcpy(f.header, pData, 32);
    const unsigned nType = pData[5] & FILE_BFNT_TYPE_MASK;
    if (nType != FILE_BFNT_256 && nType != FILE_BFNT_16)
        return Fail(strError, "BFNT with colour type " + std::to_string(nType) + " is not supported.");
    f.b16 = nType == FILE_BFNT_16;
    f.bPalette = (pData[5] & FILE_BFNT_PALETTE) != 0;
    f.nGlyphWidth = GetLe16(pData + 8);
    f.nGlyphHeight = GetLe16(pData + 10);
    f.nFirstCode = GetLe16(pData + 12);
    f.nLastCode = GetLe16(pData + 14);
    if (f.nLastCode < f.nFirstCode)
        return Fail(strError, "the BFNT's last code (" + std::to_string(f.nLastCode) + ") is below its first (" +
                                  std::to_string(f.nFirstCode) + ").");
    if (f.nGlyphWidth == 0 || f.nGlyphHeight == 0)
        return Fail(strError, "the BFNT's cells are " + std::to_string(f.nGlyphWidth) + " x " +
                                  std::to_string(f.nGlyphHeight) + " pixels.");

    std::uint64_t nPos = 32;
    const std::uint64_t nExtension = GetLe16(pData + 28);
    if (nExtension > nSize - nPos)
        return Fail(strError, "the BFNT's extension block is cut short.");
    f.extension.assign(pData + nPos, pData + nPos + nExtension);
    nPos += nExtension;

    if (f.bPalette)
    {
        const std::uint64_t nColours = f.b16 ? 16 : 256;
        if (3 * nColours > nSize - nPos)
            return Fail(strError, "the BFNT's palette block is cut short.");
        // File triples are blue, red, green.
        for (std::uint64_t i = 0; i < nColours; ++i)
        {
            const std::uint8_t* t = pData + nPos + 3 * i;
            f.palette.push_back(PngColor{t[1], t[2], t[0], 0xFF});
        }
        nPos += 3 * nColours;
    }

    const std::uint64_t nPixels = std::uint64_t{f.GlyphCount()} * f.nGlyphWidth * f.nGlyphHeight;
    const std::uint64_t nLeft = nSize - nPos;
    const std::uint64_t nNeed = f.b16 ? nPixels / 2 : nPixels;
    if (nNeed > nLeft)
        return Fail(strError, "the BFNT's glyphs are cut short.");
    f.pGlyphs = pData + nPos;
    f.nGlyphBytes = f.b16 ? (nPixels % 2 != 0 && nLeft > nNeed ? nNeed + 1 : nNeed) : nNeed;
    out = std::move(f);
    return true;
}
