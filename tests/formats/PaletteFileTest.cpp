// Palette files and the palettes inside images: each file kind reads back what it wrote and
// what other programs write, refuses what it cannot take, and a palette written into an
// image changes its palette's bytes only, by the narrowing rules.

#include "formats/DataKinds.h"
#include "formats/PaletteFile.h"
#include "formats/TimFormat.h"
#include "tests/formats/ScanSamples.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{

using scansample::Bytes;

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

PaletteColours Colours(std::size_t n, std::uint64_t nSeed)
{
    scansample::CRandom r(nSeed);
    PaletteColours pal;
    for (std::size_t i = 0; i < n; ++i)
        pal.colours.push_back(PaletteRgb{r.Byte(), r.Byte(), r.Byte()});
    return pal;
}

bool Same(const std::vector<PaletteRgb>& a, const std::vector<PaletteRgb>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b)
            return false;
    return true;
}

PaletteColours Read(EPaletteFile kind, const Bytes& b, std::string* pError = nullptr)
{
    PaletteColours pal;
    std::string strError;
    if (!ReadPaletteFile(kind, b.data(), b.size(), pal, strError))
        pal.strName = "REFUSED: " + strError;
    if (pError != nullptr)
        *pError = strError;
    return pal;
}

}  // namespace

TEST(PaletteFile, EachKindReadsBackWhatItWrote)
{
    for (std::size_t n : {1u, 16u, 200u, 256u})
        for (EPaletteFile kind : {EPaletteFile::Gpl, EPaletteFile::Act, EPaletteFile::Pal})
        {
            PaletteColours pal = Colours(n, n);
            pal.strName = "sprites.tim";
            pal.nTransparent = n > 3 ? 3 : -1;
            const PaletteColours back = Read(kind, WritePaletteFile(kind, pal));
            EXPECT_TRUE(Same(back.colours, pal.colours)) << n << " " << static_cast<int>(kind) << " " << back.strName;
            if (kind == EPaletteFile::Gpl)
            {
                EXPECT_EQ(back.strName, "sprites.tim");
            }
            if (kind == EPaletteFile::Act)
            {
                EXPECT_EQ(back.nTransparent, n < 256 ? pal.nTransparent : -1);
            }
        }
}

TEST(PaletteFile, WritesTheLayoutsOtherProgramsRead)
{
    PaletteColours pal = Colours(2, 1);
    pal.colours = {PaletteRgb{255, 0, 7}, PaletteRgb{1, 22, 133}};
    pal.strName = "a\tb";
    const Bytes gpl = WritePaletteFile(EPaletteFile::Gpl, pal);
    EXPECT_EQ(std::string(gpl.begin(), gpl.end()),
              "GIMP Palette\nName: a b\nColumns: 16\n#\n255   0   7\tIndex 0\n  1  22 133\tIndex 1\n");
    const Bytes jasc = WritePaletteFile(EPaletteFile::Pal, pal);
    EXPECT_EQ(std::string(jasc.begin(), jasc.end()), "JASC-PAL\r\n0100\r\n2\r\n255 0 7\r\n1 22 133\r\n");
    const Bytes act = WritePaletteFile(EPaletteFile::Act, pal);
    ASSERT_EQ(act.size(), 772u);
    EXPECT_EQ(Bytes(act.begin(), act.begin() + 6), (Bytes{255, 0, 7, 1, 22, 133}));
    EXPECT_EQ(Bytes(act.begin() + 768, act.end()), (Bytes{0, 2, 0xFF, 0xFF}));
    EXPECT_EQ(WritePaletteFile(EPaletteFile::Act, Colours(256, 2)).size(), 768u);
}

