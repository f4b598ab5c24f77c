#include "formats/Bfnt.h"

#include "formats/detail/StreamIo.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace
{
// What a read gathers before it is adopted, so a failed read changes nothing.
struct BfntScratch
{
    BfntHeader header{};
    std::unique_ptr<std::uint8_t[]> pExtension;
    RgbPalette palette{};
    bool bPalette = false;  // palette holds colours to hand to the caller
    PixelBuffer pGlyphs;
    std::uint64_t nGlyphs = 0;
    bool bGlyphs = false;
};

// Header and the checks both readers make on it.
FormatResult ReadHeader(IByteStream& file, BfntScratch& s)
{
    std::uint8_t bytes[BFNT_HEADER_SIZE] = {};
    const std::uint32_t nGot = file.Read(bytes, sizeof bytes);
    if (nGot < 4 || std::memcmp(bytes, BFNT_MAGIC, 4) != 0)
        return FMT_BFNT_MAGIC;
    if (nGot < sizeof bytes)
        return FMT_BFNT_TRUNCATED;
    ParseBfntHeader(bytes, s.header);
    if (s.header.lastCode < s.header.firstCode)
        return FMT_BFNT_TRUNCATED;
    return FMT_OK;
}

FormatResult ReadExtension(IByteStream& file, BfntScratch& s)
{
    const std::uint32_t nLength = s.header.extensionLength;
    if (nLength == 0)
        return FMT_OK;
    if (nLength > BytesLeft(file))
        return FMT_BFNT_TRUNCATED;
    s.pExtension = TryAllocBytes(nLength);
    if (!s.pExtension)
        return FMT_NO_MEMORY;
    return ReadExact(file, s.pExtension.get(), nLength) ? FMT_OK : FMT_BFNT_TRUNCATED;
}

FormatResult ReadPalette256(IByteStream& file, BfntScratch& s)
{
    if (!(s.header.format & BFNT_PALETTE))
        return FMT_OK;
    std::uint8_t block[BFNT_PALETTE_256_SIZE];
    if (file.Read(block, sizeof block) != sizeof block)
        return FMT_BFNT_TRUNCATED;
    for (int i = 0; i < 256; ++i)
        BfntTripleToRgb(block + 3 * i, s.palette.rgb + 3 * i);
    s.bPalette = true;
    return FMT_OK;
}

FormatResult ReadGlyphs256(IByteStream& file, BfntScratch& s)
{
    s.nGlyphs = BfntGlyphBytes(s.header);
    if (s.nGlyphs > BytesLeft(file))
        return FMT_BFNT_TRUNCATED;
    s.pGlyphs = TryAllocPixels(s.nGlyphs);
    if (!s.pGlyphs)
        return FMT_NO_MEMORY;
    if (!ReadPiecewise(file, s.pGlyphs.get(), s.nGlyphs))
        return FMT_BFNT_TRUNCATED;
    s.bGlyphs = true;
    return FMT_OK;
}

FormatResult ReadPalette16(IByteStream& file, BfntScratch& s)
{
    if (!(s.header.format & BFNT_PALETTE))
        return FMT_OK;
    std::uint8_t block[BFNT_PALETTE_16_SIZE];
    if (file.Read(block, sizeof block) != sizeof block)
        return FMT_BFNT_TRUNCATED;
    std::memset(s.palette.rgb, 0, sizeof s.palette.rgb);
    for (std::uint32_t i = 0; i < 16; ++i)
        BfntTripleToRgb(block + 3 * i, s.palette.rgb + 3 * (PAL_FIRST_IMAGE_COLOR + i));
    s.bPalette = true;
    return FMT_OK;
}

// Packed pixels, the earlier one in the high nibble. With an odd pixel count
// the last pixel sits in the high nibble of one more byte; a file that stops
// before that byte gives the last pixel value 0.
FormatResult ReadGlyphs16(IByteStream& file, BfntScratch& s)
{
    s.nGlyphs = BfntGlyphBytes(s.header);
    const std::uint64_t nHalf = s.nGlyphs / 2;
    const std::uint64_t nLeft = BytesLeft(file);
    if (nHalf > nLeft)
        return FMT_BFNT_TRUNCATED;
    const std::uint64_t nPacked = (s.nGlyphs % 2 != 0 && nLeft > nHalf) ? nHalf + 1 : nHalf;
    s.pGlyphs = TryAllocPixels(s.nGlyphs);
    PixelBuffer pPacked = TryAllocPixels(nPacked + 1);
    if (!s.pGlyphs || !pPacked)
        return FMT_NO_MEMORY;
    pPacked[nPacked] = 0;
    if (!ReadExact(file, pPacked.get(), nPacked))
        return FMT_BFNT_TRUNCATED;
    std::uint8_t* pOut = s.pGlyphs.get();
    const std::uint8_t* pIn = pPacked.get();
    for (std::uint64_t k = 0; k < nHalf; ++k)
    {
        pOut[2 * k] = static_cast<std::uint8_t>((pIn[k] >> 4) + PAL_FIRST_IMAGE_COLOR);
        pOut[2 * k + 1] = static_cast<std::uint8_t>((pIn[k] & 0x0F) + PAL_FIRST_IMAGE_COLOR);
    }
    if (s.nGlyphs % 2 != 0)
        pOut[s.nGlyphs - 1] = static_cast<std::uint8_t>((pIn[nHalf] >> 4) + PAL_FIRST_IMAGE_COLOR);
    s.bGlyphs = true;
    return FMT_OK;
}
}  // namespace

