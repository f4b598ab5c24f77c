#pragma once
// Files for the exchange tests, built field by field: TIMs of every depth with one or
// more CLUT rows and the header values other tools write, BMPs of every depth the
// export reads (RLE from explicit codes), and helpers around the library's PNG layer.

#include "exchange/Exchange.h"
#include "exchange/Png.h"
#include "formats/ByteOrder.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace exsample
{
using Bytes = std::vector<std::uint8_t>;

// ---- TIM -----------------------------------------------------------------------------

struct TimShape
{
    int nBpp = 8;
    std::uint16_t nUnits = 4;            // image width in 16-bit units
    std::uint16_t nHeight = 3;
    bool bClut = true;
    std::uint32_t nExtraFlags = 0;       // ORed into the flags besides the mode and CLUT bits
    std::uint16_t nReserved = 0;
    std::uint16_t nClutX = 0, nClutY = 0;
    std::uint16_t nClutWidth = 256, nClutHeight = 1;
    std::int64_t nColours = -1;          // colours stored; -1: width x height
    std::uint16_t nImageX = 0, nImageY = 0;
    std::uint32_t nSeed = 1;
};

// Colour i of a sample CLUT: the edge values first, then a spread over all 16 bits.
inline std::uint16_t TimSampleColour(std::size_t i, std::uint32_t nSeed)
{
    static const std::uint16_t s_edges[] = {0x0000, 0x8000, 0x7FFF, 0xFFFF, 0x001F, 0x03E0, 0x7C00, 0x0001};
    if (i < sizeof s_edges / sizeof s_edges[0])
        return s_edges[i];
    return static_cast<std::uint16_t>(((i + nSeed) * 2654435761u) >> 13);
}

inline std::uint8_t TimSampleByte(std::size_t k, std::uint32_t nSeed)
{
    return static_cast<std::uint8_t>((k * 7 + k / 13 + nSeed * 31) & 0xFF);
}

inline Bytes MakeTim(const TimShape& s)
{
    static const std::uint32_t s_mode[25] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3};
    Bytes b(8, 0);
    b[0] = 0x10;
    PutLe16(&b[2], s.nReserved);
    PutLe32(&b[4], s_mode[s.nBpp] | (s.bClut ? 8u : 0u) | s.nExtraFlags);
    if (s.bClut)
    {
        const std::size_t nColours = s.nColours < 0 ? std::size_t{s.nClutWidth} * s.nClutHeight
                                                    : static_cast<std::size_t>(s.nColours);
        const std::size_t at = b.size();
        b.resize(at + 12 + 2 * nColours);
        PutLe32(&b[at], static_cast<std::uint32_t>(12 + 2 * nColours));
        PutLe16(&b[at + 4], s.nClutX);
        PutLe16(&b[at + 6], s.nClutY);
        PutLe16(&b[at + 8], s.nClutWidth);
        PutLe16(&b[at + 10], s.nClutHeight);
        for (std::size_t i = 0; i < nColours; ++i)
            PutLe16(&b[at + 12 + 2 * i], TimSampleColour(i, s.nSeed));
    }
    const std::size_t nPixels = 2 * std::size_t{s.nUnits} * s.nHeight;
    const std::size_t at = b.size();
    b.resize(at + 12 + nPixels);
    PutLe32(&b[at], static_cast<std::uint32_t>(12 + nPixels));
    PutLe16(&b[at + 4], s.nImageX);
    PutLe16(&b[at + 6], s.nImageY);
    PutLe16(&b[at + 8], s.nUnits);
    PutLe16(&b[at + 10], s.nHeight);
    for (std::size_t k = 0; k < nPixels; ++k)
        b[at + 12 + k] = TimSampleByte(k, s.nSeed);
    return b;
}

// ---- BMP -----------------------------------------------------------------------------

struct BmpShape
{
    int nBits = 8;
    std::int32_t nWidth = 5;
    std::int32_t nHeight = 3;            // negative: top-down
    std::uint32_t nCompression = 0;
    std::uint32_t nInfoSize = 40;
    std::uint32_t nClrUsed = 0;
    Bytes rle;                           // the pixel data of RLE files
};

