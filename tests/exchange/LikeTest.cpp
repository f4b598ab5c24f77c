// A picture put back into its original: every kind, depth and layout export reads comes back
// byte for byte, with or without the chunk; an edit changes exactly its own bytes; a picture
// that does not fit is refused naming both sides; and an import that had no chunk to go by
// says which defaults it took.

#include "exchange/ImportLike.h"
#include "tests/exchange/ExchangeSamples.h"
#include "formats/MemStream.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
using exsample::Bytes;
using exsample::BmpShape;
using exsample::TimShape;
using exsample::WithoutChunk;

LikeOptions Named(bool bClut = false, std::uint32_t nClut = 0)
{
    LikeOptions opt;
    opt.bClut = bClut;
    opt.nClut = nClut;
    opt.strOriginalName = "sprites.tim";
    opt.strPngName = "edited.png";
    return opt;
}

Bytes Like(const Bytes& original, const Bytes& png, const LikeOptions& opt = Named())
{
    Bytes out;
    std::string strError;
    if (!ImportLike(original.data(), original.size(), png.data(), png.size(), opt, out, strError))
        throw std::runtime_error("like: " + strError);
    return out;
}

// The message of a refusal; the output is left alone.
std::string Refusal(const Bytes& original, const Bytes& png, const LikeOptions& opt = Named())
{
    Bytes out = {'o', 'l', 'd'};
    std::string strError;
    EXPECT_FALSE(ImportLike(original.data(), original.size(), png.data(), png.size(), opt, out, strError));
    EXPECT_EQ(out, (Bytes{'o', 'l', 'd'}));
    return strError;
}

TimShape Tim(int nBpp, std::uint16_t nClutW, std::uint16_t nClutH, std::uint16_t nUnits = 4, std::uint16_t nHeight = 3)
{
    TimShape s;
    s.nBpp = nBpp;
    s.bClut = nClutW != 0;
    s.nClutWidth = nClutW;
    s.nClutHeight = nClutH;
    s.nUnits = nUnits;
    s.nHeight = nHeight;
    return s;
}

BmpShape Bmp(int nBits, std::int32_t w, std::int32_t h, std::uint32_t nClrUsed = 0, std::uint32_t nInfoSize = 40)
{
    BmpShape s;
    s.nBits = nBits;
    s.nWidth = w;
    s.nHeight = h;
    s.nClrUsed = nClrUsed;
    s.nInfoSize = nInfoSize;
    return s;
}

BmpShape Rle(std::uint32_t nCompression, Bytes codes)
{
    BmpShape s = Bmp(nCompression == 1 ? 8 : 4, 4, 2);
    s.nCompression = nCompression;
    s.rle = std::move(codes);
    return s;
}

Bytes WithoutPalette(Bytes b)
{
    b[5] = BFNT_COLORS_256;
    b.erase(b.begin() + BFNT_HEADER_SIZE, b.begin() + BFNT_HEADER_SIZE + BFNT_PALETTE_256_SIZE);
    return b;
}

struct Original
{
    const char* pszName;
    Bytes file;
    std::uint32_t nRows;      // CLUT rows to export in turn; 0: the file has none
    std::uint32_t nColumns;   // a sheet's grid
};

