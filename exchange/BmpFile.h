#pragma once
// Windows bitmaps as export reads them: 1, 4, 8 and 24 bits, uncompressed, RLE8 and
// RLE4, bottom-up or top-down, 40-, 108- and 124-byte info headers.

#include "exchange/Png.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : std::uint32_t
{
    BMP_RGB = 0,
    BMP_RLE8 = 1,
    BMP_RLE4 = 2,
};

struct BmpImage
{
    // Header fields as the file has them.
    std::uint16_t bfReserved1 = 0;
    std::uint16_t bfReserved2 = 0;
    std::uint32_t bfOffBits = 0;
    std::uint32_t biSize = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;

    std::uint32_t nWidth = 0;
    std::uint32_t nHeight = 0;
    bool bTopDown = false;
    bool bPadded = true;              // 8-bit rows of exactly biWidth bytes are the exception
    std::vector<PngColor> palette;    // opaque; at least every index the pixels use
    // Uncompressed: the file's rows, nStride bytes apart, top row at pTopRow.
    const std::uint8_t* pTopRow = nullptr;
    std::ptrdiff_t nStride = 0;
    // RLE: the decoded picture, one index per byte, top row first.
    std::vector<std::uint8_t> decoded;
};

// Sizes are checked against the bytes present before anything is allocated; out is
// changed only on success and may point into pData.
[[nodiscard]] bool ParseBmp(const std::uint8_t* pData, std::size_t nSize, BmpImage& out, std::string& strError);
