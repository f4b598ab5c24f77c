// The document and the view need the framework's Qt application; it runs offscreen.

#include "DocHarness.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    CTestApp& app = TestApp();
    static int s_nArgc = 1;
    static char* s_argv[] = {argv[0], nullptr};
    if (!AfxWinInit(s_nArgc, s_argv))
        return 1;
    const int nResult = RUN_ALL_TESTS();
    app.CloseAllDocuments(TRUE);
    AfxWinTerm();
    return nResult;
}
