// import --like through the vellumconv program: an edited export goes back into a copy of its
// original with only its own bytes changed, an untouched one gives the original back whether
// or not the chunk survived, a picture that does not fit writes nothing and names both files,
// and an import with no chunk to go by says which defaults it took.

#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunResult;

std::string Join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& p : parts)
        s.append(p);
    return s;
}

// The field's case: 64x32 at 8 bits, four CLUT rows at 0,480, the image at 320,0.
Bytes Sprites()
{
    exsample::TimShape s;
    s.nUnits = 32;
    s.nHeight = 32;
    s.nClutHeight = 4;
    s.nClutY = 480;
    s.nImageX = 320;
    return exsample::MakeTim(s);
}

std::size_t DifferingBytes(const Bytes& a, const Bytes& b)
{
    std::size_t n = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i] ? 1 : 0;
    return n;
}

class ConvLikeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-like-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    RunResult Run(const std::vector<std::string>& args) { return convproc::Run(VELLUMCONV_PATH, args, m_dir); }
    // The names in the folder, so a refusal can be seen to leave nothing behind.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path m_dir;
};

}  // namespace

// Export row 2, change ten pixels in an editor that drops the chunk, put it back: plain import
// loses the layout and says so; --like changes exactly those ten bytes.
TEST_F(ConvLikeTest, AnEditedExportGoesBackIntoItsOriginal)
{
    const Bytes tim = Sprites();
    ASSERT_EQ(tim.size(), 4128u);
    WriteBytes(m_dir / "sprites.tim", tim);
    ASSERT_EQ(Run({"export", "--clut", "2", "sprites.tim", "row2.png"}).nExit, 0);
    PngPicture pic = exsample::Decode(ReadBytes(m_dir / "row2.png"));
    for (std::uint32_t i = 0; i < 10; ++i)
        pic.pixels[i * 65] = static_cast<std::uint8_t>(pic.pixels[i * 65] ^ 0x40);
    WriteBytes(m_dir / "edited.png", exsample::EncodeEdited(pic, false));

    RunResult r = Run({"import", "edited.png", "plain.tim"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "size:64x32\n");
    EXPECT_EQ(r.err, "vellumconv: edited.png: no vellum metadata; CLUT and image at 0,0, one CLUT row (use --like "
                     "ORIGINAL to keep the original's layout)\n");
    EXPECT_EQ(ReadBytes(m_dir / "plain.tim").size(), 2592u);

    r = Run({"import", "--like", "sprites.tim", "--clut", "2", "edited.png", "back.tim"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "size:64x32\n");
    EXPECT_EQ(r.err, "");
    const Bytes back = ReadBytes(m_dir / "back.tim");
    EXPECT_EQ(DifferingBytes(back, tim), 10u);
    for (std::uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(back[tim.size() - 64 * 32 + i * 65], pic.pixels[i * 65]);

    // An import with the chunk takes defaults from nowhere, and says nothing.
    r = Run({"import", "row2.png", "again.tim"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadBytes(m_dir / "again.tim"), tim);
}

// Every TIM depth, several CLUT rows, BMPs of several depths and layouts and both kinds of
// sheet: back byte for byte through the program, with the chunk and with it cut out, and
// with the bytes after the item.
TEST_F(ConvLikeTest, UntouchedExportsComeBackByteForByte)
{
    auto tim = [](int nBpp, std::uint16_t nClutW, std::uint16_t nClutH, std::uint16_t nUnits) {
        exsample::TimShape s;
        s.nBpp = nBpp;
        s.bClut = nClutW != 0;
        s.nClutWidth = nClutW;
        s.nClutHeight = nClutH;
        s.nUnits = nUnits;
        s.nClutX = 16;
        s.nImageY = 256;
        return exsample::MakeTim(s);
    };
    auto bmp = [](int nBits, std::int32_t h, std::uint32_t nCompression = 0, Bytes rle = {}) {
        exsample::BmpShape s;
        s.nBits = nBits;
        s.nWidth = nCompression != 0 ? 4 : 11;
        s.nHeight = h;
        s.nCompression = nCompression;
        s.rle = std::move(rle);
        return exsample::MakeBmp(s);
    };
    Bytes padded = tim(8, 256, 3, 4);
    padded.insert(padded.end(), 300, 0x5A);
    struct Case
    {
        const char* pszName;
        Bytes file;
        std::uint32_t nRows;
    };
    const Case cases[] = {
        {"four.tim", tim(4, 16, 5, 3), 5},
        {"eight.tim", Sprites(), 4},
        {"padded.tim", padded, 3},
        {"sixteen.tim", tim(16, 0, 0, 5), 0},
        {"direct.tim", tim(24, 0, 0, 5), 0},
        {"one.bmp", bmp(1, 5), 0},
        {"four.bmp", bmp(4, -5), 0},
        {"eight.bmp", bmp(8, 5), 0},
        {"true.bmp", bmp(24, -3), 0},
        {"rle.bmp", bmp(8, 2, 1, {4, 7, 0, 0, 2, 3, 2, 9, 0, 1}), 0},
        {"font.fnt", MakeSampleBfnt(8, 16, 32, 127, 12), 0},
        {"font16.fnt", MakeSampleBfnt16(8, 8, 48, 57), 0},
    };
    for (const Case& c : cases)
        for (std::uint32_t nRow = 0; nRow < std::max(c.nRows, 1u); ++nRow)
        {
            SCOPED_TRACE(Join({c.pszName, " row ", std::to_string(nRow)}));
            const std::string strExt = fs::path(c.pszName).extension().string();
            WriteBytes(m_dir / c.pszName, c.file);
            const std::string strRow = std::to_string(nRow);
            RunResult r = c.nRows != 0 ? Run({"export", "--clut", strRow, c.pszName, "out.png"})
                                       : Run({"export", c.pszName, "out.png"});
            ASSERT_EQ(r.nExit, 0) << r.err;
            WriteBytes(m_dir / "bare.png", exsample::WithoutChunk(ReadBytes(m_dir / "out.png")));
            for (const char* pszPng : {"out.png", "bare.png"})
            {
                const std::string strBack = Join({"back", strExt});
                r = c.nRows != 0 ? Run({"import", "--like", c.pszName, "--clut", strRow, pszPng, strBack})
                                 : Run({"import", "--like", c.pszName, pszPng, strBack});
                EXPECT_EQ(r.nExit, 0) << pszPng << ": " << r.err;
                EXPECT_EQ(r.err, "");
                EXPECT_EQ(ReadBytes(m_dir / strBack), c.file) << pszPng;
            }
            // With the chunk, the row it records is the default.
            r = Run({"import", "--like", c.pszName, "out.png", Join({"chunk", strExt})});
            EXPECT_EQ(ReadBytes(m_dir / Join({"chunk", strExt})), c.file);
        }
}

// A picture that does not fit writes nothing, leaves nothing behind and names both sides.
TEST_F(ConvLikeTest, MismatchesWriteNothingAndNameBothFiles)
{
    WriteBytes(m_dir / "sprites.tim", Sprites());
    ASSERT_EQ(Run({"export", "sprites.tim", "sprites.png"}).nExit, 0);
    PngPicture pic = exsample::Decode(ReadBytes(m_dir / "sprites.png"));
    PngPicture wide = pic;
    wide.nWidth = 66;
    wide.pixels.assign(66 * 32, 1);
    WriteBytes(m_dir / "edited.png", exsample::EncodeEdited(wide, false));
    WriteBytes(m_dir / "kept.tim", {'o', 'l', 'd'});
    WriteBytes(m_dir / "picture.bmp", MakeSampleBmp(16, 8));
    const std::vector<std::string> before = Names();

    struct Case
    {
        std::vector<std::string> args;
        std::string strErr;
    };
    const Case cases[] = {
        {{"import", "--like", "sprites.tim", "edited.png", "kept.tim"},
         "vellumconv: edited.png: sprites.tim is 64x32 at 8 bits with 4 CLUT rows; edited.png is 66x32.\n"},
        {{"import", "--like", "sprites.tim", "edited.png", "new.tim"},
         "vellumconv: edited.png: sprites.tim is 64x32 at 8 bits with 4 CLUT rows; edited.png is 66x32.\n"},
        {{"import", "--like", "sprites.tim", "--clut", "4", "sprites.png", "kept.tim"},
         "vellumconv: sprites.png: CLUT row 4 does not exist: sprites.tim has 4 rows.\n"},
        {{"import", "--like", "picture.bmp", "sprites.png", "kept.tim"},
         "vellumconv: sprites.png: picture.bmp is a BMP and kept.tim a TIM: the ORIGINAL of --like is a file of "
         "OUT's kind.\n"},
        {{"import", "--like", "missing.tim", "sprites.png", "kept.tim"},
         "vellumconv: sprites.png: Cannot open \"missing.tim\": No such file or directory.\n"},
        {{"import", "--like", "sprites.png", "sprites.png", "kept.tim"},
         "vellumconv: sprites.png: sprites.png is not a TIM, BMP or BFNT file, so nothing can be put back into "
         "it.\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.args[2] + " " + c.args.back());
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.nExit, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.strErr);
        EXPECT_EQ(ReadBytes(m_dir / "kept.tim"), (Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(Names(), before);
    }
}

// Options that make no sense together are usage errors, told before anything is read.
TEST_F(ConvLikeTest, OptionsThatDoNotGoTogetherAreUsageErrors)
{
    WriteBytes(m_dir / "sprites.tim", Sprites());
    ASSERT_EQ(Run({"export", "sprites.tim", "sprites.png"}).nExit, 0);
    const std::vector<std::string> before = Names();
    struct Case
    {
        std::vector<std::string> args;
        std::string strError;
    };
    const Case cases[] = {
        {{"import", "--clut", "1", "sprites.png", "a.tim"},
         "option '--clut' of import names a CLUT row of the ORIGINAL: it needs '--like ORIGINAL'"},
        {{"import", "--like", "sprites.tim", "--to", ".tim", "sprites.png"},
         "option '--like' puts one PNG into a copy of one ORIGINAL: it does not go with '--to'"},
        {{"import", "--like", "sprites.tim", "--bpp", "4", "sprites.png", "a.tim"},
         "option '--bpp' does not go with '--like': the ORIGINAL gives the layout"},
        {{"import", "--like", "sprites.tim", "--clut", "1", "sprites.png", "a.bmp"},
         "option '--clut' applies to TIM outputs; 'a.bmp' is a BMP"},
        {{"import", "--like", "sprites.tim", "sprites.png", "sprites.tim"},
         "'sprites.tim' is the ORIGINAL of --like and would be written over; name another OUT"},
        {{"import", "--like", "", "sprites.png", "a.tim"}, "option '--like' needs a non-empty argument"},
    };
    for (const Case& c : cases)
    {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.nExit, 2) << c.strError;
        EXPECT_EQ(r.err, Join({"vellumconv: ", c.strError, "\nTry 'vellumconv --help'.\n"}));
        EXPECT_EQ(Names(), before);
    }
}
