#include "ConvSteps.h"

namespace
{

bool ParseDimension(const std::string& strText, std::size_t nBegin, std::size_t nEnd, int& nValue)
{
    if (nBegin >= nEnd || nEnd - nBegin > 5)
        return false;
    int n = 0;
    for (std::size_t i = nBegin; i < nEnd; ++i)
    {
        const char ch = strText[i];
        if (ch < '0' || ch > '9')
            return false;
        n = n * 10 + (ch - '0');
    }
    if (n > CONV_MAX_SIZE)
        return false;
    nValue = n;
    return true;
}

}  // namespace

bool ParseConvSize(const std::string& strText, int& nWidth, int& nHeight)
{
    const std::size_t x = strText.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    int w = 0;
    int h = 0;
    if (!ParseDimension(strText, 0, x, w) || !ParseDimension(strText, x + 1, strText.size(), h))
        return false;
    nWidth = w;
    nHeight = h;
    return true;
}

ConvCommandLine ParseConvArgs(const std::vector<std::string>& args)
{
    ConvCommandLine cmd;
    auto fail = [&cmd](std::string strError) {
        cmd.steps.clear();
        cmd.strError = std::move(strError);
        return cmd;
    };
    bool bOptions = true;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (bOptions && arg == "--")
        {
            bOptions = false;
            continue;
        }
        if (!bOptions || arg.empty() || arg[0] != '-' || arg == "-")
        {
            cmd.steps.push_back({cmd.steps.empty() ? EConvStep::Open : EConvStep::Save, arg});
            continue;
        }
        if (arg == "--help" || arg == "-h")
        {
            cmd.bHelp = true;
            continue;
        }
        if (arg == "--new")
        {
            cmd.steps.push_back({EConvStep::New, {}});
            continue;
        }
        EConvStep kind;
        if (arg == "--open")
            kind = EConvStep::Open;
        else if (arg == "--save")
            kind = EConvStep::Save;
        else if (arg == "--render")
            kind = EConvStep::Render;
        else if (arg == "--size")
            kind = EConvStep::Size;
        else
            return fail("unknown option '" + arg + "'");
        if (i + 1 >= args.size())
            return fail("option '" + arg + "' needs an argument");
        const std::string& value = args[++i];
        if (value.empty())
            return fail("option '" + arg + "' needs a non-empty argument");
        if (kind == EConvStep::Size)
        {
            ConvStep step{EConvStep::Size, {}};
            if (!ParseConvSize(value, step.nWidth, step.nHeight))
                return fail("'--size " + value + "': expected WxH, each 0 to " + std::to_string(CONV_MAX_SIZE));
            cmd.steps.push_back(step);
            continue;
        }
        cmd.steps.push_back({kind, value});
    }
    if (!cmd.bHelp && cmd.steps.empty())
        return fail("nothing to do");
    return cmd;
}

const char* ConvUsageText()
{
    return "Usage: vellumconv IN OUT...\n"
           "       vellumconv STEP...\n"
           "\n"
           "Opens, converts and saves 256-colour BMP, TIM and BFNT files without a window,\n"
           "doing what a person would do in one run of vellum, step by step from left to right.\n"
           "\n"
           "Steps:\n"
           "  --open PATH     File/Open. The format comes from the file's first bytes.\n"
           "  --save PATH     File/Save As. The format comes from PATH's extension: .bmp\n"
           "                  writes BMP, .tim writes TIM, anything else a BFNT sheet.\n"
           "                  Images become sheets of 16x16 cells; sheets become images of\n"
           "                  their cells in rows on a 256-pixel strip.\n"
           "  --new           File/New. The data loaded before stays and can still be saved.\n"
           "  --size WxH      The window's drawing area becomes W x H pixels (each 0 to 16384;\n"
           "                  0 acts like a minimised window). It is 256x256 at start.\n"
           "  --render PATH   Writes what the window shows now as an 8-bit indexed PNG at\n"
           "                  the drawing area's size (its width rounded up to a multiple\n"
           "                  of 4), with the display's 256 colours as its palette.\n"
           "  --help          Shows this text.\n"
           "\n"
           "A PATH without an option opens when it comes first and saves otherwise, so\n"
           "'vellumconv IN OUT' is '--open IN --save OUT'. After '--' every argument is a PATH.\n"
           "\n"
           "Output: after each successful open its status text (\"size:WxH\") on stdout;\n"
           "every message the program would show in a box as one line on stderr,\n"
           "'vellumconv: PATH: MESSAGE'.\n"
           "\n"
           "Exit status: 0 when no step failed or showed a message, 1 when any did (the\n"
           "later steps still run), 2 for a usage error.\n";
}
