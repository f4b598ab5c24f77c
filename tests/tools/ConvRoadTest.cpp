// Conversions between the three formats through the vellumconv program: `vellumconv IN OUT`
// and `--to` batches write what `export IN X.png` then `import X.png OUT` write, at every
// depth and in the file's own colours; names of picture formats vellumconv does not write
// are refused, and a sheet under another name is told.

#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include "formats/ByteOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunResult;

struct Input
{
    std::string strName;
    Bytes data;
};

exsample::TimShape Tim(int nBpp, std::uint16_t nUnits, std::uint16_t nClutWidth, std::uint16_t nClutRows)
{
    exsample::TimShape s;
    s.nBpp = nBpp;
    s.nUnits = nUnits;
    s.nHeight = 16;  // a sheet takes whole 16 x 16 cells
    s.bClut = nClutRows > 0;
    s.nClutWidth = nClutWidth;
    s.nClutHeight = nClutRows;
    return s;
}

exsample::BmpShape Bmp(int nBits)
{
    exsample::BmpShape s;
    s.nBits = nBits;
    s.nWidth = 16;  // an 8-bit TIM holds even widths, a 4-bit one multiples of 4
    s.nHeight = 16;
    return s;
}

std::vector<Input> Inputs()
{
    return {
        {"tim4.tim", exsample::MakeTim(Tim(4, 4, 16, 3))},
        {"tim8.tim", exsample::MakeTim(Tim(8, 8, 256, 2))},
        {"tim16.tim", exsample::MakeTim(Tim(16, 16, 0, 0))},
        {"tim24.tim", exsample::MakeTim(Tim(24, 24, 0, 0))},
        {"bmp1.bmp", exsample::MakeBmp(Bmp(1))},
        {"bmp4.bmp", exsample::MakeBmp(Bmp(4))},
        {"bmp8.bmp", exsample::MakeBmp(Bmp(8))},
        {"bmp24.bmp", exsample::MakeBmp(Bmp(24))},
        {"sheet.fnt", MakeSampleBfnt(8, 8, 32, 63)},
        {"sheet16.fnt", MakeSampleBfnt16(16, 16, 0, 9)},
        {"bare16.fnt", MakeSampleBfnt16(16, 16, 48, 57, false)},
    };
}

// A 5-bit component as a TIM's colour gives it back in 8 bits.
std::uint8_t Widened(std::uint32_t v)
{
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

// A 16 x 16 bitmap whose pixel i is index i, and colour i one of its own that a TIM's 15-bit
// table keeps.
Bytes EveryIndexBmp()
{
    Bytes b(14 + 40 + 1024 + 256, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(&b[2], static_cast<std::uint32_t>(b.size()));
    PutLe32(&b[10], 14 + 40 + 1024);
    PutLe32(&b[14], 40);
    PutLeS32(&b[18], 16);
    PutLeS32(&b[22], 16);
    PutLe16(&b[26], 1);
    PutLe16(&b[28], 8);
    PutLe32(&b[34], 256);
    for (std::uint32_t i = 0; i < 256; ++i)
    {
        b[54 + 4 * i + 0] = Widened((i * 7) & 31);  // blue
        b[54 + 4 * i + 1] = Widened(i >> 5);        // green
        b[54 + 4 * i + 2] = Widened(i & 31);        // red
        b[14 + 40 + 1024 + i] = static_cast<std::uint8_t>(i);
    }
    return b;
}

// The colours of the top-left 16 x 16 pixels of an 8-bit bottom-up BMP, rows top to bottom.
std::vector<std::array<std::uint8_t, 3>> CornerColours(const Bytes& bmp)
{
    std::vector<std::array<std::uint8_t, 3>> colours;
    const std::uint32_t nOff = GetLe32(&bmp.at(10));
    const std::uint32_t nTable = 14 + GetLe32(&bmp.at(14));
    const auto nWidth = static_cast<std::size_t>(GetLeS32(&bmp.at(18)));
    const auto nHeight = static_cast<std::size_t>(GetLeS32(&bmp.at(22)));
    const std::size_t nStride = (nWidth + 3) & ~std::size_t{3};
    for (std::size_t y = 0; y < 16; ++y)
        for (std::size_t x = 0; x < 16; ++x)
        {
            const std::uint8_t v = bmp.at(nOff + (nHeight - 1 - y) * nStride + x);
            const std::uint8_t* q = &bmp.at(nTable + 4u * v);
            colours.push_back({q[2], q[1], q[0]});
        }
    return colours;
}

std::vector<std::pair<std::string, Bytes>> Snapshot(const fs::path& dir)
{
    std::vector<std::pair<std::string, Bytes>> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files.emplace_back(fs::relative(e.path(), dir).string(), ReadBytes(e.path()));
    std::sort(files.begin(), files.end());
    return files;
}

class ConvRoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-road-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    RunResult Run(const std::vector<std::string>& args) const { return convproc::Run(VELLUMCONV_PATH, args, m_dir); }
    void Put(const std::string& strName, const Bytes& data) const { WriteBytes(m_dir / strName, data); }
    Bytes Get(const std::string& strName) const { return ReadBytes(m_dir / strName); }
    // What `export IN X.png` then `import X.png OUT` write, or nothing when either refuses.
    Bytes ThroughTheVerbs(const std::string& strIn, const std::string& strOut) const
    {
        const std::string strPng = "verbs/" + strIn + ".png";
        fs::create_directories(m_dir / "verbs");
        if (Run({"export", strIn, strPng}).nExit != 0 || Run({"import", strPng, strOut}).nExit != 0)
            return {};
        return Get(strOut);
    }

    fs::path m_dir;
};

}  // namespace