TEST(PaletteFile, ReadsWhatOtherProgramsWrite)
{
    // Comments, blank lines, CRLF, a byte-order mark, colours without names, tabs.
    const PaletteColours gpl = Read(EPaletteFile::Gpl, Text("\xEF\xBB\xBFGIMP Palette\r\nName: Web\r\nColumns: 0\r\n#\r\n"
                                                             "# comment\r\n\r\n  0\t 0 255\r\n12 34 56 Dark blue-ish\r\n"));
    EXPECT_TRUE(Same(gpl.colours, {PaletteRgb{0, 0, 255}, PaletteRgb{12, 34, 56}})) << gpl.strName;
    EXPECT_EQ(gpl.strName, "Web");
    const PaletteColours jasc = Read(EPaletteFile::Pal, Text("JASC-PAL\n0100\n2\n1 2 3\n4 5 6\n\n"));
    EXPECT_TRUE(Same(jasc.colours, {PaletteRgb{1, 2, 3}, PaletteRgb{4, 5, 6}})) << jasc.strName;
    Bytes act(768, 9);
    EXPECT_EQ(Read(EPaletteFile::Act, act).colours.size(), 256u);
    act.insert(act.end(), {0, 16, 0, 0});
    const PaletteColours counted = Read(EPaletteFile::Act, act);
    EXPECT_EQ(counted.colours.size(), 16u);
    EXPECT_EQ(counted.nTransparent, 0);
}

TEST(PaletteFile, RefusesWhatItCannotTake)
{
    struct Case
    {
        EPaletteFile kind;
        std::string text;
        std::string strError;
    };
    const Case cases[] = {
        {EPaletteFile::Gpl, "GIMP palette\n1 2 3\n", "not a GIMP palette: the first line is not \"GIMP Palette\"."},
        {EPaletteFile::Gpl, "GIMP Palette\n1 2 256\n", "line 2: expected red, green and blue from 0 to 255, and a name."},
        {EPaletteFile::Gpl, "GIMP Palette\n1 2\n", "line 2: expected red, green and blue from 0 to 255, and a name."},
        {EPaletteFile::Gpl, "GIMP Palette\n1 2 3x\n", "line 2: expected red, green and blue from 0 to 255, and a name."},
        {EPaletteFile::Gpl, "GIMP Palette\nColumns: many\n", "line 2: expected \"Columns:\" and 0 to 256."},
        {EPaletteFile::Gpl, "GIMP Palette\nName: empty\n", "the palette has no colours."},
        {EPaletteFile::Pal, "JASC-PAL\n0200\n1\n1 2 3\n", "line 2: expected the version 0100."},
        {EPaletteFile::Pal, "JASC-PAL\n0100\n0\n", "line 3: expected the number of colours, 1 to 65536."},
        {EPaletteFile::Pal, "JASC-PAL\n0100\n3\n1 2 3\n", "the palette announces 3 colours and holds 1."},
        {EPaletteFile::Pal, "JASC-PAL\n0100\n1\n1 2 3\n4 5 6\n", "line 5: more colours than the palette announces."},
        {EPaletteFile::Pal, "JASC-PAL\n0100\n1\n1 2 3 name\n", "line 4: expected red, green and blue from 0 to 255."},
    };
    for (const Case& c : cases)
    {
        std::string strError;
        Read(c.kind, Text(c.text), &strError);
        EXPECT_EQ(strError, c.strError) << c.text;
    }
    std::string strError;
    Read(EPaletteFile::Act, Bytes(769, 0), &strError);
    EXPECT_EQ(strError, "not an Adobe colour table: it has 769 bytes, not 768 or 772.");
    Bytes act(768, 0);
    act.insert(act.end(), {1, 1, 0xFF, 0xFF});
    Read(EPaletteFile::Act, act, &strError);
    EXPECT_EQ(strError, "the colour table says it holds 257 colours; 1 to 256 fit.");
    act[768] = 0;
    act[769] = 4;
    act[771] = 4;
    act[770] = 0;
    Read(EPaletteFile::Act, act, &strError);
    EXPECT_EQ(strError, "the transparent colour 4 is not one of the 4 colours.");
}

