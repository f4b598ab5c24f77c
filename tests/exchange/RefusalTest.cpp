// What export and import refuse, with the message they give, and that a refusal
// leaves the output exactly as it was. Malformed files are the corpus's business
// (tests/corpus/ExchangeHostileFiles.h); these are the refusals a user meets.

#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

namespace
{
using exsample::Bytes;
using exsample::BmpShape;
using exsample::TimShape;

const Bytes SENTINEL = {0xDE, 0xAD};

struct ExportRefusal
{
    const char* pszName;
    Bytes file;
    ExportOptions opt;
    const char* pszMessage;
};

ExportOptions Clut(std::uint32_t n)
{
    ExportOptions opt;
    opt.nClut = n;
    return opt;
}

ExportOptions Columns(std::uint32_t n)
{
    ExportOptions opt;
    opt.nColumns = n;
    return opt;
}

Bytes Tim(int nBpp, std::uint16_t nClutW, std::uint16_t nClutH)
{
    TimShape s;
    s.nBpp = nBpp;
    s.nClutWidth = nClutW;
    s.nClutHeight = nClutH;
    s.bClut = nClutW != 0;
    return exsample::MakeTim(s);
}

Bytes Bmp(int nBits, std::uint32_t nCompression, std::uint32_t nInfoSize = 40)
{
    BmpShape s;
    s.nBits = nBits;
    s.nCompression = nCompression;
    s.nInfoSize = nInfoSize;
    s.rle = {0, 1};
    return exsample::MakeBmp(s);
}

class ExportRefuses : public testing::TestWithParam<ExportRefusal>
{
};

TEST_P(ExportRefuses, WithItsMessageAndNoOutput)
{
    const ExportRefusal& c = GetParam();
    Bytes png = SENTINEL;
    std::string strError;
    EXPECT_FALSE(ExportToPng(c.file.data(), c.file.size(), c.opt, png, strError));
    EXPECT_EQ(strError, c.pszMessage);
    EXPECT_EQ(png, SENTINEL);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportRefuses,
    testing::Values(
        ExportRefusal{"clut_row_past_two", Tim(8, 256, 2), Clut(2), "CLUT row 2 does not exist: the file has 2 rows."},
        ExportRefusal{"clut_row_past_one", Tim(4, 16, 1), Clut(1), "CLUT row 1 does not exist: the file has 1 row."},
        ExportRefusal{"bmp_bit_fields", Bmp(8, 3), {}, "BMP with bit fields and 8 bits per pixel is not valid."},
        ExportRefusal{"bmp_v5_bit_fields", Bmp(24, 3, 124), {}, "BMP with bit fields and 24 bits per pixel is not valid."},
        ExportRefusal{"bmp_jpeg", Bmp(0, 4), {}, "BMP with JPEG data inside (compression 4) is not supported."},
        ExportRefusal{"bmp_16_bits", Bmp(48, 0), {}, "BMP with 48 bits per pixel is not supported."},
        ExportRefusal{"bfnt_no_columns", MakeSampleBfnt(2, 2, 0, 1), Columns(0), "a grid has 1 to 65536 columns."},
        ExportRefusal{"unknown", Bytes{'G', 'I', 'F', '8'}, {}, "unknown data format."},
        ExportRefusal{"empty", Bytes{}, {}, "unknown data format."}),
    [](const testing::TestParamInfo<ExportRefusal>& param) { return std::string(param.param.pszName); });

struct ImportRefusal
{
    const char* pszName;
    Bytes png;
    ImportOptions opt;
    const char* pszMessage;
};

Bytes ManyColours(std::uint32_t nColours)
{
    Bytes rgba;
    for (std::uint32_t i = 0; i < nColours; ++i)
        rgba.insert(rgba.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 9, 255});
    return exsample::EncodeForeign(nColours, 1, rgba, {});
}

Bytes IndexedPng(std::uint32_t w, std::uint32_t h, std::uint32_t nPalette, int nDepth = 8)
{
    return exsample::EncodeForeign(w, h, Bytes(std::size_t{w} * h, 0), std::vector<PngColor>(nPalette, PngColor{1, 2, 3, 255}),
                                   nDepth);
}

// Twenty palette entries, of which the pixels use 17: the unused ones do not count.
Bytes SeventeenUsed()
{
    Bytes indices(20);
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<std::uint8_t>(i % 17);
    return exsample::EncodeForeign(20, 1, indices, std::vector<PngColor>(20, PngColor{1, 2, 3, 255}));
}

