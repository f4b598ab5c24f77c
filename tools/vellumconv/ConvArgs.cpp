#include "tools/vellumconv/ConvArgs.h"

#include "tools/vellumconv/ConvArgsReading.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <algorithm>
#include <map>
#include <string_view>

namespace
{

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

// The name of an option as the user typed it ("-j" or "--jobs"): the first argument before
// "--" that is one of its names, alone or with a value attached ("-j4", "--jobs=4"); its
// long name when none is.
std::string TypedName(const CLI::Option* pOption, const std::vector<std::string>& args)
{
    for (const std::string& arg : args)
    {
        if (arg == "--")
            break;
        if (arg.size() < 2 || arg[0] != '-')
            continue;
        if (arg[1] == '-')
        {
            for (const std::string& strLong : pOption->get_lnames())
                if (arg.compare(2, std::string::npos, strLong) == 0 || arg.rfind("--" + strLong + "=", 0) == 0)
                    return "--" + strLong;
            continue;
        }
        for (const std::string& strShort : pOption->get_snames())
            if (arg.compare(1, strShort.size(), strShort) == 0)
                return "-" + strShort;
    }
    return pOption->get_name();
}

// CLI11's own words for a failure, in the converter's, naming options as the user typed them.
std::string UsageError(const CLI::ParseError& e, const CLI::App& app, const std::vector<std::string>& args)
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
        {
            std::string strName = strWhat.substr(0, nColon);
            if (const CLI::Option* pOption = app.get_option_no_throw(strName))
                strName = TypedName(pOption, args);
            return "option '" + strName + "' needs an argument";
        }
    }
    return e.what();
}

bool Fail(std::string& strError, std::string strWhy)
{
    strError = std::move(strWhy);
    return false;
}

bool IsPngExtension(const std::string& strExt)
{
    return IsPngName(strExt) && strExt.size() == 4;
}

// The options of a batch, the same for every verb.
struct BatchOptionSet
{
    CLI::Option* pTo = nullptr;
    CLI::Option* pOutDir = nullptr;
    CLI::Option* pJobs = nullptr;
    CLI::Option* pFilesFrom = nullptr;
    CLI::Option* pNul = nullptr;
    CLI::Option* pParents = nullptr;
    CLI::Option* pBase = nullptr;
    std::string strJobs;

    void Add(CLI::App& app, ConvBatchOptions& batch)
    {
        pTo = app.add_option("--to", batch.strExt);
        pOutDir = app.add_option("--out-dir", batch.strOutDir);
        pJobs = app.add_option("-j,--jobs", strJobs);
        pFilesFrom = app.add_option("--files-from", batch.strFilesFrom);
        pNul = app.add_flag("-0,--null", batch.bNulSeparated);
        pParents = app.add_flag("--parents", batch.bParents);
        pBase = app.add_option("--base", batch.strBase);
    }
    bool IsBatch() const { return pTo->count() > 0; }
    // Checks the batch's own options; a single run must not have any of them.
    bool Check(ConvBatchOptions& batch, const std::vector<std::string>& args, std::string& strError) const
    {
        if (!IsBatch())
        {
            for (CLI::Option* pOption : {pOutDir, pJobs, pFilesFrom, pNul, pParents, pBase})
                if (pOption->count() > 0)
                    return Fail(strError, "option '" + TypedName(pOption, args) +
                                              "' belongs to a batch: it needs '--to EXT'");
            return true;
        }
        if (batch.strExt.empty())
            return Fail(strError, "option '--to' needs a non-empty argument");
        // "bmp" is what people mean by ".bmp".
        if (batch.strExt[0] != '.')
            batch.strExt.insert(0, 1, '.');
        if (pJobs->count() > 0)
        {
            std::uint32_t nJobs = 0;
            if (!ParseNumber(strJobs, CONV_COUNT_DIGITS, 1, CONV_MAX_JOBS, nJobs))
                return Fail(strError, "'" + TypedName(pJobs, args) + " " + strJobs + "': expected 1 to " +
                                          std::to_string(CONV_MAX_JOBS) + " workers");
            batch.nJobs = static_cast<int>(nJobs);
        }
        if (pOutDir->count() > 0 && batch.strOutDir.empty())
            return Fail(strError, "option '--out-dir' needs a non-empty argument");
        if (pFilesFrom->count() > 0 && batch.strFilesFrom.empty())
            return Fail(strError, "option '--files-from' needs a non-empty argument");
        if (batch.bParents && batch.strOutDir.empty())
            return Fail(strError, "option '--parents' needs '--out-dir DIR': the folders are made there");
        if (pBase->count() > 0 && (!batch.bParents || batch.strBase.empty()))
            return Fail(strError, batch.strBase.empty() ? "option '--base' needs a non-empty argument"
                                                        : "option '--base' goes with '--parents'");
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
        return Fail(strError, UsageError(e, app, args));
    }
    return true;
}

