#pragma once
// Windows bitmaps of every kind the PNG export takes: 1, 4, 8, 16, 24 and 32 bits,
// uncompressed, RLE8 and RLE4, bit fields at 16 and 32 bits, bottom-up or top-down;
// 40-, 52-, 56-, 108- and 124-byte info headers and the OS/2 ones of 12, 16 and 64 bytes.
// Unlike the 8-bit record (Bmp.h) the picture is not copied: uncompressed rows are read where
// they lie.

#include "formats/BmpFormat.h"
#include "formats/FormatResult.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct BmpImage
{
    BmpFileHeader file{};
    BmpInfoHeader info{};             // the first 40 bytes of the info header; OS/2 ones widened
    std::uint32_t nWidth = 0;
    std::uint32_t nHeight = 0;
    bool bTopDown = false;
    bool bPadded = true;              // 8-bit rows of exactly biWidth bytes are the exception
    // Opaque colours: the table's entries, widened with black to the highest index used.
    RgbPalette palette{};
    std::uint32_t nColors = 0;
    std::uint32_t nTable = 0;         // the entries the file's table has
    // 16 and 32 bits: red, green, blue and alpha masks; bAlpha when the alpha mask is set and
    // some pixel's alpha is not 0 (writers that leave alpha 0 everywhere mean opaque).
    std::uint32_t masks[4] = {};
    bool bAlpha = false;
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

// The info header at p, of the nSize bytes from byte 14 on, as the readers here see it:
// the 12- and 16-byte OS/2 headers widened, the fields they lack 0. False when the header's
// size is not one read here or it is cut.
bool ReadBmpInfoHeader(const std::uint8_t* p, std::size_t nSize, BmpInfoHeader& h);

// Where the pixels start: bfOffBits, or the end of the headers, masks and colour table when it
// points inside them (the table can then hold only what precedes the pixels). For a header
// ReadBmpInfoHeader took.
std::uint64_t BmpPixelStart(const BmpFileHeader& fh, const BmpInfoHeader& ih);

// Row y (top row 0) of a 16-, 24- or 32-bit picture as 8-bit RGB, or RGBA when bAlpha:
// 3 or 4 bytes a pixel into pOut.
void BmpColourRow(const BmpImage& b, std::uint32_t y, std::uint8_t* pOut);

// The size rules an RLE picture of nWidth x nHeight pixels whose codes start at nOffBits of
// a file of nFileSize bytes must keep before it is decoded: FMT_BMP_RLE_TOO_SHORT,
// FMT_BMP_RLE_TOO_LARGE or FMT_OK. ParseBmpImage applies them; a caller may ask ahead.
FormatResult CheckBmpRleSize(std::uint64_t nWidth, std::uint64_t nHeight, std::uint64_t nOffBits, std::uint64_t nFileSize,
                             const BmpImageLimits& limits);
