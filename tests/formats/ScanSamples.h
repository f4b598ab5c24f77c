#pragma once
// Files for the scan's tests, built field by field: every kind and depth the scan finds,
// planted in random bytes, and raw CD images whose user data is a given stream. The items
// are as careful writers make them: block lengths exact, tables and rows where the headers
// say, RLE rows that end where the picture ends. Header-only; link vellum_formats.

#include "formats/ByteOrder.h"
#include "formats/CdImage.h"
#include "formats/Scan.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace scansample
{
using Bytes = std::vector<std::uint8_t>;

// splitmix64: the same bytes on every machine for a seed.
class CRandom
{
public:
    explicit CRandom(std::uint64_t nSeed) : m_n(nSeed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (m_n += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next()); }
    void Fill(std::uint8_t* p, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = Byte();
    }
    Bytes Make(std::size_t n)
    {
        Bytes b(n);
        Fill(b.data(), n);
        return b;
    }

private:
    std::uint64_t m_n;
};

// ---- TIM -----------------------------------------------------------------------------

struct TimShape
{
    int nBpp = 8;
    std::uint16_t nUnits = 8, nHeight = 4;  // image block, in 16-bit units
    bool bClut = true;
    std::uint16_t nClutWidth = 256, nClutHeight = 1;
    std::uint16_t nClutX = 0, nClutY = 480, nImageX = 320, nImageY = 0;
    std::uint64_t nSeed = 1;
};

inline Bytes MakeTim(const TimShape& s)
{
    CRandom r(s.nSeed);
    const std::uint32_t nMode = s.nBpp == 4 ? 0 : s.nBpp == 8 ? 1 : s.nBpp == 16 ? 2 : 3;
    Bytes b(8, 0);
    b[0] = 0x10;
    PutLe32(&b[4], nMode | (s.bClut ? 8u : 0u));
    if (s.bClut)
    {
        const std::size_t nColours = std::size_t{s.nClutWidth} * s.nClutHeight;
        const std::size_t at = b.size();
        b.resize(at + 12 + 2 * nColours);
        PutLe32(&b[at], static_cast<std::uint32_t>(12 + 2 * nColours));
        PutLe16(&b[at + 4], s.nClutX);
        PutLe16(&b[at + 6], s.nClutY);
        PutLe16(&b[at + 8], s.nClutWidth);
        PutLe16(&b[at + 10], s.nClutHeight);
        r.Fill(&b[at + 12], 2 * nColours);
    }
    const std::size_t nPixels = 2 * std::size_t{s.nUnits} * s.nHeight;
    const std::size_t at = b.size();
    b.resize(at + 12 + nPixels);
    PutLe32(&b[at], static_cast<std::uint32_t>(12 + nPixels));
    PutLe16(&b[at + 4], s.nImageX);
    PutLe16(&b[at + 6], s.nImageY);
    PutLe16(&b[at + 8], s.nUnits);
    PutLe16(&b[at + 10], s.nHeight);
    r.Fill(&b[at + 12], nPixels);
    return b;
}

// ---- BMP -----------------------------------------------------------------------------

struct BmpShape
{
    int nBits = 8;
    std::int32_t nWidth = 13, nHeight = 5;  // a negative height: top-down
    std::uint32_t nCompression = 0;         // 0, 1 (RLE8), 2 (RLE4)
    std::uint32_t nInfoSize = 40;
    std::uint32_t nClrUsed = 0;
    bool bUnpadded = false;                 // 8-bit rows of exactly biWidth bytes
    std::uint64_t nSeed = 1;
};

inline std::uint32_t BmpEntries(const BmpShape& s)
{
    return s.nBits > 8 ? s.nClrUsed : (s.nClrUsed != 0 ? s.nClrUsed : 1u << s.nBits);
}

// Runs of one index and one absolute run in each row, each row ended, and the end of the
// bitmap last: what Windows and ImageMagick write.
inline Bytes EncodeRle(const BmpShape& s, std::uint32_t nEntries, CRandom& r)
{
    const bool b4 = s.nCompression == 2;
    const auto w = static_cast<std::uint32_t>(s.nWidth);
    const auto h = static_cast<std::uint32_t>(s.nHeight);
    Bytes out;
    for (std::uint32_t y = 0; y < h; ++y)
    {
        std::uint32_t x = 0;
        if (w >= 4)
        {
            // An absolute run of three or four pixels, padded to a whole word.
            const std::uint32_t n = 3 + static_cast<std::uint32_t>(r.Below(2));
            out.push_back(0);
            out.push_back(static_cast<std::uint8_t>(n));
            const std::uint32_t nBytes = b4 ? (n + 1) / 2 : n;
            for (std::uint32_t k = 0; k < nBytes; ++k)
                out.push_back(b4 ? static_cast<std::uint8_t>((r.Below(nEntries) << 4) | r.Below(nEntries))
                                 : static_cast<std::uint8_t>(r.Below(nEntries)));
            if (nBytes % 2 != 0)
                out.push_back(0);
            x = n;
        }
        while (x < w)
        {
            const std::uint32_t n = std::min<std::uint32_t>(w - x, 1 + static_cast<std::uint32_t>(r.Below(40)));
            out.push_back(static_cast<std::uint8_t>(n));
            out.push_back(b4 ? static_cast<std::uint8_t>((r.Below(nEntries) << 4) | r.Below(nEntries))
                             : static_cast<std::uint8_t>(r.Below(nEntries)));
            x += n;
        }
        out.push_back(0);
        out.push_back(y + 1 == h ? 1 : 0);
    }
    return out;
}

inline Bytes MakeBmp(const BmpShape& s)
{
    CRandom r(s.nSeed);
    const std::uint32_t nEntries = BmpEntries(s);
    const std::uint32_t nOff = 14 + s.nInfoSize + 4 * nEntries;
    const auto w = static_cast<std::uint64_t>(s.nWidth);
    const std::uint64_t h = static_cast<std::uint64_t>(s.nHeight < 0 ? -std::int64_t{s.nHeight} : s.nHeight);
    const std::uint64_t nStride = s.bUnpadded ? w : (w * static_cast<std::uint64_t>(s.nBits) + 31) / 32 * 4;
    Bytes data;
    if (s.nCompression != 0)
        data = EncodeRle(s, nEntries, r);
    else
    {
        data.assign(static_cast<std::size_t>(nStride * h), 0);
        const std::uint64_t nRowBytes = (w * static_cast<std::uint64_t>(s.nBits) + 7) / 8;
        for (std::uint64_t y = 0; y < h; ++y)
            for (std::uint64_t x = 0; x < nRowBytes; ++x)
            {
                std::uint8_t v = r.Byte();
                // Indices within a short table.
                if (s.nBits == 8 && nEntries < 256)
                    v = static_cast<std::uint8_t>(v % nEntries);
                if (s.nBits == 4 && nEntries < 16)
                    v = static_cast<std::uint8_t>(((v >> 4) % nEntries) << 4 | ((v & 15) % nEntries));
                if (s.nBits == 1 && nEntries < 2)
                    v = 0;
                data[static_cast<std::size_t>(y * nStride + x)] = v;
            }
        // The bits of the last byte past the row's pixels are 0, as in any writer's files.
        const std::uint64_t nBits = w * static_cast<std::uint64_t>(s.nBits);
        if (nBits % 8 != 0)
            for (std::uint64_t y = 0; y < h; ++y)
                data[static_cast<std::size_t>(y * nStride + nBits / 8)] &= static_cast<std::uint8_t>(0xFF00u >> (nBits % 8));
    }
    Bytes b(nOff, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(&b[2], static_cast<std::uint32_t>(nOff + data.size()));
    PutLe32(&b[10], nOff);
    PutLe32(&b[14], s.nInfoSize);
    PutLeS32(&b[18], s.nWidth);
    PutLeS32(&b[22], s.nHeight);
    PutLe16(&b[26], 1);
    PutLe16(&b[28], static_cast<std::uint16_t>(s.nBits));
    PutLe32(&b[30], s.nCompression);
    PutLe32(&b[34], static_cast<std::uint32_t>(data.size()));
    PutLeS32(&b[38], 2835);
    PutLeS32(&b[42], 2835);
    PutLe32(&b[46], s.nClrUsed);
    if (s.nInfoSize >= 108)
        PutLe32(&b[14 + 56], 0x73524742);  // 'sRGB' colour space
    for (std::uint32_t i = 0; i < nEntries; ++i)
        r.Fill(&b[14 + s.nInfoSize + 4 * i], 3);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// ---- BFNT ----------------------------------------------------------------------------

struct BfntShape
{
    bool b16 = false;
    std::uint16_t nGlyphWidth = 8, nGlyphHeight = 12, nFirst = 32, nLast = 40;
    bool bPalette = true;
    std::uint16_t nExtension = 0;
    std::uint64_t nSeed = 1;
};

inline Bytes MakeBfnt(const BfntShape& s)
{
    CRandom r(s.nSeed);
    Bytes b(32, 0);
    std::memcpy(b.data(), "BFNT", 4);
    b[4] = 0x1A;
    b[5] = static_cast<std::uint8_t>((s.bPalette ? 0x80 : 0) | (s.b16 ? 3 : 7));
    b[6] = 22;
    PutLe16(&b[8], s.nGlyphWidth);
    PutLe16(&b[10], s.nGlyphHeight);
    PutLe16(&b[12], s.nFirst);
    PutLe16(&b[14], s.nLast);
    PutLe16(&b[28], s.nExtension);
    const std::uint64_t nPixels = std::uint64_t{s.nLast - s.nFirst + 1u} * s.nGlyphWidth * s.nGlyphHeight;
    const std::size_t nRest = s.nExtension + (s.bPalette ? (s.b16 ? 48u : 768u) : 0u) +
                              static_cast<std::size_t>(s.b16 ? nPixels / 2 : nPixels);
    const std::size_t at = b.size();
    b.resize(at + nRest);
    r.Fill(&b[at], nRest);
    return b;
}

// ---- Every kind and depth ------------------------------------------------------------

struct Planted
{
    std::string strName;
    Bytes bytes;
    ScanItem item;  // what the scan reports
};

inline ScanItem Item(unsigned kind, std::size_t nLength, std::uint32_t w, std::uint32_t h, std::uint32_t nDepth,
                     std::uint32_t nCluts)
{
    ScanItem it;
    it.kind = kind;
    it.nLength = nLength;
    it.nWidth = w;
    it.nHeight = h;
    it.nDepth = nDepth;
    it.nCluts = nCluts;
    return it;
}

inline std::vector<Planted> EveryKindAndDepth(std::uint64_t nSeed = 1)
{
    std::vector<Planted> all;
    auto tim = [&](const char* pszName, TimShape s, std::uint32_t w, std::uint32_t nCluts) {
        s.nSeed = nSeed + all.size();
        Bytes b = MakeTim(s);
        all.push_back({pszName, b, Item(SCAN_TIM, b.size(), w, s.nHeight, static_cast<std::uint32_t>(s.nBpp), nCluts)});
    };
    tim("tim4", {4, 4, 8, true, 16, 1, 0, 480, 320, 0, 0}, 16, 1);
    tim("tim4-3rows", {4, 6, 5, true, 16, 3, 16, 500, 0, 256, 0}, 24, 3);
    tim("tim4-partial-row", {4, 2, 3, true, 20, 1, 0, 0, 1000, 0, 0}, 8, 2);
    tim("tim8", {8, 8, 6, true, 256, 1, 0, 480, 320, 0, 0}, 16, 1);
    tim("tim8-2rows", {8, 5, 7, true, 256, 2, 768, 510, 1019, 505, 0}, 10, 2);
    // Textures whose colours are in another file.
    tim("tim4-no-clut", {4, 5, 6, false, 0, 0, 0, 0, 640, 256, 0}, 20, 0);
    tim("tim8-no-clut", {8, 7, 3, false, 0, 0, 0, 0, 1017, 509, 0}, 14, 0);
    tim("tim16", {16, 9, 4, false, 0, 0, 0, 0, 64, 64, 0}, 9, 0);
    tim("tim16-clut", {16, 3, 3, true, 16, 1, 0, 0, 0, 0, 0}, 3, 0);
    tim("tim24", {24, 15, 4, false, 0, 0, 0, 0, 0, 0, 0}, 10, 0);
    tim("tim24-odd", {24, 8, 2, false, 0, 0, 0, 0, 0, 0, 0}, 5, 0);
    auto bmp = [&](const char* pszName, BmpShape s) {
        s.nSeed = nSeed + all.size();
        Bytes b = MakeBmp(s);
        const auto h = static_cast<std::uint32_t>(s.nHeight < 0 ? -s.nHeight : s.nHeight);
        all.push_back({pszName, b,
                       Item(SCAN_BMP, b.size(), static_cast<std::uint32_t>(s.nWidth), h, static_cast<std::uint32_t>(s.nBits),
                            s.nBits <= 8 ? 1 : 0)});
    };
    bmp("bmp1", {1, 19, 5, 0, 40, 0, false, 0});
    bmp("bmp4", {4, 7, 6, 0, 40, 0, false, 0});
    bmp("bmp4-short-table", {4, 9, 3, 0, 40, 5, false, 0});
    bmp("bmp8", {8, 13, 5, 0, 40, 0, false, 0});
    bmp("bmp8-unpadded", {8, 13, 5, 0, 40, 0, true, 0});
    bmp("bmp8-top-down", {8, 6, -4, 0, 40, 0, false, 0});
    bmp("bmp8-16-colours", {8, 10, 4, 0, 40, 16, false, 0});
    bmp("bmp8-v5", {8, 5, 5, 0, 124, 0, false, 0});
    bmp("bmp24", {24, 7, 3, 0, 40, 0, false, 0});
    bmp("bmp24-v4", {24, 6, 2, 0, 108, 0, false, 0});
    bmp("bmp-rle8", {8, 30, 6, 1, 40, 0, false, 0});
    bmp("bmp-rle4", {4, 25, 5, 2, 40, 0, false, 0});
    auto bfnt = [&](const char* pszName, BfntShape s) {
        s.nSeed = nSeed + all.size();
        Bytes b = MakeBfnt(s);
        all.push_back({pszName, b,
                       Item(SCAN_BFNT, b.size(), s.nGlyphWidth, s.nGlyphHeight, s.b16 ? 4 : 8, s.bPalette ? 1 : 0)});
    };
    bfnt("bfnt256", {false, 8, 12, 32, 40, true, 0, 0});
    bfnt("bfnt256-bare", {false, 6, 6, 0, 3, false, 0, 0});
    bfnt("bfnt16", {true, 8, 8, 65, 70, true, 0, 0});
    bfnt("bfnt16-odd", {true, 3, 3, 7, 7, false, 0, 0});
    bfnt("bfnt-extension", {false, 4, 5, 10, 12, true, 37, 0});
    return all;
}

// ---- Raw CD images -------------------------------------------------------------------

struct CdImage
{
    Bytes image;
    std::vector<std::uint64_t> userDataAt;  // the file position of each 2048 bytes of the stream
    std::uint64_t FileOffset(std::uint64_t nStream) const { return userDataAt[nStream / 2048] + nStream % 2048; }
};

// The stream (padded with random bytes to whole sectors) in Mode 1 and Mode 2 Form 1 sectors,
// with Form 2 sectors and audio sectors between them whose bytes are other random bytes.
inline CdImage MakeCdImage(const Bytes& stream, std::uint64_t nSeed)
{
    CRandom r(nSeed);
    CdImage cd;
    const std::size_t nData = (stream.size() + 2047) / 2048;
    for (std::size_t k = 0; k < nData; ++k)
    {
        // Sectors of no file data before this one (never before the first).
        while (k > 0 && r.Below(4) == 0)
        {
            Bytes other = r.Make(2352);
            if (r.Below(2) == 0)
            {
                std::memcpy(other.data(), CD_SYNC, 12);
                other[15] = 2;
                other[18] = other[22] = 0x20 | 0x04;  // Form 2, audio
            }
            else
            {
                other[0] = 0x55;  // audio: no sync pattern
            }
            cd.image.insert(cd.image.end(), other.begin(), other.end());
        }
        Bytes sector = r.Make(2352);
        std::memcpy(sector.data(), CD_SYNC, 12);
        std::uint32_t nAt = 16;
        if (r.Below(3) == 0)
        {
            sector[15] = 1;
        }
        else
        {
            sector[15] = 2;
            sector[18] = sector[22] = 0x08;  // Form 1, data
            nAt = 24;
        }
        for (std::size_t i = 0; i < 2048; ++i)
            sector[nAt + i] = k * 2048 + i < stream.size() ? stream[k * 2048 + i] : r.Byte();
        cd.userDataAt.push_back(cd.image.size() + nAt);
        cd.image.insert(cd.image.end(), sector.begin(), sector.end());
    }
    return cd;
}

}  // namespace scansample
