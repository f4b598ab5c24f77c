// vellumconv: the program's document, view and driver without a window.

#include "framework/AfxFile.h"
#include "tools/vellumconv/ConvApp.h"
#include "tools/vellumconv/ConvBatch.h"
#include "tools/vellumconv/ConvExchange.h"
#include "tools/vellumconv/ConvPalette.h"
#include "tools/vellumconv/ConvScan.h"
#include "tools/vellumconv/ConvArgs.h"
#include "tools/vellumconv/ConvPlan.h"
#include "tools/vellumconv/ConvRoute.h"
#include "tools/vellumconv/ConvText.h"

#include <cstdio>
#include <string>
#include <vector>

namespace
{

int UsageError(const std::string& strError)
{
    std::fprintf(stderr, "vellumconv: %s\nTry 'vellumconv --help'.\n", EscapeControls(strError).c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    AfxSetRegularFileReader("vellumconv");
    const std::vector<std::string> args(argv + 1, argv + argc);
    ConvCommandLine cmd = ParseConvArgs(args);
    if (!cmd.strError.empty())
        return UsageError(cmd.strError);
    if (cmd.bHelp)
    {
        std::fputs(cmd.pszHelp != nullptr ? cmd.pszHelp : ConvUsageText(), stdout);
        return 0;
    }
    if (cmd.bVersion)
    {
        std::printf("%s\n", ConvVersionText().c_str());
        return 0;
    }
    if (cmd.mode == EConvMode::Batch)
        return RunConvBatch(cmd.batch, stdout, stderr);
    if (cmd.mode == EConvMode::Verb || cmd.mode == EConvMode::Shorthand)
    {
        // Outside the step form nothing is written over its own input.
        if (SameFile(cmd.strVerbIn, cmd.strVerbOut))
            return UsageError("'" + cmd.strVerbIn + "' would be written over itself; name another OUT");
        // The shorthand gives exactly what the verb its names call for gives.
        if (cmd.mode == EConvMode::Shorthand)
            cmd.batch.verb.kind = RouteOf(cmd.batch.verb, cmd.strVerbIn, cmd.strVerbOut);
        if (cmd.batch.verb.kind != EConvVerb::Convert)
            return RunExchangeVerb(cmd, stdout, stderr);
    }
    if (cmd.mode == EConvMode::Scan)
        return RunConvScan(cmd.scan, stdout, stderr);
    if (cmd.mode == EConvMode::Palette)
        return RunConvPalette(cmd.palette, stdout, stderr);

    CConvApp app(stdout, stderr);
    int nArgc = 1;
    if (!AfxWinInit(nArgc, argv))
    {
        std::fputs("vellumconv: cannot start.\n", stderr);
        return 1;
    }
    int nStatus = 1;
    if (app.InitInstance())
        nStatus = cmd.mode == EConvMode::Shorthand ? app.RunShorthand(cmd.strVerbIn, cmd.strVerbOut)
                                                   : app.RunSteps(cmd.steps);
    AfxWinTerm();
    return nStatus;
}
