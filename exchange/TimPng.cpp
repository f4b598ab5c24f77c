// TIM files and PNG: every depth out, with the CLUT row asked for as the palette; any PNG
// back at the depth asked for, the chunk giving back what PNG cannot hold.

#include "exchange/Colour15.h"
#include "exchange/detail/ExchangeKinds.h"
#include "formats/ByteOrder.h"
#include "formats/TimImage.h"

#include <cstring>
#include <functional>
#include <string>

ExchangeResult TimRefusal(FormatResult nResult, const TimImage& tim)
{
    switch (nResult)
    {
    case FMT_TIM_ID: return Refuse(XCH_NOT_TIM);
    case FMT_TIM_TRUNCATED: return Refuse(XCH_TIM_CUT);
    case FMT_TIM_VERSION: return Refuse(XCH_TIM_VERSION, tim.header.version);
    case FMT_TIM_MODE:
    {
        const std::uint32_t nMode = tim.header.flags & TIM_FLAG_MODE_MASK;
        return Refuse(nMode == 4 ? XCH_TIM_MODE_MIXED : XCH_TIM_MODE, nMode);
    }
    case FMT_TIM_NO_CLUT: return Refuse(XCH_TIM_NO_CLUT, tim.nBpp);
    case FMT_TIM_CLUT_LENGTH: return Refuse(XCH_TIM_CLUT_LENGTH, tim.clutBlock.length);
    case FMT_TIM_CLUT_CUT: return Refuse(XCH_TIM_CLUT_CUT);
    case FMT_TIM_CLUT_EMPTY: return Refuse(XCH_TIM_CLUT_EMPTY);
    case FMT_TIM_IMAGE_CUT: return Refuse(XCH_TIM_IMAGE_CUT);
    case FMT_TIM_EMPTY: return Refuse(XCH_TIM_EMPTY, tim.nPixelWidth, tim.imageBlock.height);
    default: return Refuse(XCH_NO_MEMORY);  // the reader gives no other result
    }
}

namespace
{
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
            const PngColor c = WidenTimColor(GetLe16(pIn));
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

int DefaultBpp(const PngPicture& pic, const MetaChunk& meta, int nAsked)
{
    if (nAsked != 0)
        return nAsked;
    if (meta.nDataType == DATA_TIM)
        if (const int n = TimModeBpp(meta.tim.nFlags & TIM_FLAG_MODE_MASK); n != 0)
            return n;
    if (!pic.bIndexed)
        return 16;
    // An edited 4-bit export, or any picture of 16 colours or fewer, stays 4-bit where the
    // width allows it.
    return pic.nWidth % 4 == 0 && UsedIndexCount(pic, 16) <= 16 ? 4 : 8;
}

std::uint32_t ModeOfBpp(int nBpp)
{
    return nBpp == 4 ? TIM_MODE_4BIT : (nBpp == 8 ? TIM_MODE_8BIT : (nBpp == 16 ? TIM_MODE_16BIT : TIM_MODE_24BIT));
}
}  // namespace

