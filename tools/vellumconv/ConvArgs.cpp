#include "tools/vellumconv/ConvArgs.h"

#include "tools/vellumconv/ConvArgsReading.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <map>
#include <string_view>

namespace
{

// How many digits a number may have, leading zeros included: the window's sizes and the
// workers are counts, the PNG verbs' numbers reach 32 bits.
constexpr std::size_t kCountDigits = 5;
constexpr std::size_t kValueDigits = 10;

// The converter's one reading of a number: decimal digits only, at most nDigits of them,
// from nMin to nMax.
bool ParseNumber(std::string_view text, std::size_t nDigits, std::uint64_t nMin, std::uint64_t nMax,
                 std::uint32_t& nValue)
{
    if (text.empty() || text.size() > nDigits)
        return false;
    std::uint64_t n = 0;
    for (char ch : text)
    {
        if (ch < '0' || ch > '9')
            return false;
        n = n * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    if (n < nMin || n > nMax)
        return false;
    nValue = static_cast<std::uint32_t>(n);
    return true;
}

// Two numbers around the first of pszSeparators ("WxH", "FIRST-LAST"), each read as above.
bool ParsePair(std::string_view text, const char* pszSeparators, std::size_t nDigits, std::uint64_t nMin,
               std::uint64_t nMax, std::uint32_t& nFirst, std::uint32_t& nSecond)
{
    const std::size_t nAt = text.find_first_of(pszSeparators);
    return nAt != std::string_view::npos && ParseNumber(text.substr(0, nAt), nDigits, nMin, nMax, nFirst) &&
           ParseNumber(text.substr(nAt + 1), nDigits, nMin, nMax, nSecond);
}

// CLI11's own words for a failure, in the converter's.
std::string UsageError(const CLI::ParseError& e, const CLI::App& app)
{
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr)
    {
        for (const std::string& arg : app.remaining())
            if (!arg.empty() && arg[0] == '-')
                return "unknown option '" + arg + "'";
        return e.what();
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr)
    {
        const std::string strWhat = e.what();
        const std::size_t nColon = strWhat.find(':');
        if (nColon != std::string::npos && strWhat.compare(0, 1, "-") == 0)
            return "option '" + strWhat.substr(0, nColon) + "' needs an argument";
    }
    return e.what();
}

bool Fail(std::string& strError, std::string strWhy)
{
    strError = std::move(strWhy);
    return false;
}

// The options of a batch, the same for every verb.
struct BatchOptionSet
{
    CLI::Option* pTo = nullptr;
    CLI::Option* pOutDir = nullptr;
    CLI::Option* pJobs = nullptr;
    CLI::Option* pFilesFrom = nullptr;
    CLI::Option* pNul = nullptr;
    std::string strJobs;

