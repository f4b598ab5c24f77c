// The converter's command line, parsed without running anything.

#include "tools/vellumconv/ConvArgs.h"
#include "tools/vellumconv/ConvPlan.h"

#include <gtest/gtest.h>

namespace
{

std::string Describe(const ConvCommandLine& cmd)
{
    if (!cmd.strError.empty())
        return "error";
    std::string out = cmd.bHelp ? "help;" : "";
    if (cmd.mode == EConvMode::Shorthand)
        return out + "in " + cmd.strVerbIn + ";out " + cmd.strVerbOut + ";";
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
        {{"a.bmp", "b.tim"}, "in a.bmp;out b.tim;"},
        {{"a.bmp", "b.tim", "--render", "r.png"}, "open a.bmp;save b.tim;render r.png;"},
        {{"a.bmp", "b.tim", "c.fnt", "--render", "r.png"}, "error"},
        {{"--open", "a", "b"}, "open a;save b;"},
        {{"--size", "300x200", "x.fnt", "--new", "--save", "y.bmp"}, "size 300x200;save x.fnt;new;save y.bmp;"},
        {{"--size", "0x0"}, "size 0x0;"},
        {{"--size", "16384X1"}, "size 16384x1;"},
        {{"--", "--odd", "-x"}, "in --odd;out -x;"},
        {{"-", "out.bmp"}, "in -;out out.bmp;"},
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

TEST(ConvBatchLine, OptionsAndTheirMistakes)
{
    ConvCommandLine cmd = ParseConvArgs({"--to", ".bmp", "--out-dir", "out", "-j", "3", "a.tim", "--", "-b.tim"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_EQ(cmd.mode, EConvMode::Batch);
    EXPECT_EQ(cmd.batch.strExt, ".bmp");
    EXPECT_EQ(cmd.batch.strOutDir, "out");
    EXPECT_EQ(cmd.batch.nJobs, 3);
    EXPECT_EQ(cmd.batch.files, (std::vector<std::string>{"a.tim", "-b.tim"}));

    // "bmp" is what people mean by ".bmp".
    EXPECT_EQ(ParseConvArgs({"--to", "bmp", "a.tim"}).batch.strExt, ".bmp");
    EXPECT_EQ(ParseConvArgs({"--to", ".bmp", "a.tim"}).batch.strExt, ".bmp");

    cmd = ParseConvArgs({"--to", ".fnt", "-0", "--files-from", "-"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_TRUE(cmd.batch.bNulSeparated);
    EXPECT_EQ(cmd.batch.strFilesFrom, "-");
    EXPECT_EQ(cmd.batch.nJobs, 0);  // one per processor

    struct Bad
    {
        std::vector<std::string> args;
        const char* pszError;
    };
    for (const Bad& b : {Bad{{"--to", ".bmp"}, "nothing to do: no files"},
                         Bad{{"--out-dir", "o", "a.tim"}, "option '--out-dir' belongs to a batch: it needs '--to EXT'"},
                         Bad{{"-j", "2", "a", "b"}, "option '-j' belongs to a batch: it needs '--to EXT'"},
                         Bad{{"--to", ".bmp", "--open", "a"}, "a batch (--to) converts files; '--open' is a step"},
                         Bad{{"--to", ".bmp", "-j", "0", "a"}, "'-j 0': expected 1 to 256 workers"},
                         Bad{{"--to", ".bmp", "-j", "x", "a"}, "'-j x': expected 1 to 256 workers"},
                         Bad{{"--to", ".bmp", "-jx", "a"}, "'-j x': expected 1 to 256 workers"},
                         Bad{{"--to", ".bmp", "--jobs=x", "a"}, "'--jobs x': expected 1 to 256 workers"},
                         Bad{{"--null", "a", "b"}, "option '--null' belongs to a batch: it needs '--to EXT'"},
                         Bad{{"a", "b", "--", "-j", "c"}, "'vellumconv IN OUT' takes two paths: to convert several files use "
                                                          "'--to EXT', to save to several targets use '--save PATH' for each"},
                         Bad{{"--to", "", "a"}, "option '--to' needs a non-empty argument"},
                         Bad{{"--to"}, "option '--to' needs an argument"}})
        EXPECT_EQ(ParseConvArgs(b.args).strError, b.pszError);
}

TEST(ConvBatchPlan, OutputNamesDropTheLastExtension)
{
    struct Case
    {
        const char* pszIn;
        const char* pszOutDir;
        const char* pszOut;
    };
    for (const Case& c : {Case{"a.tim", "", "a.bmp"}, Case{"dir/a.b.tim", "", "dir/a.b.bmp"},
                          Case{"dir/noext", "", "dir/noext.bmp"}, Case{"dir/.hidden", "", "dir/.hidden.bmp"},
                          Case{"dir/a.tim", "out", "out/a.bmp"}, Case{"/x/y/a.tim", "out/", "out/a.bmp"},
                          Case{"a.", "", "a.bmp"}})
        EXPECT_EQ(ConvBatchOutput(c.pszIn, ".bmp", c.pszOutDir), c.pszOut) << c.pszIn;
}

TEST(ConvBatchPlan, CollisionsAreRefusedNamingBothFiles)
{
    std::vector<ConvBatchJob> jobs;
    std::string strError;
    ConvBatchOptions options;
    options.strExt = ".bmp";
    options.files = {"a.tim", "b.tim", "dir/../a.fnt"};
    EXPECT_FALSE(PlanConvBatch(options, jobs, strError));
    EXPECT_EQ(strError, "'a.tim' and 'dir/../a.fnt' would both be saved as 'dir/../a.bmp'");

    options.files = {"x.tim", "x.bmp"};
    EXPECT_FALSE(PlanConvBatch(options, jobs, strError));
    EXPECT_EQ(strError, "'x.bmp' is also the output of 'x.tim'");

    // A file converted into its own name would be written over.
    options.files = {"x.bmp", "y.tim"};
    EXPECT_FALSE(PlanConvBatch(options, jobs, strError));
    EXPECT_EQ(strError, "'x.bmp' would be saved over itself; '--out-dir DIR' puts the outputs elsewhere");
    options.files = {"y.tim"};
    EXPECT_TRUE(PlanConvBatch(options, jobs, strError)) << strError;
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].strOut, "y.bmp");

    options.files = {"in/a.tim", "other/a.tim"};
    options.strOutDir = "out";
    EXPECT_FALSE(PlanConvBatch(options, jobs, strError));
    EXPECT_EQ(strError, "'in/a.tim' and 'other/a.tim' would both be saved as 'out/a.bmp'");
}

TEST(ConvVerbLine, OptionsLandInTheExchangeLibrarysOwn)
{
    ConvCommandLine cmd = ParseConvArgs({"export", "--clut", "3", "--columns", "8", "in.tim", "out.png"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_EQ(cmd.mode, EConvMode::Verb);
    EXPECT_EQ(cmd.batch.verb.kind, EConvVerb::Export);
    EXPECT_EQ(cmd.batch.verb.exportOptions.nClut, 3u);
    EXPECT_EQ(cmd.batch.verb.exportOptions.nColumns, 8u);
    EXPECT_EQ(cmd.strVerbIn, "in.tim");
    EXPECT_EQ(cmd.strVerbOut, "out.png");

    cmd = ParseConvArgs({"import", "--bpp", "24", "--to", ".tim", "a.png"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_EQ(cmd.batch.verb.importOptions.nBpp, 24);
    cmd = ParseConvArgs({"import", "--cell", "8X16", "--codes", "32-127", "--to", ".fnt", "a.png"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_EQ(cmd.mode, EConvMode::Batch);
    const ImportOptions& opt = cmd.batch.verb.importOptions;
    EXPECT_EQ(cmd.batch.verb.kind, EConvVerb::Import);
    EXPECT_EQ(opt.nCellWidth, 8u);
    EXPECT_EQ(opt.nCellHeight, 16u);
    EXPECT_TRUE(opt.bCodes);
    EXPECT_EQ(opt.nFirstCode, 32u);
    EXPECT_EQ(opt.nLastCode, 127u);

    // An option for another kind of output is named with the output.
    EXPECT_EQ(ParseConvArgs({"import", "--bpp", "16", "a.png", "b.bmp"}).strError,
              "option '--bpp' applies to TIM outputs; 'b.bmp' is a BMP");
    EXPECT_EQ(ParseConvArgs({"import", "--cell", "8x8", "--to", "tim", "a.png"}).strError,
              "option '--cell' applies to BFNT outputs; '--to .tim' writes a TIM");

    // Untouched options keep the library's defaults.
    cmd = ParseConvArgs({"import", "a.png", "b.tim"});
    EXPECT_EQ(cmd.batch.verb.importOptions.nBpp, ImportOptions().nBpp);
    EXPECT_FALSE(cmd.batch.verb.importOptions.bCodes);
    EXPECT_EQ(cmd.batch.verb.exportOptions.nColumns, ExportOptions().nColumns);
}

// --palette SOURCE[:ROW]: a last colon and digits name the row; any other name is all SOURCE.
TEST(ConvVerbLine, PaletteSourceAndRow)
{
    const struct
    {
        const char* pszSpec;
        const char* pszSource;
        std::uint32_t nRow;
    } cases[] = {
        {"other.tim:2", "other.tim", 2},   {"other.tim", "other.tim", 0},       {"a:b/c.tim:10", "a:b/c.tim", 10},
        {"c:/p.gpl", "c:/p.gpl", 0},       {"odd:2.tim", "odd:2.tim", 0},       {"trailing:", "trailing:", 0},
        {":7", ":7", 0},                   {"p.tim:4294967295", "p.tim", 4294967295u},
    };
    for (const auto& c : cases)
    {
        std::string strSource;
        std::uint32_t nRow = 99;
        ASSERT_TRUE(SplitPaletteSpec(c.pszSpec, strSource, nRow)) << c.pszSpec;
        EXPECT_EQ(strSource, c.pszSource) << c.pszSpec;
        EXPECT_EQ(nRow, c.nRow) << c.pszSpec;
    }
    ConvCommandLine cmd = ParseConvArgs({"export", "--palette", "other.tim:2", "in.tim", "out.png"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_EQ(cmd.batch.verb.strPaletteSpec, "other.tim:2");
    EXPECT_EQ(cmd.batch.verb.strPaletteOption, "--palette");
    cmd = ParseConvArgs({"export", "--palette", "p.gpl", "--to", ".png", "a.tim"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_EQ(cmd.batch.verb.strPaletteSpec, "p.gpl");
    EXPECT_EQ(ParseConvArgs({"export", "--palette", "p.tim:4294967296", "in.tim", "out.png"}).strError,
              "'--palette p.tim:4294967296': expected SOURCE[:ROW], a CLUT row counted from 0");
    EXPECT_EQ(ParseConvArgs({"export", "--palette", "", "in.tim", "out.png"}).strError,
              "'--palette ': expected SOURCE[:ROW], a CLUT row counted from 0");
    EXPECT_NE(ParseConvArgs({"import", "--palette", "p.gpl", "a.png", "b.tim"}).strError, "");
    cmd = ParseConvArgs({"scan", "--extract", "d", "--to", ".png", "--palette", "p.tim:1", "a.bin"});
    ASSERT_TRUE(cmd.strError.empty()) << cmd.strError;
    EXPECT_EQ(cmd.scan.strPalette, "p.tim:1");
    EXPECT_EQ(ParseConvArgs({"scan", "--extract", "d", "--palette", "p.tim", "a.bin"}).strError,
              "option '--palette' colours the PNGs of an extraction: it needs '--extract DIR --to .png'");
}

// Every number is read the same way: decimal digits only, no more of them than the option
// has always taken (leading zeros count), within the option's range.
TEST(ConvArgs, NumbersStayWithinTheirDigitsAndRange)
{
    struct Case
    {
        std::vector<std::string> args;
        bool bOk;
    };
    const Case cases[] = {
        {{"--size", "00016x00001"}, true},
        {{"--size", "000016x1"}, false},
        {{"--size", "16x+1"}, false},
        {{"--to", ".bmp", "-j", "00256", "a"}, true},
        {{"--to", ".bmp", "-j", "000002", "a"}, false},
        {{"--to", ".bmp", "-j", "257", "a"}, false},
        {{"export", "--clut", "4294967295", "a", "b.png"}, true},
        {{"export", "--clut", "4294967296", "a", "b.png"}, false},
        {{"export", "--clut", "0000000001", "a", "b.png"}, true},
        {{"export", "--clut", "00000000001", "a", "b.png"}, false},
        {{"export", "--columns", "65536", "a", "b.png"}, true},
        {{"export", "--columns", "65537", "a", "b.png"}, false},
        {{"export", "--columns", "0", "a", "b.png"}, false},
        {{"import", "--bpp", "08", "a", "b.tim"}, true},
        {{"import", "--bpp", "+8", "a", "b.tim"}, false},
        {{"import", "--bpp", "12", "a", "b.tim"}, false},
        {{"import", "--cell", "65535x65535", "a", "b"}, true},
        {{"import", "--cell", "0x16", "a", "b"}, false},
        {{"import", "--cell", "16x", "a", "b"}, false},
        {{"import", "--cell", "16x16x16", "a", "b"}, false},
        {{"import", "--cell", "16-16", "a", "b"}, false},
        {{"import", "--codes", "4-4", "a", "b"}, true},
        {{"import", "--codes", "5-4", "a", "b"}, false},
        {{"import", "--codes", "0-65536", "a", "b"}, false},
        {{"import", "--codes", "1x2", "a", "b"}, false},
    };
    for (const Case& c : cases)
    {
        std::string strArgs;
        for (const std::string& a : c.args)
            strArgs += "[" + a + "]";
        EXPECT_EQ(ParseConvArgs(c.args).strError.empty(), c.bOk) << strArgs;
    }
    EXPECT_EQ(ParseConvArgs({"--to", ".bmp", "-j", "000002", "a"}).strError, "'-j 000002': expected 1 to 256 workers");
    EXPECT_EQ(ParseConvArgs({"--size", "00016x00001"}).steps.at(0).nWidth, 16);
}

TEST(ConvArgs, TheHelpListsEveryDepthImportTakes)
{
    std::string strDepths;
    for (int n = 0; n <= 64; ++n)
        if (ParseConvArgs({"import", "--bpp", std::to_string(n), "in.png", "out.tim"}).strError.empty())
        {
            if (!strDepths.empty())
                strDepths += "|";
            strDepths += std::to_string(n);
        }
    EXPECT_EQ(strDepths, "4|8|16|24");
    const std::string strUsage = ConvUsageText();
    std::string strUsageLine = "import [--bpp ";
    strUsageLine += strDepths;
    strUsageLine += "]";
    std::string strOptionLine = "\n  --bpp ";
    strOptionLine += strDepths;
    strOptionLine += " ";
    EXPECT_NE(strUsage.find(strUsageLine), std::string::npos);
    EXPECT_NE(strUsage.find(strOptionLine), std::string::npos);
}