TEST_F(ConvRoadTest, EveryDepthConvertsAsExportThenImportAloneAndInABatch)
{
    const std::vector<Input> inputs = Inputs();
    std::vector<std::string> names;
    for (const Input& in : inputs)
    {
        Put(in.strName, in.data);
        names.push_back(in.strName);
    }
    for (const std::string strExt : {".bmp", ".tim", ".fnt"})
    {
        SCOPED_TRACE(strExt);
        std::vector<std::string> batch = {"--to", strExt, "--out-dir", "batch" + strExt, "-j", "2"};
        batch.insert(batch.end(), names.begin(), names.end());
        const RunResult r = Run(batch);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.err, "");
        for (const Input& in : inputs)
        {
            SCOPED_TRACE(in.strName);
            const std::string strStem = fs::path(in.strName).stem().string();
            const Bytes expected = ThroughTheVerbs(in.strName, "verbs/" + strStem + strExt);
            ASSERT_FALSE(expected.empty());
            const std::string strOut = "plain-" + strStem + strExt;
            const RunResult plain = Run({in.strName, strOut});
            EXPECT_EQ(plain.nExit, 0) << plain.err;
            EXPECT_EQ(plain.err, "");
            EXPECT_EQ(plain.out.rfind("size:", 0), 0u) << plain.out;
            EXPECT_EQ(Get(strOut), expected);
            EXPECT_EQ(Get("batch" + strExt + "/" + strStem + strExt), expected);
            // The batch's status line is the single run's.
            EXPECT_NE(r.out.find(in.strName + "\tbatch" + strExt + "/" + strStem + strExt + "\t" + plain.out),
                      std::string::npos)
                << r.out;
        }
    }
}

TEST_F(ConvRoadTest, EveryIndexKeepsItsOwnColourThroughEachFormat)
{
    const Bytes original = EveryIndexBmp();
    Put("all.bmp", original);
    const auto colours = CornerColours(original);
    for (const char* pszVia : {"via.tim", "via.fnt", "via.bmp"})
    {
        SCOPED_TRACE(pszVia);
        ASSERT_EQ(Run({"all.bmp", pszVia}).nExit, 0);
        const RunResult r = Run({pszVia, "back.bmp"});
        ASSERT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(CornerColours(Get("back.bmp")), colours);
    }
    // An 8-bit TIM with every CLUT entry used, as the window's palette never held it.
    Put("t8.tim", exsample::MakeTim(Tim(8, 64, 256, 1)));
    ASSERT_EQ(Run({"t8.tim", "t8.bmp"}).nExit, 0);
    EXPECT_EQ(Get("t8.bmp"), ThroughTheVerbs("t8.tim", "verbs/t8.bmp"));
}