inline std::uint32_t BmpTableEntries(const BmpShape& s)
{
    if (s.nBits > 8)
        return 0;
    return s.nClrUsed != 0 ? s.nClrUsed : 1u << s.nBits;
}

// Standard layout: rows padded to 4 bytes; palette entry i is (i*37, 255-i, i*11) as R, G, B.
// Pixel bytes of uncompressed files are a pattern that keeps indices below the table size.
inline Bytes MakeBmp(const BmpShape& s)
{
    const std::uint32_t nEntries = BmpTableEntries(s);
    const std::uint32_t nOff = 14 + s.nInfoSize + 4 * nEntries;
    const std::uint64_t w = static_cast<std::uint64_t>(s.nWidth);
    const std::uint64_t h = static_cast<std::uint64_t>(s.nHeight < 0 ? -std::int64_t{s.nHeight} : s.nHeight);
    const std::uint64_t nStride = (w * static_cast<std::uint64_t>(s.nBits) + 31) / 32 * 4;
    const std::size_t nData = s.nCompression == 0 ? static_cast<std::size_t>(nStride * h) : s.rle.size();
    Bytes b(nOff + nData, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(&b[2], static_cast<std::uint32_t>(b.size()));
    PutLe32(&b[10], nOff);
    PutLe32(&b[14], s.nInfoSize);
    PutLeS32(&b[18], s.nWidth);
    PutLeS32(&b[22], s.nHeight);
    PutLe16(&b[26], 1);
    PutLe16(&b[28], static_cast<std::uint16_t>(s.nBits));
    PutLe32(&b[30], s.nCompression);
    PutLe32(&b[34], static_cast<std::uint32_t>(nData));
    PutLeS32(&b[38], 2835);
    PutLeS32(&b[42], 2835);
    PutLe32(&b[46], s.nClrUsed);
    for (std::uint32_t i = 0; i < nEntries; ++i)
    {
        b[14 + s.nInfoSize + 4 * i + 0] = static_cast<std::uint8_t>(i * 11);   // blue
        b[14 + s.nInfoSize + 4 * i + 1] = static_cast<std::uint8_t>(255 - i);  // green
        b[14 + s.nInfoSize + 4 * i + 2] = static_cast<std::uint8_t>(i * 37);   // red
    }
    if (s.nCompression != 0)
    {
        std::memcpy(&b[nOff], s.rle.data(), s.rle.size());
        return b;
    }
    for (std::uint64_t y = 0; y < h; ++y)
        for (std::uint64_t x = 0; x < nStride; ++x)
        {
            std::uint8_t v = static_cast<std::uint8_t>(x * 29 + y * 13 + x * y);
            if (s.nBits == 8 && nEntries < 256)
                v = static_cast<std::uint8_t>(v % nEntries);
            if (s.nBits == 4 && nEntries < 16)
                v = static_cast<std::uint8_t>(((v >> 4) % nEntries) << 4 | ((v & 15) % nEntries));
            b[nOff + y * nStride + x] = v;
        }
    return b;
}

// ---- PNG and the library -------------------------------------------------------------

inline PngPicture Decode(const Bytes& png)
{
    PngPicture pic;
    std::string strError;
    if (!DecodePng(png.data(), png.size(), "vlMD", pic, strError))
        throw std::runtime_error("decode: " + strError);
    return pic;
}

// Three bytes per pixel whatever the PNG's kind.
inline Bytes ToRgb(const PngPicture& pic)
{
    const std::size_t n = std::size_t{pic.nWidth} * pic.nHeight;
    Bytes rgb(3 * n);
    for (std::size_t i = 0; i < n; ++i)
    {
        PngColor c{};
        if (pic.bIndexed)
            c = pic.palette.at(pic.pixels[i]);
        else
            c = PngColor{pic.pixels[4 * i], pic.pixels[4 * i + 1], pic.pixels[4 * i + 2], pic.pixels[4 * i + 3]};
        rgb[3 * i] = c.r;
        rgb[3 * i + 1] = c.g;
        rgb[3 * i + 2] = c.b;
    }
    return rgb;
}

inline Bytes Export(const Bytes& in, const ExportOptions& opt = {})
{
    Bytes png;
    std::string strError;
    if (!ExportToPng(in.data(), in.size(), opt, png, strError))
        throw std::runtime_error("export: " + strError);
    return png;
}

inline Bytes Import(const Bytes& png, const ImportOptions& opt)
{
    Bytes out;
    std::string strError;
    if (!ImportFromPng(png.data(), png.size(), opt, out, strError))
        throw std::runtime_error("import: " + strError);
    return out;
}

inline ImportOptions ImportAs(int kind, int nBpp = 0)
{
    ImportOptions opt;
    opt.kind = kind;
    opt.nBpp = nBpp;
    return opt;
}

// An indexed or RGBA PNG from memory, without the private chunk: a PNG from elsewhere.
inline Bytes EncodeForeign(std::uint32_t w, std::uint32_t h, const Bytes& pixels, const std::vector<PngColor>& palette,
                           int nDepth = 8, bool bUnpacked = true)
{
    PngEncodeImage image;
    image.nWidth = w;
    image.nHeight = h;
    image.pixels = palette.empty() ? PNG_PIXELS_RGBA : PNG_PIXELS_INDEXED;
    image.nBitDepth = palette.empty() ? 8 : nDepth;
    image.bUnpacked = bUnpacked;
    image.pPalette = palette.data();
    image.nPalette = static_cast<std::uint32_t>(palette.size());
    const std::size_t nRow = palette.empty() ? 4 * std::size_t{w} : (bUnpacked ? w : (std::size_t{w} * static_cast<std::size_t>(nDepth) + 7) / 8);
    CBufferRowSource rows(pixels.data(), static_cast<std::ptrdiff_t>(nRow));
    Bytes png;
    std::string strError;
    if (!EncodePng(image, rows, PngEncodeOptions{}, png, strError))
        throw std::runtime_error("encode: " + strError);
    return png;
}
// The PNG without its vlMD chunk, every other byte as it was: an editor that keeps the
// picture and drops what it does not know.
inline Bytes WithoutChunk(const Bytes& png)
{
    Bytes out(png.begin(), png.begin() + 8);
    for (std::size_t at = 8; at + 12 <= png.size();)
    {
        const std::size_t nChunk = 12 + std::size_t{GetBe32(&png[at])};
        if (std::memcmp(&png[at + 4], "vlMD", 4) != 0)
            out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(at),
                       png.begin() + static_cast<std::ptrdiff_t>(at + nChunk));
        at += nChunk;
    }
    return out;
}

// A decoded picture written again as an editor writes it: indexed at 8 bits or RGBA, with
// the private chunk only when bKeepChunk.
inline Bytes EncodeEdited(const PngPicture& pic, bool bKeepChunk)
{
    PngEncodeImage image;
    image.nWidth = pic.nWidth;
    image.nHeight = pic.nHeight;
    image.pixels = pic.bIndexed ? PNG_PIXELS_INDEXED : PNG_PIXELS_RGBA;
    image.bUnpacked = true;
    image.pPalette = pic.palette.data();
    image.nPalette = static_cast<std::uint32_t>(pic.palette.size());
    PngEncodeOptions enc;
    if (bKeepChunk)
    {
        enc.pszPrivateType = "vlMD";
        enc.pPrivateData = &pic.privateData;
    }
    CBufferRowSource rows(pic.pixels.data(), static_cast<std::ptrdiff_t>(pic.bIndexed ? pic.nWidth : 4 * pic.nWidth));
    Bytes png;
    std::string strError;
    if (!EncodePng(image, rows, enc, png, strError))
        throw std::runtime_error("encode: " + strError);
    return png;
}
}  // namespace exsample
