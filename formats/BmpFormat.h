#pragma once
// The Windows bitmap's layout, for every reader and writer of it: a 14-byte file header, an
// info header whose first field gives its size (the first 40 bytes are alike in every size
// read here), the colour table of blue, green, red, 0 quads, then the pixel data.
// Little-endian throughout.

#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>

// Bytes 0 to 13 of the file.
struct BmpFileHeader
{
    std::uint16_t bfType;
    std::uint32_t bfSize;
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;
};

// Bytes 14 to 53 of the file.
struct BmpInfoHeader
{
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

enum : std::uint32_t
{
    BMP_TYPE = 0x4D42,          // 'B' 'M'
    BMP_FILE_HEADER_SIZE = 14,
    BMP_INFO_HEADER_SIZE = 40,
    BMP_COLOR_TABLE_SIZE = 1024,
    BMP_PIXEL_OFFSET = 1078,    // 14 + 40 + 1024
    // biCompression
    BMP_RGB = 0,
    BMP_RLE8 = 1,
    BMP_RLE4 = 2,
};

void ParseBmpFileHeader(const std::uint8_t* p, BmpFileHeader& h);
// The 40 bytes every info header starts with.
void ParseBmpInfoHeader(const std::uint8_t* p, BmpInfoHeader& h);
void StoreBmpFileHeader(std::uint8_t* p, const BmpFileHeader& h);
void StoreBmpInfoHeader(std::uint8_t* p, const BmpInfoHeader& h);

// Bytes one row of nWidth pixels of nBits each takes when padded to 4 bytes, as the format
// lays rows out.
constexpr std::uint64_t BmpPaddedRow(std::uint64_t nWidth, std::uint64_t nBits)
{
    return (nWidth * nBits + 31) / 32 * 4;
}

// The headers of an 8-bit bitmap as the program writes one: bottom-up rows of nImageBytes in
// all, after a 40-byte info header and all 256 colours. The fields this does not name
// (reserved, resolution, colour counts) are left as they are.
void SetBmp8BitHeaders(BmpFileHeader& fh, BmpInfoHeader& ih, std::int32_t nWidth, std::int32_t nHeight,
                       std::uint32_t nImageBytes);

// nColors quads of the colour table into the first nColors entries of the palette, and back.
void ParseBmpColorTable(const std::uint8_t* p, std::size_t nColors, RgbPalette& palette);
void StoreBmpColorTable(std::uint8_t* p, std::size_t nColors, const RgbPalette& palette);
