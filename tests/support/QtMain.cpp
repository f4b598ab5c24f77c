// Runs a test program on the framework's Qt backend on Qt's offscreen platform (no display
// needed), with the program's resources and one Qt application for all tests.
#include "framework/Afx.h"
#include "resources/ResourceTables.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    AfxRegisterResources(VellumResources());
    static int s_nArgc = 1;  // Qt keeps a reference to it
    if (!AfxWinInit(s_nArgc, argv))
        return 1;
    const int nResult = RUN_ALL_TESTS();
    AfxWinTerm();
    return nResult;
}
