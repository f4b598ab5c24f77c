// vellumconv thumbnail through the program: every input export reads comes out as an RGBA PNG
// whose pixels are export's, grown by a whole factor or shrunk to fit; a refusal writes nothing.

#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunResult;

// The colour of pixel (x, y) whatever the PNG's kind.
PngColor PixelAt(const PngPicture& pic, std::uint32_t x, std::uint32_t y)
{
    const std::size_t i = std::size_t{y} * pic.nWidth + x;
    if (pic.bIndexed)
        return pic.palette.at(pic.pixels.at(i));
    return {pic.pixels.at(4 * i), pic.pixels.at(4 * i + 1), pic.pixels.at(4 * i + 2), pic.pixels.at(4 * i + 3)};
}

bool operator==(const PngColor& a, const PngColor& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

class ConvThumbnailTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-thumb-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    RunResult Run(const std::vector<std::string>& args, const convproc::RunOptions& options = {}) const
    {
        return convproc::Run(VELLUMCONV_PATH, args, m_dir, options);
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Thumbnails strName at nSize and checks it against export's picture of the same file:
    // the size wanted, and each pixel the export pixel under its centre.
    void Check(const std::string& strName, const Bytes& data, std::uint32_t nSize, std::uint32_t nWidth,
               std::uint32_t nHeight) const
    {
        SCOPED_TRACE(strName);
        WriteBytes(m_dir / strName, data);
        const RunResult e = Run({"export", strName, "export.png"});
        ASSERT_EQ(e.nExit, 0) << e.err;
        const RunResult t = Run({"thumbnail", "-s", std::to_string(nSize), strName, "thumb.png"});
        ASSERT_EQ(t.nExit, 0) << t.err;
        EXPECT_EQ(t.err, "");
        EXPECT_EQ(t.out, "size:" + std::to_string(nWidth) + "x" + std::to_string(nHeight) + "\n");
        const PngPicture source = exsample::Decode(ReadBytes(m_dir / "export.png"));
        const PngPicture thumb = exsample::Decode(ReadBytes(m_dir / "thumb.png"));
        ASSERT_EQ(thumb.nWidth, nWidth);
        ASSERT_EQ(thumb.nHeight, nHeight);
        EXPECT_EQ(thumb.nColorType, 6);  // RGBA
        for (std::uint32_t y = 0; y < nHeight; ++y)
            for (std::uint32_t x = 0; x < nWidth; ++x)
            {
                const std::uint32_t sx = static_cast<std::uint32_t>((2 * std::uint64_t{x} + 1) * source.nWidth / (2 * nWidth));
                const std::uint32_t sy = static_cast<std::uint32_t>((2 * std::uint64_t{y} + 1) * source.nHeight / (2 * nHeight));
                ASSERT_TRUE(PixelAt(thumb, x, y) == PixelAt(source, sx, sy)) << x << "," << y;
            }
        fs::remove(m_dir / strName);
        fs::remove(m_dir / "export.png");
        fs::remove(m_dir / "thumb.png");
    }

    fs::path m_dir;
};

exsample::TimShape Tim(int nBpp, std::uint16_t nUnits, std::uint16_t nHeight)
{
    exsample::TimShape s;
    s.nBpp = nBpp;
    s.nUnits = nUnits;
    s.nHeight = nHeight;
    s.nClutWidth = nBpp == 4 ? 16 : 256;
    return s;
}

}  // namespace

