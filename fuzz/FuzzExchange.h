#pragma once
// Checks shared by the exchange harnesses. An export that refuses leaves its output
// alone and says why; one that succeeds gives a PNG that imports back to the same
// kind of file, whose own export shows the same picture.

#include "exchange/Exchange.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzex
{
inline const std::vector<std::uint8_t> SENTINEL = {0x5E, 0x17};

inline PngColor ColourAt(const PngPicture& pic, std::size_t i)
{
    if (pic.bIndexed)
        return pic.palette.at(pic.pixels[i]);
    const std::uint8_t* p = pic.pixels.data() + 4 * i;
    return PngColor{p[0], p[1], p[2], p[3]};
}

// The same indices where both are indexed (a sheet's colours may come from the window
// and differ); the same colours where one is not (a few-colour truecolour BMP comes
// back as an 8-bit one).
inline bool SamePicture(const PngPicture& a, const PngPicture& b)
{
    if (a.nWidth != b.nWidth || a.nHeight != b.nHeight)
        return false;
    if (a.bIndexed && b.bIndexed)
        return a.pixels == b.pixels;
    const std::size_t n = std::size_t{a.nWidth} * a.nHeight;
    for (std::size_t i = 0; i < n; ++i)
    {
        const PngColor x = ColourAt(a, i), y = ColourAt(b, i);
        if (x.r != y.r || x.g != y.g || x.b != y.b || x.a != y.a)
            return false;
    }
    return true;
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
    // The way back for pictures of a sensible size: a sparse sheet's grid of tens of
    // millions of empty pixels would cost the fuzzer seconds an input.
    if (std::uint64_t{pic.nWidth} * pic.nHeight > (std::uint64_t{1} << 22))
        return;
    ImportOptions io;
    io.kind = DetectDataType(pData, nSize);
    std::vector<std::uint8_t> file;
    // A truecolour BMP fits an 8-bit one only with few colours; everything else comes back.
    if (!ImportFromPng(png.data(), png.size(), io, file, strError))
    {
        FUZZ_CHECK(io.kind == DATA_BMP && !pic.bIndexed);
        return;
    }
    std::vector<std::uint8_t> png2;
    FUZZ_CHECK(ExportToPng(file.data(), file.size(), opt, png2, strError));
    PngPicture pic2;
    FUZZ_CHECK(DecodePng(png2.data(), png2.size(), "vlMD", pic2, strError));
    FUZZ_CHECK(SamePicture(pic, pic2));
}
}  // namespace fuzzex
