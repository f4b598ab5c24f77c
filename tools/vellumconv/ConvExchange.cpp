#include "tools/vellumconv/ConvExchange.h"

#include "document/FileStream.h"
#include "formats/BfntFormat.h"
#include "formats/DataKinds.h"
#include "exchange/Exchange.h"
#include "exchange/ImportLike.h"
#include "formats/ByteOrder.h"
#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvInput.h"
#include "tools/vellumconv/ConvRoute.h"
#include "tools/vellumconv/ConvText.h"

#include <algorithm>

#include <cerrno>
#include <exception>
#include <functional>
#include <new>

namespace
{

bool ReadInput(const std::string& strIn, CConvInput& input, std::vector<std::string>& rMessages)
{
    std::string strMessage;
    // A file of no known kind is refused from its first bytes.
    if (input.Read(strIn, ITEM_HEAD_SIZE, strMessage))
        return true;
    rMessages.push_back(std::move(strMessage));
    return false;
}

const char* KindName(int nDataType)
{
    return nDataType == DATA_TIM ? "a TIM" : (nDataType == DATA_BMP ? "a BMP" : "a BFNT sheet");
}

// A PNG's size from its header: "size:WxH".
std::string PngSizeText(const std::vector<std::uint8_t>& png)
{
    if (png.size() < 24)
        return std::string();
    return "size:" + std::to_string(GetBe32(&png[16])) + "x" + std::to_string(GetBe32(&png[20]));
}

// The status text the window shows after opening IN: a sheet's cell size and codes, a
// bitmap's header size (its sign too), else the picture's size.
std::string ConvertStatusText(const std::vector<std::uint8_t>& in, const PngPicture& pic)
{
    const int nKind = DetectDataType(in.data(), in.size());
    if (nKind == DATA_BFNT && in.size() >= BFNT_HEADER_SIZE)
    {
        BfntHeader h;
        ParseBfntHeader(in.data(), h);
        return "size:" + std::to_string(h.glyphWidth) + "x" + std::to_string(h.glyphHeight) + "  no:" +
               std::to_string(h.firstCode) + "-" + std::to_string(h.lastCode);
    }
    if (nKind == DATA_BMP && in.size() >= 26 && GetLe32(&in[14]) >= 40)
        return "size:" + std::to_string(GetLeS32(&in[18])) + "x" + std::to_string(GetLeS32(&in[22]));
    return "size:" + std::to_string(pic.nWidth) + "x" + std::to_string(pic.nHeight);
}

// IN of the three formats as `export IN X.png` then `import X.png OUT` write OUT, with the
// picture handed from one to the other in memory. strNote gets export's note where OUT
// shows what it tells of.
bool ConvertThroughPng(CConvInput& input, const std::string& strOut, const std::function<bool()>& fnOpenTarget,
                       CSafeSaveFile& file, std::string& strStatus, std::vector<std::string>& rMessages,
                       std::string& strNote)
{
    std::vector<std::uint8_t>& in = input.Data();
    ExportOptions exportOpt;
    exportOpt.nFileSize = input.FileSize();
    PngPicture pic;
    std::string strError;
    if (!ExportToPicture(in.data(), in.size(), exportOpt, pic, strError, &strNote))
    {
        TellExportRefusal(in, std::move(strError), rMessages);
        return false;
    }
    ImportOptions importOpt;
    importOpt.kind = SaveTypeFromPath(strOut);
    // A TIM without a CLUT stays one: its greys are only the picture's.
    if (importOpt.kind == DATA_TIM && DetectDataType(in.data(), in.size()) == DATA_TIM)
        strNote.clear();
    strStatus = ConvertStatusText(in, pic);
    // The input is in the picture now; a large file need not be held twice.
    std::vector<std::uint8_t>().swap(in);
    if (!fnOpenTarget())
        return false;
    CFileStream stream(file.GetFile());
    if (!ImportFromPicture(pic, importOpt, stream, strError))
    {
        rMessages.push_back(strError);
        if (std::string strHint = ImportHint(strError); !strHint.empty())
            rMessages.push_back(std::move(strHint));
        return false;
    }
    return true;
}

}  // namespace

