#pragma once
// vellumconv thumbnail: the picture export reads from a file, as an RGBA PNG scaled by nearest
// neighbour to fit a square, for a desktop's thumbnailer.

#include "tools/vellumconv/ConvThumbnailArgs.h"

#include <cstdint>
#include <cstdio>

struct ConvThumbSize
{
    std::uint32_t nWidth = 0;
    std::uint32_t nHeight = 0;
};

// The size a picture of nWidth x nHeight (each at least 1) is shown at within nSize: grown by
// the largest whole factor that fits, or shrunk until its longer side is nSize.
ConvThumbSize ConvThumbnailSize(std::uint32_t nWidth, std::uint32_t nHeight, std::uint32_t nSize);

// The exit status: 0 when OUT was written, 1 when IN was refused or OUT could not be written
// (nothing is left there then); the size on pOut, messages on pErr.
int RunConvThumbnail(const ConvThumbnailOptions& options, std::FILE* pOut, std::FILE* pErr);
