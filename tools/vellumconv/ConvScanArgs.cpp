#include "tools/vellumconv/ConvScanArgs.h"

#include "formats/PaletteFile.h"
#include "formats/Scan.h"
#include "tools/vellumconv/ConvArgs.h"
#include "tools/vellumconv/ConvArgsReading.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string_view>

namespace
{

bool Fail(std::string& strError, std::string strWhy)
{
    strError = std::move(strWhy);
    return false;
}

// "tim,bmp,bfnt" in any order and number; false for an empty list or an unknown kind.
bool ParseKinds(const std::string& text, unsigned& kinds)
{
    unsigned parsed = 0;
    std::size_t nAt = 0;
    while (true)
    {
        const std::size_t nComma = text.find(',', nAt);
        const std::string name = text.substr(nAt, nComma == std::string::npos ? std::string::npos : nComma - nAt);
        if (name == "tim")
            parsed |= SCAN_TIM;
        else if (name == "bmp")
            parsed |= SCAN_BMP;
        else if (name == "bfnt")
            parsed |= SCAN_BFNT;
        else
            return false;
        if (nComma == std::string::npos)
            break;
        nAt = nComma + 1;
    }
    kinds = parsed;
    return true;
}

bool IsPngExtension(const std::string& strExt)
{
    std::string ext = strExt;
    for (char& ch : ext)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return ext == ".png" || ext == "png";
}

// --clut N, counted from 0, as export takes it.
bool ParseClut(const std::string& text, std::uint32_t& nClut, std::string& strError)
{
    if (ConvParseNumber(text, CONV_VALUE_DIGITS, 0, 0xFFFFFFFFu, nClut))
        return true;
    return Fail(strError, "'--clut " + text + "': expected a CLUT row, counted from 0");
}

}  // namespace

bool SplitPaletteSpec(const std::string& strSpec, std::string& strSource, std::uint32_t& nRow)
{
    const std::size_t nColon = strSpec.rfind(':');
    const std::string strRow = nColon == std::string::npos ? std::string() : strSpec.substr(nColon + 1);
    if (strRow.empty() || strRow.find_first_not_of("0123456789") != std::string::npos || nColon == 0)
    {
        strSource = strSpec;
        nRow = 0;
        return true;
    }
    strSource = strSpec.substr(0, nColon);
    return ConvParseNumber(strRow, CONV_VALUE_DIGITS, 0, 0xFFFFFFFFu, nRow);
}