    void Add(CLI::App& app, ConvBatchOptions& batch)
    {
        pTo = app.add_option("--to", batch.strExt);
        pOutDir = app.add_option("--out-dir", batch.strOutDir);
        pJobs = app.add_option("-j,--jobs", strJobs);
        pFilesFrom = app.add_option("--files-from", batch.strFilesFrom);
        pNul = app.add_flag("-0,--null", batch.bNulSeparated);
    }
    bool IsBatch() const { return pTo->count() > 0; }
    // Checks the batch's own options; a single run must not have any of them.
    bool Check(ConvBatchOptions& batch, std::string& strError) const
    {
        if (!IsBatch())
        {
            for (CLI::Option* pOption : {pOutDir, pJobs, pFilesFrom, pNul})
                if (pOption->count() > 0)
                    return Fail(strError, "option '" + pOption->get_name() + "' belongs to a batch: it needs '--to EXT'");
            return true;
        }
        if (batch.strExt.empty())
            return Fail(strError, "option '--to' needs a non-empty argument");
        if (pJobs->count() > 0)
        {
            std::uint32_t nJobs = 0;
            if (!ParseNumber(strJobs, kCountDigits, 1, CONV_MAX_JOBS, nJobs))
                return Fail(strError, "'-j " + strJobs + "': expected 1 to " + std::to_string(CONV_MAX_JOBS) + " workers");
            batch.nJobs = static_cast<int>(nJobs);
        }
        if (pOutDir->count() > 0 && batch.strOutDir.empty())
            return Fail(strError, "option '--out-dir' needs a non-empty argument");
        if (pFilesFrom->count() > 0 && batch.strFilesFrom.empty())
            return Fail(strError, "option '--files-from' needs a non-empty argument");
        return true;
    }
};

bool ParseWithCli(CLI::App& app, const std::vector<std::string>& args, std::string& strError)
{
    // CLI11 wants argv in reverse order for a vector.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try
    {
        app.parse(reversed);
    }
    catch (const CLI::ParseError& e)
    {
        return Fail(strError, UsageError(e, app));
    }
    return true;
}

// vellumconv export|import [OPTIONS] IN OUT, or the same options with a batch.
bool ParseVerb(EConvVerb verb, const std::vector<std::string>& args, ConvCommandLine& cmd, std::string& strError)
{
    const bool bExport = verb == EConvVerb::Export;
    CLI::App app{bExport ? "vellumconv export" : "vellumconv import"};
    app.set_help_flag();
    app.add_flag("-h,--help", cmd.bHelp);
    std::string strClut, strColumns, strBpp, strCell, strCodes;
    std::vector<std::string> paths;
    ExportOptions& exportOptions = cmd.batch.verb.exportOptions;
    ImportOptions& importOptions = cmd.batch.verb.importOptions;
    CLI::Option* pClut = nullptr;
    CLI::Option* pColumns = nullptr;
    CLI::Option* pBpp = nullptr;
    CLI::Option* pCell = nullptr;
    CLI::Option* pCodes = nullptr;
    if (bExport)
    {
        pClut = app.add_option("--clut", strClut);
        pColumns = app.add_option("--columns", strColumns);
    }
    else
    {
        pBpp = app.add_option("--bpp", strBpp);
        pCell = app.add_option("--cell", strCell);
        pCodes = app.add_option("--codes", strCodes);
    }
    app.add_option("paths", paths);
    BatchOptionSet batchOptions;
    batchOptions.Add(app, cmd.batch);
    if (!ParseWithCli(app, args, strError) || !batchOptions.Check(cmd.batch, strError))
        return false;

    if (pClut != nullptr && pClut->count() > 0 &&
        !ParseNumber(strClut, kValueDigits, 0, 0xFFFFFFFFu, exportOptions.nClut))
        return Fail(strError, "'--clut " + strClut + "': expected a CLUT row, counted from 0");
    if (pColumns != nullptr && pColumns->count() > 0 &&
        !ParseNumber(strColumns, kValueDigits, 1, 65536, exportOptions.nColumns))
        return Fail(strError, "'--columns " + strColumns + "': expected 1 to 65536 cells across");
    if (pBpp != nullptr && pBpp->count() > 0)
    {
        std::uint32_t nBpp = 0;
        if (!ParseNumber(strBpp, kValueDigits, 0, 24, nBpp) || (nBpp != 4 && nBpp != 8 && nBpp != 16 && nBpp != 24))
            return Fail(strError, "'--bpp " + strBpp + "': expected 4, 8, 16 or 24 bits per pixel");
        importOptions.nBpp = static_cast<int>(nBpp);
    }
    if (pCell != nullptr && pCell->count() > 0 &&
        !ParsePair(strCell, "xX", kValueDigits, 1, 65535, importOptions.nCellWidth, importOptions.nCellHeight))
        return Fail(strError, "'--cell " + strCell + "': expected WxH, each 1 to 65535");
    if (pCodes != nullptr && pCodes->count() > 0)
    {
        if (!ParsePair(strCodes, "-", kValueDigits, 0, 65535, importOptions.nFirstCode, importOptions.nLastCode) ||
            importOptions.nFirstCode > importOptions.nLastCode)
            return Fail(strError, "'--codes " + strCodes + "': expected FIRST-LAST, 0 to 65535, FIRST not above LAST");
        importOptions.bCodes = true;
    }
    cmd.batch.verb.kind = verb;
    if (cmd.bHelp)
        return true;
    if (batchOptions.IsBatch())
    {
        cmd.mode = EConvMode::Batch;
        cmd.batch.files = paths;
        if (cmd.batch.files.empty() && cmd.batch.strFilesFrom.empty())
            return Fail(strError, "nothing to do: no files");
        return true;
    }
    if (paths.size() != 2 || paths[0].empty() || paths[1].empty())
        return Fail(strError, bExport ? "export takes IN and OUT.png" : "import takes IN.png and OUT");
    cmd.mode = EConvMode::Verb;
    cmd.strVerbIn = paths[0];
    cmd.strVerbOut = paths[1];
    return true;
}

// Fills cmd; false, with the usage error in strError, when the line makes no sense.
bool ParseInto(const std::vector<std::string>& args, ConvCommandLine& cmd, std::string& strError)
{
    if (!args.empty() && (args[0] == "scan" || args[0] == "palette"))
    {
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        const bool bScan = args[0] == "scan";
        cmd.mode = bScan ? EConvMode::Scan : EConvMode::Palette;
        cmd.pszHelp = bScan ? ConvScanUsageText() : ConvPaletteUsageText();
        return bScan ? ParseScanArgs(rest, cmd.scan, cmd.bHelp, strError)
                     : ParsePaletteArgs(rest, cmd.palette, cmd.bHelp, strError);
    }
    if (!args.empty() && (args[0] == "export" || args[0] == "import"))
        return ParseVerb(args[0] == "export" ? EConvVerb::Export : EConvVerb::Import,
                         std::vector<std::string>(args.begin() + 1, args.end()), cmd, strError);
    auto fail = [&strError](std::string strWhy) { return Fail(strError, std::move(strWhy)); };

    CLI::App app{"vellumconv"};
    app.set_help_flag();  // the converter's own text, from ConvUsageText
    app.add_flag("-h,--help", cmd.bHelp);
    std::vector<std::string> opens, saves, renders, sizes, paths;
    int nNew = 0;
    CLI::Option* pOpen = app.add_option("--open", opens)->allow_extra_args(false);
    CLI::Option* pSave = app.add_option("--save", saves)->allow_extra_args(false);
    CLI::Option* pRender = app.add_option("--render", renders)->allow_extra_args(false);
    CLI::Option* pSize = app.add_option("--size", sizes)->allow_extra_args(false);
    CLI::Option* pNew = app.add_flag("--new", nNew);
    CLI::Option* pPaths = app.add_option("paths", paths);
    BatchOptionSet batchOptions;
    batchOptions.Add(app, cmd.batch);
    if (!ParseWithCli(app, args, strError) || !batchOptions.Check(cmd.batch, strError))
        return false;

    if (batchOptions.IsBatch())
    {
        for (CLI::Option* pOption : {pOpen, pSave, pRender, pSize, pNew})
            if (pOption->count() > 0)
                return fail("a batch (--to) converts files; '" + pOption->get_name() + "' is a step");
        cmd.mode = EConvMode::Batch;
        cmd.batch.files = paths;
        if (!cmd.bHelp && cmd.batch.files.empty() && cmd.batch.strFilesFrom.empty())
            return fail("nothing to do: no files");
        return true;
    }

    // The steps in the order they were given; each option's values are taken in turn.
    std::map<const CLI::Option*, std::size_t> next;
    for (const CLI::Option* pOption : app.parse_order())
    {
        const std::size_t n = next[pOption]++;
        if (pOption == pNew)
        {
            cmd.steps.push_back({EConvStep::New, {}});
            continue;
        }
        if (pOption == pPaths)
        {
            cmd.steps.push_back({cmd.steps.empty() ? EConvStep::Open : EConvStep::Save, paths.at(n)});
            continue;
        }
        EConvStep kind = EConvStep::Open;
        const std::vector<std::string>* pValues = &opens;
        if (pOption == pSave)
            kind = EConvStep::Save, pValues = &saves;
        else if (pOption == pRender)
            kind = EConvStep::Render, pValues = &renders;
        else if (pOption == pSize)
            kind = EConvStep::Size, pValues = &sizes;
        else if (pOption != pOpen)
            continue;
        const std::string& value = pValues->at(n);
        if (value.empty())
            return fail("option '" + pOption->get_name() + "' needs a non-empty argument");
        if (kind == EConvStep::Size)
        {
            std::uint32_t nWidth = 0;
            std::uint32_t nHeight = 0;
            if (!ParsePair(value, "xX", kCountDigits, 0, CONV_MAX_SIZE, nWidth, nHeight))
                return fail("'--size " + value + "': expected WxH, each 0 to " + std::to_string(CONV_MAX_SIZE));
            cmd.steps.push_back({EConvStep::Size, {}, static_cast<int>(nWidth), static_cast<int>(nHeight)});
            continue;
        }
        cmd.steps.push_back({kind, value});
    }
    if (!cmd.bHelp && cmd.steps.empty())
        return fail("nothing to do");
    return true;
}

}  // namespace

