#include "tools/vellumconv/ConvRoute.h"

#include "exchange/Exchange.h"
#include "exchange/ExchangeResult.h"
#include "formats/DataKinds.h"
#include "tools/vellumconv/ConvExchange.h"
#include "tools/vellumconv/ConvInput.h"

#include <algorithm>
#include <iterator>
#include <regex>

namespace
{

constexpr std::uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsPngFile(const std::string& strPath)
{
    std::vector<std::uint8_t> head;
    return ReadFileHead(strPath, head) && head.size() >= sizeof PNG_SIGNATURE &&
           std::equal(std::begin(PNG_SIGNATURE), std::end(PNG_SIGNATURE), head.begin());
}

// The last extension of a name's last part, in lower case, with its dot: ".jpg"; empty
// when it has none.
std::string ExtensionOf(const std::string& strName)
{
    const std::size_t nBase = strName.rfind('/');
    const std::size_t nDot = strName.rfind('.');
    if (nDot == std::string::npos || (nBase != std::string::npos && nDot < nBase))
        return {};
    std::string strExtension = strName.substr(nDot);
    for (char& ch : strExtension)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return strExtension;
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

std::string ExportRefusalHint(const std::uint8_t* pIn, std::size_t nIn)
{
    const FileExplanation e = ExplainFile(pIn, std::min(nIn, EXPLAIN_HEADER_SIZE));
    if (e.reader != EFileReader::Import && e.family != EFileFamily::Other && e.family != EFileFamily::Empty)
        return {};
    // A PNG is pointed to import only when import's decoder takes it.
    PngPicture pic;
    std::string strWhy;
    if (e.reader == EFileReader::Import && !DecodePng(pIn, nIn, nullptr, pic, strWhy))
    {
        if (!strWhy.empty() && strWhy.back() == '.')
            strWhy.pop_back();
        return e.strCause + "; `vellumconv import` refuses it too: " + strWhy;
    }
    return RefusalHint(e);
}

void TellExportRefusal(const std::vector<std::uint8_t>& in, std::string strError, std::vector<std::string>& rMessages)
{
    rMessages.push_back(std::move(strError));
    if (std::string strHint = ExportRefusalHint(in.data(), in.size()); !strHint.empty())
        rMessages.push_back(std::move(strHint));
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

bool ConvertFile(const ConvVerb& verb, const std::string& strIn, const std::string& strOut, std::string& strStatus,
                 std::vector<std::string>& rMessages, CSaveBatch& batch)
{
    const EConvVerb route = RouteOf(verb, strIn, strOut);
    if (verb.kind == route)
        return RunExchangeFile(verb, strIn, strOut, strStatus, rMessages, &batch);
    // What the verb gives with its defaults.
    ConvVerb routed;
    routed.kind = route;
    return RunExchangeFile(routed, strIn, strOut, strStatus, rMessages, &batch);
}

std::string UnwrittenPictureFormat(const std::string& strName)
{
    static const struct
    {
        const char* pszExtension;
        const char* pszFormat;
    } s_formats[] = {{".jpg", "JPEG"}, {".jpeg", "JPEG"}, {".gif", "GIF"}, {".webp", "WebP"}, {".tif", "TIFF"},
                     {".tiff", "TIFF"}, {".tga", "TGA"},  {".pcx", "PCX"}, {".ico", "ICO"},   {".dds", "DDS"},
                     {".qoi", "QOI"},   {".avif", "AVIF"}};
    const std::string strExtension = ExtensionOf(strName);
    for (const auto& f : s_formats)
        if (strExtension == f.pszExtension)
            return f.pszFormat;
    return {};
}

bool IsUnnamedSheet(const std::string& strName)
{
    const std::string strExtension = ExtensionOf(strName);
    return !IsPngName(strName) && SaveTypeFromPath(strName) == DATA_BFNT && strExtension != ".fnt" &&
           strExtension != ".bfnt";
}
