#include "tools/vellumconv/ConvThumbnailArgs.h"

#include "tools/vellumconv/ConvArgs.h"
#include "tools/vellumconv/ConvArgsReading.h"

#include <CLI/CLI.hpp>

bool ParseThumbnailArgs(const std::vector<std::string>& args, ConvThumbnailOptions& thumbnail, bool& bHelp,
                        std::string& strError)
{
    CLI::App app{"vellumconv thumbnail"};
    app.set_help_flag();
    app.add_flag("-h,--help", bHelp);
    std::string strSize;
    std::vector<std::string> paths;
    CLI::Option* pSize = app.add_option("-s", strSize);
    app.add_option("paths", paths);
    if (!ConvParseWithCli(app, args, strError))
        return false;
    if (bHelp)
        return true;
    if (pSize->count() > 0 &&
        !ConvParseNumber(strSize, CONV_COUNT_DIGITS, 1, CONV_THUMB_MAX_SIZE, thumbnail.nSize))
    {
        strError = "'-s " + strSize + "': expected the longest side, 1 to " + std::to_string(CONV_THUMB_MAX_SIZE);
        return false;
    }
    if (paths.size() != 2 || paths[0].empty() || paths[1].empty())
    {
        strError = "thumbnail takes IN and OUT.png";
        return false;
    }
    // '-' as OUT is left to the check of every verb's outputs, which names it.
    if (paths[1] != "-" && !IsPngName(paths[1]))
    {
        strError = "thumbnail writes PNG: '" + paths[1] + "' does not end in .png";
        return false;
    }
    thumbnail.strIn = paths[0];
    thumbnail.strOut = paths[1];
    return true;
}

const char* ConvThumbnailUsageText()
{
    return "Usage: vellumconv thumbnail [-s SIZE] IN OUT.png\n"
           "\n"
           "Writes a small RGBA PNG of IN for a file manager's thumbnails: every file\n"
           "'vellumconv export' reads (each depth of TIM, BMP, both kinds of BFNT sheet), in\n"
           "CLUT row 0 and export's grid of 16 cells across, in the colours export shows,\n"
           "and PNG.\n"
           "A picture smaller than SIZE grows by the largest whole factor that keeps its\n"
           "longer side within SIZE, each pixel a square of pixels; a larger one shrinks,\n"
           "pixel for pixel, until its longer side is SIZE (the other side rounded, at least\n"
           "1). A picture already between SIZE/2 and SIZE keeps its size.\n"
           "\n"
           "  -s SIZE       The longest side, 1 to 4096 (default 128).\n"
           "  -h, --help    Shows this text.\n"
           "\n"
           "IN may be '-' (stdin); OUT is a file, written whole or not at all. A file that\n"
           "export refuses (or a PNG that does not decode) gets export's lines on stderr\n"
           "and exit status 1, and nothing is written. stdout: the thumbnail's \"size:WxH\".\n"
           "\n"
           "See vellumconv(1).\n";
}
