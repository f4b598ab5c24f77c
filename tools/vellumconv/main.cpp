// vellumconv: the program's document, view and driver without a window.

#include "tools/vellumconv/ConvApp.h"
#include "tools/vellumconv/ConvBatch.h"
#include "tools/vellumconv/ConvExchange.h"
#include "tools/vellumconv/ConvPalette.h"
#include "tools/vellumconv/ConvScan.h"
#include "tools/vellumconv/ConvArgs.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ConvCommandLine cmd = ParseConvArgs(args);
    if (!cmd.strError.empty())
    {
        std::fprintf(stderr, "vellumconv: %s\nTry 'vellumconv --help'.\n", cmd.strError.c_str());
        return 2;
    }
    if (cmd.bHelp)
    {
        std::fputs(cmd.pszHelp != nullptr ? cmd.pszHelp : ConvUsageText(), stdout);
        return 0;
    }
    if (cmd.mode == EConvMode::Batch)
        return RunConvBatch(cmd.batch, stdout, stderr);
    if (cmd.mode == EConvMode::Verb)
        return RunExchangeVerb(cmd, stdout, stderr);
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
        nStatus = app.RunSteps(cmd.steps);
    AfxWinTerm();
    return nStatus;
}
