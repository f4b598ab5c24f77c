// ImportFromPng: a PNG to a BMP, TIM or BFNT file. The chunk written by export, when
// present, restores what PNG cannot hold; without it the file gets the defaults the
// formats' writers use. BMP and BFNT are written by those writers themselves.

#include "exchange/Colour15.h"
#include "exchange/Exchange.h"
#include "exchange/MetaChunk.h"
#include "exchange/TimFile.h"
#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/ByteOrder.h"
#include "formats/MemStream.h"
#include "formats/PixelBuffer.h"
#include "formats/StreamIo.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

namespace
{
bool Fail(std::string& strError, std::string strMessage)
{
    strError = std::move(strMessage);
    return false;
}

// "a 4-bit", "an 8-bit".
std::string DepthPhrase(int nBpp)
{
    return (nBpp == 8 ? "an " : "a ") + std::to_string(nBpp) + "-bit";
}

std::string Size(std::uint64_t w, std::uint64_t h)
{
    return std::to_string(w) + " x " + std::to_string(h);
}

// The picture as palette indices, one byte each, whatever kind of PNG it came from.
struct Indexed
{
    const std::uint8_t* pIndices = nullptr;
    std::vector<std::uint8_t> own;  // when the indices had to be made
    std::vector<PngColor> palette;
};

std::uint32_t Packed(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// An index past the end of the palette names no colour; libpng lets it through.
bool IndicesFit(const PngPicture& pic, std::string& strError)
{
    const std::uint8_t nTop = *std::max_element(pic.pixels.begin(), pic.pixels.end());
    if (nTop < pic.palette.size())
        return true;
    return Fail(strError, "the PNG uses colour index " + std::to_string(nTop) + " but its palette has " +
                              std::to_string(pic.palette.size()) + " colours.");
}

// Indexed PNGs keep their indices and palette. Other PNGs get a palette of their
// colours in the order they first appear, if there are few enough: no quantising.
bool ToIndexed(const PngPicture& pic, std::uint32_t nMax, const std::string& strTarget, Indexed& out,
               std::string& strError)
{
    const std::size_t nPixels = std::size_t{pic.nWidth} * pic.nHeight;
    if (pic.bIndexed)
    {
        if (pic.palette.size() > nMax)
            return Fail(strError, "the PNG's palette has " + std::to_string(pic.palette.size()) + " colours; " +
                                      strTarget + " holds at most " + std::to_string(nMax) + ".");
        if (!IndicesFit(pic, strError))
            return false;
        out.pIndices = pic.pixels.data();
        out.palette = pic.palette;
        return true;
    }
    std::unordered_map<std::uint32_t, std::uint8_t> seen;
    out.own.resize(nPixels);
    const std::uint8_t* p = pic.pixels.data();
    for (std::size_t i = 0; i < nPixels; ++i, p += 4)
    {
        const std::uint32_t c = Packed(p);
        auto it = seen.find(c);
        if (it == seen.end())
        {
            if (seen.size() == nMax)
            {
                std::vector<std::uint32_t> all(nPixels);
                for (std::size_t k = 0; k < nPixels; ++k)
                    all[k] = Packed(pic.pixels.data() + 4 * k);
                std::sort(all.begin(), all.end());
                const auto nCount = std::unique(all.begin(), all.end()) - all.begin();
                return Fail(strError, "the PNG has " + std::to_string(nCount) + " colours; " + strTarget +
                                          " holds at most " + std::to_string(nMax) + ".");
            }
            it = seen.emplace(c, static_cast<std::uint8_t>(seen.size())).first;
            out.palette.push_back(PngColor{p[0], p[1], p[2], p[3]});
        }
        out.own[i] = it->second;
    }
    out.pIndices = out.own.data();
    return true;
}

bool ParseChunk(const PngPicture& pic, MetaChunk& meta, std::string& strError)
{
    return !pic.bPrivate || ParseMetaChunk(pic.privateData, meta, strError);
}

// Writes straight into out: a large picture needs no second copy of the file in memory.
bool ImportBmp(const PngPicture& pic, const MetaChunk& meta, IByteStream& out, std::string& strError)
{
    Indexed ix;
    if (!ToIndexed(pic, 256, "an 8-bit file", ix, strError))
        return false;
    const std::uint64_t w = pic.nWidth, h = pic.nHeight;
    std::uint64_t nStride = w;
    CBmpData bmp;
    BmpFileHeader& fh = bmp.m_fileHeader;
    BmpInfoHeader& ih = bmp.m_infoHeader;
    ih.biSize = BMP_INFO_HEADER_SIZE;
    ih.biWidth = static_cast<std::int32_t>(w);
    ih.biHeight = static_cast<std::int32_t>(h);
    ih.biPlanes = 1;
    ih.biBitCount = 8;
    if (meta.nKind == META_KIND_BMP)
    {
        const BmpMeta& m = meta.bmp;
        ih.biXPelsPerMeter = m.nXPelsPerMeter;
        ih.biYPelsPerMeter = m.nYPelsPerMeter;
        // The rest describes the source's layout, which only an 8-bit source in the writer's layout shares.
        if (m.nBitCount == 8 && m.nCompression == 0 && m.nInfoSize == BMP_INFO_HEADER_SIZE)
        {
            fh.bfReserved1 = m.nReserved1;
            fh.bfReserved2 = m.nReserved2;
            ih.biClrUsed = m.nClrUsed;
            ih.biClrImportant = m.nClrImportant;
            if (m.bPadded)
                nStride = (w + 3) & ~std::uint64_t{3};
        }
    }
    const std::uint64_t nImage = nStride * h;
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF || nImage > 0xFFFFFFFFu - BMP_PIXEL_OFFSET)
        return Fail(strError, "the picture (" + Size(w, h) + ") is too large for a BMP.");
    fh.bfType = BMP_TYPE;
    fh.bfSize = static_cast<std::uint32_t>(BMP_PIXEL_OFFSET + nImage);
    fh.bfOffBits = BMP_PIXEL_OFFSET;
    ih.biSizeImage = static_cast<std::uint32_t>(nImage);
    if (meta.nKind == META_KIND_BMP && meta.nWidth == w && meta.nHeight == h && meta.bmp.nBitCount == 8 &&
        meta.bmp.nCompression == 0 && meta.bmp.nInfoSize == BMP_INFO_HEADER_SIZE)
        ih.biSizeImage = meta.bmp.nSizeImage;

    RgbPalette palette{};
    for (std::size_t i = 0; i < ix.palette.size(); ++i)
    {
        palette.rgb[3 * i + 0] = ix.palette[i].r;
        palette.rgb[3 * i + 1] = ix.palette[i].g;
        palette.rgb[3 * i + 2] = ix.palette[i].b;
    }
    const std::size_t nPixels = static_cast<std::size_t>(w * h);
    bmp.m_pBits = TryAllocPixels(nPixels);
    if (!bmp.m_pBits)
        return Fail(strError, "not enough memory.");
    if (nPixels > 0)
        std::memcpy(bmp.m_pBits.get(), ix.pIndices, nPixels);
    bmp.m_nBitsSize = nPixels;
    bmp.m_pPalette = &palette;
    if (bmp.WriteBmp(out) != FMT_OK)
        return Fail(strError, "save error.");
    return true;
}

int DefaultBpp(const PngPicture& pic, const MetaChunk& meta, int nAsked)
{
    if (nAsked != 0)
        return nAsked;
    if (meta.nKind == META_KIND_TIM)
    {
        static const int s_bpp[8] = {4, 8, 16, 24, 0, 0, 0, 0};
        if (const int n = s_bpp[meta.tim.nFlags & TIM_FLAG_MODE_MASK]; n != 0)
            return n;
    }
    return pic.bIndexed ? 8 : 16;
}

bool ImportTim(const PngPicture& pic, const MetaChunk& meta, int nAskedBpp, std::vector<std::uint8_t>& out,
               std::string& strError)
{
    const int nBpp = DefaultBpp(pic, meta, nAskedBpp);
    if (nBpp != 4 && nBpp != 8 && nBpp != 16 && nBpp != 24)
        return Fail(strError, "a TIM has 4, 8, 16 or 24 bits per pixel, not " + std::to_string(nBpp) + ".");
    const std::uint64_t w = pic.nWidth, h = pic.nHeight;
    const std::uint64_t nPerUnit = nBpp == 4 ? 4 : (nBpp == 8 ? 2 : 1);
    if (nBpp <= 8 && w % nPerUnit != 0)
        return Fail(strError, DepthPhrase(nBpp) + " TIM needs a width that is a multiple of " +
                                  std::to_string(nPerUnit) + "; the picture is " + std::to_string(w) +
                                  " pixels wide.");
    const std::uint64_t nUnits = nBpp == 24 ? (3 * w + 1) / 2 : w / nPerUnit;
    if (nUnits > 0xFFFF || h > 0xFFFF)
        return Fail(strError, "the picture (" + Size(w, h) + ") is too large for " + DepthPhrase(nBpp) + " TIM.");

    const std::uint32_t nMode = nBpp == 4 ? TIM_MODE_4BIT : (nBpp == 8 ? TIM_MODE_8BIT : (nBpp == 16 ? TIM_MODE_16BIT : TIM_MODE_24BIT));
    TimImage tim;
    tim.nBpp = nBpp;
    tim.nImageUnits = static_cast<std::uint16_t>(nUnits);
    tim.nImageHeight = static_cast<std::uint16_t>(h);
    tim.nFlags = nBpp <= 8 ? nMode | TIM_FLAG_CLUT : nMode;
    const bool bChunk = meta.nKind == META_KIND_TIM;
    const bool bSameMode = bChunk && (meta.tim.nFlags & TIM_FLAG_MODE_MASK) == nMode;
    if (bChunk)
    {
        tim.nReserved = meta.tim.nReserved;
        tim.nImageX = meta.tim.nImageX;
        tim.nImageY = meta.tim.nImageY;
    }
    if (bSameMode)
    {
        tim.nFlags = meta.tim.nFlags;
        tim.nClutX = meta.tim.nClutX;
        tim.nClutY = meta.tim.nClutY;
        tim.nClutWidth = meta.tim.nClutWidth;
        tim.nClutHeight = meta.tim.nClutHeight;
        tim.clut = meta.tim.clut;
    }

    const std::uint64_t nRowBytes = 2 * nUnits;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(nRowBytes * h), 0);
    if (nBpp <= 8)
    {
        const std::uint32_t nSize = nBpp == 4 ? 16 : 256;
        Indexed ix;
        if (!ToIndexed(pic, nSize, DepthPhrase(nBpp) + " file", ix, strError))
            return false;
        // The PNG's palette, perhaps edited, is the row it shows; the other rows come from the chunk.
        std::size_t nBase = 0;
        if (bSameMode)
        {
            // Export only writes indexed chunks for files with a CLUT holding the row shown.
            nBase = std::size_t{meta.tim.nShownRow} * nSize;
            if (!tim.HasClut() || nBase >= tim.clut.size())
                return Fail(strError, std::string("the PNG's ") + META_CHUNK_TYPE + " chunk is damaged.");
        }
        else
        {
            tim.nClutWidth = static_cast<std::uint16_t>(nSize);
            tim.nClutHeight = 1;
            tim.clut.assign(nSize, 0);
        }
        for (std::size_t i = 0; i < ix.palette.size() && nBase + i < tim.clut.size(); ++i)
            tim.clut[nBase + i] = NarrowTimColor(ix.palette[i]);
        const std::uint8_t* pIn = ix.pIndices;
        for (std::uint64_t y = 0; y < h; ++y)
        {
            std::uint8_t* pOut = pixels.data() + y * nRowBytes;
            if (nBpp == 8)
            {
                std::memcpy(pOut, pIn + y * w, static_cast<std::size_t>(w));
                continue;
            }
            // Left pixel in the low nibble.
            for (std::uint64_t x = 0; x < w; x += 2)
                pOut[x / 2] = static_cast<std::uint8_t>((pIn[y * w + x] & 0x0F) | ((pIn[y * w + x + 1] & 0x0F) << 4));
        }
    }
    else
    {
        if (pic.bIndexed && !IndicesFit(pic, strError))
            return false;
        for (std::uint64_t y = 0; y < h; ++y)
        {
            std::uint8_t* pOut = pixels.data() + y * nRowBytes;
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
        }
    }
    tim.pPixels = pixels.data();
    return WriteTimFile(tim, out, strError);
}

