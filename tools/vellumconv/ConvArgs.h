#pragma once
// The converter's command line, as a model and its parser. Without a verb it is a list of
// steps, run left to right as a person would use the program between start and exit; with
// --to it is a batch of files, each converted as if it were the only one. Parsing is
// separate so it can be tested alone.

#include "exchange/Exchange.h"
#include "exchange/ImportLike.h"
#include "tools/vellumconv/ConvScanArgs.h"
#include "tools/vellumconv/ConvThumbnailArgs.h"

#include <string>
#include <vector>

enum class EConvStep
{
    Open,    // File/Open
    Save,    // File/Save As
    New,     // File/New
    Size,    // the view's client area becomes W x H
    Render,  // what the window shows now, as an 8-bit indexed PNG
};

struct ConvStep
{
    EConvStep kind;
    std::string strPath;  // Open, Save, Render
    int nWidth = 0;       // Size
    int nHeight = 0;
};

// Each side of --size may be 0 (as when the window is minimised) up to this.
constexpr int CONV_MAX_SIZE = 16384;
// More workers than this would only wait on each other.
constexpr int CONV_MAX_JOBS = 256;

enum class EConvMode
{
    Steps,      // vellumconv STEP...
    Shorthand,  // vellumconv IN OUT: each file in the format its name says
    Batch,      // [export|import [OPTIONS]] --to EXT [--out-dir DIR] [-j N] [--files-from LIST] [-0] [--] FILE...
    Verb,       // vellumconv export [OPTIONS] IN OUT.png / vellumconv import [OPTIONS] IN.png OUT
    Scan,       // vellumconv scan [OPTIONS] FILE...
    Palette,    // vellumconv palette export|import [OPTIONS] ...
    Replace,    // vellumconv replace [OPTIONS] CONTAINER NEW...
    Thumbnail,  // vellumconv thumbnail [-s SIZE] IN OUT.png
};

// What each file goes through: PNG export or import, or, for Convert, what the names say: a
// .png output is exported, a PNG input imported, anything else opened and saved.
enum class EConvVerb
{
    Convert,
    Export,
    Import,
};

// A verb with the exchange library's options for it.
struct ConvVerb
{
    EConvVerb kind = EConvVerb::Convert;
    ExportOptions exportOptions;
    ImportOptions importOptions;  // its kind is set for each output, from the extension
    // import --like ORIGINAL: the picture goes into a copy of ORIGINAL (empty: not given).
    std::string strLike;
    LikeOptions likeOptions;      // the names are set when the files are known
    // Options that apply to some inputs only, as the user typed them; empty when not given.
    std::string strClutOption;
    std::string strColumnsOption;
    std::string strPaletteOption;
    // export --palette SOURCE[:ROW] as given; read into exportOptions.pPalette before the run.
    std::string strPaletteSpec;
};

struct ConvBatchOptions
{
    ConvVerb verb;
    std::string strExt;         // with its dot: ".bmp"
    std::string strOutDir;      // empty: each output beside its input
    bool bParents = false;      // --parents: each output keeps its input's folders under strOutDir
    std::string strBase;        // --base DIR: the folder those are counted from (empty: the current one)
    int nJobs = 0;              // 0: one per processor
    std::string strFilesFrom;   // "-" is standard input
    bool bNulSeparated = false; // names in the list end with NUL bytes, not line feeds
    std::vector<std::string> files;
};

struct ConvCommandLine
{
    EConvMode mode = EConvMode::Steps;
    std::vector<ConvStep> steps;
    ConvBatchOptions batch;    // a batch; also the verb of a single export or import
    std::string strVerbIn;     // a single export or import, or the shorthand's IN and OUT
    std::string strVerbOut;
    ConvScanOptions scan;
    ConvPaletteOptions palette;
    ConvReplaceOptions replace;
    ConvThumbnailOptions thumbnail;
    bool bHelp = false;
    bool bVersion = false;
    const char* pszHelp = nullptr;  // a verb's own help text, else ConvUsageText()
    std::string strError;  // non-empty: a usage error, described
};

// Exactly two bare PATHs are the shorthand "IN OUT". Among steps, a bare PATH opens when no
// step came before it and saves otherwise, once at most. "--" makes every later argument a
// PATH. "export", "import", "scan", "palette", "replace" or "thumbnail" as the first argument
// names a verb.
ConvCommandLine ParseConvArgs(const std::vector<std::string>& args);

const char* ConvUsageText();
// "vellumconv 0.5": the project's version.
std::string ConvVersionText();

// Whether a name ends in ".png", in any case: the one name the converter writes PNG under.
bool IsPngName(const std::string& strName);