bool ParseScanArgs(const std::vector<std::string>& args, ConvScanOptions& scan, bool& bHelp, std::string& strError)
{
    CLI::App app{"vellumconv scan"};
    app.set_help_flag();
    app.add_flag("-h,--help", bHelp);
    std::string strKinds, strJobs, strTo, strClut, strPalette;
    CLI::Option* pKinds = app.add_option("--kinds", strKinds);
    app.add_flag("--nested", scan.bNested);
    app.add_flag("--json", scan.bJson);
    CLI::Option* pJobs = app.add_option("-j,--jobs", strJobs);
    CLI::Option* pExtract = app.add_option("--extract", scan.strExtractDir);
    CLI::Option* pTo = app.add_option("--to", strTo);
    CLI::Option* pClut = app.add_option("--clut", strClut);
    CLI::Option* pPalette = app.add_option("--palette", strPalette);
    app.add_option("files", scan.files);
    if (!ConvParseWithCli(app, args, strError))
        return false;

    scan.kinds = SCAN_ALL_KINDS;
    if (pKinds->count() > 0 && !ParseKinds(strKinds, scan.kinds))
        return Fail(strError, "'--kinds " + strKinds + "': expected tim, bmp or bfnt, or several of them joined by commas");
    if (pJobs->count() > 0)
    {
        std::uint32_t nJobs = 0;
        if (!ConvParseNumber(strJobs, CONV_COUNT_DIGITS, 1, CONV_MAX_JOBS, nJobs))
            return Fail(strError, "'-j " + strJobs + "': expected 1 to " + std::to_string(CONV_MAX_JOBS) + " threads");
        scan.nJobs = static_cast<int>(nJobs);
    }
    if (pExtract->count() > 0 && scan.strExtractDir.empty())
        return Fail(strError, "option '--extract' needs a non-empty argument");
    if (pTo->count() > 0)
    {
        if (pExtract->count() == 0)
            return Fail(strError, "option '--to' belongs to an extraction: it needs '--extract DIR'");
        if (!IsPngExtension(strTo))
            return Fail(strError, "'--to " + strTo + "': a scan extracts to .png, or without '--to' each item as its own file");
        scan.bPng = true;
    }
    if (pClut->count() > 0)
    {
        if (!scan.bPng)
            return Fail(strError, "option '--clut' chooses the CLUT row of a PNG: it needs '--extract DIR --to .png'");
        if (strClut == "all")
            scan.bClutAll = true;
        else if (!ParseClut(strClut, scan.nClut, strError))
            return false;
    }
    if (pPalette->count() > 0)
    {
        if (!scan.bPng)
            return Fail(strError, "option '--palette' colours the PNGs of an extraction: it needs '--extract DIR --to .png'");
        std::string strSource;
        std::uint32_t nRow = 0;
        if (!SplitPaletteSpec(strPalette, strSource, nRow) || strSource.empty())
            return Fail(strError, "'--palette " + strPalette + "': expected SOURCE[:ROW], a CLUT row counted from 0");
        scan.strPalette = strPalette;
    }
    if (bHelp)
        return true;
    if (scan.files.empty())
        return Fail(strError, "nothing to do: no files");
    for (const std::string& file : scan.files)
        if (file.empty())
            return Fail(strError, "an empty file name");
    return true;
}

bool ParsePaletteArgs(const std::vector<std::string>& args, ConvPaletteOptions& palette, bool& bHelp,
                      std::string& strError)
{
    if (!args.empty() && (args[0] == "-h" || args[0] == "--help"))
    {
        bHelp = true;
        return true;
    }
    if (args.empty() || (args[0] != "export" && args[0] != "import"))
        return Fail(strError, "palette takes 'export' or 'import' first");
    const bool bExport = args[0] == "export";
    palette.verb = bExport ? EConvPaletteVerb::Export : EConvPaletteVerb::Import;

    CLI::App app{bExport ? "vellumconv palette export" : "vellumconv palette import"};
    app.set_help_flag();
    app.add_flag("-h,--help", bHelp);
    std::string strClut;
    std::vector<std::string> paths;
    CLI::Option* pClut = app.add_option("--clut", strClut);
    CLI::Option* pFormat = bExport ? app.add_option("--format", palette.strFormat) : nullptr;
    app.add_option("paths", paths);
    if (!ConvParseWithCli(app, std::vector<std::string>(args.begin() + 1, args.end()), strError))
        return false;
    if (pClut->count() > 0 && !ParseClut(strClut, palette.nClut, strError))
        return false;
    if (bHelp)
        return true;
    for (const std::string& path : paths)
        if (path.empty())
            return Fail(strError, "an empty file name");
    if (bExport)
    {
        EPaletteFile kind = EPaletteFile::Gpl;
        if (paths.size() != 2)
            return Fail(strError, "palette export takes IN and OUT");
        EPaletteFile format = EPaletteFile::Gpl;
        if (pFormat->count() > 0 && !PaletteFileFromPath("." + palette.strFormat, format))
            return Fail(strError, "'--format " + palette.strFormat + "': the formats are gpl, act and pal");
        if (paths[1] == "-" && pFormat->count() == 0)
            return Fail(strError, "palette export to '-' (standard output) needs '--format gpl|act|pal'");
        if (paths[1] != "-" && !PaletteFileFromPath(paths[1], kind))
            return Fail(strError, "'" + paths[1] + "': a palette file ends in .gpl, .act or .pal");
        if (paths[1] != "-" && pFormat->count() > 0 && kind != format)
            return Fail(strError, "'--format " + palette.strFormat + "' and '" + paths[1] + "' name two formats");
        palette.strIn = paths[0];
        palette.strOut = paths[1];
        return true;
    }
    if (paths.size() != 3)
        return Fail(strError, "palette import takes PALETTE, IN and OUT");
    palette.strPalette = paths[0];
    palette.strIn = paths[1];
    palette.strOut = paths[2];
    return true;
}

