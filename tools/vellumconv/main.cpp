// vellumconv: the program's document, view and driver without a window.

#include "framework/AfxFile.h"
#include "tools/vellumconv/ConvApp.h"
#include "tools/vellumconv/ConvBatch.h"
#include "tools/vellumconv/ConvExchange.h"
#include "tools/vellumconv/ConvPalette.h"
#include "tools/vellumconv/ConvReplace.h"
#include "tools/vellumconv/ConvScan.h"
#include "tools/vellumconv/ConvArgs.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvPlan.h"
#include "tools/vellumconv/ConvRoute.h"
#include "tools/vellumconv/ConvStream.h"
#include "tools/vellumconv/ConvText.h"
#include "tools/vellumconv/ConvThumbnail.h"

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

int UsageError(const std::string& strError, const char* pszHint = nullptr)
{
    if (pszHint != nullptr)
        ConvPrint(stderr, "vellumconv: %s\nvellumconv: %s\nTry 'vellumconv --help'.\n", EscapeControls(strError).c_str(),
                  pszHint);
    else
        ConvPrint(stderr, "vellumconv: %s\nTry 'vellumconv --help'.\n", EscapeControls(strError).c_str());
    return 2;
}

// An output a conversion or an import would write as a sheet under the name of a picture
// format nobody reads sheets as: why it is refused, else empty. The steps keep the window's rule.
std::string UnwrittenPictureRefusal(const ConvCommandLine& cmd)
{
    const bool bWritesFormats = cmd.batch.verb.kind != EConvVerb::Export;
    std::string strFormat;
    if (bWritesFormats && (cmd.mode == EConvMode::Shorthand || cmd.mode == EConvMode::Verb))
    {
        if (strFormat = UnwrittenPictureFormat(cmd.strVerbOut); !strFormat.empty())
            return "'" + cmd.strVerbOut + "': vellumconv does not write " + strFormat + " pictures";
    }
    else if (bWritesFormats && cmd.mode == EConvMode::Batch)
        if (strFormat = UnwrittenPictureFormat(cmd.batch.strExt); !strFormat.empty())
            return "'--to " + cmd.batch.strExt + "': vellumconv does not write " + strFormat + " pictures";
    return {};
}

// Reads --palette SOURCE[:ROW] once for the whole run; false, with the message told, when
// SOURCE cannot give its colours.
bool LoadPalette(const std::string& strSpec, std::shared_ptr<const std::vector<PngColor>>& pPalette)
{
    if (strSpec.empty())
        return true;
    std::vector<PngColor> colours;
    std::string strPath, strMessage;
    if (!ReadExportPalette(strSpec, colours, strPath, strMessage))
    {
        ConvPrint(stderr, "vellumconv: %s: %s\n", EscapeControls(strPath).c_str(), EscapeControls(strMessage).c_str());
        return false;
    }
    pPalette = std::make_shared<const std::vector<PngColor>>(std::move(colours));
    return true;
}

// The first output of the command line named as a save names its temporaries or journals,
// or nullptr when none is.
const std::string* ReservedOutput(const ConvCommandLine& cmd, std::string& strReason)
{
    std::vector<const std::string*> outputs;
    if (cmd.mode == EConvMode::Verb || cmd.mode == EConvMode::Shorthand)
        outputs.push_back(&cmd.strVerbOut);
    else if (cmd.mode == EConvMode::Palette)
        outputs.push_back(&cmd.palette.strOut);
    else if (cmd.mode == EConvMode::Thumbnail)
        outputs.push_back(&cmd.thumbnail.strOut);
    else if (cmd.mode == EConvMode::Replace && !cmd.replace.strOutput.empty())
        outputs.push_back(&cmd.replace.strOutput);
    else if (cmd.mode == EConvMode::Steps)
        for (const ConvStep& step : cmd.steps)
            if (step.kind == EConvStep::Save || step.kind == EConvStep::Render)
                outputs.push_back(&step.strPath);
    for (const std::string* pOut : outputs)
        if (strReason = ConvReservedNameReason(*pOut); !strReason.empty())
            return pOut;
    return nullptr;
}