std::vector<Original> Originals()
{
    TimShape places = Tim(8, 256, 4);
    places.nClutY = 480;
    places.nImageX = 320;
    TimShape partial = Tim(8, 256, 2);
    partial.nColours = 256 + 100;  // a last row of 100 colours
    TimShape flags = Tim(4, 16, 3, 3);
    flags.nReserved = 0x1234;
    flags.nExtraFlags = 0x100;
    flags.nClutX = 0x1F3;
    flags.nImageY = 7;
    Bytes trailing = exsample::MakeTim(Tim(4, 16, 2));
    trailing.insert(trailing.end(), {0xDE, 0xAD});
    Bytes oddSheet = MakeSampleBfnt16(3, 3, 65, 67);  // 27 pixels: the last byte's low half unused
    oddSheet.back() |= 0x0F;
    return {
        {"tim4_three_rows_header_bits", exsample::MakeTim(flags), 3, 0},
        {"tim4_clut_256_wide", exsample::MakeTim(Tim(4, 256, 1)), 16, 0},
        {"tim4_bytes_after_the_item", trailing, 2, 0},
        {"tim8_four_rows_placed", exsample::MakeTim(places), 4, 0},
        {"tim8_partial_last_row", exsample::MakeTim(partial), 2, 0},
        {"tim8_the_projects_own", MakeSampleTim(7, 5), 1, 0},
        {"tim16", exsample::MakeTim(Tim(16, 0, 0, 7, 5)), 0, 0},
        {"tim16_with_clut", exsample::MakeTim(Tim(16, 256, 2, 3, 2)), 0, 0},
        {"tim24_padding_byte_set", exsample::MakeTim(Tim(24, 0, 0, 5, 4)), 0, 0},
        {"bmp1_row_tail_bits", exsample::MakeBmp(Bmp(1, 13, 5)), 0, 0},
        {"bmp4_short_table", exsample::MakeBmp(Bmp(4, 9, 4, 5)), 0, 0},
        {"bmp8", exsample::MakeBmp(Bmp(8, 9, 7)), 0, 0},
        {"bmp8_top_down_v5", exsample::MakeBmp(Bmp(8, 6, -5, 0, 124)), 0, 0},
        {"bmp8_unpadded", MakeSampleBmp(5, 3), 0, 0},
        {"bmp24_v4", exsample::MakeBmp(Bmp(24, 5, 4, 0, 108)), 0, 0},
        {"bmp_rle8", exsample::MakeBmp(Rle(1, {4, 7, 0, 0, 2, 3, 2, 9, 0, 1})), 0, 0},
        {"bmp_rle4", exsample::MakeBmp(Rle(2, {4, 0x12, 0, 0, 4, 0x34, 0, 1})), 0, 0},
        {"bfnt256_extension", MakeSampleBfnt(8, 16, 32, 127, 40), 0, 16},
        {"bfnt256_seven_columns", MakeSampleBfnt(5, 7, 48, 57), 0, 7},
        {"bfnt256_no_palette", WithoutPalette(MakeSampleBfnt(6, 8, 65, 90)), 0, 3},
        {"bfnt16", MakeSampleBfnt16(8, 8, 48, 57), 0, 16},
        {"bfnt16_odd_pixels", oddSheet, 0, 2},
        {"bfnt16_no_palette", MakeSampleBfnt16(4, 6, 0, 9, false), 0, 5},
    };
}

}  // namespace

// An untouched export goes back byte for byte: with its chunk; without it, as it was written;
// and as an editor writes it again (8-bit indexed or RGBA, no chunk), with --clut naming the
// row a TIM showed.
TEST(ImportLike, UntouchedExportsGiveTheOriginalBack)
{
    for (const Original& o : Originals())
        for (std::uint32_t nRow = 0; nRow < std::max(o.nRows, 1u); ++nRow)
        {
            SCOPED_TRACE(std::string(o.pszName) + " row " + std::to_string(nRow));
            ExportOptions opt;
            opt.nClut = nRow;
            if (o.nColumns != 0)
                opt.nColumns = o.nColumns;
            const Bytes png = exsample::Export(o.file, opt);
            EXPECT_EQ(Like(o.file, png), o.file);
            const LikeOptions row = Named(o.nRows != 0, nRow);
            EXPECT_EQ(Like(o.file, WithoutChunk(png), row), o.file);
            EXPECT_EQ(Like(o.file, exsample::EncodeEdited(exsample::Decode(png), false), row), o.file);
        }
}

// The road the field takes: export a row, change ten pixels and a colour in an editor that
// drops the chunk, put it back. Only those pixels and that row's colour change.
TEST(ImportLike, AnEditChangesOnlyItsPixelsAndTheRowsColours)
{
    TimShape s = Tim(8, 256, 4, 32, 32);
    s.nClutY = 480;
    s.nImageX = 320;
    const Bytes tim = exsample::MakeTim(s);
    ExportOptions opt;
    opt.nClut = 2;
    PngPicture pic = exsample::Decode(exsample::Export(tim, opt));
    ASSERT_EQ(pic.nWidth, 64u);
    Bytes expected = tim;
    const std::size_t nPixels = 8 + 12 + 2 * 1024 + 12;
    for (std::uint32_t i = 0; i < 10; ++i)
    {
        const std::size_t k = i * 64 + 3 * i;
        pic.pixels[k] = static_cast<std::uint8_t>(pic.pixels[k] + 1);
        expected[nPixels + k] = pic.pixels[k];
    }
    pic.palette[7] = PngColor{255, 0, 0, 255};
    PutLe16(&expected[8 + 12 + 2 * (2 * 256 + 7)], 0x001F);

    const Bytes png = exsample::EncodeEdited(pic, false);
    EXPECT_EQ(Like(tim, png, Named(true, 2)), expected);
    // Row 3 takes the colours instead when it is named; row 2 stays as it was.
    Bytes into3 = Like(tim, png, Named(true, 3));
    EXPECT_TRUE(std::equal(into3.begin() + nPixels, into3.end(), expected.begin() + nPixels));
    EXPECT_TRUE(std::equal(tim.begin() + 20 + 2 * 512, tim.begin() + 20 + 2 * 768, into3.begin() + 20 + 2 * 512));
    EXPECT_EQ(GetLe16(&into3[8 + 12 + 2 * (3 * 256 + 7)]), 0x001F);
    // With the chunk the row it records takes them.
    pic = exsample::Decode(exsample::Export(tim, opt));
    pic.palette[7] = PngColor{255, 0, 0, 255};
    Bytes paletteOnly = tim;
    PutLe16(&paletteOnly[8 + 12 + 2 * (2 * 256 + 7)], 0x001F);
    EXPECT_EQ(Like(tim, exsample::EncodeEdited(pic, true)), paletteOnly);
}