// What a kind of output is called in a message.
const char* OutputKindName(int nKind)
{
    return nKind == DATA_TIM ? "a TIM" : nKind == DATA_BMP ? "a BMP" : "a BFNT sheet";
}

// import's options that only some outputs take: each is refused, by its name, for the others.
// strTarget is the output as the user gave it: "'out.bmp'" or "'--to .bmp'".
bool CheckImportTarget(const std::string& strOut, const std::string& strTarget,
                       const std::vector<const CLI::Option*>& given, std::string& strError)
{
    if (IsPngName(strOut))
        return Fail(strError, "import writes BMP, TIM or BFNT, not PNG: " + strTarget);
    const int nKind = SaveTypeFromPath(strOut);
    for (const CLI::Option* pOption : given)
    {
        const std::string strName = pOption->get_name();
        const int nTakes = strName == "--bpp" || strName == "--clut" ? DATA_TIM : DATA_BFNT;
        if (nTakes != nKind)
            return Fail(strError, "option '" + strName + "' applies to " + (nTakes == DATA_TIM ? "TIM" : "BFNT") +
                                      " outputs; " + strTarget + (strTarget.rfind("'--to ", 0) == 0 ? " writes " : " is ") +
                                      OutputKindName(nKind));
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
    app.add_flag("--version", cmd.bVersion);
    std::string strClut, strColumns, strPalette, strBpp, strCell, strCodes, strLike;
    std::vector<std::string> paths;
    ExportOptions& exportOptions = cmd.batch.verb.exportOptions;
    ImportOptions& importOptions = cmd.batch.verb.importOptions;
    CLI::Option* pClut = nullptr;
    CLI::Option* pColumns = nullptr;
    CLI::Option* pPalette = nullptr;
    CLI::Option* pBpp = nullptr;
    CLI::Option* pCell = nullptr;
    CLI::Option* pCodes = nullptr;
    CLI::Option* pLike = nullptr;
    if (bExport)
    {
        pClut = app.add_option("--clut", strClut);
        pColumns = app.add_option("--columns", strColumns);
        pPalette = app.add_option("--palette", strPalette);
    }
    else
    {
        pBpp = app.add_option("--bpp", strBpp);
        pCell = app.add_option("--cell", strCell);
        pCodes = app.add_option("--codes", strCodes);
        pLike = app.add_option("--like", strLike);
        pClut = app.add_option("--clut", strClut);
    }
    app.add_option("paths", paths);
    BatchOptionSet batchOptions;
    batchOptions.Add(app, cmd.batch);
    if (!ParseWithCli(app, args, strError) || !batchOptions.Check(cmd.batch, args, strError))
        return false;

    std::uint32_t& nClut = bExport ? exportOptions.nClut : cmd.batch.verb.likeOptions.nClut;
    if (pClut != nullptr && pClut->count() > 0 && !ParseNumber(strClut, CONV_VALUE_DIGITS, 0, 0xFFFFFFFFu, nClut))
        return Fail(strError, "'--clut " + strClut + "': expected a CLUT row, counted from 0");
    if (pLike != nullptr && pLike->count() > 0)
    {
        if (strLike.empty())
            return Fail(strError, "option '--like' needs a non-empty argument");
        // The layout of one original fits the picture of one PNG.
        if (batchOptions.IsBatch())
            return Fail(strError,
                        "option '--like' puts one PNG into a copy of one ORIGINAL: it does not go with '--to'");
        cmd.batch.verb.strLike = strLike;
    }
    if (!bExport && pClut->count() > 0)
    {
        // Without an original there is one CLUT row, which the palette fills anyway.
        if (pLike->count() == 0)
            return Fail(strError,
                        "option '--clut' of import names a CLUT row of the ORIGINAL: it needs '--like ORIGINAL'");
        cmd.batch.verb.likeOptions.bClut = true;
    }
    if (pColumns != nullptr && pColumns->count() > 0 &&
        !ParseNumber(strColumns, CONV_VALUE_DIGITS, 1, 65536, exportOptions.nColumns))
        return Fail(strError, "'--columns " + strColumns + "': expected 1 to 65536 cells across");
    if (pPalette != nullptr && pPalette->count() > 0)
    {
        std::string strSource;
        std::uint32_t nRow = 0;
        if (!SplitPaletteSpec(strPalette, strSource, nRow) || strSource.empty())
            return Fail(strError, "'--palette " + strPalette + "': expected SOURCE[:ROW], a CLUT row counted from 0");
        cmd.batch.verb.strPaletteOption = pPalette->get_name();
        cmd.batch.verb.strPaletteSpec = strPalette;
    }
    if (pBpp != nullptr && pBpp->count() > 0)
    {
        std::uint32_t nBpp = 0;
        if (!ParseNumber(strBpp, CONV_VALUE_DIGITS, 0, 24, nBpp) || (nBpp != 4 && nBpp != 8 && nBpp != 16 && nBpp != 24))
            return Fail(strError, "'--bpp " + strBpp + "': expected 4, 8, 16 or 24 bits per pixel");
        importOptions.nBpp = static_cast<int>(nBpp);
    }
    if (pCell != nullptr && pCell->count() > 0 &&
        !ParsePair(strCell, "xX", CONV_VALUE_DIGITS, 1, 65535, importOptions.nCellWidth, importOptions.nCellHeight))
        return Fail(strError, "'--cell " + strCell + "': expected WxH, each 1 to 65535");
    if (pCodes != nullptr && pCodes->count() > 0)
    {
        if (!ParsePair(strCodes, "-", CONV_VALUE_DIGITS, 0, 65535, importOptions.nFirstCode, importOptions.nLastCode) ||
            importOptions.nFirstCode > importOptions.nLastCode)
            return Fail(strError, "'--codes " + strCodes + "': expected FIRST-LAST, 0 to 65535, FIRST not above LAST");
        importOptions.bCodes = true;
    }
    if (bExport && pClut->count() > 0)
        cmd.batch.verb.strClutOption = pClut->get_name();
    if (pColumns != nullptr && pColumns->count() > 0)
        cmd.batch.verb.strColumnsOption = pColumns->get_name();
    std::vector<const CLI::Option*> targetOptions;
    for (const CLI::Option* pOption : {pBpp, pCell, pCodes})
        if (pOption != nullptr && pOption->count() > 0)
        {
            if (pLike->count() > 0)
                return Fail(strError, "option '" + pOption->get_name() +
                                          "' does not go with '--like': the ORIGINAL gives the layout");
            targetOptions.push_back(pOption);
        }
    if (!bExport && pClut->count() > 0)
        targetOptions.push_back(pClut);
    cmd.batch.verb.kind = verb;
    if (cmd.bHelp || cmd.bVersion)
        return true;
    if (batchOptions.IsBatch())
    {
        const std::string strTarget = "'--to " + cmd.batch.strExt + "'";
        if (bExport && !IsPngExtension(cmd.batch.strExt))
            return Fail(strError, "export writes PNG: " + strTarget + " must be '--to .png'");
        if (!bExport && !CheckImportTarget(cmd.batch.strExt, strTarget, targetOptions, strError))
            return false;
        cmd.mode = EConvMode::Batch;
        cmd.batch.files = paths;
        if (cmd.batch.files.empty() && cmd.batch.strFilesFrom.empty())
            return Fail(strError, "nothing to do: no files");
        return true;
    }
    if (paths.size() != 2 || paths[0].empty() || paths[1].empty())
        return Fail(strError, bExport ? "export takes IN and OUT.png" : "import takes IN.png and OUT");
    const std::string strTarget = "'" + paths[1] + "'";
    if (bExport && paths[1] != "-" && !IsPngName(paths[1]))
        return Fail(strError, "export writes PNG: " + strTarget + " does not end in .png");
    if (!bExport && !CheckImportTarget(paths[1], strTarget, targetOptions, strError))
        return false;
    cmd.mode = EConvMode::Verb;
    cmd.strVerbIn = paths[0];
    cmd.strVerbOut = paths[1];
    return true;
}

// A step save under a .png name: the window would write a sheet there, which nobody means.
std::string PngSaveError(const std::string& strShown)
{
    return strShown + ": a step saves BMP, TIM or a BFNT sheet as the window does, never PNG; "
                      "'vellumconv export IN OUT.png' writes PNG";
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
    if (!args.empty() && args[0] == "replace")
    {
        cmd.mode = EConvMode::Replace;
        cmd.pszHelp = ConvReplaceUsageText();
        return ParseReplaceArgs(std::vector<std::string>(args.begin() + 1, args.end()), cmd.replace, cmd.bHelp,
                                strError);
    }
    if (!args.empty() && args[0] == "thumbnail")
    {
        cmd.mode = EConvMode::Thumbnail;
        cmd.pszHelp = ConvThumbnailUsageText();
        return ParseThumbnailArgs(std::vector<std::string>(args.begin() + 1, args.end()), cmd.thumbnail, cmd.bHelp,
                                  strError);
    }
    if (!args.empty() && (args[0] == "export" || args[0] == "import"))
        return ParseVerb(args[0] == "export" ? EConvVerb::Export : EConvVerb::Import,
                         std::vector<std::string>(args.begin() + 1, args.end()), cmd, strError);
    // --help and --version win over any mistake on the line.
    auto fail = [&](std::string strWhy) { return cmd.bHelp || cmd.bVersion || Fail(strError, std::move(strWhy)); };

    CLI::App app{"vellumconv"};
    app.set_help_flag();  // the converter's own text, from ConvUsageText
    app.add_flag("-h,--help", cmd.bHelp);
    app.add_flag("--version", cmd.bVersion);
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
    if (!ParseWithCli(app, args, strError) || !batchOptions.Check(cmd.batch, args, strError))
        return false;

    if (batchOptions.IsBatch())
    {
        for (CLI::Option* pOption : {pOpen, pSave, pRender, pSize, pNew})
            if (pOption->count() > 0)
                return fail("a batch (--to) converts files; '" + pOption->get_name() + "' is a step");
        cmd.mode = EConvMode::Batch;
        cmd.batch.files = paths;
        if (cmd.batch.files.empty() && cmd.batch.strFilesFrom.empty())
            return fail("nothing to do: no files");
        return true;
    }

    // Two bare paths and nothing else: the shorthand, where every name says its format.
    const bool bOnlyPaths = std::all_of(app.parse_order().begin(), app.parse_order().end(),
                                        [&](const CLI::Option* pOption) { return pOption == pPaths; });
    if (bOnlyPaths && paths.size() == 2 && !cmd.bHelp && !cmd.bVersion)
    {
        if (paths[0].empty() || paths[1].empty())
            return fail("a PATH cannot be empty");
        cmd.mode = EConvMode::Shorthand;
        cmd.strVerbIn = paths[0];
        cmd.strVerbOut = paths[1];
        return true;
    }

    // The steps in the order they were given; each option's values are taken in turn.
    std::map<const CLI::Option*, std::size_t> next;
    bool bBareSave = false;
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
            const EConvStep kind = cmd.steps.empty() ? EConvStep::Open : EConvStep::Save;
            // A glob would make every later name a target of the first file.
            if (kind == EConvStep::Save && bBareSave)
                return fail("'vellumconv IN OUT' takes two paths: to convert several files use '--to EXT', "
                            "to save to several targets use '--save PATH' for each");
            if (kind == EConvStep::Save && IsPngName(paths.at(n)))
                return fail(PngSaveError("'" + paths.at(n) + "'"));
            bBareSave = bBareSave || kind == EConvStep::Save;
            cmd.steps.push_back({kind, paths.at(n)});
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
            if (!ParsePair(value, "xX", CONV_COUNT_DIGITS, 0, CONV_MAX_SIZE, nWidth, nHeight))
                return fail("'--size " + value + "': expected WxH, each 0 to " + std::to_string(CONV_MAX_SIZE));
            cmd.steps.push_back({EConvStep::Size, {}, static_cast<int>(nWidth), static_cast<int>(nHeight)});
            continue;
        }
        if (kind == EConvStep::Save && IsPngName(value))
            return fail(PngSaveError("'--save " + value + "'"));
        cmd.steps.push_back({kind, value});
    }
    if (cmd.steps.empty())
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
    return "Usage: vellumconv IN OUT\n"
           "       vellumconv STEP...\n"
           "       vellumconv --to EXT [--out-dir DIR [--parents [--base DIR]]] [-j N]\n"
           "                  [--files-from LIST] [-0] [--] FILE...\n"
           "       vellumconv export [--clut N] [--columns C] [--palette SOURCE[:ROW]] IN OUT.png\n"
           "       vellumconv import [--bpp 4|8|16|24] [--cell WxH] [--codes FIRST-LAST] IN.png OUT\n"
           "       vellumconv import --like ORIGINAL [--clut N] IN.png OUT\n"
           "       vellumconv scan [--kinds LIST] [--nested] [--json] [-j N] [--extract DIR] FILE...\n"
           "       vellumconv palette export|import [--clut N] ...\n"
           "       vellumconv replace [-n] [--at OFFSET|--from DIR] [--output FILE] CONTAINER NEW...\n"
           "       vellumconv thumbnail [-s SIZE] IN OUT.png\n"
           "       vellumconv --help | --version\n"
           "\n"
           "Converts 256-colour BMP, TIM and BFNT files, and PNG, without a window.\n"
           "\n"
           "'vellumconv IN OUT' writes OUT in the format its name says: .bmp BMP, .tim TIM,\n"
           ".png PNG (as 'export' writes it), anything else a BFNT sheet (told unless it is\n"
           ".fnt or .bfnt); .jpg, .gif, .webp, .tif and other picture names are refused:\n"
           "write .png, then convert it. A PNG input is read as 'import' reads it. Between\n"
           "BMP, TIM and BFNT a file takes the road of 'export' then 'import', in memory:\n"
           "every depth, its own colours, the bytes those verbs write. Images\n"
           "become sheets of 16x16 cells; sheets become images of their cells, 16 across.\n"
           "It takes exactly two paths: for several files use --to, for several targets\n"
           "--save. OUT is never IN.\n"
           "Which to use: IN OUT and --to keep the file's own colours, for converting; the\n"
           "steps (--open, --save) give exactly what the window saves.\n"
           "\n"
           "Steps, run left to right as a person would use vellum in one run:\n"
           "  --open PATH     File/Open. The format comes from the file's first bytes.\n"
           "  --save PATH     File/Save As, by PATH's extension as the window does: .bmp\n"
           "                  writes BMP, .tim writes TIM, anything else a BFNT sheet; a\n"
           "                  .png name is refused (PNG is 'vellumconv export').\n"
           "  --new           File/New. The data loaded before stays and can still be saved.\n"
           "  --size WxH      The window's drawing area becomes W x H pixels (each 0 to 16384;\n"
           "                  0 acts like a minimised window). It is 256x256 at start.\n"
           "  --render PATH   Writes what the window shows now as an 8-bit indexed PNG at\n"
           "                  the drawing area's size (its width rounded up to a multiple\n"
           "                  of 4), with the display's 256 colours as its palette.\n"
           "A PATH without an option opens when it comes first and saves otherwise (once at\n"
           "most). After '--' every argument is a PATH.\n"
           "\n"
           "  -h, --help      Shows this text.\n"
           "  --version       Shows the version.\n"
           "\n"
           "Output: after each successful open its status text (\"size:WxH\") on stdout;\n"
           "every message the program would show in a box as one line on stderr,\n"
           "'vellumconv: PATH: MESSAGE'. Outside the steps a refused file gets the lines of\n"
           "'export' or 'import'. Control characters in names and messages show as \\t,\n"
           "\\n, \\r or \\xHH, a backslash as \\\\.\n"
           "\n"
           "Streams: '-' as an input (IN, FILE, ORIGINAL, SOURCE, PALETTE, NEW) reads stdin,\n"
           "once a run; a FIFO or <(command) is read the same way, and an empty one is\n"
           "refused at once. '-' as OUT writes stdout for 'export' and 'palette export'\n"
           "only, the whole file or a failed run; anywhere else it is a usage error.\n"
           "\n"
           "Exit status: 0 when nothing failed or showed a message, 1 when anything did (the\n"
           "later steps and files still run), 2 for a usage error (nothing was written).\n"
           "\n"
           "Batch: with --to, every FILE is converted as if it were the only one, in the\n"
           "format its name says as above, and saved as its name without its last extension\n"
           "plus EXT (.bmp, .tim, .png, .fnt; 'bmp' is '.bmp'), beside it or in DIR.\n"
           "  --to EXT             The extension, and so the format, of every output.\n"
           "  --out-dir DIR        Where the outputs go (made if missing).\n"
           "  --parents            Each output keeps its input's folders, counted from the\n"
           "                       current folder, under DIR (made as needed); an input\n"
           "                       outside that folder is a usage error.\n"
           "  --base DIR           With --parents: counts the folders from DIR instead.\n"
           "  -j N, --jobs N       Converts on N workers at once (default: one per processor).\n"
           "  --files-from LIST    Reads more names from LIST, one per line ('-': stdin).\n"
           "  -0, --null           The names in LIST end with NUL bytes (find -print0); a\n"
           "                       list read by lines must hold none.\n"
           "A name given twice is converted once. Two inputs that would give the same output,\n"
           "or an input that is an output, are refused before anything is written (every\n"
           "colliding pair named, up to 20). Every\n"
           "output is written beside its target and put in its place only once all of them\n"
           "are on disk. stdout: 'INPUT<tab>OUTPUT<tab>STATUS' per converted file (ending in\n"
           "NUL with -0); stderr: the lines of each failed file. On a terminal, a progress\n"
           "line shows on stderr and ends with a summary.\n"
           "\n"
           "PNG: 'export' writes the picture a BMP, TIM or BFNT file holds (every depth),\n"
           "whole, with its own colour indices and palette, as PNG (a 4- or 8-bit TIM without\n"
           "a CLUT, whose colours are in another file, in greys); 'import' writes a PNG as\n"
           "the kind OUT's extension names (never .png). What PNG cannot hold travels in a\n"
           "private chunk, so these come back byte for byte through export and import: TIM of\n"
           "4, 8 or 16 bits, with or without a CLUT (24 bits when each row's padding byte is\n"
           "0), 8-bit BMP as vellum writes it, and BFNT sheets of 256 or 16 colours; BMPs in\n"
           "other layouts do not.\n"
           "  --clut N          export: the TIM's CLUT row to show (default 0).\n"
           "  --columns C       export: cells across a BFNT grid (default 16).\n"
           "  --palette SOURCE[:ROW]\n"
           "                    export: shows a picture of 1 to 8 bits in the colours of\n"
           "                    SOURCE: a TIM's CLUT row ROW (default 0), a BMP's colour\n"
           "                    table, a sheet's palette, an indexed PNG or a .gpl, .act or\n"
           "                    .pal file; the indices stay the file's. It needs 2^bits\n"
           "                    colours. A TIM without a CLUT gets its colours so; any other\n"
           "                    picture a preview (a BMP or sheet does not import back).\n"
           "  --bpp 4|8|16|24   import to TIM: bits per pixel (default: as exported, else 4\n"
           "                    for an indexed PNG whose pixels use at most 16 colours and\n"
           "                    whose width is a multiple of 4, 8 for any other indexed PNG\n"
           "                    and 16 for others).\n"
           "  --cell WxH        import to BFNT: the cell size (default: as exported, else 16x16).\n"
           "  --codes F-L       import to BFNT: the character codes (default: as exported,\n"
           "                    else every cell).\n"
           "  --like ORIGINAL   import: OUT is ORIGINAL, a file of OUT's kind, with only the\n"
           "                    PNG's pixels and palette put in; everything else (headers,\n"
           "                    positions, other CLUT rows, layout, cells, codes) stays\n"
           "                    ORIGINAL's. An untouched export gives ORIGINAL back byte for\n"
           "                    byte, with or without the private chunk. A picture of\n"
           "                    another size or depth, or with more colours than the palette\n"
           "                    holds, is refused. Not with --bpp, --cell, --codes or --to.\n"
           "  --clut N          import --like to TIM: the CLUT row that takes the palette\n"
           "                    (default: the row exported, else 0).\n"
           "Without --like and without the chunk, import says on stderr which defaults the\n"
           "file took, and still exits 0.\n"
           "An option for another kind of output or input is a usage error; in a batch,\n"
           "--clut, --columns and --palette are for the files they fit. Both verbs take a\n"
           "batch the same way: export --to .png FILE..., import --to .tim FILE.png....\n"
           "'export' or 'import' is a verb only as the first argument.\n"
           "\n"
           "Inside files: 'scan' finds every TIM, BMP and BFNT inside disc images and\n"
           "archives; 'replace' puts edited ones back where they were found, byte for byte;\n"
           "'palette' moves palettes in and out. 'vellumconv scan --help', 'vellumconv\n"
           "replace --help' and 'vellumconv palette --help' tell more.\n"
           "\n"
           "Thumbnails: 'thumbnail' writes a small RGBA PNG of any file export reads, for a\n"
           "desktop's thumbnailer; 'vellumconv thumbnail --help' tells more.\n"
           "\n"
           "See vellumconv(1).\n";
}

std::string ConvVersionText()
{
    return std::string("vellumconv ") + VELLUM_VERSION;
}

bool IsPngName(const std::string& strName)
{
    if (strName.size() < 4)
        return false;
    std::string strTail = strName.substr(strName.size() - 4);
    for (char& ch : strTail)
        ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    return strTail == ".png";
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
