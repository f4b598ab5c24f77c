// Files cut short, through the vellumconv program: every form names the cut (the header, the
// CLUT block, the image block, a sheet's palette block or glyphs), and no hint points to a
// form that would refuse the file too; where a hint names a form, that form reads the file.

#include "tests/exchange/ExchangeSamples.h"
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
using convproc::RunResult;

struct CutCase
{
    std::string strName;  // the file's name, with its extension
    Bytes data;
    std::string strCut;   // export's message; empty for a whole file
};

Bytes Cut(const Bytes& b, std::size_t n)
{
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

std::vector<CutCase> TimCases()
{
    const std::string strHeader = "the TIM's header is cut short.";
    const std::string strClut = "the TIM's CLUT block is cut short.";
    const std::string strImage = "the TIM's image block is cut short.";
    std::vector<CutCase> cases;
    for (const int nBpp : {4, 8, 16, 24})
    {
        exsample::TimShape s;
        s.nBpp = nBpp;
        s.nUnits = 6;
        s.bClut = nBpp <= 8;
        s.nClutWidth = nBpp == 4 ? 16 : 256;
        const Bytes tim = exsample::MakeTim(s);
        const std::size_t nImageAt = s.bClut ? 8 + 12 + 2 * std::size_t{s.nClutWidth} : 8;
        const std::string strBits = std::to_string(nBpp);
        cases.push_back({strBits + "-whole.tim", tim, ""});
        cases.push_back({strBits + "-in-header.tim", Cut(tim, 5), strHeader});
        if (s.bClut)
        {
            cases.push_back({strBits + "-in-clut-header.tim", Cut(tim, 14), strClut});
            cases.push_back({strBits + "-in-colours.tim", Cut(tim, nImageAt - 2), strClut});
        }
        cases.push_back({strBits + "-in-image-header.tim", Cut(tim, nImageAt + 6), strImage});
        cases.push_back({strBits + "-in-pixels.tim", Cut(tim, tim.size() - 1), strImage});
    }
    return cases;
}

std::vector<CutCase> SheetCases()
{
    std::vector<CutCase> cases;
    const Bytes sheets[] = {MakeSampleBfnt16(8, 8, 32, 40), MakeSampleBfnt(8, 8, 32, 40)};
    const std::string strColours[] = {"16", "256"};
    for (int i = 0; i < 2; ++i)
    {
        const Bytes& sheet = sheets[i];
        const std::string strKind = strColours[i];
        cases.push_back({strKind + "-whole.fnt", sheet, ""});
        cases.push_back({strKind + "-in-header.fnt", Cut(sheet, 20), "the BFNT's header is cut short."});
        cases.push_back({strKind + "-in-palette.fnt", Cut(sheet, 32 + 10), "the BFNT's palette block is cut short."});
        cases.push_back({strKind + "-in-glyphs.fnt", Cut(sheet, sheet.size() - 1), "the BFNT's glyphs are cut short."});
    }
    return cases;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t nStart = 0; nStart < text.size();)
    {
        const std::size_t nEnd = std::min(text.find('\n', nStart), text.size());
        lines.push_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return lines;
}

class ConvCutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-cut-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    RunResult Run(const std::vector<std::string>& args) const { return convproc::Run(VELLUMCONV_PATH, args, m_dir); }

    // Every form names the cut alone: the shorthand and a batch give export's own line.
    void Check(const CutCase& c) const
    {
        SCOPED_TRACE(c.strName);
        WriteBytes(m_dir / c.strName, c.data);
        const std::string strPrefix = "vellumconv: " + c.strName + ": ";
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{c.strName, "out.bmp"}, {"--to", ".bmp", "--out-dir", "out", c.strName}})
        {
            const RunResult r = Run(args);
            const std::vector<std::string> lines = Lines(r.err);
            if (!c.strCut.empty())
            {
                EXPECT_EQ(r.nExit, 1);
                ASSERT_EQ(lines.size(), 1u) << r.err;
                EXPECT_EQ(lines[0], strPrefix + c.strCut);
            }
            // A hint that names a form names one that reads the file.
            for (const std::string& strLine : lines)
                if (const std::size_t at = strLine.find("`vellumconv export`"); at != std::string::npos)
                {
                    const RunResult e = Run({"export", c.strName, "hinted.png"});
                    EXPECT_EQ(e.nExit, 0) << strLine << "\n" << e.err;
                }
        }
        if (!c.strCut.empty())
        {
            const fs::path batchOut = m_dir / "out" / fs::path(c.strName).replace_extension(".bmp");
            EXPECT_FALSE(fs::exists(m_dir / "out.bmp") || fs::exists(batchOut));
        }
        fs::remove(m_dir / "out.bmp");
        fs::remove_all(m_dir / "out");
        const RunResult r = Run({"export", c.strName, "shown.png"});
        EXPECT_EQ(r.nExit, c.strCut.empty() ? 0 : 1);
        EXPECT_EQ(r.err, c.strCut.empty() ? "" : strPrefix + c.strCut + "\n");
        EXPECT_EQ(fs::exists(m_dir / "shown.png"), c.strCut.empty());
        fs::remove(m_dir / "shown.png");
    }

    fs::path m_dir;
};

}  // namespace

TEST_F(ConvCutTest, ATimCutAnywhereIsNamedAsCutByEveryForm)
{
    for (const CutCase& c : TimCases())
        Check(c);
}

TEST_F(ConvCutTest, ASheetCutAnywhereIsNamedAsCutByEveryForm)
{
    for (const CutCase& c : SheetCases())
        Check(c);
}
