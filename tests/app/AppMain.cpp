// Runs the program's window tests on Qt's offscreen platform, with a file on the command line
// that the program must leave alone.
#include "tests/app/AppHarness.h"

// The offscreen platform warns about every window operation it cannot do; keep the rest.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    if (type == QtWarningMsg && msg.startsWith(QLatin1String("This plugin does not support")))
        return;
    qt_message_output(type, context, msg);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietOffscreen);
    ::testing::InitGoogleTest(&argc, argv);
    // A file on the command line, which the program must leave alone.
    std::string strSample = kSamples + "/picture.bmp";
    std::vector<char*> args(argv, argv + argc);
    args.push_back(strSample.data());
    args.push_back(nullptr);
    int nArgs = argc + 1;
    if (!AfxWinInit(nArgs, args.data()))
        return 1;
    const int nResult = RUN_ALL_TESTS();
    AfxWinTerm();
    return nResult;
}