ExchangeResult ExportTim(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                         std::vector<std::uint8_t>& png)
{
    TimImage tim;
    if (const FormatResult nResult = ParseTimImage(pIn, nIn, tim); nResult != FMT_OK)
        return TimRefusal(nResult, tim);
    if (tim.nPixelWidth > PNG_MAX_SIDE)
        return Refuse(XCH_TIM_TOO_WIDE);

    MetaChunk meta;
    meta.nDataType = DATA_TIM;
    meta.nWidth = tim.nPixelWidth;
    meta.nHeight = tim.imageBlock.height;
    TimMeta& t = meta.tim;
    t.nFlags = tim.header.flags;
    t.nReserved = tim.header.reserved;
    t.nClutX = tim.clutBlock.x;
    t.nClutY = tim.clutBlock.y;
    t.nClutWidth = tim.clutBlock.width;
    t.nClutHeight = tim.clutBlock.height;
    t.nImageX = tim.imageBlock.x;
    t.nImageY = tim.imageBlock.y;
    t.clut = tim.clut;

    PngEncodeImage image;
    image.nWidth = tim.nPixelWidth;
    image.nHeight = tim.imageBlock.height;
    std::vector<PngColor> palette;
    if (tim.nBpp <= 8)
    {
        // A texture without a CLUT has no rows, yet shows as row 0 in the colours given or in greys.
        const std::uint32_t nRows = tim.PaletteCount();
        if (nRows == 0 && opt.nClut != 0)
            return Refuse(XCH_CLUT_ROW_NO_CLUT, opt.nClut);
        if (nRows != 0 && opt.nClut >= nRows)
            return Refuse(nRows == 1 ? XCH_CLUT_ROW_OF_ONE : XCH_CLUT_ROW, opt.nClut, nRows);
        t.nShownRow = static_cast<std::uint16_t>(opt.nClut);
        const std::size_t nSize = tim.PaletteSize();
        if (opt.pPalette != nullptr)
        {
            if (ExchangeResult result = BorrowedColours(opt, tim.nBpp, palette); !result.Ok())
                return result;
            meta.bBorrowedPalette = true;
        }
        else if (nRows == 0)
        {
            const unsigned nStep = nSize == 16 ? 17 : 1;
            for (std::size_t i = 0; i < nSize; ++i)
            {
                const auto v = static_cast<std::uint8_t>(i * nStep);
                palette.push_back(PngColor{v, v, v, 0xFF});
            }
            meta.bBorrowedPalette = true;
        }
        else
        {
            const std::size_t nBase = std::size_t{opt.nClut} * nSize;
            palette.resize(nSize, WidenTimColor(0));
            for (std::size_t i = 0; i < nSize && nBase + i < tim.clut.size(); ++i)
                palette[i] = WidenTimColor(tim.clut[nBase + i]);
        }
        image.pixels = PNG_PIXELS_INDEXED;
        image.nBitDepth = tim.nBpp;
        image.pPalette = palette.data();
        image.nPalette = static_cast<std::uint32_t>(nSize);
        if (tim.nBpp == 8)
        {
            CBufferRowSource rows(tim.pPixels, static_cast<std::ptrdiff_t>(tim.RowBytes()));
            return EncodeWithChunk(image, rows, opt, meta, png);
        }
        CTim4Rows rows(tim);
        return EncodeWithChunk(image, rows, opt, meta, png);
    }
    if (tim.nBpp == 16)
    {
        image.pixels = PNG_PIXELS_RGBA;
        CTim16Rows rows(tim);
        return EncodeWithChunk(image, rows, opt, meta, png);
    }
    // 24 bits: the file's rows are already R, G, B bytes; a last odd byte is padding.
    image.pixels = PNG_PIXELS_RGB;
    CBufferRowSource rows(tim.pPixels, static_cast<std::ptrdiff_t>(tim.RowBytes()));
    return EncodeWithChunk(image, rows, opt, meta, png);
}

