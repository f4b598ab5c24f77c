#pragma once
// Checks shared by the exchange harnesses. An export that refuses leaves its output
// alone and says why; one that succeeds gives a PNG that imports back to the same
// kind of file, whose own export shows the same picture.

#include "Exchange.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzex
{
inline const std::vector<std::uint8_t> SENTINEL = {0x5E, 0x17};

inline bool SamePicture(const PngPicture& a, const PngPicture& b)
{
    return a.nWidth == b.nWidth && a.nHeight == b.nHeight && a.bIndexed == b.bIndexed && a.pixels == b.pixels;
}

inline void CheckExport(const std::uint8_t* pData, std::size_t nSize)
{
    ExportOptions opt;
    opt.nZlibLevel = 1;  // the grid of a sparse sheet can be large; the fuzzer wants speed
    std::vector<std::uint8_t> png = SENTINEL;
    std::string strError;
    if (!ExportToPng(pData, nSize, opt, png, strError))
    {
        FUZZ_CHECK(png == SENTINEL && !strError.empty());
        return;
    }
    PngPicture pic;
    FUZZ_CHECK(DecodePng(png.data(), png.size(), "vlMD", pic, strError) && pic.bPrivate);
    ImportOptions io;
    io.kind = DetectExchangeKind(pData, nSize);
    std::vector<std::uint8_t> file;
    // A truecolour BMP fits an 8-bit one only with few colours; everything else comes back.
    if (!ImportFromPng(png.data(), png.size(), io, file, strError))
    {
        FUZZ_CHECK(io.kind == EXCH_KIND_BMP && !pic.bIndexed);
        return;
    }
    std::vector<std::uint8_t> png2;
    FUZZ_CHECK(ExportToPng(file.data(), file.size(), opt, png2, strError));
    PngPicture pic2;
    FUZZ_CHECK(DecodePng(png2.data(), png2.size(), "vlMD", pic2, strError));
    FUZZ_CHECK(SamePicture(pic, pic2));
}
}  // namespace fuzzex
