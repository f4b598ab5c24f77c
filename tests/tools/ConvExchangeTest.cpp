// The export and import verbs through the vellumconv program: files come back byte for
// byte, a refusal writes nothing and says why, and a batch of them writes what single runs
// write.

#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct RunResult
{
    int nExit = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char ch : s)
    {
        if (ch == '\'')
            q.append("'\\''");
        else
            q.push_back(ch);
    }
    q.push_back('\'');
    return q;
}

// Pieces put together one by one: gcc 12 misreads some one-line sums of strings.
std::string Join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& p : parts)
        s.append(p);
    return s;
}

RunResult RunConv(const std::vector<std::string>& args, const fs::path& dir)
{
    std::string strCommand = Join({"cd ", Quote(dir.string()), " && ", Quote(VELLUMCONV_PATH)});
    for (const std::string& a : args)
        strCommand.append(" ").append(Quote(a));
    strCommand.append(" 2>").append(Quote((dir / "stderr.txt").string()));
    RunResult r;
    std::FILE* pipe = ::popen(strCommand.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        r.out.append(buf, n);
    const int nStatus = ::pclose(pipe);
    r.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    std::ifstream err(dir / "stderr.txt", std::ios::binary);
    r.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return r;
}

class ConvExchangeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-png-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    fs::path m_dir;
};

}  // namespace