// A 64x32 picture at 128 doubles, each pixel a 2x2 square of export's colour.
TEST_F(ConvThumbnailTest, GrowsASmallPictureByAWholeFactor)
{
    Check("small.tim", exsample::MakeTim(Tim(8, 32, 32)), 128, 128, 64);
    const PngPicture thumb = [&] {
        WriteBytes(m_dir / "small.tim", exsample::MakeTim(Tim(8, 32, 32)));
        EXPECT_EQ(Run({"thumbnail", "small.tim", "t.png"}).nExit, 0);
        return exsample::Decode(ReadBytes(m_dir / "t.png"));
    }();
    ASSERT_EQ(thumb.nWidth, 128u);  // the default SIZE
    for (std::uint32_t y = 0; y < 64; y += 2)
        for (std::uint32_t x = 0; x < 128; x += 2)
        {
            const PngColor c = PixelAt(thumb, x, y);
            ASSERT_TRUE(c == PixelAt(thumb, x + 1, y) && c == PixelAt(thumb, x, y + 1) && c == PixelAt(thumb, x + 1, y + 1));
        }
    // Between SIZE/2 and SIZE a picture keeps its size; 5x3 at 128 grows 25 times.
    Check("fits.tim", exsample::MakeTim(Tim(8, 40, 20)), 128, 80, 20);
    exsample::BmpShape bmp;
    Check("tiny.bmp", exsample::MakeBmp(bmp), 128, 125, 75);
    Check("one.bmp", exsample::MakeBmp(bmp), 4, 4, 2);
}

// A larger picture shrinks until its longer side is SIZE, the other side rounded.
TEST_F(ConvThumbnailTest, ShrinksALargePictureToSize)
{
    exsample::BmpShape bmp;
    bmp.nWidth = 512;
    bmp.nHeight = 256;
    Check("wide.bmp", exsample::MakeBmp(bmp), 128, 128, 64);
    bmp.nWidth = 100;
    bmp.nHeight = -300;  // top-down, taller than wide; 100 * 128 / 300 = 42.7
    Check("tall.bmp", exsample::MakeBmp(bmp), 128, 43, 128);
    bmp.nWidth = 1000;
    bmp.nHeight = 1;
    Check("line.bmp", exsample::MakeBmp(bmp), 10, 10, 1);
    Check("dot.bmp", exsample::MakeBmp(bmp), 1, 1, 1);
}

// Every kind export reads: TIMs of each depth (CLUT row 0 of two), BMPs, both kinds of sheet
// on export's grid.
TEST_F(ConvThumbnailTest, ReadsWhatExportReads)
{
    exsample::TimShape rows = Tim(4, 8, 16);
    rows.nClutHeight = 2;
    Check("four.tim", exsample::MakeTim(rows), 128, 128, 64);
    Check("sixteen.tim", exsample::MakeTim(Tim(16, 20, 10)), 128, 120, 60);
    exsample::TimShape truecolour = Tim(24, 30, 10);
    truecolour.bClut = false;
    Check("truecolour.tim", exsample::MakeTim(truecolour), 128, 120, 60);
    exsample::TimShape grey = Tim(8, 4, 8);
    grey.bClut = false;
    WriteBytes(m_dir / "grey.tim", exsample::MakeTim(grey));
    EXPECT_EQ(Run({"thumbnail", "grey.tim", "grey.png"}).nExit, 0);  // in greys, with export's note
    exsample::BmpShape bmp;
    bmp.nBits = 4;
    Check("four.bmp", exsample::MakeBmp(bmp), 128, 125, 75);
    bmp.nBits = 24;
    Check("rgb.bmp", exsample::MakeBmp(bmp), 128, 125, 75);
    // Export's grid has a cell for every code from 0: four rows of 8 pixels, and three.
    Check("sheet.fnt", MakeSampleBfnt(8, 8, 32, 63), 128, 128, 32);
    Check("sheet16.fnt", MakeSampleBfnt16(8, 8, 32, 47), 256, 256, 48);
}

// A PNG is a picture already: an export's PNG gives the thumbnail of the file it came from,
// and a PNG cut short is refused by its decoder.
TEST_F(ConvThumbnailTest, ReadsPng)
{
    WriteBytes(m_dir / "in.tim", exsample::MakeTim(Tim(4, 8, 16)));
    ASSERT_EQ(Run({"export", "in.tim", "in.png"}).nExit, 0);
    ASSERT_EQ(Run({"thumbnail", "in.tim", "from-tim.png"}).nExit, 0);
    const RunResult r = Run({"thumbnail", "in.png", "from-png.png"});
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "from-png.png"), ReadBytes(m_dir / "from-tim.png"));
    Bytes cut = ReadBytes(m_dir / "in.png");
    cut.resize(cut.size() - 20);
    WriteBytes(m_dir / "cut.png", cut);
    const RunResult c = Run({"thumbnail", "cut.png", "none.png"});
    EXPECT_EQ(c.nExit, 1);
    EXPECT_EQ(c.err.rfind("vellumconv: cut.png: ", 0), 0u) << c.err;
    EXPECT_FALSE(fs::exists(m_dir / "none.png"));
}