ConvCommandLine ParseConvArgs(const std::vector<std::string>& args)
{
    ConvCommandLine cmd;
    std::string strError;
    if (!ParseInto(args, cmd, strError))
    {
        cmd = ConvCommandLine();
        cmd.strError = std::move(strError);
    }
    return cmd;
}

const char* ConvUsageText()
{
    return "Usage: vellumconv IN OUT...\n"
           "       vellumconv STEP...\n"
           "       vellumconv --to EXT [--out-dir DIR] [-j N] [--files-from LIST] [-0] [--] FILE...\n"
           "       vellumconv export [--clut N] [--columns C] IN OUT.png\n"
           "       vellumconv import [--bpp 4|8|16|24] [--cell WxH] [--codes FIRST-LAST] IN.png OUT\n"
           "       vellumconv scan [--kinds LIST] [--nested] [--json] [-j N] [--extract DIR] FILE...\n"
           "       vellumconv palette export|import [--clut N] ...\n"
           "\n"
           "Opens, converts and saves 256-colour BMP, TIM and BFNT files without a window,\n"
           "doing what a person would do in one run of vellum, step by step from left to right.\n"
           "\n"
           "Steps:\n"
           "  --open PATH     File/Open. The format comes from the file's first bytes.\n"
           "  --save PATH     File/Save As. The format comes from PATH's extension: .bmp\n"
           "                  writes BMP, .tim writes TIM, anything else a BFNT sheet.\n"
           "                  Images become sheets of 16x16 cells; sheets become images of\n"
           "                  their cells in rows on a 256-pixel strip.\n"
           "  --new           File/New. The data loaded before stays and can still be saved.\n"
           "  --size WxH      The window's drawing area becomes W x H pixels (each 0 to 16384;\n"
           "                  0 acts like a minimised window). It is 256x256 at start.\n"
           "  --render PATH   Writes what the window shows now as an 8-bit indexed PNG at\n"
           "                  the drawing area's size (its width rounded up to a multiple\n"
           "                  of 4), with the display's 256 colours as its palette.\n"
           "  --help          Shows this text.\n"
           "\n"
           "A PATH without an option opens when it comes first and saves otherwise, so\n"
           "'vellumconv IN OUT' is '--open IN --save OUT'. After '--' every argument is a PATH.\n"
           "\n"
           "Output: after each successful open its status text (\"size:WxH\") on stdout;\n"
           "every message the program would show in a box as one line on stderr,\n"
           "'vellumconv: PATH: MESSAGE'.\n"
           "\n"
           "Exit status: 0 when no step failed or showed a message, 1 when any did (the\n"
           "later steps still run), 2 for a usage error.\n"
           "\n"
           "Batch: with --to, every FILE is converted as if it were the only one and saved as\n"
           "its name without its last extension plus EXT (with its dot: .bmp, .tim, .fnt),\n"
           "beside it or in DIR (made if missing).\n"
           "  --to EXT             The extension, and so the format, of every output.\n"
           "  --out-dir DIR        Where the outputs go.\n"
           "  -j N, --jobs N       Converts on N workers at once (default: one per processor).\n"
           "  --files-from LIST    Reads more names from LIST, one per line ('-': stdin).\n"
           "  -0, --null           The names in LIST end with NUL bytes (find -print0).\n"
           "Two inputs that would give the same output, or an input that is another's output,\n"
           "are refused before anything is written. Every output is written beside its target\n"
           "and put in its place only once all of them are on disk. stdout: one line per\n"
           "converted file, 'INPUT<tab>OUTPUT<tab>STATUS'; stderr: one line per failed file.\n"
           "On a terminal, a progress line shows on stderr.\n"
           "\n"
           "PNG: 'export' writes the picture a BMP, TIM or BFNT file holds, whole, with its\n"
           "own colour indices and palette, as PNG; 'import' writes a PNG as the kind OUT's\n"
           "extension names. What PNG cannot hold travels in a private chunk, so a file\n"
           "exported and imported again comes back byte for byte.\n"
           "  --clut N          export: the TIM's CLUT row to show (default 0).\n"
           "  --columns C       export: cells across a BFNT grid (default 16).\n"
           "  --bpp 4|8|16|24   import to TIM: bits per pixel (default: as exported, else 8\n"
           "                    for an indexed PNG and 16 for others).\n"
           "  --cell WxH        import to BFNT: the cell size (default: as exported, else 16x16).\n"
           "  --codes F-L       import to BFNT: the character codes (default: as exported,\n"
           "                    else every cell).\n"
           "Both verbs take a batch the same way: export --to .png FILE..., import --to .tim\n"
           "FILE.png.... 'export' or 'import' is a verb only as the first argument.\n"
           "\n"
           "Inside files: 'scan' finds every TIM, BMP and BFNT inside disc images and\n"
           "archives; 'palette' moves palettes in and out. 'vellumconv scan --help' and\n"
           "'vellumconv palette --help' tell more.\n";
}

bool ConvParseNumber(std::string_view text, std::size_t nDigits, std::uint64_t nMin, std::uint64_t nMax,
                     std::uint32_t& nValue)
{
    return ParseNumber(text, nDigits, nMin, nMax, nValue);
}

bool ConvParseWithCli(CLI::App& app, const std::vector<std::string>& args, std::string& strError)
{
    return ParseWithCli(app, args, strError);
}
