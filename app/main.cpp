// The desktop program's entry: the framework runs theApp.

#include "app/VellumApp.h"

#include <cstdio>
#include <cstdlib>

CVellumApp theApp;

int main(int argc, char** argv)
{
    // Without any display Qt would abort with a terse message; say what to use instead.
    const char* pszPlatform = std::getenv("QT_QPA_PLATFORM");
    const char* pszX = std::getenv("DISPLAY");
    const char* pszWayland = std::getenv("WAYLAND_DISPLAY");
    if ((pszPlatform == nullptr || *pszPlatform == '\0') && (pszX == nullptr || *pszX == '\0') &&
        (pszWayland == nullptr || *pszWayland == '\0'))
    {
        std::fputs("vellum: no display found (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                   "Without a display, convert files with vellumconv instead.\n",
                   stderr);
        return 1;
    }
    return AfxWinMain(argc, argv);
}