bool RunExchangeFile(const ConvVerb& verb, const std::string& strIn, const std::string& strOut,
                     std::string& strStatus, std::vector<std::string>& rMessages, CSaveBatch* pBatch,
                     std::string* pNote)
{
    auto saveFailed = [&](const CFileException& e) {
        rMessages.push_back(AfxFileErrorMessage(strOut.c_str(), e.GetCauseText(), TRUE).Str());
    };
    try
    {
        CConvInput input;
        if (!ReadInput(strIn, input, rMessages))
            return false;
        const std::vector<std::uint8_t>& in = input.Data();
        std::string strError, strNote;
        CSafeSaveFile file;
        auto openTarget = [&] {
            CFileException fe;
            if (file.Open(strOut.c_str(), &fe, pBatch))
                return true;
            saveFailed(fe);
            return false;
        };
        if (verb.kind == EConvVerb::Convert)
        {
            if (!ConvertThroughPng(input, strOut, openTarget, file, strStatus, rMessages, strNote))
                return false;
        }
        else if (verb.kind == EConvVerb::Export)
        {
            std::vector<std::uint8_t> png;
            ExportOptions opt = verb.exportOptions;
            opt.nFileSize = input.FileSize();
            if (!ExportToPng(in.data(), in.size(), opt, png, strError, &strNote))
            {
                TellExportRefusal(in, std::move(strError), rMessages);
                return false;
            }
            strStatus = PngSizeText(png);
            if (strOut == "-")
            {
                // Standard output gets the whole PNG or, after a failed write, a failed run.
                std::string strCause;
                if (!ConvWriteStandardOutput(png.data(), png.size(), strCause))
                {
                    rMessages.push_back("cannot write standard output: " + strCause + ".");
                    return false;
                }
                if (!strNote.empty())
                    rMessages.push_back(std::move(strNote));
                return true;
            }
            if (!openTarget())
                return false;
            file.GetFile().Write(png.data(), static_cast<std::uint32_t>(png.size()));
        }
        else if (!verb.strLike.empty())
        {
            CConvInput original;
            if (!ReadInput(verb.strLike, original, rMessages))
                return false;
            const std::vector<std::uint8_t>& like = original.Data();
            const int nKind = SaveTypeFromPath(strOut);
            if (const int nLike = DetectDataType(like.data(), like.size()); nLike != DATA_NONE && nLike != nKind)
            {
                rMessages.push_back(verb.strLike + " is " + KindName(nLike) + " and " + strOut + " " +
                                    KindName(nKind) + ": the ORIGINAL of --like is a file of OUT's kind.");
                return false;
            }
            LikeOptions opt = verb.likeOptions;
            opt.strOriginalName = verb.strLike;
            opt.strPngName = strIn;
            opt.nFileSize = original.FileSize();
            std::vector<std::uint8_t> merged;
            if (!ImportLike(like.data(), like.size(), in.data(), in.size(), opt, merged, strError))
            {
                rMessages.push_back(strError);
                return false;
            }
            strStatus = PngSizeText(in);
            if (!openTarget())
                return false;
            file.GetFile().Write(merged.data(), static_cast<std::uint32_t>(merged.size()));
            // The original's bytes past its item, as they are.
            original.CopyRest(file.GetFile());
        }
        else
        {
            ImportOptions opt = verb.importOptions;
            // The extension rule of every save: .bmp, .tim, anything else a sheet.
            opt.kind = SaveTypeFromPath(strOut);
            // Written into the temporary as it is made; a refusal removes the temporary.
            if (!openTarget())
                return false;
            CFileStream stream(file.GetFile());
            if (!ImportFromPng(in.data(), in.size(), opt, stream, strError, pNote))
            {
                rMessages.push_back(strError);
                if (std::string strHint = ImportHint(strError); !strHint.empty())
                    rMessages.push_back(std::move(strHint));
                return false;
            }
            strStatus = PngSizeText(in);
        }
        file.Commit();
        // Told once the file is in place (a batch shows only the messages of files that fail).
        if (!strNote.empty())
            rMessages.push_back(std::move(strNote));
        return true;
    }
    catch (const CFileException& e)
    {
        saveFailed(e);
    }
    catch (const std::bad_alloc&)
    {
        rMessages.push_back("not enough memory.");
    }
    catch (const std::exception& e)
    {
        rMessages.push_back(e.what());
    }
    return false;
}

int RunExchangeVerb(const ConvCommandLine& cmd, std::FILE* pOut, std::FILE* pErr)
{
    // An option that does not apply to this input is a usage error, told before anything runs.
    if (std::vector<std::uint8_t> head; cmd.batch.verb.kind == EConvVerb::Export && ReadFileHead(cmd.strVerbIn, head))
    {
        const FileExplanation e = ExplainFile(head.data(), head.size());
        if (const std::string strMisfit = OptionMisfit(cmd.batch.verb, e); !strMisfit.empty())
        {
            ConvPrint(pErr, "vellumconv: %s: %s\nTry 'vellumconv --help'.\n", EscapeControls(cmd.strVerbIn).c_str(),
                      EscapeControls(strMisfit).c_str());
            return 2;
        }
    }
    std::string strStatus;
    std::vector<std::string> messages;
    std::string strNote;
    const bool bOk =
        RunExchangeFile(cmd.batch.verb, cmd.strVerbIn, cmd.strVerbOut, strStatus, messages, nullptr, &strNote);
    const std::string strIn = EscapeControls(cmd.strVerbIn);
    // The note tells what the file took by default; the import itself succeeded.
    if (bOk && !strNote.empty())
        messages.push_back(std::move(strNote));
    for (const std::string& strLine : messages)
        ConvPrint(pErr, "vellumconv: %s: %s\n", strIn.c_str(), EscapeControls(strLine).c_str());
    if (bOk && cmd.batch.verb.kind != EConvVerb::Export && IsUnnamedSheet(cmd.strVerbOut))
        ConvPrint(pErr, "vellumconv: %s: %s\n", EscapeControls(cmd.strVerbOut).c_str(), UNNAMED_SHEET_NOTE);
    // Standard output carries the PNG itself then.
    if (bOk && !strStatus.empty() && cmd.strVerbOut != "-")
        ConvPrint(pOut, "%s\n", strStatus.c_str());
    ConvFlush(pOut);
    ConvFlush(pErr);
    return bOk ? 0 : 1;
}
