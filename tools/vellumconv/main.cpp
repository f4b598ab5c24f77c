// vellumconv: the program's document, view and driver without a window.

#include "ConvApp.h"
#include "ConvSteps.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

// Qt's own warnings (fonts, runtime directories) would mix with the message lines.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "vellumconv: Qt: %s\n", msg.toLocal8Bit().constData());
}

}  // namespace

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
        std::fputs(ConvUsageText(), stdout);
        return 0;
    }

    // No window is ever shown. Qt's minimal platform is its offscreen one without a font
    // database, which nothing here draws with; skipping it saves a fifth of a conversion.
    const char* pszPlatform = std::getenv("QT_QPA_PLATFORM");
    if (pszPlatform == nullptr || *pszPlatform == '\0')
        setenv("QT_QPA_PLATFORM", "minimal", 1);
    qInstallMessageHandler(QuietQtMessages);

    // Qt sees only the program name: every other argument is ours.
    static int s_nQtArgc = 1;
    static char* s_qtArgv[] = {argv[0], nullptr};
    CConvApp app(stdout, stderr);
    if (!AfxWinInit(s_nQtArgc, s_qtArgv))
    {
        std::fputs("vellumconv: cannot start the Qt application.\n", stderr);
        return 1;
    }
    int nStatus = 1;
    if (app.InitInstance())
        nStatus = app.RunSteps(cmd.steps);
    app.CloseAllDocuments(FALSE);
    AfxWinTerm();
    return nStatus;
}