// A 4-bit TIM's pixels change by the nibble, a BMP's and a sheet's in their own layouts.
TEST(ImportLike, EditsLandInEachLayout)
{
    struct Case
    {
        const char* pszName;
        Bytes file;
        std::size_t nAt;  // the byte the first pixel is in
        std::uint8_t nMask;
        std::uint8_t nNewBits;  // first pixel set to 1
    };
    const Bytes tim4 = exsample::MakeTim(Tim(4, 16, 1));
    const Bytes bmp1 = exsample::MakeBmp(Bmp(1, 13, 5));
    const Bytes bmp4 = exsample::MakeBmp(Bmp(4, 9, -4, 5));
    const Bytes sheet16 = MakeSampleBfnt16(8, 8, 0, 3);
    const Case cases[] = {
        {"tim4: the low nibble", tim4, 8 + 12 + 32 + 12, 0x0F, 0x01},
        // Bottom-up: the top row is the last one in the file.
        {"bmp1: the high bit", bmp1, 14 + 40 + 8 + 4 * 4, 0x80, 0x80},
        {"bmp4 top-down: the high nibble", bmp4, 14 + 40 + 4 * 5, 0xF0, 0x10},
        {"bfnt16: the high nibble", sheet16, 32 + 48, 0xF0, 0x10},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        PngPicture pic = exsample::Decode(exsample::Export(c.file));
        pic.pixels[0] = pic.pixels[0] == 1 ? 0 : 1;
        const std::uint8_t nWant = pic.pixels[0] == 1 ? c.nNewBits : 0;
        Bytes expected = c.file;
        expected[c.nAt] = static_cast<std::uint8_t>((expected[c.nAt] & ~c.nMask) | nWant);
        EXPECT_EQ(Like(c.file, exsample::EncodeEdited(pic, false)), expected);
    }
}