TEST_F(ConvExchangeTest, FilesComeBackByteForByteThroughPng)
{
    exsample::TimShape tim4;
    tim4.nBpp = 4;
    tim4.nUnits = 6;
    tim4.nClutWidth = 16;
    tim4.nClutHeight = 3;
    tim4.nClutX = 320;
    exsample::TimShape tim16;
    tim16.nBpp = 16;
    tim16.bClut = false;
    struct Case
    {
        const char* pszName;
        Bytes data;
        const char* pszStatus;
    };
    const Case cases[] = {
        {"four.tim", exsample::MakeTim(tim4), "size:24x3"},
        {"direct.tim", exsample::MakeTim(tim16), "size:4x3"},
        {"picture.bmp", MakeSampleBmp(40, 30), "size:40x30"},
        {"font.fnt", MakeSampleBfnt(8, 16, 32, 127), "size:128x128"},  // codes 0 to 31 stay empty cells
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        WriteBytes(m_dir / c.pszName, c.data);
        RunResult r = RunConv({"export", c.pszName, "out.png"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.out, Join({c.pszStatus, "\n"}));
        const std::string back = Join({"back", fs::path(c.pszName).extension().string()});
        r = RunConv({"import", "out.png", back}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(ReadBytes(m_dir / back), c.data);
    }
}

// A 16-colour sheet comes back byte for byte too, as 256-colour ones do.
TEST_F(ConvExchangeTest, SixteenColourSheetComesBackByteForByte)
{
    const Bytes font16 = ReadBytes(fs::path(VELLUM_SAMPLES_DIR) / "font16.fnt");
    WriteBytes(m_dir / "font16.fnt", font16);
    ASSERT_EQ(RunConv({"export", "font16.fnt", "x.png"}, m_dir).nExit, 0);
    const RunResult r = RunConv({"import", "x.png", "back.fnt"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "back.fnt"), font16);
}

// An editor mirrors a 4-bit export, drops the private chunk and adds a palette entry no
// pixel uses: the file imports at 4 bits, asked for or not.
TEST_F(ConvExchangeTest, EditedFourBitExportImportsAtFourBits)
{
    exsample::TimShape tim4;
    tim4.nBpp = 4;
    tim4.nUnits = 3;
    tim4.nClutWidth = 16;
    WriteBytes(m_dir / "sprites.tim", exsample::MakeTim(tim4));
    ASSERT_EQ(RunConv({"export", "sprites.tim", "sprites.png"}, m_dir).nExit, 0);
    PngPicture pic = exsample::Decode(ReadBytes(m_dir / "sprites.png"));
    for (std::uint32_t y = 0; y < pic.nHeight; ++y)
        std::reverse(pic.pixels.begin() + y * pic.nWidth, pic.pixels.begin() + (y + 1) * pic.nWidth);
    pic.palette.push_back(PngColor{255, 255, 255, 255});
    WriteBytes(m_dir / "edited.png", exsample::EncodeEdited(pic, false));

    RunResult r = RunConv({"import", "--bpp", "4", "edited.png", "asked.tim"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "size:12x3\n");
    r = RunConv({"import", "edited.png", "default.tim"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    const Bytes asked = ReadBytes(m_dir / "asked.tim");
    EXPECT_EQ(ReadBytes(m_dir / "default.tim"), asked);
    ASSERT_GE(asked.size(), 8u);
    EXPECT_EQ(GetLe32(&asked[4]), 8u);  // 4 bits with a CLUT

    // Exported again, it is the edited picture with the original palette.
    ASSERT_EQ(RunConv({"export", "asked.tim", "again.png"}, m_dir).nExit, 0);
    const PngPicture again = exsample::Decode(ReadBytes(m_dir / "again.png"));
    EXPECT_EQ(again.pixels, pic.pixels);
    EXPECT_EQ(again.palette.size(), 16u);
    EXPECT_EQ(exsample::ToRgb(again), exsample::ToRgb(pic));
}

// Import without the chunk writes a BMP every reader opens: rows padded to 4 bytes.
TEST_F(ConvExchangeTest, ImportedBmpRowsArePadded)
{
    const Bytes indices = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    WriteBytes(m_dir / "five.png", exsample::EncodeForeign(5, 2, indices, std::vector<PngColor>(11, PngColor{1, 2, 3, 255})));
    const RunResult r = RunConv({"import", "five.png", "five.bmp"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    const Bytes bmp = ReadBytes(m_dir / "five.bmp");
    ASSERT_EQ(bmp.size(), BMP_PIXEL_OFFSET + 16u);
    EXPECT_EQ(GetLe32(&bmp[34]), 16u);
    EXPECT_EQ(Bytes(bmp.begin() + BMP_PIXEL_OFFSET, bmp.end()), (Bytes{6, 7, 8, 9, 10, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}));
}

TEST_F(ConvExchangeTest, RefusalsWriteNothingAndSayWhy)
{
    exsample::TimShape tim;
    tim.nClutHeight = 2;
    WriteBytes(m_dir / "two.tim", exsample::MakeTim(tim));
    WriteBytes(m_dir / "kept.png", {'o', 'l', 'd'});
    RunResult r = RunConv({"export", "--clut", "2", "two.tim", "kept.png"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err, "vellumconv: two.tim: CLUT row 2 does not exist: the file has 2 rows.\n");
    EXPECT_EQ(ReadBytes(m_dir / "kept.png"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(r.out, "");

    // Any PNG whose width a 4-bit TIM cannot hold.
    ASSERT_EQ(RunConv({"export", "--clut", "1", "two.tim", "ok.png"}, m_dir).nExit, 0);
    WriteBytes(m_dir / "kept.tim", {'o', 'l', 'd'});
    r = RunConv({"import", "--bpp", "4", "ok.png", "kept.tim"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("vellumconv: ok.png: "), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "kept.tim"), (Bytes{'o', 'l', 'd'}));

    r = RunConv({"import", "missing.png", "x.bmp"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err, "vellumconv: missing.png: Cannot open \"missing.png\": No such file or directory.\n");
    EXPECT_FALSE(fs::exists(m_dir / "x.bmp"));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", "two.tim"}, {"export", "--bpp", "4", "two.tim", "a.png"},
          {"import", "--codes", "9-3", "ok.png", "a.fnt"}, {"import", "--cell", "0x8", "ok.png", "a.fnt"}})
    {
        r = RunConv(args, m_dir);
        EXPECT_EQ(r.nExit, 2) << args[1];
        EXPECT_FALSE(fs::exists(m_dir / "a.png"));
    }
}

TEST_F(ConvExchangeTest, BatchesOfExportsWriteWhatSingleRunsWrite)
{
    fs::create_directories(m_dir / "in");
    WriteBytes(m_dir / "in/a.bmp", MakeSampleBmp(16, 8));
    WriteBytes(m_dir / "in/b.tim", MakeSampleTim(8, 8));
    WriteBytes(m_dir / "in/c.fnt", MakeSampleBfnt(8, 8, 0, 9));
    RunResult r = RunConv({"export", "--columns", "4", "--to", ".png", "--out-dir", "png", "-j", "2", "in/a.bmp",
                           "in/b.tim", "in/c.fnt"},
                          m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "in/a.bmp\tpng/a.png\tsize:16x8\nin/b.tim\tpng/b.png\tsize:16x8\nin/c.fnt\tpng/c.png\tsize:32x24\n");
    // A batch takes --columns for its sheets; a single export of a picture refuses it.
    for (const char* pszName : {"a.bmp", "b.tim", "c.fnt"})
    {
        const std::string in = Join({"in/", pszName});
        const bool bSheet = fs::path(pszName).extension() == ".fnt";
        ASSERT_EQ(RunConv(bSheet ? std::vector<std::string>{"export", "--columns", "4", in, "single.png"}
                                 : std::vector<std::string>{"export", in, "single.png"},
                          m_dir)
                      .nExit,
                  0);
        EXPECT_EQ(ReadBytes(m_dir / "png" / fs::path(pszName).replace_extension(".png")),
                  ReadBytes(m_dir / "single.png"))
            << pszName;
    }
    r = RunConv({"import", "--to", ".tim", "--out-dir", "tim", "png/a.png", "png/b.png"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "tim/b.tim"), MakeSampleTim(8, 8));
}

// A texture without a CLUT goes out in greys with a note and comes back byte for byte; with
// --palette it shows in another file's colours and still comes back as it was.
TEST_F(ConvExchangeTest, TexturesWithoutAClutComeBackByteForByte)
{
    for (const int nBpp : {4, 8})
    {
        SCOPED_TRACE(nBpp);
        exsample::TimShape s;
        s.nBpp = nBpp;
        s.bClut = false;
        s.nUnits = 5;
        s.nImageX = 320;
        s.nImageY = 8;
        const Bytes texture = exsample::MakeTim(s);
        WriteBytes(m_dir / "texture.tim", texture);
        RunResult r = RunConv({"export", "texture.tim", "grey.png"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.out, Join({"size:", std::to_string(nBpp == 4 ? 20 : 10), "x3\n"}));
        EXPECT_EQ(r.err, Join({"vellumconv: texture.tim: ", nBpp == 4 ? "a 4" : "an 8",
                               "-bit TIM without a CLUT keeps its colours in another file; it is written in ",
                               nBpp == 4 ? "16" : "256", " greys ('--palette SOURCE[:ROW]' takes the colours from there).\n"}));
        r = RunConv({"import", "grey.png", "back.tim"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(ReadBytes(m_dir / "back.tim"), texture);
        // A conversion takes the same road: a BMP in the greys, with export's note, and a TIM
        // as it was, without one.
        r = RunConv({"texture.tim", "grey.bmp"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.err, Join({"vellumconv: texture.tim: ", nBpp == 4 ? "a 4" : "an 8",
                               "-bit TIM without a CLUT keeps its colours in another file; it is written in ",
                               nBpp == 4 ? "16" : "256", " greys ('--palette SOURCE[:ROW]' takes the colours from there).\n"}));
        ASSERT_EQ(RunConv({"import", "grey.png", "grey-verb.bmp"}, m_dir).nExit, 0);
        EXPECT_EQ(ReadBytes(m_dir / "grey.bmp"), ReadBytes(m_dir / "grey-verb.bmp"));
        r = RunConv({"texture.tim", "again.tim"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(ReadBytes(m_dir / "again.tim"), texture);

        exsample::TimShape pal;
        pal.nBpp = 8;
        pal.nClutHeight = 2;
        WriteBytes(m_dir / "pal.tim", exsample::MakeTim(pal));
        r = RunConv({"export", "--palette", "pal.tim:1", "texture.tim", "shown.png"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.err, "");
        r = RunConv({"import", "shown.png", "back2.tim"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(ReadBytes(m_dir / "back2.tim"), texture);
    }
}

// --palette other.tim:2 shows the picture in exactly the colours `export --clut 2 other.tim`
// shows, from any kind of palette source; the indices stay the file's.
TEST_F(ConvExchangeTest, PaletteFromElsewhereShowsThatRow)
{
    exsample::TimShape other;  // 8 bits, 4 CLUT rows at 0,480, the image at 320,0
    other.nClutHeight = 4;
    other.nClutY = 480;
    other.nImageX = 320;
    other.nSeed = 5;
    WriteBytes(m_dir / "other.tim", exsample::MakeTim(other));
    exsample::TimShape tex;
    tex.bClut = false;
    tex.nUnits = 6;
    WriteBytes(m_dir / "tex.tim", exsample::MakeTim(tex));
    exsample::TimShape own;  // a picture with colours of its own, shown in others as a preview
    own.nClutHeight = 1;
    own.nSeed = 9;
    WriteBytes(m_dir / "own.tim", exsample::MakeTim(own));

    ASSERT_EQ(RunConv({"export", "--clut", "2", "other.tim", "row2.png"}, m_dir).nExit, 0);
    const PngPicture row2 = exsample::Decode(ReadBytes(m_dir / "row2.png"));
    for (const char* pszIn : {"tex.tim", "own.tim"})
    {
        SCOPED_TRACE(pszIn);
        const RunResult r = RunConv({"export", "--palette", "other.tim:2", pszIn, "shown.png"}, m_dir);
        ASSERT_EQ(r.nExit, 0) << r.err;
        const PngPicture shown = exsample::Decode(ReadBytes(m_dir / "shown.png"));
        ASSERT_EQ(shown.palette.size(), row2.palette.size());
        for (std::size_t i = 0; i < shown.palette.size(); ++i)
        {
            const PngColor& a = shown.palette[i];
            const PngColor& b = row2.palette[i];
            ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) << i;
        }
        ASSERT_EQ(RunConv({"export", pszIn, "plain.png"}, m_dir).nExit, 0);
        EXPECT_EQ(shown.pixels, exsample::Decode(ReadBytes(m_dir / "plain.png")).pixels);
    }

    // A palette file, and a BMP's colour table, are sources too.
    std::string strGpl = "GIMP Palette\n";
    for (int i = 0; i < 256; ++i)
        strGpl += Join({std::to_string(i), " ", std::to_string(255 - i), " 7\tc\n"});
    WriteBytes(m_dir / "p.gpl", Bytes(strGpl.begin(), strGpl.end()));
    WriteBytes(m_dir / "p.bmp", MakeSampleBmp(4, 4));
    for (const char* pszSource : {"p.gpl", "p.bmp"})
    {
        const RunResult r = RunConv({"export", "--palette", pszSource, "tex.tim", "from.png"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.err, "") << pszSource;
    }
    const PngPicture fromGpl = [&] {
        EXPECT_EQ(RunConv({"export", "--palette", "p.gpl", "tex.tim", "from.png"}, m_dir).nExit, 0);
        return exsample::Decode(ReadBytes(m_dir / "from.png"));
    }();
    ASSERT_EQ(fromGpl.palette.size(), 256u);
    EXPECT_EQ(fromGpl.palette[3].r, 3);
    EXPECT_EQ(fromGpl.palette[3].g, 252);
    EXPECT_EQ(fromGpl.palette[3].b, 7);

    // Refusals name the file at fault, and write nothing.
    exsample::TimShape four;
    four.nBpp = 4;
    four.nClutWidth = 16;
    four.nClutHeight = 2;
    WriteBytes(m_dir / "four.tim", exsample::MakeTim(four));
    exsample::TimShape direct;
    direct.nBpp = 16;
    direct.bClut = false;
    WriteBytes(m_dir / "direct.tim", exsample::MakeTim(direct));
    const struct
    {
        std::vector<std::string> args;
        int nExit;
        std::string strErr;
    } refusals[] = {
        {{"export", "--palette", "other.tim:4", "tex.tim", "no.png"}, 1,
         "vellumconv: other.tim: CLUT row 4 does not exist: the file has 4 rows.\n"},
        {{"export", "--palette", "four.tim:1", "tex.tim", "no.png"}, 1,
         "vellumconv: tex.tim: the palette of --palette has 16 colours; an 8-bit picture needs 256.\n"},
        {{"export", "--palette", "p.gpl:1", "tex.tim", "no.png"}, 1,
         "vellumconv: p.gpl: row 1 does not exist: only a TIM's CLUT has rows; this palette is row 0.\n"},
        {{"export", "--palette", "tex.tim", "own.tim", "no.png"}, 1,
         "vellumconv: tex.tim: the TIM has no CLUT: its colours are in another file.\n"},
        {{"export", "--palette", "missing.tim:2", "tex.tim", "no.png"}, 1,
         "vellumconv: missing.tim: Cannot open \"missing.tim\": No such file or directory.\n"},
        {{"export", "--clut", "1", "tex.tim", "no.png"}, 1,
         "vellumconv: tex.tim: CLUT row 1 does not exist: the file has no CLUT.\n"},
        {{"export", "--palette", "other.tim", "direct.tim", "no.png"}, 2,
         "vellumconv: direct.tim: option '--palette' applies to pictures of 1 to 8 bits, not to a 16-bit TIM\n"
         "Try 'vellumconv --help'.\n"},
        {{"export", "--palette", "other.tim:99999999999", "tex.tim", "no.png"}, 2,
         "vellumconv: '--palette other.tim:99999999999': expected SOURCE[:ROW], a CLUT row counted from 0\n"
         "Try 'vellumconv --help'.\n"},
    };
    for (const auto& c : refusals)
    {
        SCOPED_TRACE(c.args[2]);
        const RunResult r = RunConv(c.args, m_dir);
        EXPECT_EQ(r.nExit, c.nExit);
        EXPECT_EQ(r.err, c.strErr);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(m_dir / "no.png"));
    }

    // A preview of a BMP is not imported back as that BMP: its colours are not in it.
    ASSERT_EQ(RunConv({"export", "--palette", "other.tim", "p.bmp", "preview.png"}, m_dir).nExit, 0);
    const RunResult r = RunConv({"import", "preview.png", "no.bmp"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("colours from elsewhere (export --palette)"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "no.bmp"));
}