Bytes CutPng(std::size_t nDrop)
{
    const Bytes png = IndexedPng(4, 4, 2);
    return Bytes(png.begin(), png.end() - static_cast<std::ptrdiff_t>(nDrop));
}

ImportOptions Cells(std::uint32_t w, std::uint32_t h, std::uint32_t nFirst, std::uint32_t nLast)
{
    ImportOptions opt = exsample::ImportAs(DATA_BFNT);
    opt.nCellWidth = w;
    opt.nCellHeight = h;
    opt.bCodes = true;
    opt.nFirstCode = nFirst;
    opt.nLastCode = nLast;
    return opt;
}

class ImportRefuses : public testing::TestWithParam<ImportRefusal>
{
};

TEST_P(ImportRefuses, WithItsMessageAndNoOutput)
{
    const ImportRefusal& c = GetParam();
    Bytes out = SENTINEL;
    std::string strError;
    EXPECT_FALSE(ImportFromPng(c.png.data(), c.png.size(), c.opt, out, strError));
    EXPECT_EQ(strError, c.pszMessage);
    EXPECT_EQ(out, SENTINEL);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportRefuses,
    testing::Values(
        ImportRefusal{"too_many_colours_bmp", ManyColours(300), exsample::ImportAs(DATA_BMP),
                      "the PNG has 300 colours; an 8-bit file holds at most 256."},
        ImportRefusal{"too_many_colours_tim8", ManyColours(258), exsample::ImportAs(DATA_TIM, 8),
                      "the PNG has 258 colours; an 8-bit file holds at most 256."},
        ImportRefusal{"too_many_colours_tim4", ManyColours(20), exsample::ImportAs(DATA_TIM, 4),
                      "the PNG has 20 colours; a 4-bit file holds at most 16."},
        ImportRefusal{"palette_too_long_for_4_bits", SeventeenUsed(), exsample::ImportAs(DATA_TIM, 4),
                      "the PNG's pixels use 17 colours of its palette; a 4-bit file holds at most 16."},
        ImportRefusal{"odd_width_8_bits", IndexedPng(5, 2, 4), exsample::ImportAs(DATA_TIM),
                      "an 8-bit TIM needs a width that is a multiple of 2; the picture is 5 pixels wide."},
        ImportRefusal{"width_6_at_4_bits", IndexedPng(6, 2, 4), exsample::ImportAs(DATA_TIM, 4),
                      "a 4-bit TIM needs a width that is a multiple of 4; the picture is 6 pixels wide."},
        ImportRefusal{"tim_depth", IndexedPng(4, 1, 4), exsample::ImportAs(DATA_TIM, 12),
                      "a TIM has 4, 8, 16 or 24 bits per pixel, not 12."},
        ImportRefusal{"tim_too_wide", IndexedPng(131072, 1, 2, 1), exsample::ImportAs(DATA_TIM, 8),
                      "the picture (131072 x 1) is too large for an 8-bit TIM."},
        ImportRefusal{"code_outside", IndexedPng(32, 32, 4), Cells(16, 16, 0, 4),
                      "the cell of code 4 lies outside the picture: it holds 2 x 2 cells of 16 x 16."},
        ImportRefusal{"no_whole_cell", IndexedPng(10, 40, 4), exsample::ImportAs(DATA_BFNT),
                      "the picture (10 x 40) holds no whole 16 x 16 cell."},
        ImportRefusal{"codes_reversed", IndexedPng(32, 32, 4), Cells(16, 16, 3, 1),
                      "codes run from 0 to 65535 with the first not above the last, not 3-1."},
        ImportRefusal{"not_png", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0}, exsample::ImportAs(DATA_BMP),
                      "not a PNG file."},
        ImportRefusal{"png_cut", CutPng(20),
                      exsample::ImportAs(DATA_BMP), "the PNG cannot be read: the file ends early."}),
    [](const testing::TestParamInfo<ImportRefusal>& param) { return std::string(param.param.pszName); });

// An index past the end of the palette cannot become a colour-table entry.
TEST(ImportRefuses, IndexPastThePalette)
{
    const Bytes png = exsample::EncodeForeign(2, 1, Bytes{0, 3}, std::vector<PngColor>(2, PngColor{0, 0, 0, 255}), 2);
    Bytes out = SENTINEL;
    std::string strError;
    EXPECT_FALSE(ImportFromPng(png.data(), png.size(), exsample::ImportAs(DATA_BMP), out, strError));
    EXPECT_EQ(strError, "the PNG uses colour index 3 but its palette has 2 colours.");
    EXPECT_EQ(out, SENTINEL);
}
}  // namespace
