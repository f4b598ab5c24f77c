#pragma once
// Inputs a few bytes long may declare pictures of hundreds of megabytes that the formats allow
// (an RLE bitmap's skipped rows, a sparse sheet's empty cells). A run on one spends its time
// zero-filling pages, and the fuzzer then manages a few hundred runs a second. Their code is
// the same as a small picture's, so the harnesses that would decode or lay out such a picture
// whole keep to pictures of 65,536 pixels (256 by 256); the programs' refusals of pictures too
// large to hold have unit tests of their own.

#include "formats/Bfnt.h"
#include "formats/BfntImage.h"
#include "formats/BmpFormat.h"

#include <cstdint>
#include <cstdlib>

namespace fuzzlim
{
constexpr std::uint64_t MAX_PIXELS = std::uint64_t{1} << 16;

// A run-length bitmap declaring more than MAX_PIXELS.
inline bool LargeRleBitmap(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize < BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE || pData[0] != 'B' || pData[1] != 'M')
        return false;
    BmpInfoHeader info;
    ParseBmpInfoHeader(pData + BMP_FILE_HEADER_SIZE, info);
    if (info.biCompression != BMP_RLE8 && info.biCompression != BMP_RLE4)
        return false;
    const auto nWidth = static_cast<std::uint64_t>(std::abs(std::int64_t{info.biWidth}));
    const auto nHeight = static_cast<std::uint64_t>(std::abs(std::int64_t{info.biHeight}));
    return nWidth * nHeight > MAX_PIXELS;
}

// A sheet whose grid of nColumns cells across (one per code from 0) is over MAX_PIXELS.
inline bool LargeSheetGrid(const std::uint8_t* pData, std::size_t nSize, std::uint64_t nColumns)
{
    BfntImage f;
    if (ParseBfntImage(pData, nSize, f) != FMT_OK)
        return false;
    return f.GridWidth(nColumns) * f.GridHeight(nColumns) > MAX_PIXELS;
}

// A sheet whose 8-bit picture, laid out as the conversions and the view lay it out, is over
// MAX_PIXELS.
inline bool LargeSheetPicture(std::uint64_t nGlyphWidth, std::uint64_t nGlyphHeight, std::uint64_t nCount)
{
    if (nGlyphWidth == 0 || nGlyphWidth > 256 || nCount == 0)
        return false;  // refused before anything is laid out
    const BfntPictureLayout layout = LayOutBfntPicture(nGlyphWidth, nGlyphHeight, nCount);
    return layout.nWidth * layout.nHeight > MAX_PIXELS;
}

inline bool LargeSheetPicture(const std::uint8_t* pData, std::size_t nSize)
{
    BfntImage f;
    return ParseBfntImage(pData, nSize, f) == FMT_OK &&
           LargeSheetPicture(f.header.glyphWidth, f.header.glyphHeight, f.GlyphCount());
}
}  // namespace fuzzlim
