// Runs the window tests on Qt's offscreen platform, with one Qt application for all of them.
#include "AfxApp.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    static int s_argc = 1;
    AfxWinInit(s_argc, argv);
    const int nResult = RUN_ALL_TESTS();
    AfxWinTerm();
    return nResult;
}
