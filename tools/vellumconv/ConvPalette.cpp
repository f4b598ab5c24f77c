#include "tools/vellumconv/ConvPalette.h"

#include "exchange/Colour15.h"
#include "exchange/Exchange.h"
#include "exchange/ExchangeResult.h"
#include "exchange/Png.h"
#include "formats/ByteOrder.h"
#include "formats/DataKinds.h"
#include "formats/PaletteFile.h"
#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvCommit.h"
#include "tools/vellumconv/ConvInput.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvText.h"

#include <cstring>
#include <exception>
#include <new>
#include <sys/stat.h>

namespace
{

constexpr std::uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// A failure of one file: the path its message names, and the message.
struct PaletteFailure
{
    std::string strPath;
    std::string strMessage;
};

bool Fail(PaletteFailure& failure, const std::string& strPath, std::string strMessage)
{
    failure = PaletteFailure{strPath, std::move(strMessage)};
    return false;
}

// Palette files are read whole; one this large is no palette (65,536 colours of a GIMP
// palette take about 2 MiB). Of anything else only its item's bytes are read.
constexpr std::uint64_t PALETTE_FILE_MAX_BYTES = std::uint64_t{16} << 20;

bool ReadInput(const std::string& strPath, CConvInput& input, PaletteFailure& failure)
{
    std::string strMessage;
    if (!input.Read(strPath, ITEM_HEAD_SIZE, strMessage))
        return Fail(failure, strPath, strMessage);
    return true;
}

// Why an image's palette cannot be used, in the exchange library's words where it has them.
std::string ImagePaletteMessage(EImagePaletteResult nResult, const ImagePalette& pal, std::uint32_t nClut,
                                const CConvInput& input)
{
    const std::vector<std::uint8_t>& data = input.Data();
    switch (nResult)
    {
    case EImagePaletteResult::Ok:
        break;
    case EImagePaletteResult::NotAnImage:
        return "not a TIM, BMP or BFNT file.";
    case EImagePaletteResult::Damaged:
    {
        // The reader's refusal, worded as export words it.
        std::vector<std::uint8_t> png;
        std::string strError;
        ExportOptions opt;
        opt.nFileSize = input.FileSize();
        if (!ExportToPng(data.data(), data.size(), opt, png, strError))
            return strError;
        return "the file cannot be read.";
    }
    case EImagePaletteResult::NoPalette:
        if (pal.nDataType == DATA_BFNT)
            return "the sheet has no palette block.";
        if (pal.nDataType == DATA_TIM && pal.nDepth <= 8)
            return "the TIM has no CLUT: its colours are in another file.";
        return std::string("a ") + std::to_string(pal.nDepth) + "-bit " + (pal.nDataType == DATA_TIM ? "TIM" : "BMP") +
               " has no palette: its pixels are colours.";
    case EImagePaletteResult::NoSuchRow:
        return ExchangeMessage(pal.nValue == 1 ? Refuse(XCH_CLUT_ROW_OF_ONE, nClut) : Refuse(XCH_CLUT_ROW, nClut, pal.nValue));
    }
    return std::string();
}

// The colours of any palette source: a palette file by its extension, else a TIM, BMP, BFNT
// or PNG by its first bytes, else a text palette by its first line. pAlphas, when given, gets
// the alpha of each colour as export shows it where the source has them (a TIM's CLUT, a
// PNG's palette; empty otherwise), and pbRows whether the source has rows to choose (a TIM).
bool ReadPaletteSource(const std::string& strPath, std::uint32_t nClut, PaletteColours& out, PaletteFailure& failure,
                       std::vector<std::uint8_t>* pAlphas = nullptr, bool* pbRows = nullptr)
{
    if (pAlphas != nullptr)
        pAlphas->clear();
    if (pbRows != nullptr)
        *pbRows = false;
    CConvInput input;
    if (!ReadInput(strPath, input, failure))
        return false;
    const std::vector<std::uint8_t>& data = input.Data();
    std::string strError;
    EPaletteFile kind = EPaletteFile::Gpl;
    if (PaletteFileFromPath(strPath, kind) || PaletteFileFromContent(data.data(), data.size(), kind))
    {
        // A palette file is read whole.
        if (!input.ReadWhole(PALETTE_FILE_MAX_BYTES))
            return Fail(failure, strPath,
                        "the file has " + std::to_string(input.FileSize()) + " bytes; a palette file has at most " +
                            std::to_string(PALETTE_FILE_MAX_BYTES) + ".");
        if (!ReadPaletteFile(kind, data.data(), data.size(), out, strError))
            return Fail(failure, strPath, strError);
        return true;
    }
    if (data.size() >= sizeof PNG_SIGNATURE && std::memcmp(data.data(), PNG_SIGNATURE, sizeof PNG_SIGNATURE) == 0)
    {
        PngPicture pic;
        if (!DecodePng(data.data(), data.size(), nullptr, pic, strError))
            return Fail(failure, strPath, strError);
        if (!pic.bIndexed)
            return Fail(failure, strPath, "the PNG has no palette: it is not an indexed picture.");
        out = PaletteColours{};
        for (const PngColor& c : pic.palette)
        {
            out.colours.push_back(PaletteRgb{c.r, c.g, c.b});
            if (pAlphas != nullptr)
                pAlphas->push_back(c.a);
        }
        out.strName = ConvBaseName(strPath);
        return true;
    }
    ImagePalette pal;
    const EImagePaletteResult nResult = FindImagePalette(data.data(), data.size(), nClut, pal, input.FileSize());
    if (pbRows != nullptr)
        *pbRows = pal.nDataType == DATA_TIM;
    if (nResult == EImagePaletteResult::NotAnImage)
        return Fail(failure, strPath,
                    "not a palette: neither a palette file (.gpl, .act, .pal) nor a picture with a palette "
                    "(TIM, BMP, BFNT, indexed PNG).");
    if (nResult != EImagePaletteResult::Ok)
        return Fail(failure, strPath, ImagePaletteMessage(nResult, pal, nClut, input));
    out = PaletteColours{};
    out.colours = ReadImagePalette(data.data(), pal);
    out.nTransparent = ImagePaletteTransparent(data.data(), pal);
    out.strName = ConvBaseName(strPath);
    if (pAlphas != nullptr && pal.coding == EImagePaletteCoding::Tim15)
        for (std::uint32_t i = 0; i < pal.nCount; ++i)
            pAlphas->push_back(WidenTimColor(GetLe16(data.data() + pal.nAt + 2 * std::size_t{i})).a);
    return true;
}

// True when the two names are one file (the same name, or the same file on disk).
bool SameFile(const std::string& strA, const std::string& strB)
{
    struct stat a, b;
    if (strA == strB)
        return true;
    return ::stat(strA.c_str(), &a) == 0 && ::stat(strB.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The status line comes out once the output is in place; a failure to save it is told there.
bool RunExport(const ConvPaletteOptions& options, CConvCommits& commits, PaletteFailure& failure)
{
    PaletteColours pal;
    if (!ReadPaletteSource(options.strIn, options.nClut, pal, failure))
        return false;
    EPaletteFile kind = EPaletteFile::Gpl;
    PaletteFileFromPath(options.strFormat.empty() ? options.strOut : "." + options.strFormat, kind);
    if (kind == EPaletteFile::Act && pal.colours.size() > 256)
        return Fail(failure, options.strIn,
                    "the palette has " + std::to_string(pal.colours.size()) + " colours; an Adobe colour table holds 256.");
    const std::vector<std::uint8_t> file = WritePaletteFile(kind, pal);
    if (options.strOut == "-")
    {
        // The whole file, made in memory, or a failed run; no status line in its way.
        std::string strCause;
        if (!ConvWriteStandardOutput(file.data(), file.size(), strCause))
            return Fail(failure, "-", "cannot write standard output: " + strCause + ".");
        return true;
    }
    return commits.SaveAlone(
        commits.NewItem(options.strIn, options.strOut), options.strOut,
        [&](CFile& out) { out.Write(file.data(), static_cast<std::uint32_t>(file.size())); },
        "colours:" + std::to_string(pal.colours.size()) + "\n");
}

bool RunImport(const ConvPaletteOptions& options, CConvCommits& commits, PaletteFailure& failure)
{
    PaletteColours source;
    if (!ReadPaletteSource(options.strPalette, options.nClut, source, failure))
        return false;
    CConvInput input;
    if (!ReadInput(options.strIn, input, failure))
        return false;
    std::vector<std::uint8_t>& data = input.Data();
    ImagePalette target;
    const EImagePaletteResult nResult =
        FindImagePalette(data.data(), data.size(), options.nClut, target, input.FileSize());
    if (nResult == EImagePaletteResult::NotAnImage)
        return Fail(failure, options.strIn, "not a TIM, BMP or BFNT file: import replaces the palette of one of those.");
    if (nResult != EImagePaletteResult::Ok)
        return Fail(failure, options.strIn, ImagePaletteMessage(nResult, target, options.nClut, input));
    if (source.colours.size() > target.nCount)
        return Fail(failure, options.strPalette,
                    "the palette has " + std::to_string(source.colours.size()) + " colours; the one it replaces has " +
                        std::to_string(target.nCount) + ".");
    ReplaceImagePalette(data.data(), target, source.colours);
    return commits.SaveAlone(
        commits.NewItem(options.strIn, options.strOut), options.strOut,
        [&](CFile& out) {
            out.Write(data.data(), static_cast<std::uint32_t>(data.size()));
            // The file's bytes past its item are copied as they are.
            input.CopyRest(out);
        },
        "colours:" + std::to_string(source.colours.size()) + " of " + std::to_string(target.nCount) + "\n");
}

}  // namespace

bool ReadExportPalette(const std::string& strSpec, std::vector<PngColor>& colours, std::string& strPath,
                       std::string& strMessage)
{
    std::string strSource;
    std::uint32_t nRow = 0;
    if (!SplitPaletteSpec(strSpec, strSource, nRow))
    {
        strPath = strSpec;
        strMessage = "not a row number.";
        return false;
    }
    PaletteColours pal;
    PaletteFailure failure;
    std::vector<std::uint8_t> alphas;
    bool bRows = false;
    if (!ReadPaletteSource(strSource, nRow, pal, failure, &alphas, &bRows))
    {
        strPath = failure.strPath;
        strMessage = failure.strMessage;
        return false;
    }
    if (nRow != 0 && !bRows)
    {
        strPath = strSource;
        strMessage = "row " + std::to_string(nRow) + " does not exist: only a TIM's CLUT has rows; this palette is row 0.";
        return false;
    }
    colours.clear();
    for (std::size_t i = 0; i < pal.colours.size(); ++i)
    {
        const PaletteRgb& c = pal.colours[i];
        colours.push_back(PngColor{c.r, c.g, c.b, i < alphas.size() ? alphas[i] : std::uint8_t{0xFF}});
    }
    return true;
}

int RunConvPalette(const ConvPaletteOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    const bool bImport = options.verb == EConvPaletteVerb::Import;
    for (const std::string* pInput : {&options.strIn, bImport ? &options.strPalette : &options.strIn})
        if (options.strOut != "-" && SameFile(options.strOut, *pInput))
        {
            ConvPrint(pErr, "vellumconv: '%s' is an input; write the result to another name\n"
                            "Try 'vellumconv palette --help'.\n",
                      EscapeControls(options.strOut).c_str());
            return 2;
        }
    CConvCommits commits(pOut, pErr);
    commits.CatchSignals();
    PaletteFailure failure;
    bool bOk = false;
    try
    {
        bOk = bImport ? RunImport(options, commits, failure) : RunExport(options, commits, failure);
    }
    catch (const std::bad_alloc&)
    {
        failure = PaletteFailure{options.strIn, "not enough memory."};
    }
    catch (const std::exception& e)
    {
        failure = PaletteFailure{options.strIn, e.what()};
    }
    // A failed save told its own message.
    if (!bOk && !commits.AnyFailed())
        commits.Message(failure.strPath, failure.strMessage);
    ConvFlush(pErr);
    return commits.Finish(bOk ? 0 : 1);
}