TEST_F(ConvRoadTest, PictureExtensionsVellumconvDoesNotWriteAreRefusedWritingNothing)
{
    Put("pic.tim", MakeSampleTim(8, 8));
    ASSERT_EQ(Run({"export", "pic.tim", "pic.png"}).nExit, 0);
    const auto before = Snapshot(m_dir);
    for (const std::string strExt : {".jpg", ".JPEG", ".gif", ".webp", ".Tif", ".tiff", ".tga", ".pcx", ".ico", ".dds",
                                     ".qoi", ".AVIF"})
    {
        SCOPED_TRACE(strExt);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"pic.tim", "out" + strExt}, {"pic.png", "out" + strExt},
              {"import", "pic.png", "out" + strExt}, {"--to", strExt, "pic.tim"}, {"--to", strExt.substr(1), "pic.tim"},
              {"import", "--to", strExt, "pic.png"}})
        {
            const RunResult r = Run(args);
            EXPECT_EQ(r.nExit, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find("vellumconv does not write"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("\nvellumconv: write .png, then convert it\n"), std::string::npos) << r.err;
        }
        EXPECT_EQ(Snapshot(m_dir), before);
    }
    // The step form keeps the window's rule: any other name is a sheet.
    EXPECT_EQ(Run({"--open", "pic.tim", "--save", "step.jpg"}).nExit, 0);
    EXPECT_EQ(Get("step.jpg").at(0), 'B');
}

TEST_F(ConvRoadTest, ASheetUnderAnotherExtensionIsTold)
{
    Put("pic.tim", MakeSampleTim(16, 16));
    for (const char* pszName : {"out.fnt", "out.BFNT"})
    {
        const RunResult r = Run({"pic.tim", pszName});
        EXPECT_EQ(r.nExit, 0);
        EXPECT_EQ(r.err, "") << pszName;
    }
    for (const char* pszName : {"out.dat", "noextension", "dir.d/sheet"})
    {
        SCOPED_TRACE(pszName);
        fs::create_directories(m_dir / "dir.d");
        const RunResult r = Run({"pic.tim", pszName});
        EXPECT_EQ(r.nExit, 0);
        EXPECT_EQ(r.err, std::string("vellumconv: ") + pszName +
                             ": written as a BFNT sheet (its extension is not .fnt or .bfnt)\n");
        EXPECT_EQ(Get(pszName), Get("out.fnt"));
    }
    RunResult r = Run({"--to", "dat", "--out-dir", "batch", "pic.tim"});
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.err, "vellumconv: '--to .dat': each output is written as a BFNT sheet (its extension is not .fnt or "
                     ".bfnt)\n");
    EXPECT_EQ(Get("batch/pic.dat"), Get("out.fnt"));
    r = Run({"--to", ".bfnt", "--out-dir", "batch", "pic.tim"});
    EXPECT_EQ(r.err, "");
}

TEST_F(ConvRoadTest, ARefusedInputGetsExportsLinesAndLeavesNothing)
{
    Put("photo.bmp", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0});
    Put("junk.tim", {'n', 'o', 'p', 'e'});
    exsample::BmpShape rle;
    rle.nCompression = 1;
    rle.nWidth = 4000;
    rle.nHeight = 4000;
    rle.rle = {0, 1};
    Put("huge.bmp", exsample::MakeBmp(rle));
    const auto before = Snapshot(m_dir);
    for (const char* pszIn : {"photo.bmp", "junk.tim", "huge.bmp"})
    {
        SCOPED_TRACE(pszIn);
        const RunResult verb = Run({"export", pszIn, "x.png"});
        ASSERT_EQ(verb.nExit, 1);
        const RunResult plain = Run({pszIn, "out.tim"});
        EXPECT_EQ(plain.nExit, 1);
        EXPECT_EQ(plain.err, verb.err);
        EXPECT_EQ(plain.out, "");
        EXPECT_EQ(Snapshot(m_dir), before);
    }
    EXPECT_NE(Run({"photo.bmp", "out.tim"}).err.find("; no form of vellumconv reads it"), std::string::npos);
}
