// BFNT sheets and PNG: 256- and 16-colour sheets out as a grid of cells in code order;
// any PNG back as a 256-colour sheet, or as a 16-colour one when it was one and still fits.

#include "exchange/detail/ExchangeKinds.h"
#include "formats/BfntImage.h"
#include "formats/SystemPalette.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
// A grid may exceed its glyphs by this much: codes below the first one are empty cells.
constexpr std::uint64_t GRID_FREE_PIXELS = std::uint64_t{64} << 20;
constexpr std::uint64_t GRID_GLYPH_FACTOR = 16;
constexpr std::uint32_t MAX_COLUMNS = 65536;

}  // namespace

ExchangeResult BfntRefusal(FormatResult nResult, const BfntImage& f)
{
    const BfntHeader& h = f.header;
    switch (nResult)
    {
    case FMT_BFNT_MAGIC: return Refuse(XCH_NOT_BFNT);
    case FMT_BFNT_TRUNCATED: return Refuse(XCH_BFNT_CUT);
    case FMT_BFNT_TYPE: return Refuse(XCH_BFNT_TYPE, h.format & BFNT_COLOR_MASK);
    case FMT_BFNT_CODES: return Refuse(XCH_BFNT_CODES, h.lastCode, h.firstCode);
    case FMT_BFNT_EMPTY_CELLS: return Refuse(XCH_BFNT_CELLS, h.glyphWidth, h.glyphHeight);
    case FMT_BFNT_EXTENSION_CUT: return Refuse(XCH_BFNT_EXTENSION_CUT);
    case FMT_BFNT_PALETTE_CUT: return Refuse(XCH_BFNT_PALETTE_CUT);
    case FMT_BFNT_GLYPHS_CUT: return Refuse(XCH_BFNT_GLYPHS_CUT);
    default: return Refuse(XCH_NO_MEMORY);  // the reader gives no other result
    }
}

namespace
{

// One index per byte: code c's cell at column c mod C, row c div C.
class CGridRows final : public CConvertedRows
{
public:
    CGridRows(const BfntImage& f, std::uint32_t nColumns)
        : CConvertedRows(std::size_t{nColumns} * f.header.glyphWidth), m_f(f), m_nColumns(nColumns)
    {
    }
    const std::uint8_t* Row(std::uint32_t y) override
    {
        const BfntHeader& h = m_f.header;
        const std::uint64_t nCellRow = y / h.glyphHeight;
        const std::uint64_t r = y % h.glyphHeight;
        const std::uint64_t w = h.glyphWidth;
        for (std::uint64_t c = 0; c < m_nColumns; ++c)
        {
            std::uint8_t* pOut = m_scratch.data() + c * w;
            const std::uint64_t nCode = nCellRow * m_nColumns + c;
            if (nCode < h.firstCode || nCode > h.lastCode)
            {
                std::memset(pOut, 0, static_cast<std::size_t>(w));
                continue;
            }
            const std::uint64_t g = nCode - h.firstCode;
            if (!m_f.b16)
                std::memcpy(pOut, m_f.pGlyphs + (g * h.glyphHeight + r) * w, static_cast<std::size_t>(w));
            else
                for (std::uint64_t x = 0; x < w; ++x)
                    pOut[x] = m_f.Pixel(g, r, x);
        }
        return m_scratch.data();
    }

private:
    const BfntImage& m_f;
    std::uint64_t m_nColumns;
};
}  // namespace