bool ImportBfnt(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt, std::vector<std::uint8_t>& out,
                std::string& strError)
{
    const bool bChunk = meta.nKind == META_KIND_BFNT;
    CBfntData bfnt;
    BfntHeader& h = bfnt.m_header;
    if (bChunk)
    {
        ParseBfntHeader(meta.bfnt.header, h);
    }
    else
    {
        h.unknown4 = 0x1A;
        h.format = BFNT_PALETTE | BFNT_COLORS_256;
        h.unknown6 = 22;
        h.glyphWidth = 16;
        h.glyphHeight = 16;
    }
    const std::uint64_t nCellW = opt.nCellWidth != 0 ? opt.nCellWidth : h.glyphWidth;
    const std::uint64_t nCellH = opt.nCellHeight != 0 ? opt.nCellHeight : h.glyphHeight;
    if (nCellW < 1 || nCellW > 0xFFFF || nCellH < 1 || nCellH > 0xFFFF)
        return Fail(strError, "a cell is 1 to 65535 pixels a side, not " + Size(nCellW, nCellH) + ".");
    const std::uint64_t nAcross = pic.nWidth / nCellW;
    const std::uint64_t nDown = pic.nHeight / nCellH;
    if (nAcross == 0 || nDown == 0)
        return Fail(strError, "the picture (" + Size(pic.nWidth, pic.nHeight) + ") holds no whole " +
                                  Size(nCellW, nCellH) + " cell.");
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
        return Fail(strError, "codes run from 0 to 65535 with the first not above the last, not " +
                                  std::to_string(nFirst) + "-" + std::to_string(nLast) + ".");
    if (nLast / nAcross >= nDown)
        return Fail(strError, "the cell of code " + std::to_string(nLast) + " lies outside the picture: it holds " +
                                  Size(nAcross, nDown) + " cells of " + Size(nCellW, nCellH) + ".");
    Indexed ix;
    if (!ToIndexed(pic, 256, "an 8-bit file", ix, strError))
        return false;

    std::memcpy(h.magic, "BFNT", 4);  // whatever a damaged chunk says
    h.format = static_cast<std::uint8_t>((h.format & BFNT_PALETTE) | BFNT_COLORS_256);
    h.glyphWidth = static_cast<std::uint16_t>(nCellW);
    h.glyphHeight = static_cast<std::uint16_t>(nCellH);
    h.firstCode = static_cast<std::uint16_t>(nFirst);
    h.lastCode = static_cast<std::uint16_t>(nLast);
    if (bChunk && !meta.bfnt.extension.empty())
    {
        bfnt.m_pExtension.reset(new std::uint8_t[meta.bfnt.extension.size()]);
        std::memcpy(bfnt.m_pExtension.get(), meta.bfnt.extension.data(), meta.bfnt.extension.size());
        bfnt.m_nExtensionSize = meta.bfnt.extension.size();
    }
    else
    {
        h.extensionLength = 0;
    }

    const std::uint64_t nCount = nLast - nFirst + 1;
    const std::uint64_t nGlyph = nCellW * nCellH;
    const std::size_t nBytes = static_cast<std::size_t>(nCount * nGlyph);
    bfnt.m_pGlyphs.reset(new std::uint8_t[nBytes]);
    bfnt.m_nGlyphsSize = nBytes;
    for (std::uint64_t g = 0; g < nCount; ++g)
    {
        const std::uint64_t nCode = nFirst + g;
        const std::uint64_t x0 = nCode % nAcross * nCellW;
        const std::uint64_t y0 = nCode / nAcross * nCellH;
        for (std::uint64_t r = 0; r < nCellH; ++r)
            std::memcpy(bfnt.m_pGlyphs.get() + g * nGlyph + r * nCellW, ix.pIndices + (y0 + r) * pic.nWidth + x0,
                        static_cast<std::size_t>(nCellW));
    }
    RgbPalette palette{};
    for (std::size_t i = 0; i < ix.palette.size(); ++i)
    {
        palette.rgb[3 * i + 0] = ix.palette[i].r;
        palette.rgb[3 * i + 1] = ix.palette[i].g;
        palette.rgb[3 * i + 2] = ix.palette[i].b;
    }
    bfnt.m_pPalette = &palette;
    CMemStream stream;
    if (bfnt.WriteBfnt(stream) != FMT_OK)
        return Fail(strError, "save error.");
    std::vector<std::uint8_t> bytes = stream.TakeData();
    // The writer always adds the palette block; a sheet that came without one goes back without.
    if ((h.format & BFNT_PALETTE) == 0)
    {
        const auto nAt = static_cast<std::ptrdiff_t>(BFNT_HEADER_SIZE + h.extensionLength);
        bytes.erase(bytes.begin() + nAt, bytes.begin() + nAt + BFNT_PALETTE_256_SIZE);
        bytes[5] = static_cast<std::uint8_t>(bytes[5] & ~BFNT_PALETTE);
    }
    out.swap(bytes);
    return true;
}
}  // namespace