int RunCommandLine(int argc, char** argv)
{
    AfxSetRegularFileReader("vellumconv");
    const std::vector<std::string> args(argv + 1, argv + argc);
    ConvCommandLine cmd = ParseConvArgs(args);
    if (!cmd.strError.empty())
        return UsageError(cmd.strError);
    if (cmd.bHelp)
    {
        ConvPut(stdout, cmd.pszHelp != nullptr ? cmd.pszHelp : ConvUsageText());
        return 0;
    }
    if (cmd.bVersion)
    {
        ConvPrint(stdout, "%s\n", ConvVersionText().c_str());
        return 0;
    }
    if (const std::string strDash = ConvDashError(cmd); !strDash.empty())
        return UsageError(strDash);
    if (const std::string strRefusal = UnwrittenPictureRefusal(cmd); !strRefusal.empty())
        return UsageError(strRefusal, UNWRITTEN_PICTURE_HINT);
    // A later save into the folder would remove the output, or write its journal back.
    if (std::string strReason; const std::string* pOut = ReservedOutput(cmd, strReason))
        return UsageError("'" + *pOut + "' is " + strReason + "; name the output otherwise");
    ConvVerb& verb = cmd.batch.verb;
    if (!LoadPalette(verb.strPaletteSpec, verb.exportOptions.pPalette) ||
        !LoadPalette(cmd.scan.strPalette, cmd.scan.pPalette))
        return 1;
    if (cmd.mode == EConvMode::Batch)
        return RunConvBatch(cmd.batch, stdout, stderr);
    if (cmd.mode == EConvMode::Verb || cmd.mode == EConvMode::Shorthand)
    {
        // Outside the step form nothing is written over its own input.
        if (cmd.strVerbOut != "-" && SameFile(cmd.strVerbIn, cmd.strVerbOut))
            return UsageError("'" + cmd.strVerbIn + "' would be written over itself; name another OUT");
        if (const std::string& strLike = cmd.batch.verb.strLike; !strLike.empty() && SameFile(strLike, cmd.strVerbOut))
            return UsageError("'" + strLike + "' is the ORIGINAL of --like and would be written over; name another OUT");
        // The shorthand gives exactly what the verb its names call for gives; between the
        // three formats, what export then import give.
        if (cmd.mode == EConvMode::Shorthand)
            cmd.batch.verb.kind = RouteOf(cmd.batch.verb, cmd.strVerbIn, cmd.strVerbOut);
        return RunExchangeVerb(cmd, stdout, stderr);
    }
    if (cmd.mode == EConvMode::Scan)
        return RunConvScan(cmd.scan, stdout, stderr);
    if (cmd.mode == EConvMode::Palette)
        return RunConvPalette(cmd.palette, stdout, stderr);
    if (cmd.mode == EConvMode::Replace)
        return RunConvReplace(cmd.replace, stdout, stderr);
    if (cmd.mode == EConvMode::Thumbnail)
    {
        if (SameFile(cmd.thumbnail.strIn, cmd.thumbnail.strOut))
            return UsageError("'" + cmd.thumbnail.strIn + "' would be written over itself; name another OUT");
        return RunConvThumbnail(cmd.thumbnail, stdout, stderr);
    }

    CConvApp app(stdout, stderr);
    int nArgc = 1;
    if (!AfxWinInit(nArgc, argv))
    {
        ConvPut(stderr, "vellumconv: cannot start.\n");
        return 1;
    }
    int nStatus = 1;
    if (app.InitInstance())
        nStatus = app.RunSteps(cmd.steps);
    AfxWinTerm();
    return nStatus;
}

}  // namespace

// A standard stream the caller closed gets /dev/null, so the first file the run opens does
// not become standard output and take its status lines; what is written to it still fails.
// False when that cannot be done.
bool OpenStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
        {
            if (::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
                return false;
            if (fd > 0)
                ConvMarkClosed(fd == 1 ? stdout : stderr);
        }
    return true;
}

int main(int argc, char** argv)
{
    if (!OpenStandardStreams())
        return 1;
    // What failed to reach standard output fails the run, once its files are in place.
    return ConvEndOutput(RunCommandLine(argc, argv));
}
