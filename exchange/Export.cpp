// ExportToPng: a TIM, BMP or BFNT file to the PNG of the picture it holds, whole, with
// the file's own indices and colours, plus the chunk that brings it back byte for byte.
// Rows are made one at a time as the encoder asks for them, so no second copy of the
// picture is held (RLE bitmaps excepted, which decode whole).

#include "exchange/BfntFile.h"
#include "exchange/BmpFile.h"
#include "exchange/Colour15.h"
#include "exchange/Exchange.h"
#include "exchange/MetaChunk.h"
#include "exchange/TimFile.h"
#include "formats/SystemPalette.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace
{
bool Fail(std::string& strError, std::string strMessage)
{
    strError = std::move(strMessage);
    return false;
}

// A BFNT grid may exceed its glyphs by this much: codes below the first one are empty cells.
constexpr std::uint64_t GRID_FREE_PIXELS = std::uint64_t{64} << 20;
constexpr std::uint64_t GRID_GLYPH_FACTOR = 16;
constexpr std::uint32_t MAX_COLUMNS = 65536;

// A row source that converts each row into a buffer of its own, one row long.
class CConvertedRows : public IPngRowSource
{
protected:
    explicit CConvertedRows(std::size_t nRowBytes) : m_scratch(nRowBytes) {}
    std::vector<std::uint8_t> m_scratch;
};

// 4-bit TIM rows hold the left pixel in the low nibble; PNG wants it in the high one.
class CTim4Rows final : public CConvertedRows
{
public:
    explicit CTim4Rows(const TimImage& tim) : CConvertedRows(static_cast<std::size_t>(tim.RowBytes())), m_tim(tim) {}
    const std::uint8_t* Row(std::uint32_t y) override
    {
        const std::uint64_t n = m_tim.RowBytes();
        const std::uint8_t* pIn = m_tim.pPixels + y * n;
        for (std::uint64_t i = 0; i < n; ++i)
            m_scratch[i] = static_cast<std::uint8_t>((pIn[i] << 4) | (pIn[i] >> 4));
        return m_scratch.data();
    }

private:
    const TimImage& m_tim;
};

class CTim16Rows final : public CConvertedRows
{
public:
    explicit CTim16Rows(const TimImage& tim) : CConvertedRows(std::size_t{4} * tim.nPixelWidth), m_tim(tim) {}
    const std::uint8_t* Row(std::uint32_t y) override
    {
        const std::uint8_t* pIn = m_tim.pPixels + y * m_tim.RowBytes();
        std::uint8_t* pOut = m_scratch.data();
        for (std::uint32_t x = 0; x < m_tim.nPixelWidth; ++x, pIn += 2, pOut += 4)
        {
            const PngColor c = WidenTimColor(static_cast<std::uint16_t>(pIn[0] | (pIn[1] << 8)));
            pOut[0] = c.r;
            pOut[1] = c.g;
            pOut[2] = c.b;
            pOut[3] = c.a;
        }
        return m_scratch.data();
    }

private:
    const TimImage& m_tim;
};

class CBgrRows final : public CConvertedRows
{
public:
    explicit CBgrRows(const BmpImage& bmp) : CConvertedRows(std::size_t{3} * bmp.nWidth), m_bmp(bmp) {}
    const std::uint8_t* Row(std::uint32_t y) override
    {
        const std::uint8_t* pIn = m_bmp.pTopRow + static_cast<std::ptrdiff_t>(y) * m_bmp.nStride;
        std::uint8_t* pOut = m_scratch.data();
        for (std::uint32_t x = 0; x < m_bmp.nWidth; ++x, pIn += 3, pOut += 3)
        {
            pOut[0] = pIn[2];
            pOut[1] = pIn[1];
            pOut[2] = pIn[0];
        }
        return m_scratch.data();
    }

private:
    const BmpImage& m_bmp;
};

// One index per byte: code c's cell at column c mod C, row c div C.
class CGridRows final : public CConvertedRows
{
public:
    CGridRows(const BfntImage& f, std::uint32_t nColumns)
        : CConvertedRows(std::size_t{nColumns} * f.nGlyphWidth), m_f(f), m_nColumns(nColumns)
    {
    }
    const std::uint8_t* Row(std::uint32_t y) override
    {
        const std::uint64_t nCellRow = y / m_f.nGlyphHeight;
        const std::uint64_t r = y % m_f.nGlyphHeight;
        const std::uint64_t w = m_f.nGlyphWidth;
        for (std::uint64_t c = 0; c < m_nColumns; ++c)
        {
            std::uint8_t* pOut = m_scratch.data() + c * w;
            const std::uint64_t nCode = nCellRow * m_nColumns + c;
            if (nCode < m_f.nFirstCode || nCode > m_f.nLastCode)
            {
                std::memset(pOut, 0, static_cast<std::size_t>(w));
                continue;
            }
            const std::uint64_t g = nCode - m_f.nFirstCode;
            if (!m_f.b16)
                std::memcpy(pOut, m_f.pGlyphs + (g * m_f.nGlyphHeight + r) * w, static_cast<std::size_t>(w));
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

std::string RowCount(std::uint32_t n)
{
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

bool Encode(const PngEncodeImage& image, IPngRowSource& rows, const ExportOptions& opt, const MetaChunk& meta,
            std::vector<std::uint8_t>& png, std::string& strError)
{
    const std::vector<std::uint8_t> chunk = BuildMetaChunk(meta);
    if (chunk.size() > PNG_MAX_CHUNK_BYTES)
        return Fail(strError, "the file's colour tables are too large for the PNG's " + std::string(META_CHUNK_TYPE) +
                                  " chunk.");
    PngEncodeOptions enc;
    enc.nZlibLevel = opt.nZlibLevel;
    enc.nFilters = opt.nFilters;
    enc.pszPrivateType = META_CHUNK_TYPE;
    enc.pPrivateData = &chunk;
    return EncodePng(image, rows, enc, png, strError);
}

bool ExportTim(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt, std::vector<std::uint8_t>& png,
               std::string& strError)
{
    TimImage tim;
    if (!ParseTim(pIn, nIn, tim, strError))
        return false;
    if (tim.nPixelWidth > PNG_MAX_SIDE)
        return Fail(strError, "the TIM is too wide for a PNG.");

    MetaChunk meta;
    meta.nKind = META_KIND_TIM;
    meta.nWidth = tim.nPixelWidth;
    meta.nHeight = tim.nImageHeight;
    TimMeta& t = meta.tim;
    t.nFlags = tim.nFlags;
    t.nReserved = tim.nReserved;
    t.nClutX = tim.nClutX;
    t.nClutY = tim.nClutY;
    t.nClutWidth = tim.nClutWidth;
    t.nClutHeight = tim.nClutHeight;
    t.nImageX = tim.nImageX;
    t.nImageY = tim.nImageY;
    t.clut = tim.clut;

    PngEncodeImage image;
    image.nWidth = tim.nPixelWidth;
    image.nHeight = tim.nImageHeight;
    std::vector<PngColor> palette;
    if (tim.nBpp <= 8)
    {
        const std::uint32_t nRows = tim.PaletteCount();
        if (opt.nClut >= nRows)
            return Fail(strError, "CLUT row " + std::to_string(opt.nClut) + " does not exist: the file has " +
                                      RowCount(nRows) + ".");
        t.nShownRow = static_cast<std::uint16_t>(opt.nClut);
        const std::size_t nSize = tim.PaletteSize();
        const std::size_t nBase = std::size_t{opt.nClut} * nSize;
        palette.resize(nSize, WidenTimColor(0));
        for (std::size_t i = 0; i < nSize && nBase + i < tim.clut.size(); ++i)
            palette[i] = WidenTimColor(tim.clut[nBase + i]);
        image.pixels = PNG_PIXELS_INDEXED;
        image.nBitDepth = tim.nBpp;
        image.pPalette = palette.data();
        image.nPalette = static_cast<std::uint32_t>(nSize);
        if (tim.nBpp == 8)
        {
            CBufferRowSource rows(tim.pPixels, static_cast<std::ptrdiff_t>(tim.RowBytes()));
            return Encode(image, rows, opt, meta, png, strError);
        }
        CTim4Rows rows(tim);
        return Encode(image, rows, opt, meta, png, strError);
    }
    if (tim.nBpp == 16)
    {
        image.pixels = PNG_PIXELS_RGBA;
        CTim16Rows rows(tim);
        return Encode(image, rows, opt, meta, png, strError);
    }
    // 24 bits: the file's rows are already R, G, B bytes; a last odd byte is padding.
    image.pixels = PNG_PIXELS_RGB;
    CBufferRowSource rows(tim.pPixels, static_cast<std::ptrdiff_t>(tim.RowBytes()));
    return Encode(image, rows, opt, meta, png, strError);
}

bool ExportBmp(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt, std::vector<std::uint8_t>& png,
               std::string& strError)
{
    BmpImage bmp;
    if (!ParseBmp(pIn, nIn, bmp, strError))
        return false;
    MetaChunk meta;
    meta.nKind = META_KIND_BMP;
    meta.nWidth = bmp.nWidth;
    meta.nHeight = bmp.nHeight;
    BmpMeta& m = meta.bmp;
    m.nCompression = bmp.biCompression;
    m.nInfoSize = bmp.biSize;
    m.nBitCount = bmp.biBitCount;
    m.nReserved1 = bmp.bfReserved1;
    m.nReserved2 = bmp.bfReserved2;
    m.bPadded = bmp.bPadded;
    m.nSizeImage = bmp.biSizeImage;
    m.nXPelsPerMeter = bmp.biXPelsPerMeter;
    m.nYPelsPerMeter = bmp.biYPelsPerMeter;
    m.nClrUsed = bmp.biClrUsed;
    m.nClrImportant = bmp.biClrImportant;

    PngEncodeImage image;
    image.nWidth = bmp.nWidth;
    image.nHeight = bmp.nHeight;
    if (bmp.biBitCount == 24)
    {
        image.pixels = PNG_PIXELS_RGB;
        CBgrRows rows(bmp);
        return Encode(image, rows, opt, meta, png, strError);
    }
    image.pixels = PNG_PIXELS_INDEXED;
    image.nBitDepth = bmp.biBitCount;
    image.pPalette = bmp.palette.data();
    image.nPalette = static_cast<std::uint32_t>(bmp.palette.size());
    if (!bmp.decoded.empty())
    {
        image.bUnpacked = true;
        CBufferRowSource rows(bmp.decoded.data(), static_cast<std::ptrdiff_t>(bmp.nWidth));
        return Encode(image, rows, opt, meta, png, strError);
    }
    CBufferRowSource rows(bmp.pTopRow, bmp.nStride);
    return Encode(image, rows, opt, meta, png, strError);
}

bool ExportBfnt(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt, std::vector<std::uint8_t>& png,
                std::string& strError)
{
    BfntImage f;
    if (!ParseBfnt(pIn, nIn, f, strError))
        return false;
    const std::uint64_t nColumns = opt.nColumns;
    if (nColumns < 1 || nColumns > MAX_COLUMNS)
        return Fail(strError, "a grid has 1 to " + std::to_string(MAX_COLUMNS) + " columns.");
    const std::uint64_t nWidth = nColumns * f.nGlyphWidth;
    const std::uint64_t nHeight = (f.nLastCode / nColumns + 1) * f.nGlyphHeight;
    const std::uint64_t nGlyphPixels = std::uint64_t{f.GlyphCount()} * f.nGlyphWidth * f.nGlyphHeight;
    if (nWidth > PNG_MAX_SIDE || nHeight > PNG_MAX_SIDE ||
        nWidth * nHeight > GRID_FREE_PIXELS + GRID_GLYPH_FACTOR * nGlyphPixels)
        return Fail(strError, "the grid of this sheet would be " + std::to_string(nWidth) + " x " +
                                  std::to_string(nHeight) + " pixels, too large to export.");

    MetaChunk meta;
    meta.nKind = META_KIND_BFNT;
    meta.nWidth = static_cast<std::uint32_t>(nWidth);
    meta.nHeight = static_cast<std::uint32_t>(nHeight);
    std::memcpy(meta.bfnt.header, f.header, sizeof f.header);
    meta.bfnt.extension = f.extension;

    // Without a palette block, the colours the window shows: a 16-colour sheet's
    // value v appears in colour v + 10 there.
    std::vector<PngColor> palette = f.palette;
    if (palette.empty())
    {
        const RgbPalette fallback = SystemPalette();
        const RgbPalette& window = opt.pDefaultPalette != nullptr ? *opt.pDefaultPalette : fallback;
        const std::size_t nBase = f.b16 ? 10 : 0;
        for (std::size_t i = 0; i < (f.b16 ? 16u : 256u); ++i)
        {
            const std::uint8_t* pRgb = window.rgb + 3 * (nBase + i);
            palette.push_back(PngColor{pRgb[0], pRgb[1], pRgb[2], 0xFF});
        }
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
    return Encode(image, rows, opt, meta, png, strError);
}
}  // namespace

bool ExportToPng(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt, std::vector<std::uint8_t>& png,
                 std::string& strError)
{
    try
    {
        switch (DetectDataType(pIn, nIn))
        {
        case DATA_TIM: return ExportTim(pIn, nIn, opt, png, strError);
        case DATA_BMP: return ExportBmp(pIn, nIn, opt, png, strError);
        case DATA_BFNT: return ExportBfnt(pIn, nIn, opt, png, strError);
        default: return Fail(strError, "unknown data format.");
        }
    }
    catch (const std::bad_alloc&)
    {
        return Fail(strError, "not enough memory.");
    }
}