CBfntData::CBfntData()
    : m_header{}, m_nExtensionSize(0), m_pPalette(nullptr), m_nGlyphsSize(0), m_nRowOrder(0)
{
}

CBfntData::~CBfntData() = default;

std::uint32_t CBfntData::GlyphCount() const
{
    return m_header.lastCode < m_header.firstCode ? 0u : std::uint32_t{m_header.lastCode} - m_header.firstCode + 1;
}

std::uint64_t CBfntData::GlyphByteCount() const
{
    return BfntGlyphBytes(m_header);
}

bool CBfntData::HasCompleteGlyphs() const
{
    const std::uint64_t nBytes = GlyphByteCount();
    return m_header.lastCode >= m_header.firstCode && (nBytes == 0 || (m_pGlyphs && nBytes <= m_nGlyphsSize));
}

namespace
{
void Adopt(CBfntData& rec, BfntScratch& s)
{
    rec.m_header = s.header;
    rec.m_pExtension = std::move(s.pExtension);
    rec.m_nExtensionSize = rec.m_pExtension ? s.header.extensionLength : 0;
    if (s.bGlyphs)
    {
        rec.m_pGlyphs = std::move(s.pGlyphs);
        rec.m_nGlyphsSize = static_cast<std::size_t>(s.nGlyphs);
        rec.m_nRowOrder = 0;
    }
    if (s.bPalette && rec.m_pPalette)
        *rec.m_pPalette = s.palette;
}
}  // namespace

FormatResult CBfntData::ReadBfnt256(IByteStream& file)
{
    try
    {
        BfntScratch s;
        FormatResult nResult = ReadHeader(file, s);
        if (nResult != FMT_OK)
            return nResult;
        if ((s.header.format & BFNT_COLOR_MASK) != BFNT_COLORS_256)
            return FMT_BFNT_NOT_256;
        if ((nResult = ReadExtension(file, s)) != FMT_OK || (nResult = ReadPalette256(file, s)) != FMT_OK ||
            (nResult = ReadGlyphs256(file, s)) != FMT_OK)
            return nResult;
        Adopt(*this, s);
        return FMT_OK;
    }
    catch (const std::bad_alloc&)
    {
        return FMT_NO_MEMORY;
    }
}