// Standard input as IN, as the verbs read it.
TEST_F(ConvThumbnailTest, ReadsStandardInput)
{
    const Bytes tim = exsample::MakeTim(Tim(8, 32, 32));
    WriteBytes(m_dir / "in.tim", tim);
    ASSERT_EQ(Run({"thumbnail", "in.tim", "file.png"}).nExit, 0);
    convproc::RunOptions options;
    options.strStdin.assign(tim.begin(), tim.end());
    const RunResult r = Run({"thumbnail", "-", "stdin.png"}, options);
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "stdin.png"), ReadBytes(m_dir / "file.png"));
}

// A file export refuses gets export's lines and exit 1; OUT stays as it was, and nothing
// else is left in the folder.
TEST_F(ConvThumbnailTest, RefusedInputWritesNothing)
{
    Bytes cut = exsample::MakeTim(Tim(8, 32, 32));
    cut.resize(cut.size() - 100);
    WriteBytes(m_dir / "cut.tim", cut);
    WriteBytes(m_dir / "text.tim", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    const Bytes old{1, 2, 3};
    WriteBytes(m_dir / "old.png", old);
    for (const char* pszIn : {"cut.tim", "text.tim", "missing.tim"})
    {
        SCOPED_TRACE(pszIn);
        const RunResult e = Run({"export", pszIn, "export.png"});
        for (const char* pszOut : {"new.png", "old.png"})
        {
            const RunResult r = Run({"thumbnail", pszIn, pszOut});
            EXPECT_EQ(r.nExit, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, e.err);
        }
        EXPECT_EQ(ReadBytes(m_dir / "old.png"), old);
        EXPECT_EQ(Names(), (std::vector<std::string>{"cut.tim", "old.png", "text.tim"}));
    }
}

// A SIZE outside 1 to 4096, a missing or extra path, a name that is not .png and '-' as OUT
// are usage errors: exit 2, nothing written.
TEST_F(ConvThumbnailTest, BadCommandLinesAreUsageErrors)
{
    WriteBytes(m_dir / "in.tim", exsample::MakeTim(Tim(8, 32, 32)));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"thumbnail", "-s", "0", "in.tim", "out.png"},
          {"thumbnail", "-s", "4097", "in.tim", "out.png"},
          {"thumbnail", "-s", "12x", "in.tim", "out.png"},
          {"thumbnail", "-s", "-5", "in.tim", "out.png"},
          {"thumbnail", "-s", "in.tim", "out.png"},
          {"thumbnail", "in.tim"},
          {"thumbnail", "in.tim", "out.png", "more.png"},
          {"thumbnail", "in.tim", "out.bmp"},
          {"thumbnail", "in.tim", "-"},
          {"thumbnail", "--size", "64", "in.tim", "out.png"}})
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.nExit, 2) << args[2] << " " << r.err;
        EXPECT_NE(r.err.find("Try 'vellumconv --help'."), std::string::npos) << r.err;
    }
    EXPECT_EQ(Names(), std::vector<std::string>{"in.tim"});
    const RunResult edge = Run({"thumbnail", "-s", "4096", "in.tim", "out.png"});
    EXPECT_EQ(edge.nExit, 0) << edge.err;
    EXPECT_EQ(edge.out, "size:4096x2048\n");
    const RunResult help = Run({"thumbnail", "--help"});
    EXPECT_EQ(help.nExit, 0);
    EXPECT_EQ(help.out.rfind("Usage: vellumconv thumbnail [-s SIZE] IN OUT.png\n", 0), 0u) << help.out;
}
