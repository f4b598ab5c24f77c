#pragma once
// The command lines of the converter's verbs that look inside files, `scan` and `palette`:
// their models and parsers. ParseConvArgs hands them the arguments after the verb.

#include "exchange/Png.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ConvScanOptions
{
    unsigned kinds = 0;             // SCAN_TIM | SCAN_BMP | SCAN_BFNT
    bool bNested = false;
    bool bJson = false;
    int nJobs = 0;                  // 0: one per processor
    std::string strExtractDir;      // empty: no extraction
    bool bPng = false;              // --to .png
    bool bClutAll = false;          // --clut all
    std::uint32_t nClut = 0;
    // --palette SOURCE[:ROW] as given, for the finds without a palette of their own (TIMs
    // without a CLUT); its colours are read into pPalette before the run.
    std::string strPalette;
    std::shared_ptr<const std::vector<PngColor>> pPalette;
    std::vector<std::string> files;
};

enum class EConvPaletteVerb
{
    Export,  // palette export [--clut N] IN OUT
    Import,  // palette import [--clut N] PALETTE IN OUT
};

struct ConvPaletteOptions
{
    EConvPaletteVerb verb = EConvPaletteVerb::Export;
    std::uint32_t nClut = 0;
    std::string strPalette;         // import
    std::string strIn;
    std::string strOut;
};

// --palette SOURCE[:ROW]: a last ':' followed by digits only names the row (default 0);
// anything else is all SOURCE. False when the row does not fit 32 bits.
bool SplitPaletteSpec(const std::string& strSpec, std::string& strSource, std::uint32_t& nRow);

// Both fill their model and the help flag; false, with the usage error in strError, when the
// line makes no sense.
bool ParseScanArgs(const std::vector<std::string>& args, ConvScanOptions& scan, bool& bHelp, std::string& strError);
bool ParsePaletteArgs(const std::vector<std::string>& args, ConvPaletteOptions& palette, bool& bHelp,
                      std::string& strError);

const char* ConvScanUsageText();
const char* ConvPaletteUsageText();