ExchangeResult ExportBfnt(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                          std::vector<std::uint8_t>& png)
{
    BfntImage f;
    if (const FormatResult nResult = ParseBfntImage(pIn, nIn, f); nResult != FMT_OK)
        return BfntRefusal(nResult, f);
    const BfntHeader& h = f.header;
    const std::uint64_t nColumns = opt.nColumns;
    if (nColumns < 1 || nColumns > MAX_COLUMNS)
        return Refuse(XCH_GRID_COLUMNS, MAX_COLUMNS);
    const std::uint64_t nWidth = f.GridWidth(nColumns);
    const std::uint64_t nHeight = f.GridHeight(nColumns);
    const std::uint64_t nGlyphPixels = std::uint64_t{f.GlyphCount()} * h.glyphWidth * h.glyphHeight;
    if (nWidth > PNG_MAX_SIDE || nHeight > PNG_MAX_SIDE ||
        nWidth * nHeight > GRID_FREE_PIXELS + GRID_GLYPH_FACTOR * nGlyphPixels)
        return Refuse(XCH_GRID_TOO_LARGE, nWidth, nHeight);

    MetaChunk meta;
    meta.nDataType = DATA_BFNT;
    meta.nWidth = static_cast<std::uint32_t>(nWidth);
    meta.nHeight = static_cast<std::uint32_t>(nHeight);
    StoreBfntHeader(meta.bfnt.header, h);
    meta.bfnt.extension = f.extension;

    // Without a palette block, the colours the window shows: a 16-colour sheet's
    // value v appears in colour v + PAL_FIRST_IMAGE_COLOR there.
    const std::size_t nColours = f.b16 ? 16 : 256;
    std::vector<PngColor> palette;
    if (opt.pPalette != nullptr)
    {
        if (ExchangeResult result = BorrowedColours(opt, f.b16 ? 4 : 8, palette); !result.Ok())
            return result;
        meta.bBorrowedPalette = true;
    }
    else if (f.bPalette)
    {
        palette = OpaqueColours(f.palette, 0, nColours);
    }
    else
    {
        const RgbPalette fallback = SystemPalette();
        const RgbPalette& window = opt.pDefaultPalette != nullptr ? *opt.pDefaultPalette : fallback;
        palette = OpaqueColours(window, f.b16 ? PAL_FIRST_IMAGE_COLOR : 0, nColours);
    }
    PngEncodeImage image;
    image.nWidth = static_cast<std::uint32_t>(nWidth);
    image.nHeight = static_cast<std::uint32_t>(nHeight);
    image.pixels = PNG_PIXELS_INDEXED;
    image.nBitDepth = f.b16 ? 4 : 8;
    image.bUnpacked = true;
    image.pPalette = palette.data();
    image.nPalette = static_cast<std::uint32_t>(palette.size());
    CGridRows rows(f, static_cast<std::uint32_t>(nColumns));
    return EncodeWithChunk(image, rows, opt, meta, png);
}

