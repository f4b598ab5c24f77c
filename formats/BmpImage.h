#pragma once
// Windows bitmaps of every kind the PNG export takes: 1, 4, 8 and 24 bits, uncompressed,
// RLE8 and RLE4, bottom-up or top-down, 40-, 108- and 124-byte info headers. Unlike the
// 8-bit record (Bmp.h) the picture is not copied: uncompressed rows are read where they lie.

#include "formats/BmpFormat.h"
#include "formats/FormatResult.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct BmpImage
{
    BmpFileHeader file{};
    BmpInfoHeader info{};             // the first 40 bytes of the info header, as the file has them
    std::uint32_t nWidth = 0;
    std::uint32_t nHeight = 0;
    bool bTopDown = false;
    bool bPadded = true;              // 8-bit rows of exactly biWidth bytes are the exception
    // Opaque colours: at least every index the pixels use, black past the file's table.
    RgbPalette palette{};
    std::uint32_t nColors = 0;
    // Uncompressed: the file's rows, nStride bytes apart, top row at pTopRow.
    const std::uint8_t* pTopRow = nullptr;
    std::ptrdiff_t nStride = 0;
    // RLE: the decoded picture, one index per byte, top row first.
    std::vector<std::uint8_t> decoded;
};

// What the caller can take: larger pictures are refused before anything is allocated.
struct BmpImageLimits
{
    std::uint32_t nMaxSide;           // FMT_BMP_TOO_LARGE above it
    std::uint64_t nMaxDecodedPixels;  // FMT_BMP_RLE_TOO_SHORT above it
    // RLE: FMT_BMP_RLE_TOO_LARGE above this many decoded pixels per byte of the file; 0: none.
    std::uint64_t nMaxPixelsPerByte = 0;
    // The whole file's size when pData holds only the bytes its readers look at (ItemReach.h);
    // 0: nSize. The RLE rules measure the file.
    std::uint64_t nFileSize = 0;
};

// The bound the PNG export and the palette verbs read RLE bitmaps within: a picture may decode
// to at most 1024 pixels per byte of its file (the 256 MiB of every decode stay the ceiling).
constexpr std::uint64_t BMP_RLE_MAX_PIXELS_PER_BYTE = 1024;

// Sizes are checked against the bytes present before anything is allocated. On success out
// may point into pData. On a refusal out holds the header fields read before the check that
// failed, so the caller can name them, and no pixels.
FormatResult ParseBmpImage(const std::uint8_t* pData, std::size_t nSize, const BmpImageLimits& limits, BmpImage& out);

// The size rules an RLE picture of nWidth x nHeight pixels whose codes start at nOffBits of
// a file of nFileSize bytes must keep before it is decoded: FMT_BMP_RLE_TOO_SHORT,
// FMT_BMP_RLE_TOO_LARGE or FMT_OK. ParseBmpImage applies them; a caller may ask ahead.
FormatResult CheckBmpRleSize(std::uint64_t nWidth, std::uint64_t nHeight, std::uint64_t nOffBits, std::uint64_t nFileSize,
                             const BmpImageLimits& limits);