TEST(ImportLike, PicturesThatDoNotFitAreRefusedNamingBothSides)
{
    TimShape s = Tim(8, 256, 4, 32, 32);
    const Bytes tim = exsample::MakeTim(s);
    PngPicture pic = exsample::Decode(exsample::Export(tim));
    PngPicture wide = pic;
    wide.nWidth = 66;
    wide.pixels.assign(66 * 32, 0);
    EXPECT_EQ(Refusal(tim, exsample::EncodeEdited(wide, false)),
              "sprites.tim is 64x32 at 8 bits with 4 CLUT rows; edited.png is 66x32.");
    PngPicture rgba = pic;
    rgba.bIndexed = false;
    rgba.pixels.assign(4 * 64 * 32, 0xFF);
    EXPECT_EQ(Refusal(tim, exsample::EncodeEdited(rgba, false)),
              "sprites.tim is 64x32 at 8 bits with 4 CLUT rows; edited.png is 64x32 in true colour, without a palette.");
    EXPECT_EQ(Refusal(tim, exsample::Export(tim), Named(true, 4)), "CLUT row 4 does not exist: sprites.tim has 4 rows.");

    const Bytes tim4 = exsample::MakeTim(Tim(4, 16, 1, 8, 4));
    PngPicture many = exsample::Decode(exsample::Export(tim4));
    many.palette.resize(17, PngColor{1, 2, 3, 255});
    for (std::uint8_t i = 0; i < 17; ++i)
        many.pixels[i] = i;
    EXPECT_EQ(Refusal(tim4, exsample::EncodeEdited(many, false)),
              "sprites.tim is 32x4 at 4 bits with 1 CLUT row of 16 colours; edited.png uses 17 colours.");
    EXPECT_EQ(Refusal(tim4, exsample::Export(tim4), Named(true, 1)), "CLUT row 1 does not exist: sprites.tim has 1 row.");

    const Bytes tim16 = exsample::MakeTim(Tim(16, 0, 0, 7, 5));
    EXPECT_EQ(Refusal(tim16, exsample::Export(tim16), Named(true, 0)),
              "sprites.tim is 7x5 at 16 bits: it has no CLUT rows for --clut 0.");

    const Bytes bmp = exsample::MakeBmp(Bmp(4, 9, 4, 5));
    PngPicture six = exsample::Decode(exsample::Export(bmp));
    six.palette.resize(6, PngColor{1, 2, 3, 255});
    six.pixels[0] = 5;
    EXPECT_EQ(Refusal(bmp, exsample::EncodeEdited(six, false)),
              "sprites.tim is 9x4 at 4 bits with 5 colours; edited.png uses 6 colours.");

    const Bytes rle = exsample::MakeBmp(Rle(1, {4, 7, 0, 0, 2, 3, 2, 9, 0, 1}));
    PngPicture edited = exsample::Decode(exsample::Export(rle));
    edited.pixels[0] = 5;  // the top row is 3 3 9 9
    edited.pixels[1] = 5;
    EXPECT_EQ(Refusal(rle, exsample::EncodeEdited(edited, false)),
              "sprites.tim is 4x2 at 8 bits with 256 colours, RLE8-compressed: only its colours can change, and "
              "edited.png changes 2 of its pixels.");
    // Its colours can.
    edited = exsample::Decode(exsample::Export(rle));
    edited.palette[3] = PngColor{1, 2, 3, 255};
    Bytes recoloured = rle;
    recoloured[14 + 40 + 4 * 3] = 3;
    recoloured[14 + 40 + 4 * 3 + 1] = 2;
    recoloured[14 + 40 + 4 * 3 + 2] = 1;
    EXPECT_EQ(Like(rle, exsample::EncodeEdited(edited, false)), recoloured);

    const Bytes font = MakeSampleBfnt(8, 16, 32, 127);
    const Bytes grid = exsample::Export(font);
    PngPicture cut = exsample::Decode(grid);
    cut.nHeight -= 16;
    cut.pixels.resize(std::size_t{cut.nWidth} * cut.nHeight);
    EXPECT_EQ(Refusal(font, exsample::EncodeEdited(cut, true)),
              "sprites.tim is a 256-colour sheet of 96 cells of 8x16, codes 32-127; edited.png is 128x112, which is "
              "no grid of its cells (16 across would be 128x128).");

    const Bytes png = exsample::Export(tim);
    EXPECT_EQ(Refusal({'n', 'o', 'n', 'e'}, png), "sprites.tim is not a TIM, BMP or BFNT file, so nothing can be put back into it.");
    Bytes cutTim(tim.begin(), tim.begin() + 600);
    EXPECT_EQ(Refusal(cutTim, png), "the TIM's CLUT block is cut short.");
}

// Without a chunk of the target's kind, import says which defaults it took, naming only those
// the options did not give; with one it says nothing.
TEST(ImportLike, ImportWithoutTheChunkSaysWhichDefaultsItTook)
{
    const Bytes tim = exsample::MakeTim(Tim(8, 256, 4, 8, 16));
    const Bytes png = exsample::Export(tim);
    auto note = [](const Bytes& p, ImportOptions opt) {
        CMemStream out;
        std::string strError, strNote = "unset";
        EXPECT_TRUE(ImportFromPng(p.data(), p.size(), opt, out, strError, &strNote)) << strError;
        return strNote;
    };
    const std::string strWay = " (use --like ORIGINAL to keep the original's layout)";
    EXPECT_EQ(note(png, exsample::ImportAs(DATA_TIM)), "");
    EXPECT_EQ(note(WithoutChunk(png), exsample::ImportAs(DATA_TIM)),
              "no vellum metadata; CLUT and image at 0,0, one CLUT row" + strWay);
    EXPECT_EQ(note(WithoutChunk(png), exsample::ImportAs(DATA_TIM, 16)), "no vellum metadata; image at 0,0, no CLUT" + strWay);
    EXPECT_EQ(note(png, exsample::ImportAs(DATA_BMP)),
              "its vellum metadata describes a TIM; a 40-byte header, bottom-up rows padded to 4 bytes, no resolution" +
                  strWay);
    ImportOptions sheet = exsample::ImportAs(DATA_BFNT);
    EXPECT_EQ(note(WithoutChunk(png), sheet),
              "no vellum metadata; 16x16 cells, a code for every whole cell from 0, vellum's own header bytes and no "
              "extension block" + strWay);
    sheet.nCellWidth = sheet.nCellHeight = 4;
    EXPECT_EQ(note(WithoutChunk(png), sheet),
              "no vellum metadata; a code for every whole cell from 0, vellum's own header bytes and no extension block" +
                  strWay);
}
