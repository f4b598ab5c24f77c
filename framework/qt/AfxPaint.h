#pragma once
// The colour expansion of the paint path: 8-bit pixels through a 256-entry colour table into
// 32-bit 0xFFRRGGBB pixels, rows top to bottom as shown.

#include "framework/AfxTypes.h"

#include <cstddef>
#include <cstdint>

// Expands the whole of src into pDest (src.nHeight rows of src.nWidth pixels, nDestStride
// pixels apart). Nothing happens for an empty source or a missing table.
void AfxExpandDib(const DibView& src, std::uint32_t* pDest, std::ptrdiff_t nDestStride);
