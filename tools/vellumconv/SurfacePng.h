#pragma once
// An 8-bit indexed PNG of rows of colour indices and a 256-colour palette, written with
// libpng the way the converter's renders have always been written (palette of 256 entries,
// 3780 pixels per metre, libpng's default compression and filters).

#include <cstdint>
#include <string>
#include <vector>

// rows: the image's rows top to bottom, nWidth bytes each; rgb: 256 entries R, G, B.
bool EncodeIndexedPng(std::uint32_t nWidth, const std::vector<const std::uint8_t*>& rows,
                      const std::uint8_t* rgb, std::vector<std::uint8_t>& png, std::string& strError);
