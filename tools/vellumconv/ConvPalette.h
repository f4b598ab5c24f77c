#pragma once
// vellumconv palette export|import: palettes out of images into palette files, and into
// images from palette files or other images, through the framework's safe save.

#include "tools/vellumconv/ConvScanArgs.h"

#include <cstdio>

// The exit status: 0 on success, 1 when a file could not be read, used or written, 2 when
// OUT is one of the inputs; the status line on pOut, messages on pErr.
int RunConvPalette(const ConvPaletteOptions& options, std::FILE* pOut, std::FILE* pErr);
