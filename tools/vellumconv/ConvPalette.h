#pragma once
// vellumconv palette export|import: palettes out of images into palette files, and into
// images from palette files or other images, through the framework's safe save.

#include "exchange/Png.h"
#include "tools/vellumconv/ConvScanArgs.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The exit status: 0 on success, 1 when a file could not be read, used or written, 2 when
// OUT is one of the inputs; the status line on pOut, messages on pErr.
int RunConvPalette(const ConvPaletteOptions& options, std::FILE* pOut, std::FILE* pErr);

// The colours of export's --palette SOURCE[:ROW]: a TIM's CLUT row ROW, a BMP's colour table,
// a sheet's palette block, an indexed PNG's palette or a palette file, with the alphas export
// would show a TIM's or PNG's colours in (the others opaque). False, with the file to name and
// the message, when SOURCE cannot be read or has no such row.
bool ReadExportPalette(const std::string& strSpec, std::vector<PngColor>& colours, std::string& strPath,
                       std::string& strMessage);