ExchangeResult ImportBfnt(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt, IByteStream& out)
{
    const bool bChunk = meta.nDataType == DATA_BFNT;
    BfntHeader h = NewBfntHeader(16, 16);
    if (bChunk)
        ParseBfntHeader(meta.bfnt.header, h);
    const std::uint64_t nCellW = opt.nCellWidth != 0 ? opt.nCellWidth : h.glyphWidth;
    const std::uint64_t nCellH = opt.nCellHeight != 0 ? opt.nCellHeight : h.glyphHeight;
    if (nCellW < 1 || nCellW > 0xFFFF || nCellH < 1 || nCellH > 0xFFFF)
        return Refuse(XCH_CELL_SIZE, nCellW, nCellH);
    const std::uint64_t nAcross = pic.nWidth / nCellW;
    const std::uint64_t nDown = pic.nHeight / nCellH;
    if (nAcross == 0 || nDown == 0)
        return Refuse(XCH_NO_WHOLE_CELL, pic.nWidth, pic.nHeight, nCellW, nCellH);
    std::uint64_t nFirst = 0;
    std::uint64_t nLast = std::min<std::uint64_t>(nAcross * nDown - 1, 0xFFFF);
    if (opt.bCodes)
    {
        nFirst = opt.nFirstCode;
        nLast = opt.nLastCode;
    }
    else if (bChunk)
    {
        nFirst = h.firstCode;
        nLast = h.lastCode;
    }
    if (nLast < nFirst || nLast > 0xFFFF)
        return Refuse(XCH_CODES, nFirst, nLast);
    if (nLast / nAcross >= nDown)
        return Refuse(XCH_CELL_OUTSIDE, nLast, nAcross, nDown, nCellW, nCellH);
    BfntImage f;
    f.header = h;
    // A 16-colour sheet goes back to 16 colours while the picture still holds no more.
    f.b16 = bChunk && (h.format & BFNT_COLOR_MASK) == BFNT_COLORS_16;
    Indexed ix;
    if (f.b16 && !ToIndexed(pic, 4, EAlpha::Dropped, ix).Ok())
    {
        f.b16 = false;
        ix = Indexed{};
    }
    if (!f.b16)
        if (ExchangeResult result = ToIndexed(pic, 8, EAlpha::Dropped, ix); !result.Ok())
            return result;
    f.bPalette = (h.format & BFNT_PALETTE) != 0;  // a sheet that came without a palette block goes back without
    std::memcpy(f.header.magic, BFNT_MAGIC, 4);  // whatever a damaged chunk says
    f.header.glyphWidth = static_cast<std::uint16_t>(nCellW);
    f.header.glyphHeight = static_cast<std::uint16_t>(nCellH);
    f.header.firstCode = static_cast<std::uint16_t>(nFirst);
    f.header.lastCode = static_cast<std::uint16_t>(nLast);
    if (bChunk)
        f.extension = meta.bfnt.extension;
    f.palette = ToRgbPalette(ix.palette);

    // The glyphs in code order, each row by row, as the file holds them.
    const std::uint64_t nCount = nLast - nFirst + 1;
    const std::uint64_t nGlyph = nCellW * nCellH;
    const std::uint64_t nPixels = nCount * nGlyph;
    std::vector<std::uint8_t> glyphs(static_cast<std::size_t>(f.b16 ? (nPixels + 1) / 2 : nPixels), 0);
    std::uint64_t k = 0;
    for (std::uint64_t g = 0; g < nCount; ++g)
    {
        const std::uint64_t nCode = nFirst + g;
        const std::uint8_t* pCell = ix.pIndices + nCode / nAcross * nCellH * pic.nWidth + nCode % nAcross * nCellW;
        for (std::uint64_t r = 0; r < nCellH; ++r, pCell += pic.nWidth)
        {
            if (!f.b16)
            {
                std::memcpy(glyphs.data() + k, pCell, static_cast<std::size_t>(nCellW));
                k += nCellW;
                continue;
            }
            // Two pixels a byte, the earlier one in the high nibble.
            for (std::uint64_t x = 0; x < nCellW; ++x, ++k)
                glyphs[static_cast<std::size_t>(k / 2)] |= static_cast<std::uint8_t>(pCell[x] << ((k % 2) == 0 ? 4 : 0));
        }
    }
    f.pGlyphs = glyphs.data();
    f.nGlyphBytes = glyphs.size();
    if (WriteBfntImage(out, f) != FMT_OK)
        return Refuse(XCH_SAVE_ERROR);
    return {};
}

void StoreBfntMeta(const MetaChunk& meta, std::vector<std::uint8_t>& v)
{
    v.insert(v.end(), meta.bfnt.header, meta.bfnt.header + BFNT_HEADER_SIZE);
    v.insert(v.end(), meta.bfnt.extension.begin(), meta.bfnt.extension.end());
}

bool ParseBfntMeta(const std::uint8_t* p, std::size_t n, MetaChunk& meta)
{
    if (n < BFNT_HEADER_SIZE)
        return false;
    BfntHeader header{};
    ParseBfntHeader(p, header);
    if (n - BFNT_HEADER_SIZE != header.extensionLength)
        return false;
    std::memcpy(meta.bfnt.header, p, BFNT_HEADER_SIZE);
    meta.bfnt.extension.assign(p + BFNT_HEADER_SIZE, p + n);
    return true;
}
