// The converter's command line, parsed without running anything.

#include "ConvSteps.h"

#include <gtest/gtest.h>

namespace
{

std::string Describe(const ConvCommandLine& cmd)
{
    if (!cmd.strError.empty())
        return "error";
    std::string out = cmd.bHelp ? "help;" : "";
    for (const ConvStep& s : cmd.steps)
    {
        switch (s.kind)
        {
        case EConvStep::Open: out += "open " + s.strPath; break;
        case EConvStep::Save: out += "save " + s.strPath; break;
        case EConvStep::New: out += "new"; break;
        case EConvStep::Size: out += "size " + std::to_string(s.nWidth) + "x" + std::to_string(s.nHeight); break;
        case EConvStep::Render: out += "render " + s.strPath; break;
        }
        out += ";";
    }
    return out;
}

}  // namespace

TEST(ConvSteps, ParsesStepsLeftToRight)
{
    struct Case
    {
        std::vector<std::string> args;
        std::string strExpected;
    };
    const Case cases[] = {
        {{"a.bmp", "b.tim"}, "open a.bmp;save b.tim;"},
        {{"a.bmp", "b.tim", "c.fnt", "--render", "r.png"}, "open a.bmp;save b.tim;save c.fnt;render r.png;"},
        {{"--open", "a", "b"}, "open a;save b;"},
        {{"--size", "300x200", "x.fnt", "--new", "--save", "y.bmp"}, "size 300x200;save x.fnt;new;save y.bmp;"},
        {{"--size", "0x0"}, "size 0x0;"},
        {{"--size", "16384X1"}, "size 16384x1;"},
        {{"--", "--odd", "-x"}, "open --odd;save -x;"},
        {{"-", "out.bmp"}, "open -;save out.bmp;"},
        {{"--help"}, "help;"},
        {{"a", "--help"}, "help;open a;"},
        {{}, "error"},
        {{"--open"}, "error"},
        {{"--open", ""}, "error"},
        {{"--bogus", "a"}, "error"},
        {{"a", "-v"}, "error"},
        {{"--size", "300"}, "error"},
        {{"--size", "x3"}, "error"},
        {{"--size", "3x"}, "error"},
        {{"--size", "-3x4"}, "error"},
        {{"--size", "16385x1"}, "error"},
        {{"--size", "99999999999x1"}, "error"},
        {{"--size", "1x2x3"}, "error"},
    };
    for (const Case& c : cases)
    {
        std::string strArgs;
        for (const std::string& a : c.args)
            strArgs += "[" + a + "]";
        EXPECT_EQ(Describe(ParseConvArgs(c.args)), c.strExpected) << strArgs;
    }
}
