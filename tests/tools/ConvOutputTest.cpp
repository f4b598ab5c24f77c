// What the converter writes besides its files, through the program: with standard output on
// a full device every verb still puts its files in place, then fails and says why; and no
// output may take a name the save keeps for its temporaries and journals.

#include "exchange/Exchange.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunOptions;
using convproc::RunResult;

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class ConvOutputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-output-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
        fs::create_directories(m_dir / "in");
        fs::create_directories(m_dir / "out");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) const
    {
        return convproc::Run(VELLUMCONV_PATH, args, m_dir, options);
    }

    fs::path m_dir;
};

}  // namespace

TEST_F(ConvOutputTest, AFullStandardOutputFailsEveryVerbAfterItsFilesAreInPlace)
{
    const Bytes tim = MakeSampleTim(16, 12);
    WriteBytes(m_dir / "in/a.tim", tim);
    WriteBytes(m_dir / "in/b.tim", MakeSampleTim(8, 8));
    Bytes png;
    std::string strError;
    ASSERT_TRUE(ExportToPng(tim.data(), tim.size(), ExportOptions{}, png, strError)) << strError;
    WriteBytes(m_dir / "in/a.png", png);

    struct Case
    {
        std::vector<std::string> args;
        std::vector<std::string> outputs;  // what must be in place all the same
    };
    const Case cases[] = {
        {{"in/a.tim", "out/single.bmp"}, {"out/single.bmp"}},
        {{"--open", "in/a.tim", "--save", "out/steps.bmp"}, {"out/steps.bmp"}},
        {{"--to", ".bmp", "--out-dir", "out/batch", "-j", "2", "in/a.tim", "in/b.tim"}, {"out/batch/a.bmp", "out/batch/b.bmp"}},
        {{"export", "--to", ".png", "--out-dir", "out/exports", "in/a.tim", "in/b.tim"},
         {"out/exports/a.png", "out/exports/b.png"}},
        {{"scan", "in/a.tim"}, {}},
        {{"scan", "--extract", "out/x", "in/a.tim"}, {"out/x/a.tim@0.tim"}},
        {{"export", "in/a.tim", "out/export.png"}, {"out/export.png"}},
        {{"import", "in/a.png", "out/import.tim"}, {"out/import.tim"}},
        {{"palette", "export", "in/a.tim", "out/a.gpl"}, {"out/a.gpl"}},
        {{"palette", "import", "in/a.tim", "in/b.tim", "out/palette.tim"}, {"out/palette.tim"}},
        {{"--help"}, {}},
        {{"--version"}, {}},
    };
    RunOptions full;
    full.strStdoutFile = "/dev/full";
    for (const Case& c : cases)
    {
        std::string strArgs;
        for (const std::string& a : c.args)
            strArgs += " " + a;
        SCOPED_TRACE(strArgs);
        // What the run writes when its standard output takes it.
        const RunResult fine = Run(c.args);
        ASSERT_EQ(fine.nExit, 0) << fine.err;
        ASSERT_NE(fine.out, "");
        for (const std::string& strOut : c.outputs)
            fs::remove(m_dir / strOut);

        const RunResult r = Run(c.args, full);
        EXPECT_EQ(r.nExit, 1);
        EXPECT_TRUE(Has(r.err, "vellumconv: cannot write to standard output: No space left on device.\n")) << r.err;
        for (const std::string& strOut : c.outputs)
            EXPECT_TRUE(fs::is_regular_file(m_dir / strOut)) << strOut;
    }
}

TEST_F(ConvOutputTest, NoOutputTakesTheNameOfASavesTemporaryOrJournal)
{
    WriteBytes(m_dir / "in/.keep.tim", MakeSampleTim(16, 16));  // a sheet takes whole 16 x 16 cells
    WriteBytes(m_dir / "in/a.tim", MakeSampleTim(8, 8));
    const std::vector<std::vector<std::string>> lines = {
        // A later save into "out" would sweep the output away as a dead run's temporary.
        {"--to", ".afxsave-ABCDEF", "--out-dir", "out", "in/.keep.tim"},
        {"--to", ".t.afxsave-journal-ABCDEF", "--out-dir", "out", "in/a.tim"},
        {"in/a.tim", "out/.a.bmp.afxsave-ABCDEF"},
        {"in/a.tim", "out/.a.bmp.vellum-1-2.afxsave-ABCDEF"},
        {"in/a.tim", "out/.a.bmp.afxsave-journal-ABCDEF"},
        {"export", "in/a.tim", "out/.a.afxsave-journal-ABCDEF.png"},
        {"--open", "in/a.tim", "--save", "out/ok.bmp", "--save", "out/.a.tim.afxsave-ABCDEF"},
        {"--open", "in/a.tim", "--render", "out/.r.png.afxsave-journal-x"},
        {"palette", "export", "in/a.tim", "out/.p.afxsave-journal-ABCDEF.gpl"},
    };
    for (const std::vector<std::string>& args : lines)
    {
        std::string strArgs;
        for (const std::string& a : args)
            strArgs += " " + a;
        SCOPED_TRACE(strArgs);
        const RunResult r = Run(args);
        EXPECT_EQ(r.nExit, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(Has(r.err, "name the output otherwise") || Has(r.err, "choose another extension")) << r.err;
        EXPECT_TRUE(Has(r.err, "Try 'vellumconv --help'.")) << r.err;
        EXPECT_TRUE(fs::is_empty(m_dir / "out"));
    }
    // Names that only look alike are outputs like any other.
    const RunResult r = Run({"--to", ".afxsave", "--out-dir", "out", "in/.keep.tim"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(m_dir / "out/.keep.afxsave"));
}

TEST_F(ConvOutputTest, AClosedStandardOutputTakesNoFileAndFailsTheRun)
{
    // The first file the run opens would otherwise be descriptor 1, and get the status lines.
    WriteBytes(m_dir / "in/a.tim", MakeSampleTim(16, 12));
    const RunResult expected = Run({"in/a.tim", "out/expected.bmp"});
    ASSERT_EQ(expected.nExit, 0) << expected.err;
    RunOptions closed;
    closed.bCloseStdout = true;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"in/a.tim", "out/a.bmp"}, {"--to", ".bmp", "--out-dir", "out", "in/a.tim"}})
    {
        SCOPED_TRACE(args.back());
        fs::remove(m_dir / "out/a.bmp");
        const RunResult r = Run(args, closed);
        EXPECT_EQ(r.nExit, 1);
        EXPECT_TRUE(Has(r.err, "cannot write to standard output: Bad file descriptor.")) << r.err;
        EXPECT_EQ(ReadBytes(m_dir / "out/a.bmp"), ReadBytes(m_dir / "out/expected.bmp"));
    }
}