ExchangeResult ImportTim(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt, IByteStream& out)
{
    const int nBpp = DefaultBpp(pic, meta, opt.nBpp);
    if (nBpp != 4 && nBpp != 8 && nBpp != 16 && nBpp != 24)
        return Refuse(XCH_TIM_DEPTH, nBpp);
    const std::uint64_t w = pic.nWidth, h = pic.nHeight;
    const std::uint64_t nPerUnit = nBpp == 4 ? 4 : (nBpp == 8 ? 2 : 1);
    if (nBpp <= 8 && w % nPerUnit != 0)
        return Refuse(XCH_TIM_WIDTH, nBpp, nPerUnit, w);
    const std::uint64_t nUnits = nBpp == 24 ? (3 * w + 1) / 2 : w / nPerUnit;
    if (nUnits > 0xFFFF || h > 0xFFFF)
        return Refuse(XCH_TIM_PICTURE_TOO_LARGE, w, h, nBpp);

    const std::uint32_t nMode = ModeOfBpp(nBpp);
    TimImage tim;
    tim.nBpp = nBpp;
    tim.imageBlock.width = static_cast<std::uint16_t>(nUnits);
    tim.imageBlock.height = static_cast<std::uint16_t>(h);
    tim.header.flags = nBpp <= 8 ? nMode | TIM_FLAG_CLUT : nMode;
    const bool bChunk = meta.nDataType == DATA_TIM;
    const bool bSameMode = bChunk && (meta.tim.nFlags & TIM_FLAG_MODE_MASK) == nMode;
    if (bChunk)
    {
        tim.header.reserved = meta.tim.nReserved;
        tim.imageBlock.x = meta.tim.nImageX;
        tim.imageBlock.y = meta.tim.nImageY;
    }
    if (bSameMode)
    {
        tim.header.flags = meta.tim.nFlags;
        tim.clutBlock.x = meta.tim.nClutX;
        tim.clutBlock.y = meta.tim.nClutY;
        tim.clutBlock.width = meta.tim.nClutWidth;
        tim.clutBlock.height = meta.tim.nClutHeight;
        tim.clut = meta.tim.clut;
    }

    // The rows are made as they are written: the picture is held once, as the PNG gave it.
    std::function<void(std::uint32_t, std::uint8_t*)> fnRow;
    Indexed ix;
    if (nBpp <= 8)
    {
        const std::uint32_t nSize = nBpp == 4 ? 16 : 256;
        if (ExchangeResult result = ToIndexed(pic, nBpp, EAlpha::Counts, ix); !result.Ok())
            return result;
        // The PNG's palette, perhaps edited, is the row it shows; the other rows come from the chunk.
        // A palette the export borrowed or made up is none of the file's: the chunk's CLUT stays
        // as it is, and a texture without a CLUT gets none again.
        std::size_t nBase = 0;
        const bool bOwnPalette = !(bSameMode && meta.bBorrowedPalette);
        if (bSameMode && bOwnPalette)
        {
            // Export writes its own palette only for files with a CLUT holding the row shown.
            nBase = std::size_t{meta.tim.nShownRow} * nSize;
            if (!tim.HasClut() || nBase >= tim.clut.size())
                return Refuse(XCH_CHUNK_DAMAGED);
        }
        else if (bSameMode)
        {
            if (tim.HasClut() == tim.clut.empty())  // a CLUT bit without colours, or colours without it
                return Refuse(XCH_CHUNK_DAMAGED);
        }
        else
        {
            tim.clutBlock.width = static_cast<std::uint16_t>(nSize);
            tim.clutBlock.height = 1;
            tim.clut.assign(nSize, 0);
        }
        for (std::size_t i = 0; bOwnPalette && i < ix.palette.size() && nBase + i < tim.clut.size(); ++i)
            tim.clut[nBase + i] = NarrowTimColor(ix.palette[i]);
        fnRow = [&, w, nBpp](std::uint32_t y, std::uint8_t* pOut) {
            const std::uint8_t* pIn = ix.pIndices + std::uint64_t{y} * w;
            if (nBpp == 8)
            {
                std::memcpy(pOut, pIn, static_cast<std::size_t>(w));
                return;
            }
            // Left pixel in the low nibble.
            for (std::uint64_t x = 0; x < w; x += 2)
                pOut[x / 2] = static_cast<std::uint8_t>((pIn[x] & 0x0F) | ((pIn[x + 1] & 0x0F) << 4));
        };
    }
    else
    {
        if (pic.bIndexed)
            if (ExchangeResult result = IndicesFit(pic); !result.Ok())
                return result;
        fnRow = [&pic, w, nBpp](std::uint32_t y, std::uint8_t* pOut) {
            for (std::uint64_t x = 0; x < w; ++x)
            {
                const std::size_t k = static_cast<std::size_t>(y * w + x);
                const PngColor c = pic.bIndexed ? pic.palette[pic.pixels[k]]
                                                : PngColor{pic.pixels[4 * k], pic.pixels[4 * k + 1],
                                                           pic.pixels[4 * k + 2], pic.pixels[4 * k + 3]};
                if (nBpp == 16)
                {
                    PutLe16(pOut + 2 * x, NarrowTimColor(c));
                }
                else
                {
                    pOut[3 * x] = c.r;
                    pOut[3 * x + 1] = c.g;
                    pOut[3 * x + 2] = c.b;
                }
            }
        };
    }
    if (WriteTimImage(out, tim, fnRow) != FMT_OK)
        return Refuse(XCH_TIM_TOO_LARGE);
    return {};
}

void StoreTimMeta(const MetaChunk& meta, std::vector<std::uint8_t>& v)
{
    const TimMeta& t = meta.tim;
    AppendLe32(v, t.nFlags);
    AppendLe16(v, t.nReserved);
    AppendLe16(v, t.nClutX);
    AppendLe16(v, t.nClutY);
    AppendLe16(v, t.nClutWidth);
    AppendLe16(v, t.nClutHeight);
    AppendLe16(v, t.nImageX);
    AppendLe16(v, t.nImageY);
    AppendLe16(v, t.nShownRow);
    AppendLe32(v, static_cast<std::uint32_t>(t.clut.size()));
    for (std::uint16_t c : t.clut)
        AppendLe16(v, c);
}

bool ParseTimMeta(const std::uint8_t* p, std::size_t n, MetaChunk& meta)
{
    if (n < META_TIM_FIXED_SIZE)
        return false;
    TimMeta& t = meta.tim;
    t.nFlags = GetLe32(p);
    t.nReserved = GetLe16(p + 4);
    t.nClutX = GetLe16(p + 6);
    t.nClutY = GetLe16(p + 8);
    t.nClutWidth = GetLe16(p + 10);
    t.nClutHeight = GetLe16(p + 12);
    t.nImageX = GetLe16(p + 14);
    t.nImageY = GetLe16(p + 16);
    t.nShownRow = GetLe16(p + 18);
    const std::uint64_t nColours = GetLe32(p + 20);
    if (2 * nColours != n - META_TIM_FIXED_SIZE)
        return false;
    t.clut.resize(static_cast<std::size_t>(nColours));
    for (std::size_t i = 0; i < t.clut.size(); ++i)
        t.clut[i] = GetLe16(p + META_TIM_FIXED_SIZE + 2 * i);
    return true;
}
