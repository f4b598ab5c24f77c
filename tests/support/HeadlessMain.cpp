// Runs a test program on the framework's headless backend, with the program's resources.
#include "framework/Afx.h"
#include "resources/ResourceTables.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    AfxRegisterResources(VellumResources());
    int nArgc = 1;
    if (!AfxWinInit(nArgc, argv))
        return 1;
    const int nResult = RUN_ALL_TESTS();
    AfxWinTerm();
    return nResult;
}
