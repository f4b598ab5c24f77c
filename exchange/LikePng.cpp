// A picture put back into the file it came from: each kind writes the PNG's pixels, and its
// palette into the one palette the export showed, over a copy of the original, at the places
// the original's own reader found them. Every other byte is the original's, so an untouched
// export gives the original back whatever the chunk says or whether it is there.

#include "exchange/ImportLike.h"

#include "exchange/Colour15.h"
#include "exchange/detail/ExchangeKinds.h"
#include "formats/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace
{
std::string SizeText(std::uint64_t w, std::uint64_t h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string Count(std::uint64_t n, const char* pszOne, const char* pszMany)
{
    return std::to_string(n) + " " + (n == 1 ? pszOne : pszMany);
}

// A refusal that sets the original, described, beside the picture.
template <class... T>
ExchangeResult Compare(ExchangeCode code, const LikeOptions& opt, const std::string& strDescribed, T... args)
{
    ExchangeResult result = Refuse(code, args...);
    result.strDetail = strDescribed;
    result.strOriginal = opt.strOriginalName;
    result.strPicture = opt.strPngName;
    return result;
}

// The original as the messages describe it: briefly, and with what its palette holds.
struct Described
{
    std::string strShort;
    std::string strColours;
};

ExchangeResult CheckSize(const PngPicture& pic, std::uint64_t w, std::uint64_t h, const LikeOptions& opt,
                         const Described& d)
{
    if (pic.nWidth == w && pic.nHeight == h)
        return {};
    return Compare(XCH_LIKE_SIZE, opt, d.strShort, pic.nWidth, pic.nHeight);
}

// The picture's indices within the nMax colours of the original's palette: an indexed
// picture only, by the rule every import follows (indices that fit are kept).
ExchangeResult LikeIndices(const PngPicture& pic, std::size_t nMax, const LikeOptions& opt, const Described& d,
                           Indexed& ix)
{
    if (!pic.bIndexed)
        return Compare(XCH_LIKE_NOT_INDEXED, opt, d.strShort, pic.nWidth, pic.nHeight);
    if (ExchangeResult result = IndicesFit(pic); !result.Ok())
        return result;
    if (const std::size_t nUsed = FitIndexed(pic, nMax, ix); nUsed != 0)
        return Compare(XCH_LIKE_COLOURS, opt, d.strColours, nUsed);
    return {};
}

// Pictures without CLUT rows have no palette for --clut to choose.
ExchangeResult NoClutAsked(const LikeOptions& opt, const Described& d)
{
    if (!opt.bClut)
        return {};
    return Compare(XCH_LIKE_NO_CLUT, opt, d.strShort, opt.nClut);
}

PngColor ColourAt(const PngPicture& pic, std::size_t k)
{
    if (pic.bIndexed)
        return pic.palette[pic.pixels[k]];
    const std::uint8_t* p = pic.pixels.data() + 4 * k;
    return PngColor{p[0], p[1], p[2], p[3]};
}

// The offset in the original of a pointer its reader gave into it.
std::size_t At(const std::uint8_t* p, const std::uint8_t* pOriginal)
{
    return static_cast<std::size_t>(p - pOriginal);
}

// Value v (below 16) into the nibble of byte b that shift names, the other one kept.
std::uint8_t WithNibble(std::uint8_t b, unsigned nShift, std::uint8_t v)
{
    return static_cast<std::uint8_t>((b & ~(0x0Fu << nShift)) | (unsigned{v} << nShift));
}
}  // namespace

ExchangeResult LikeTim(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                       const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out)
{
    TimImage tim;
    if (const FormatResult nResult = ParseTimImage(pOriginal, nOriginal, tim); nResult != FMT_OK)
        return TimRefusal(nResult, tim);
    const std::uint64_t w = tim.nPixelWidth, h = tim.imageBlock.height;
    const std::uint32_t nRows = tim.PaletteCount();
    const std::uint32_t nSize = tim.PaletteSize();
    Described d;
    d.strShort = SizeText(w, h) + " at " + std::to_string(tim.nBpp) + " bits";
    d.strColours = d.strShort;
    if (nRows != 0)
    {
        d.strShort += " with " + Count(nRows, "CLUT row", "CLUT rows");
        d.strColours = d.strShort + " of " + std::to_string(nSize) + " colours";
    }
    if (nRows == 0)
        if (ExchangeResult result = NoClutAsked(opt, d); !result.Ok())
            return result;
    if (ExchangeResult result = CheckSize(pic, w, h, opt, d); !result.Ok())
        return result;

    std::vector<std::uint8_t> merged(pOriginal, pOriginal + nOriginal);
    std::uint8_t* pPixels = merged.data() + At(tim.pPixels, pOriginal);
    const std::uint64_t nRowBytes = tim.RowBytes();
    if (tim.nBpp <= 8)
    {
        // The row the export showed, unless another is named.
        std::uint32_t nRow = opt.bClut ? opt.nClut : (meta.nDataType == DATA_TIM ? meta.tim.nShownRow : 0);
        if (nRows != 0 && nRow >= nRows)
        {
            ExchangeResult result = Refuse(nRows == 1 ? XCH_LIKE_CLUT_ROW_OF_ONE : XCH_LIKE_CLUT_ROW, nRow, nRows);
            result.strOriginal = opt.strOriginalName;
            return result;
        }
        Indexed ix;
        if (ExchangeResult result = LikeIndices(pic, nSize, opt, d, ix); !result.Ok())
            return result;
        if (nRows != 0)
        {
            // A last partial row holds only the colours the block has.
            const std::size_t nBase = std::size_t{nRow} * nSize;
            const std::size_t nColours = std::min(ix.palette.size(), tim.clut.size() - nBase);
            std::uint8_t* pClut = merged.data() + TIM_FILE_HEADER_SIZE + TIM_BLOCK_HEADER_SIZE + 2 * nBase;
            for (std::size_t i = 0; i < nColours; ++i)
                PutLe16(pClut + 2 * i, NarrowTimColor(ix.palette[i]));
        }
        for (std::uint64_t y = 0; y < h; ++y)
        {
            std::uint8_t* pRow = pPixels + y * nRowBytes;
            const std::uint8_t* pIn = ix.pIndices + y * w;
            if (tim.nBpp == 8)
            {
                std::memcpy(pRow, pIn, static_cast<std::size_t>(w));
                continue;
            }
            // Left pixel in the low nibble.
            for (std::uint64_t x = 0; x < w; x += 2)
                pRow[x / 2] = static_cast<std::uint8_t>((pIn[x] & 0x0F) | ((pIn[x + 1] & 0x0F) << 4));
        }
        out = std::move(merged);
        return {};
    }
    if (ExchangeResult result = NoClutAsked(opt, d); !result.Ok())
        return result;
    if (pic.bIndexed)
        if (ExchangeResult result = IndicesFit(pic); !result.Ok())
            return result;
    // 16 and 24 bits: the pixels are colours; a CLUT the file may have is left as it is, and
    // so is a 24-bit row's padding byte.
    for (std::uint64_t y = 0; y < h; ++y)
    {
        std::uint8_t* pRow = pPixels + y * nRowBytes;
        for (std::uint64_t x = 0; x < w; ++x)
        {
            const PngColor c = ColourAt(pic, static_cast<std::size_t>(y * w + x));
            if (tim.nBpp == 16)
            {
                PutLe16(pRow + 2 * x, NarrowTimColor(c));
                continue;
            }
            pRow[3 * x] = c.r;
            pRow[3 * x + 1] = c.g;
            pRow[3 * x + 2] = c.b;
        }
    }
    out = std::move(merged);
    return {};
}

ExchangeResult LikeBmp(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic, const MetaChunk&,
                       const LikeOptions& opt, std::vector<std::uint8_t>& out)
{
    BmpImage bmp;
    if (ExchangeResult result = ReadBmpForExchange(pOriginal, nOriginal, opt.nFileSize, bmp); !result.Ok())
        return result;
    const std::uint64_t w = bmp.nWidth, h = bmp.nHeight;
    const unsigned nBits = bmp.info.biBitCount;
    // Export reads these; writing back knows the quads of a table and 24-bit triples only.
    if (bmp.info.biSize == 12)
        return Refuse(XCH_BMP_HEADER_OS2, bmp.info.biSize);
    if (nBits == 16 || nBits == 32)
        return Refuse(XCH_BMP_DEPTH, nBits);
    Described d;
    d.strShort = SizeText(w, h) + " at " + std::to_string(nBits) + " bits";
    if (nBits <= 8)
        d.strShort += " with " + Count(bmp.nColors, "colour", "colours");
    if (!bmp.decoded.empty())
        d.strShort += bmp.info.biCompression == BMP_RLE4 ? ", RLE4-compressed" : ", RLE8-compressed";
    d.strColours = d.strShort;
    if (ExchangeResult result = NoClutAsked(opt, d); !result.Ok())
        return result;
    if (ExchangeResult result = CheckSize(pic, w, h, opt, d); !result.Ok())
        return result;

    std::vector<std::uint8_t> merged(pOriginal, pOriginal + nOriginal);
    if (nBits == 24)
    {
        if (pic.bIndexed)
            if (ExchangeResult result = IndicesFit(pic); !result.Ok())
                return result;
        std::uint8_t* pTop = merged.data() + At(bmp.pTopRow, pOriginal);
        for (std::uint64_t y = 0; y < h; ++y)
        {
            std::uint8_t* pRow = pTop + static_cast<std::ptrdiff_t>(y) * bmp.nStride;
            for (std::uint64_t x = 0; x < w; ++x)
            {
                const PngColor c = ColourAt(pic, static_cast<std::size_t>(y * w + x));
                pRow[3 * x] = c.b;
                pRow[3 * x + 1] = c.g;
                pRow[3 * x + 2] = c.r;
            }
        }
        out = std::move(merged);
        return {};
    }

    // The export's palette holds every index the pixels use, black past the file's table.
    Indexed ix;
    if (ExchangeResult result = LikeIndices(pic, bmp.nColors, opt, d, ix); !result.Ok())
        return result;
    if (!bmp.decoded.empty())
    {
        // Writing changed pixels would mean coding the runs again, and a file of another length.
        const std::size_t nPixels = static_cast<std::size_t>(w * h);
        std::size_t nChanged = 0;
        for (std::size_t i = 0; i < nPixels; ++i)
            nChanged += ix.pIndices[i] != bmp.decoded[i] ? 1 : 0;
        if (nChanged != 0)
            return Compare(XCH_LIKE_RLE, opt, d.strShort, nChanged);
    }
    else
    {
        std::uint8_t* pTop = merged.data() + At(bmp.pTopRow, pOriginal);
        for (std::uint64_t y = 0; y < h; ++y)
        {
            std::uint8_t* pRow = pTop + static_cast<std::ptrdiff_t>(y) * bmp.nStride;
            const std::uint8_t* pIn = ix.pIndices + y * w;
            if (nBits == 8)
            {
                std::memcpy(pRow, pIn, static_cast<std::size_t>(w));
                continue;
            }
            // Leftmost pixel in the high bits; the bits past the width stay as they were.
            for (std::uint64_t x = 0; x < w; ++x)
            {
                std::uint8_t& b = pRow[nBits == 4 ? x / 2 : x / 8];
                if (nBits == 4)
                    b = WithNibble(b, (x % 2) != 0 ? 0 : 4, pIn[x]);
                else
                    b = static_cast<std::uint8_t>((b & ~(0x80u >> (x % 8))) | ((pIn[x] & 1u) << (7 - x % 8)));
            }
        }
    }
    // Only the entries the file's table has; the black ones past it are the reader's.
    const std::uint32_t nMax = 1u << nBits;
    const std::uint32_t nTable = bmp.info.biClrUsed != 0 && bmp.info.biClrUsed < nMax ? bmp.info.biClrUsed : nMax;
    std::uint8_t* pTable = merged.data() + BMP_FILE_HEADER_SIZE + bmp.info.biSize;
    for (std::size_t i = 0; i < std::min<std::size_t>(ix.palette.size(), nTable); ++i)
    {
        pTable[4 * i] = ix.palette[i].b;
        pTable[4 * i + 1] = ix.palette[i].g;
        pTable[4 * i + 2] = ix.palette[i].r;
    }
    out = std::move(merged);
    return {};
}

ExchangeResult LikeBfnt(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                        const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out)
{
    BfntImage f;
    if (const FormatResult nResult = ParseBfntImage(pOriginal, nOriginal, f); nResult != FMT_OK)
        return BfntRefusal(nResult, f);
    const BfntHeader& hd = f.header;
    const std::uint64_t gw = hd.glyphWidth, gh = hd.glyphHeight;
    const std::uint32_t nColours = f.b16 ? 16 : 256;
    Described d;
    d.strShort = std::string(f.b16 ? "a 16-colour" : "a 256-colour") + " sheet of " +
                 Count(f.GlyphCount(), "cell", "cells") + " of " + SizeText(gw, gh) + ", codes " +
                 std::to_string(hd.firstCode) + "-" + std::to_string(hd.lastCode);
    d.strColours = d.strShort;
    if (ExchangeResult result = NoClutAsked(opt, d); !result.Ok())
        return result;
    // The grid export laid out: its columns are the picture's width in cells.
    const std::uint64_t nColumns = pic.nWidth / gw;
    if (pic.nWidth % gw != 0 || nColumns == 0 || f.GridHeight(nColumns) != pic.nHeight)
    {
        const std::uint64_t nHint = meta.nDataType == DATA_BFNT && meta.nWidth % gw == 0 && meta.nWidth != 0
                                        ? meta.nWidth / gw
                                        : 16;
        return Compare(XCH_LIKE_GRID, opt, d.strShort, pic.nWidth, pic.nHeight, nHint, f.GridWidth(nHint),
                       f.GridHeight(nHint));
    }
    Indexed ix;
    if (ExchangeResult result = LikeIndices(pic, nColours, opt, d, ix); !result.Ok())
        return result;

    std::vector<std::uint8_t> merged(pOriginal, pOriginal + nOriginal);
    std::uint8_t* pGlyphs = merged.data() + At(f.pGlyphs, pOriginal);
    // The cells of codes outside the sheet are the grid's, not the file's.
    for (std::uint64_t g = 0; g < f.GlyphCount(); ++g)
    {
        const std::uint64_t nCode = hd.firstCode + g;
        const std::uint8_t* pCell = ix.pIndices + nCode / nColumns * gh * pic.nWidth + nCode % nColumns * gw;
        for (std::uint64_t r = 0; r < gh; ++r, pCell += pic.nWidth)
        {
            const std::uint64_t k = (g * gh + r) * gw;
            if (!f.b16)
            {
                std::memcpy(pGlyphs + k, pCell, static_cast<std::size_t>(gw));
                continue;
            }
            // Two pixels a byte, the earlier one in the high nibble; a file may lack the byte
            // of an odd last pixel.
            for (std::uint64_t x = 0; x < gw; ++x)
                if ((k + x) / 2 < f.nGlyphBytes)
                    pGlyphs[(k + x) / 2] = WithNibble(pGlyphs[(k + x) / 2], ((k + x) % 2) == 0 ? 4 : 0, pCell[x]);
        }
    }
    // A sheet without a palette block was shown in the window's colours, which stay the window's.
    if (f.bPalette)
    {
        std::uint8_t* pBlock = pGlyphs - 3 * std::size_t{nColours};
        for (std::size_t i = 0; i < ix.palette.size(); ++i)
        {
            const std::uint8_t rgb[3] = {ix.palette[i].r, ix.palette[i].g, ix.palette[i].b};
            BfntRgbToTriple(rgb, pBlock + 3 * i);
        }
    }
    out = std::move(merged);
    return {};
}

ExchangeResult MergeIntoOriginal(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                                 const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out)
{
    const ExchangeKind* pKind = FindExchangeKind(DetectDataType(pOriginal, nOriginal));
    if (pKind == nullptr)
    {
        ExchangeResult result = Refuse(XCH_LIKE_UNKNOWN);
        result.strOriginal = opt.strOriginalName;
        return result;
    }
    return pKind->pfnLike(pOriginal, nOriginal, pic, meta, opt, out);
}

bool ImportLike(const std::uint8_t* pOriginal, std::size_t nOriginal, const std::uint8_t* pPng, std::size_t nPng,
                const LikeOptions& opt, std::vector<std::uint8_t>& out, std::string& strError)
{
    try
    {
        PngPicture pic;
        if (ExchangeResult result = DecodePng(pPng, nPng, META_CHUNK_TYPE, pic); !result.Ok())
            return ReportExchange(result, strError);
        MetaChunk meta;
        if (pic.bPrivate)
            if (ExchangeResult result = ParseMetaChunk(pic.privateData, meta); !result.Ok())
                return ReportExchange(result, strError);
        return ReportExchange(MergeIntoOriginal(pOriginal, nOriginal, pic, meta, opt, out), strError);
    }
    catch (const std::bad_alloc&)
    {
        return ReportExchange(Refuse(XCH_NO_MEMORY), strError);
    }
}
