#pragma once
// PNG encoding and decoding on libpng. libpng reports errors by longjmp, so every
// libpng call runs in a plain frame that holds no object with a destructor; C++
// objects live in the callers around it. Neither function changes its output
// argument when it fails. Each comes twice: reporting a result, and reporting its
// message in words.

#include "exchange/ExchangeResult.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PngColor
{
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
    std::uint8_t a;
};

enum PngPixels : int
{
    PNG_PIXELS_INDEXED,  // colour type 3: one palette index per pixel
    PNG_PIXELS_RGB,      // colour type 2, 8 bits per sample
    PNG_PIXELS_RGBA,     // colour type 6, 8 bits per sample
};

enum : int
{
    PNG_LEVEL_DEFAULT = -1,    // leave zlib's level to libpng (level 6, zlib header 78 9c)
    PNG_FILTERS_DEFAULT = -1,  // leave the row filters to libpng (none for indexed pictures)
    PNG_FILTERS_NONE = 0x08,   // libpng's PNG_FILTER_NONE alone: every row unfiltered
};

// Pictures larger than this a side are refused both ways; libpng's own default is 1000000.
constexpr std::uint32_t PNG_MAX_SIDE = 1u << 24;
// Decoding never builds a pixel buffer larger than this, whatever the file claims.
constexpr std::uint64_t PNG_MAX_DECODED_BYTES = std::uint64_t{256} << 20;
// Largest ancillary chunk (ours included) a decode accepts.
constexpr std::uint32_t PNG_MAX_CHUNK_BYTES = 16u << 20;

// Hands the encoder one row at a time, top row first, already in the PNG's layout.
class IPngRowSource
{
public:
    virtual ~IPngRowSource() = default;
    // Row y; the pointer stays valid until the next call. Must not throw.
    virtual const std::uint8_t* Row(std::uint32_t y) = 0;
};

// Rows of a buffer nStride bytes apart; a negative stride walks a bottom-up buffer.
class CBufferRowSource final : public IPngRowSource
{
public:
    CBufferRowSource(const std::uint8_t* pTopRow, std::ptrdiff_t nStride) : m_pTopRow(pTopRow), m_nStride(nStride) {}
    const std::uint8_t* Row(std::uint32_t y) override { return m_pTopRow + static_cast<std::ptrdiff_t>(y) * m_nStride; }

private:
    const std::uint8_t* m_pTopRow;
    std::ptrdiff_t m_nStride;
};

struct PngEncodeImage
{
    std::uint32_t nWidth = 0;
    std::uint32_t nHeight = 0;
    PngPixels pixels = PNG_PIXELS_INDEXED;
    // Indexed pictures: 1, 2, 4 or 8. Rows are packed at this depth, leftmost pixel in
    // the high bits, unless bUnpacked says they hold one index per byte.
    int nBitDepth = 8;
    bool bUnpacked = false;
    const PngColor* pPalette = nullptr;  // indexed only; alpha below 255 goes into tRNS
    std::uint32_t nPalette = 0;          // 1 to 256
};

struct PngEncodeOptions
{
    int nZlibLevel = PNG_LEVEL_DEFAULT;  // 0 to 9
    int nFilters = PNG_FILTERS_DEFAULT;  // a mask of PNG_FILTER_NONE, PNG_FILTER_SUB, ...
    bool bPhys = false;                  // write a pHYs chunk
    std::uint32_t nPhysX = 0;
    std::uint32_t nPhysY = 0;
    std::uint8_t nPhysUnit = 1;          // 1: per metre
    // One private chunk written after the palette, before the pixel data: four
    // letters and its payload. Empty payload with a null type: none.
    const char* pszPrivateType = nullptr;
    const std::vector<std::uint8_t>* pPrivateData = nullptr;
};

// Writes IHDR, PLTE and tRNS (indexed), pHYs, the private chunk, IDAT, IEND. tRNS holds
// the palette's alphas up to the last one below 255 and is left out when all are opaque.
ExchangeResult EncodePng(const PngEncodeImage& image, IPngRowSource& rows, const PngEncodeOptions& opt,
                         std::vector<std::uint8_t>& out);
[[nodiscard]] bool EncodePng(const PngEncodeImage& image, IPngRowSource& rows, const PngEncodeOptions& opt,
                             std::vector<std::uint8_t>& out, std::string& strError);

struct PngPicture
{
    std::uint32_t nWidth = 0;
    std::uint32_t nHeight = 0;
    // Indexed PNGs keep their indices and palette (with the tRNS alphas); every other
    // kind becomes 8-bit RGBA (16-bit samples scaled, grey spread, a colour key made alpha).
    bool bIndexed = false;
    std::vector<std::uint8_t> pixels;  // top row first, 1 or 4 bytes per pixel, no padding
    std::vector<PngColor> palette;
    int nColorType = 0;                // as in IHDR
    int nBitDepth = 0;
    bool bPrivate = false;             // the private chunk asked for was present
    std::vector<std::uint8_t> privateData;
};

// Any colour type and depth, interlaced or not. pszPrivateType names the one
// ancillary chunk whose payload is handed back (the first one if there are several).
ExchangeResult DecodePng(const std::uint8_t* pData, std::size_t nSize, const char* pszPrivateType, PngPicture& out);
[[nodiscard]] bool DecodePng(const std::uint8_t* pData, std::size_t nSize, const char* pszPrivateType,
                             PngPicture& out, std::string& strError);
