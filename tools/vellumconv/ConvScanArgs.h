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
    std::string strOut;             // export: "-" is standard output
    std::string strFormat;          // export --format gpl|act|pal; empty: OUT's extension says
};

// vellumconv replace [OPTIONS] CONTAINER NEW... / --at OFFSET CONTAINER NEW / --from DIR CONTAINER
struct ConvReplaceOptions
{
    std::string strContainer;
    std::vector<std::string> news;  // named as scan --extract names its outputs, or one with --at
    bool bAt = false;
    std::uint64_t nAt = 0;
    std::string strFromDir;         // empty: the NEW files given
    bool bClut = false;             // --clut N: the CLUT row a PNG's palette goes into
    std::uint32_t nClut = 0;
    std::string strOutput;          // empty: the container is changed in place
    bool bDryRun = false;
};

// The parts of a name that scan --extract gives: "NAME@OFFSET.EXT", or "NAME@OFFSET-cN.png"
// for one CLUT row of an indexed TIM.
struct ConvExtractedName
{
    std::string strSource;  // NAME: the file the item was found in
    std::uint64_t nOffset = 0;
    bool bRow = false;
    std::uint32_t nRow = 0;
    std::string strExt;     // ".tim", ".bmp", ".fnt" or ".png", as written
};

// Whether strName (without its folder) is such a name: OFFSET in decimal digits, EXT one of
// the four in any case.
bool ParseExtractedName(const std::string& strName, ConvExtractedName& name);

// --palette SOURCE[:ROW]: a last ':' followed by digits only names the row (default 0);
// anything else is all SOURCE. False when the row does not fit 32 bits.
bool SplitPaletteSpec(const std::string& strSpec, std::string& strSource, std::uint32_t& nRow);

// Both fill their model and the help flag; false, with the usage error in strError, when the
// line makes no sense.
bool ParseScanArgs(const std::vector<std::string>& args, ConvScanOptions& scan, bool& bHelp, std::string& strError);
bool ParsePaletteArgs(const std::vector<std::string>& args, ConvPaletteOptions& palette, bool& bHelp,
                      std::string& strError);
bool ParseReplaceArgs(const std::vector<std::string>& args, ConvReplaceOptions& replace, bool& bHelp,
                      std::string& strError);

const char* ConvScanUsageText();
const char* ConvPaletteUsageText();
const char* ConvReplaceUsageText();