namespace
{

// Decimal digits only, without overflow: a position in a file of any size.
bool ParseOffset(const std::string& text, std::uint64_t& nValue)
{
    if (text.empty() || text.size() > 20)
        return false;
    std::uint64_t n = 0;
    for (const char ch : text)
    {
        if (ch < '0' || ch > '9')
            return false;
        const auto d = static_cast<std::uint64_t>(ch - '0');
        if (n > (UINT64_MAX - d) / 10)
            return false;
        n = n * 10 + d;
    }
    nValue = n;
    return true;
}

std::string Lower(std::string s)
{
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

}  // namespace

bool ParseExtractedName(const std::string& strName, ConvExtractedName& name)
{
    const std::size_t nAt = strName.rfind('@');
    const std::size_t nDot = strName.rfind('.');
    if (nAt == std::string::npos || nAt == 0 || nDot == std::string::npos || nDot < nAt)
        return false;
    ConvExtractedName parsed;
    parsed.strSource = strName.substr(0, nAt);
    parsed.strExt = strName.substr(nDot);
    const std::string ext = Lower(parsed.strExt);
    if (ext != ".tim" && ext != ".bmp" && ext != ".fnt" && ext != ".png")
        return false;
    std::string strOffset = strName.substr(nAt + 1, nDot - nAt - 1);
    if (const std::size_t nRow = strOffset.find("-c"); nRow != std::string::npos)
    {
        if (ext != ".png" ||
            !ConvParseNumber(std::string_view(strOffset).substr(nRow + 2), CONV_VALUE_DIGITS, 0, 0xFFFFFFFFu, parsed.nRow))
            return false;
        parsed.bRow = true;
        strOffset.resize(nRow);
    }
    if (!ParseOffset(strOffset, parsed.nOffset))
        return false;
    name = std::move(parsed);
    return true;
}

bool ParseReplaceArgs(const std::vector<std::string>& args, ConvReplaceOptions& replace, bool& bHelp,
                      std::string& strError)
{
    CLI::App app{"vellumconv replace"};
    app.set_help_flag();
    app.add_flag("-h,--help", bHelp);
    app.add_flag("-n,--dry-run", replace.bDryRun);
    std::string strClut, strAt;
    std::vector<std::string> paths;
    CLI::Option* pClut = app.add_option("--clut", strClut);
    CLI::Option* pAt = app.add_option("--at", strAt);
    CLI::Option* pFrom = app.add_option("--from", replace.strFromDir);
    CLI::Option* pOutput = app.add_option("--output", replace.strOutput);
    app.add_option("paths", paths);
    if (!ConvParseWithCli(app, args, strError))
        return false;
    if (bHelp)
        return true;
    if (pClut->count() > 0)
    {
        if (!ParseClut(strClut, replace.nClut, strError))
            return false;
        replace.bClut = true;
    }
    if (pAt->count() > 0)
    {
        if (!ParseOffset(strAt, replace.nAt))
            return Fail(strError, "'--at " + strAt + "': expected the item's offset in the file, in bytes");
        replace.bAt = true;
    }
    for (const std::string& path : paths)
        if (path.empty())
            return Fail(strError, "an empty file name");
    if ((pFrom->count() > 0 && replace.strFromDir.empty()) || (pOutput->count() > 0 && replace.strOutput.empty()))
        return Fail(strError, "an empty file name");
    if (paths.empty())
        return Fail(strError, "replace takes CONTAINER and the NEW files");
    replace.strContainer = paths[0];
    replace.news.assign(paths.begin() + 1, paths.end());
    if (!replace.strFromDir.empty())
    {
        if (replace.bAt)
            return Fail(strError, "--from takes the offsets from the names in DIR; --at is for one NEW file");
        if (!replace.news.empty())
            return Fail(strError, "--from DIR takes its NEW files from DIR; name only CONTAINER");
        return true;
    }
    if (replace.news.empty())
        return Fail(strError, "replace takes CONTAINER and the NEW files (or --from DIR)");
    if (replace.bAt && replace.news.size() != 1)
        return Fail(strError, "--at OFFSET puts one NEW file in; name only one");
    return true;
}

const char* ConvScanUsageText()
{
    return "Usage: vellumconv scan [--kinds tim,bmp,bfnt] [--nested] [--json] [-j N]\n"
           "                       [--extract DIR [--to .png [--clut N|all]\n"
           "                       [--palette SOURCE[:ROW]]]] [--] FILE...\n"
           "\n"
           "Finds every TIM (4, 8, 16 and 24 bits, each with or without a CLUT, any number\n"
           "of CLUT rows), BMP and BFNT that starts at any byte of each FILE: disc images,\n"
           "archives, memory dumps. Only items that parse completely and whose every field\n"
           "agrees are reported. Raw CD images (2352-byte sectors, recognised by the sync\n"
           "pattern) are scanned as the stream of their user data; Form 2 sectors are\n"
           "skipped.\n"
           "\n"
           "Output: one line per find, in file order and then offset order:\n"
           "  FILE<tab>OFFSET<tab>KIND<tab>LENGTH<tab>WxH<tab>DEPTH<tab>CLUTS\n"
           "OFFSET is the file position of the item's first byte, LENGTH its byte count, KIND\n"
           "tim, bmp or bfnt, WxH the picture's size (a sheet's cell), DEPTH its bits per\n"
           "pixel, CLUTS its CLUT rows or palettes (0 for none).\n"
           "\n"
           "  --kinds LIST    Looks only for these kinds (default: tim,bmp,bfnt).\n"
           "  --nested        Also reports finds that start inside another find's bytes.\n"
           "  --json          One JSON object per line instead, with the keys file, offset,\n"
           "                  kind, length, size (\"WxH\"), depth and cluts.\n"
           "  -j N, --jobs N  Scans large files on N threads (default: one per processor);\n"
           "                  the finds are the same for every N.\n"
           "  --extract DIR   Writes every find to DIR/NAME@OFFSET.tim, .bmp or .fnt (NAME is\n"
           "                  FILE's name), its own bytes; all of them reach the disk before\n"
           "                  any is put in place.\n"
           "  --to .png       With --extract: each find as PNG, as 'export' writes it.\n"
           "  --clut N|all    With --to .png: the CLUT row to show (default 0); 'all' writes\n"
           "                  one PNG per row, NAME@OFFSET-cN.png.\n"
           "  --palette SOURCE[:ROW]\n"
           "                  With --to .png: the colours of the finds without their own (TIMs\n"
           "                  without a CLUT), as 'export --palette' takes them; without it\n"
           "                  they are written in greys.\n"
           "\n"
           "Exit status: 0 when every FILE was scanned (finds or not), 1 when a FILE could not\n"
           "be read or a find could not be extracted (the others still are), 2 for a usage\n"
           "error. On a terminal, a progress line shows on stderr during long scans.\n"
           "A FILE of '-' (stdin) or a FIFO is copied to an unlinked temporary file and\n"
           "scanned there, with the same finds and memory as a file; its NAME is 'stdin'.\n";
}

const char* ConvPaletteUsageText()
{
    return "Usage: vellumconv palette export [--clut N] [--format gpl|act|pal] IN OUT.gpl|OUT.act|OUT.pal|-\n"
           "       vellumconv palette import [--clut N] PALETTE IN OUT\n"
           "\n"
           "Moves palettes in and out of TIM CLUT rows, BMP colour tables and BFNT palette\n"
           "blocks.\n"
           "\n"
           "export writes the palette of IN (a TIM's CLUT row N, a BMP's colour table, a\n"
           "sheet's palette block, an indexed PNG's palette, or another palette file) as a\n"
           "GIMP palette (.gpl), an Adobe colour table (.act) or a JASC palette (.pal), as\n"
           "OUT's extension says. 15-bit colours widen as 'export' widens them.\n"
           "\n"
           "import writes IN to OUT with its palette (a TIM's CLUT row N) replaced by the\n"
           "colours of PALETTE: a .gpl, .act or .pal file, or any image with a palette (BMP,\n"
           "indexed PNG, a TIM's CLUT row N, a sheet). Every other byte of IN stays as it\n"
           "was. TIM colours narrow to the nearest 15-bit colour and keep their\n"
           "semi-transparency bit; a colour that narrows to 0x0000 where the entry was not\n"
           "0x0000 becomes 0x8000, so opaque black stays opaque. A shorter palette replaces\n"
           "only the first entries; a longer one is refused.\n"
           "\n"
           "  --clut N   The CLUT row of a TIM, counted from 0 (default 0).\n"
           "  --format gpl|act|pal\n"
           "             export: the format, needed when OUT is '-' (stdout: the whole file\n"
           "             and no 'colours:N' line); with a named OUT it must agree.\n"
           "'-' as IN or PALETTE reads stdin (once a run), as does a FIFO.\n"
           "\n"
           "Output: export prints 'colours:N', import 'colours:N of M'. Exit status: 0 on\n"
           "success, 1 when a file could not be read, written or used, 2 for a usage error.\n";
}

const char* ConvReplaceUsageText()
{
    return "Usage: vellumconv replace [-n] [--output NEW_CONTAINER] [--clut N] CONTAINER NEW...\n"
           "       vellumconv replace [-n] [--output NEW_CONTAINER] [--clut N] --at OFFSET CONTAINER NEW\n"
           "       vellumconv replace [-n] [--output NEW_CONTAINER] [--clut N] --from DIR CONTAINER\n"
           "\n"
           "Puts edited items back into the file they were found in (a disc image, an\n"
           "archive), byte for byte: the way back from 'vellumconv scan --extract'. Each NEW\n"
           "is named as scan --extract names its files, NAME@OFFSET.tim, .bmp, .fnt or .png,\n"
           "or NAME@OFFSET-cN.png for CLUT row N (NAME must be CONTAINER's name); --at gives\n"
           "the offset of a NEW named otherwise.\n"
           "\n"
           "The item at OFFSET must be one that 'vellumconv scan' finds there. NEW becomes\n"
           "that item's bytes in the item's own kind, depth, size and layout: a PNG gives its\n"
           "pixels and its palette (into CLUT row N), as 'import --like' puts them; a TIM,\n"
           "BMP or sheet of the item's exact shape gives all its bytes; another one gives\n"
           "its picture. A NEW of another size or depth, or with more colours than the item\n"
           "holds, is refused with both sides named, and then nothing is written. Only the\n"
           "item's bytes change. In a raw CD image (2352-byte sectors) they go into the user\n"
           "data of the sectors the item spans, and each sector written gets its EDC and\n"
           "ECC computed again (Mode 1, Mode 2 Form 1); no other byte changes.\n"
           "\n"
           "CONTAINER is changed in place, and only the changed bytes are written: their old\n"
           "bytes wait in a journal beside it until the new ones are on disk, so a crash or\n"
           "a kill leaves it old or new (the next run puts the old bytes back). Several NEW\n"
           "files for one item (rows of --clut all) may each change other bytes.\n"
           "\n"
           "  --at OFFSET            The item's offset in CONTAINER, for one NEW file.\n"
           "  --from DIR             Every file in DIR named for CONTAINER (an extraction\n"
           "                         folder); only those whose bytes differ are written.\n"
           "  --clut N               The CLUT row a PNG's palette goes into (default: the\n"
           "                         row its name or its metadata says, else 0).\n"
           "  --output NEW_CONTAINER Writes a changed copy instead; CONTAINER stays.\n"
           "  -n, --dry-run          Tells what would change and writes nothing.\n"
           "\n"
           "Output: one line per NEW file, OFFSET<tab>NAME<tab>replaced or unchanged, once\n"
           "the container is written. Exit status: 0 on success (nothing to change\n"
           "included), 1 when an item was refused or a file could not be read or written\n"
           "(then nothing is written), 2 for a usage error.\n";
}