bool ImportFromPng(const std::uint8_t* pPng, std::size_t nPng, const ImportOptions& opt, IByteStream& out,
                   std::string& strError)
{
    try
    {
        PngPicture pic;
        if (!DecodePng(pPng, nPng, META_CHUNK_TYPE, pic, strError))
            return false;
        MetaChunk meta;
        if (!ParseChunk(pic, meta, strError))
            return false;
        std::vector<std::uint8_t> result;
        bool bOk = false;
        switch (opt.kind)
        {
        case DATA_BMP: return ImportBmp(pic, meta, out, strError);
        case DATA_TIM: bOk = ImportTim(pic, meta, opt.nBpp, result, strError); break;
        case DATA_BFNT: bOk = ImportBfnt(pic, meta, opt, result, strError); break;
        default: return Fail(strError, "unknown target format.");
        }
        if (bOk)
            WritePiecewise(out, result.data(), result.size());
        return bOk;
    }
    catch (const std::bad_alloc&)
    {
        return Fail(strError, "not enough memory.");
    }
}

bool ImportFromPng(const std::uint8_t* pPng, std::size_t nPng, const ImportOptions& opt,
                   std::vector<std::uint8_t>& out, std::string& strError)
{
    try
    {
        CMemStream stream;
        if (!ImportFromPng(pPng, nPng, opt, stream, strError))
            return false;
        out = stream.TakeData();
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return Fail(strError, "not enough memory.");
    }
}