TEST(PaletteFile, KindsFromNamesAndFirstLines)
{
    EPaletteFile kind = EPaletteFile::Gpl;
    EXPECT_TRUE(PaletteFileFromPath("dir.x/a.ACT", kind));
    EXPECT_EQ(kind, EPaletteFile::Act);
    EXPECT_TRUE(PaletteFileFromPath("a.pal", kind));
    EXPECT_EQ(kind, EPaletteFile::Pal);
    EXPECT_FALSE(PaletteFileFromPath("dir.gpl/a", kind));
    EXPECT_FALSE(PaletteFileFromPath("a.png", kind));
    const Bytes jasc = Text("JASC-PAL\r\n0100\r\n");
    EXPECT_TRUE(PaletteFileFromContent(jasc.data(), jasc.size(), kind));
    EXPECT_EQ(kind, EPaletteFile::Pal);
    const Bytes other = Text("GIMP Palettes\n");
    EXPECT_FALSE(PaletteFileFromContent(other.data(), other.size(), kind));
}

TEST(TimColour, NarrowsToTheNearestAndGivesEveryWidenedValueBack)
{
    for (unsigned c = 0; c < 32; ++c)
        EXPECT_EQ(TimNarrow5Nearest(TimWiden5(c)), c);
    for (unsigned v = 0; v < 256; ++v)
    {
        const unsigned n = TimNarrow5Nearest(v);
        ASSERT_LE(n, 31u);
        // No other 5-bit value is nearer in the 0..31 scale.
        const double d = std::abs(static_cast<double>(v) * 31 / 255 - n);
        EXPECT_LE(d, 0.5) << v;
    }
}

namespace
{

Bytes Tim4Rows()
{
    // 4 bits, a CLUT of 40 colours: rows of 16, 16 and 8.
    return scansample::MakeTim({4, 2, 2, true, 40, 1, 0, 0, 100, 0, 3});
}

}  // namespace

TEST(ImagePalette, FindsEachKindsPaletteAndRow)
{
    const Bytes tim = Tim4Rows();
    ImagePalette pal;
    ASSERT_EQ(FindImagePalette(tim.data(), tim.size(), 2, pal), EImagePaletteResult::Ok);
    EXPECT_EQ(pal.nAt, 8u + 12 + 2 * 32);
    EXPECT_EQ(pal.nCount, 8u);
    EXPECT_EQ(FindImagePalette(tim.data(), tim.size(), 3, pal), EImagePaletteResult::NoSuchRow);
    EXPECT_EQ(pal.nValue, 3u);

    const Bytes bmp = scansample::MakeBmp({4, 9, 3, 0, 40, 5, false, 1});
    ASSERT_EQ(FindImagePalette(bmp.data(), bmp.size(), 7, pal), EImagePaletteResult::Ok);
    EXPECT_EQ(pal.nAt, 54u);
    EXPECT_EQ(pal.nCount, 5u);

    const Bytes bfnt = scansample::MakeBfnt({true, 8, 8, 65, 70, true, 9, 1});
    ASSERT_EQ(FindImagePalette(bfnt.data(), bfnt.size(), 0, pal), EImagePaletteResult::Ok);
    EXPECT_EQ(pal.nAt, 32u + 9);
    EXPECT_EQ(pal.nCount, 16u);

    const Bytes tim16 = scansample::MakeTim({16, 9, 4, true, 16, 1, 0, 0, 64, 64, 1});
    EXPECT_EQ(FindImagePalette(tim16.data(), tim16.size(), 0, pal), EImagePaletteResult::NoPalette);
    const Bytes bmp24 = scansample::MakeBmp({24, 7, 3, 0, 40, 0, false, 1});
    EXPECT_EQ(FindImagePalette(bmp24.data(), bmp24.size(), 0, pal), EImagePaletteResult::NoPalette);
    const Bytes bare = scansample::MakeBfnt({false, 6, 6, 0, 3, false, 0, 1});
    EXPECT_EQ(FindImagePalette(bare.data(), bare.size(), 0, pal), EImagePaletteResult::NoPalette);
    // A texture without a CLUT is read, and has no palette of its own.
    const Bytes texture = scansample::MakeTim({8, 7, 3, false, 0, 0, 0, 0, 0, 0, 1});
    EXPECT_EQ(FindImagePalette(texture.data(), texture.size(), 0, pal), EImagePaletteResult::NoPalette);
    EXPECT_EQ(pal.nDataType, DATA_TIM);
    EXPECT_EQ(pal.nDepth, 8u);
    const Bytes cut(tim.begin(), tim.end() - 1);
    EXPECT_EQ(FindImagePalette(cut.data(), cut.size(), 0, pal), EImagePaletteResult::Damaged);
    const Bytes png = Text("\x89PNG\r\n\x1a\n");
    EXPECT_EQ(FindImagePalette(png.data(), png.size(), 0, pal), EImagePaletteResult::NotAnImage);
}