FormatResult CBfntData::ReadBfnt(IByteStream& file, int readPixels)
{
    try
    {
        BfntScratch s;
        FormatResult nResult = ReadHeader(file, s);
        if (nResult != FMT_OK)
            return nResult;
        const int nType = s.header.format & BFNT_COLOR_MASK;
        if (nType != BFNT_COLORS_256 && nType != BFNT_COLORS_16)
            return FMT_BFNT_TYPE;
        if ((nResult = ReadExtension(file, s)) != FMT_OK)
            return nResult;
        if (nType == BFNT_COLORS_256)
        {
            if ((nResult = ReadPalette256(file, s)) != FMT_OK)
                return nResult;
            if (readPixels && (nResult = ReadGlyphs256(file, s)) != FMT_OK)
                return nResult;
        }
        else
        {
            if ((nResult = ReadPalette16(file, s)) != FMT_OK)
                return nResult;
            // Held as a 256-colour sheet from here on; the palette flag stays as the file had it.
            s.header.format = static_cast<std::uint8_t>((s.header.format & BFNT_PALETTE) | BFNT_COLORS_256);
            if (readPixels && (nResult = ReadGlyphs16(file, s)) != FMT_OK)
                return nResult;
        }
        Adopt(*this, s);
        return FMT_OK;
    }
    catch (const std::bad_alloc&)
    {
        return FMT_NO_MEMORY;
    }
}

void CBfntData::SetBfntRowOrder(int order)
{
    if (!m_pGlyphs || (m_nRowOrder != 0) == (order != 0))
        return;
    if (!HasCompleteGlyphs())
        return;
    m_nRowOrder = order;
    if (m_header.glyphWidth == 0 || m_header.glyphHeight < 2)
        return;
    // Swapping rows in place needs no second buffer and so cannot fail.
    const std::size_t nWidth = m_header.glyphWidth;
    const std::size_t nHeight = m_header.glyphHeight;
    const std::size_t nGlyphSize = nWidth * nHeight;
    const std::uint32_t nCount = GlyphCount();
    std::uint8_t* pGlyph = m_pGlyphs.get();
    for (std::uint32_t g = 0; g < nCount; ++g, pGlyph += nGlyphSize)
        for (std::size_t r = 0; r < nHeight / 2; ++r)
            std::swap_ranges(pGlyph + r * nWidth, pGlyph + (r + 1) * nWidth, pGlyph + (nHeight - 1 - r) * nWidth);
}

FormatResult CBfntData::WriteBfnt(IByteStream& file)
{
    return WriteSheet(file, true);
}

FormatResult CBfntData::WriteBfntWithoutPalette(IByteStream& file)
{
    return WriteSheet(file, false);
}

FormatResult CBfntData::WriteSheet(IByteStream& file, bool bPaletteBlock)
{
    if (!m_pPalette || (m_header.format & BFNT_COLOR_MASK) != BFNT_COLORS_256 || !HasCompleteGlyphs())
        return FMT_BAD_RECORD;
    if (m_header.extensionLength != 0 && (!m_pExtension || m_nExtensionSize < m_header.extensionLength))
        return FMT_BAD_RECORD;
    SetBfntRowOrder(0);

    // The header announces the palette block exactly when one follows.
    BfntHeader header = m_header;
    header.format = static_cast<std::uint8_t>(bPaletteBlock ? header.format | BFNT_PALETTE
                                                            : header.format & ~BFNT_PALETTE);
    std::uint8_t bytes[BFNT_HEADER_SIZE];
    StoreBfntHeader(bytes, header);
    file.Write(bytes, sizeof bytes);

    if (header.extensionLength != 0)
        file.Write(m_pExtension.get(), header.extensionLength);

    if (bPaletteBlock)
    {
        std::uint8_t block[BFNT_PALETTE_256_SIZE];
        for (int i = 0; i < 256; ++i)
            BfntRgbToTriple(m_pPalette->rgb + 3 * i, block + 3 * i);
        file.Write(block, sizeof block);
    }

    WritePiecewise(file, m_pGlyphs.get(), GlyphByteCount());
    return FMT_OK;
}
