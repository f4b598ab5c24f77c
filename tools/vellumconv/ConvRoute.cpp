#include "tools/vellumconv/ConvRoute.h"

#include "exchange/Exchange.h"
#include "exchange/ExchangeResult.h"
#include "exchange/Png.h"
#include "formats/BmpImage.h"
#include "tools/vellumconv/ConvApp.h"
#include "tools/vellumconv/ConvExchange.h"
#include "tools/vellumconv/ConvInput.h"

#include <algorithm>
#include <iterator>
#include <regex>
#include <sys/stat.h>

namespace
{

constexpr std::uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsPngFile(const std::string& strPath)
{
    std::vector<std::uint8_t> head;
    return ReadFileHead(strPath, head) && head.size() >= sizeof PNG_SIGNATURE &&
           std::equal(std::begin(PNG_SIGNATURE), std::end(PNG_SIGNATURE), head.begin());
}

// Whether the form a hint would name reads the whole file: export a BMP, import a PNG.
// strWhy gets its refusal.
bool FormReads(const std::string& strPath, EFileFamily family, std::string& strWhy)
{
    CConvInput in;
    if (!in.Read(strPath, 0, strWhy))
        return false;
    const std::vector<std::uint8_t>& data = in.Data();
    if (family == EFileFamily::Png)
    {
        PngPicture pic;
        return DecodePng(data.data(), data.size(), nullptr, pic, strWhy);
    }
    ExportOptions opt;
    opt.nFileSize = in.FileSize();
    std::vector<std::uint8_t> png;
    return ExportToPng(data.data(), data.size(), opt, png, strWhy);
}

}  // namespace

EConvVerb RouteOf(const ConvVerb& verb, const std::string& strIn, const std::string& strOut)
{
    if (verb.kind != EConvVerb::Convert)
        return verb.kind;
    if (IsPngName(strOut))
        return EConvVerb::Export;
    return IsPngFile(strIn) ? EConvVerb::Import : EConvVerb::Convert;
}

std::string RefusalHint(const FileExplanation& e)
{
    switch (e.reader)
    {
    case EFileReader::Window: return {};
    case EFileReader::Export:
        return e.strCause + (e.bDepth ? "; `vellumconv export` reads every depth" : "; `vellumconv export` reads it");
    case EFileReader::Import: return e.strCause + "; `vellumconv import` reads it";
    case EFileReader::Nothing: return e.strCause + "; no form of vellumconv reads it";
    }
    return {};
}

std::string RefusalHint(const std::string& strPath)
{
    std::vector<std::uint8_t> head;
    if (!ReadFileHead(strPath, head))
        return {};
    const FileExplanation e = ExplainFile(head.data(), head.size());
    // An RLE picture export would refuse for its size is not pointed to export.
    struct stat st;
    if (e.reader == EFileReader::Export && e.family == EFileFamily::Bmp &&
        head.size() >= BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE && ::stat(strPath.c_str(), &st) == 0)
    {
        BmpFileHeader fh;
        BmpInfoHeader ih;
        ParseBmpFileHeader(head.data(), fh);
        ParseBmpInfoHeader(head.data() + BMP_FILE_HEADER_SIZE, ih);
        const std::int64_t lHeight = ih.biHeight;
        const std::uint64_t w = static_cast<std::uint64_t>(std::max<std::int64_t>(ih.biWidth, 0));
        const std::uint64_t h = static_cast<std::uint64_t>(lHeight < 0 ? -lHeight : lHeight);
        const BmpImageLimits limits{PNG_MAX_SIDE, PNG_MAX_DECODED_BYTES, BMP_RLE_MAX_PIXELS_PER_BYTE, 0};
        if ((ih.biCompression == BMP_RLE8 || ih.biCompression == BMP_RLE4) &&
            CheckBmpRleSize(w, h, fh.bfOffBits, static_cast<std::uint64_t>(st.st_size), limits) != FMT_OK)
            return e.strCause + "; at " + std::to_string(w) + " x " + std::to_string(h) + " pixels in " +
                   std::to_string(st.st_size) + " bytes, `vellumconv export` refuses it too";
    }
    std::string strWhy;
    if ((e.reader == EFileReader::Export && e.family == EFileFamily::Bmp) ||
        (e.reader == EFileReader::Import && e.family == EFileFamily::Png))
        if (!FormReads(strPath, e.family, strWhy))
            return e.strCause + (e.reader == EFileReader::Export ? "; `vellumconv export`" : "; `vellumconv import`") +
                   " refuses it too: " + strWhy;
    return RefusalHint(e);
}

std::string ImportHint(const std::string& strMessage)
{
    // The refusals that count colours, matched against their own wording; {2} is the most
    // the target holds.
    for (const ExchangeCode code : {XCH_TOO_MANY_COLOURS, XCH_PALETTE_TOO_LARGE})
    {
        const std::string strText = ExchangeCodeText(code);
        std::string strPattern;
        int nGroup = 0, nMostGroup = 0;
        for (std::size_t i = 0; i < strText.size(); ++i)
        {
            const std::size_t nEnd = strText[i] == '{' ? strText.find('}', i) : std::string::npos;
            if (nEnd != std::string::npos)
            {
                const std::string strField = strText.substr(i + 1, nEnd - i - 1);
                ++nGroup;
                if (strField == "2")
                    nMostGroup = nGroup;
                strPattern += strField == "s" ? "(.*)" : strField[0] == 'a' ? "(an?)" : "(-?[0-9]+)";
                i = nEnd;
                continue;
            }
            if (std::string("\\^$.|?*+()[]{}").find(strText[i]) != std::string::npos)
                strPattern += '\\';
            strPattern += strText[i];
        }
        std::smatch match;
        if (nMostGroup != 0 && std::regex_match(strMessage, match, std::regex(strPattern)))
            return "reduce it to " + match[static_cast<std::size_t>(nMostGroup)].str() + " colours first";
    }
    return {};
}

bool ConvertFile(CConvApp& app, const ConvVerb& verb, const std::string& strIn, const std::string& strOut,
                 std::string& strStatus, std::vector<std::string>& rMessages, CSaveBatch& batch)
{
    const EConvVerb route = RouteOf(verb, strIn, strOut);
    if (route == EConvVerb::Convert)
        return app.ConvertOne(strIn, strOut, strStatus, rMessages, batch);
    if (verb.kind == route)
        return RunExchangeFile(verb, strIn, strOut, strStatus, rMessages, &batch);
    // What the verb gives with its defaults.
    ConvVerb routed;
    routed.kind = route;
    return RunExchangeFile(routed, strIn, strOut, strStatus, rMessages, &batch);
}