TEST(ImagePalette, TimEntriesKeepTheirSemiTransparencyAndOpaqueBlackStaysOpaque)
{
    Bytes tim = Tim4Rows();
    ImagePalette pal;
    ASSERT_EQ(FindImagePalette(tim.data(), tim.size(), 1, pal), EImagePaletteResult::Ok);
    const std::uint16_t olds[] = {0x0000, 0x8000, 0x7FFF, 0x8421, 0x0421, 0x0000};
    for (std::size_t i = 0; i < std::size(olds); ++i)
        PutLe16(&tim[pal.nAt + 2 * i], olds[i]);
    const Bytes before = tim;
    const std::vector<PaletteRgb> colours = {
        {0, 0, 0},        // stays the transparent 0x0000
        {0, 0, 0},        // keeps its bit: 0x8000
        {3, 3, 3},        // narrows to 0x0000, was not: 0x8000
        {255, 0, 132},    // 31, 0, 16 (132 * 31 / 255 = 16.05), with the old bit
        {8, 16, 24},      // 1, 2, 3
    };
    ReplaceImagePalette(tim.data(), pal, colours);
    const std::uint16_t want[] = {0x0000, 0x8000, 0x8000, 0x8000 | 31 | (16 << 10), 1 | (2 << 5) | (3 << 10), 0x0000};
    for (std::size_t i = 0; i < std::size(want); ++i)
        EXPECT_EQ(GetLe16(&tim[pal.nAt + 2 * i]), want[i]) << i;
    // Nothing outside the five entries changed.
    for (std::size_t k = 0; k < tim.size(); ++k)
        if (k < pal.nAt || k >= pal.nAt + 10)
        {
            ASSERT_EQ(tim[k], before[k]) << k;
        }
}

TEST(ImagePalette, ReadThenWrittenBackChangesNoByte)
{
    std::vector<Bytes> files = {Tim4Rows(), scansample::MakeTim({8, 8, 6, true, 256, 2, 0, 0, 320, 0, 5}),
                                scansample::MakeBmp({8, 10, 4, 0, 40, 16, false, 2}),
                                scansample::MakeBmp({1, 19, 5, 0, 40, 0, false, 2}),
                                scansample::MakeBfnt({false, 8, 12, 32, 40, true, 3, 2}),
                                scansample::MakeBfnt({true, 8, 8, 65, 70, true, 0, 2})};
    for (const Bytes& file : files)
        for (std::uint32_t nRow = 0; nRow < 3; ++nRow)
        {
            ImagePalette pal;
            if (FindImagePalette(file.data(), file.size(), nRow, pal) != EImagePaletteResult::Ok)
                continue;
            // Through every file kind, as export and import go.
            for (EPaletteFile kind : {EPaletteFile::Gpl, EPaletteFile::Act, EPaletteFile::Pal})
            {
                PaletteColours out;
                out.colours = ReadImagePalette(file.data(), pal);
                const PaletteColours back = Read(kind, WritePaletteFile(kind, out));
                Bytes again = file;
                ReplaceImagePalette(again.data(), pal, back.colours);
                EXPECT_EQ(again, file) << "row " << nRow << " kind " << static_cast<int>(kind);
            }
        }
}
