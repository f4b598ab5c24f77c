// The one table of messages and the one table of kinds: every code worded once, numbers,
// articles and libpng's words filled in, and the kind byte the vlMD chunk stores staying
// what files already hold, whatever the program's own numbering.

#include "exchange/ExchangeResult.h"
#include "exchange/MetaChunk.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <set>

TEST(ExchangeMessages, EveryCodeIsWordedOnceAsASentence)
{
    std::set<std::string> texts;
    for (int n = XCH_OK + 1; n < XCH_CODE_COUNT; ++n)
    {
        const char* pszText = ExchangeCodeText(static_cast<ExchangeCode>(n));
        ASSERT_NE(pszText, nullptr) << n;
        const std::string strText = pszText;
        ASSERT_FALSE(strText.empty()) << n;
        EXPECT_EQ(strText.back(), '.') << strText;
        EXPECT_TRUE(texts.insert(strText).second) << strText;
        // Filled in with any numbers, no placeholder is left.
        ExchangeResult result = Refuse(static_cast<ExchangeCode>(n), 1, 2, 3, 4, 5);
        result.strDetail = "detail";
        EXPECT_EQ(ExchangeMessage(result).find('{'), std::string::npos) << strText;
    }
    EXPECT_EQ(ExchangeCodeText(XCH_CODE_COUNT), nullptr);
    EXPECT_EQ(ExchangeMessage({}), "");
}

TEST(ExchangeMessages, NumbersArticlesAndDetailAreFilledIn)
{
    EXPECT_EQ(ExchangeMessage(Refuse(XCH_TIM_WIDTH, 8, 2, 13)),
              "an 8-bit TIM needs a width that is a multiple of 2; the picture is 13 pixels wide.");
    EXPECT_EQ(ExchangeMessage(Refuse(XCH_TIM_WIDTH, 4, 4, 13)),
              "a 4-bit TIM needs a width that is a multiple of 4; the picture is 13 pixels wide.");
    EXPECT_EQ(ExchangeMessage(Refuse(XCH_TIM_PICTURE_TOO_LARGE, 70000, 2, 16)),
              "the picture (70000 x 2) is too large for a 16-bit TIM.");
    EXPECT_EQ(ExchangeMessage(Refuse(XCH_TIM_DEPTH, -3)), "a TIM has 4, 8, 16 or 24 bits per pixel, not -3.");
    EXPECT_EQ(ExchangeMessage(Refuse(XCH_CELL_OUTSIDE, 99, 4, 2, 8, 16)),
              "the cell of code 99 lies outside the picture: it holds 4 x 2 cells of 8 x 16.");
    ExchangeResult libpng = Refuse(XCH_PNG_READ);
    libpng.strDetail = "IHDR: CRC error";
    EXPECT_EQ(ExchangeMessage(libpng), "the PNG cannot be read: IHDR: CRC error.");
}

TEST(ExchangeMessages, WordsAreSetOnlyForARefusal)
{
    std::string strError = "left alone";
    EXPECT_TRUE(ReportExchange({}, strError));
    EXPECT_EQ(strError, "left alone");
    EXPECT_FALSE(ReportExchange(Refuse(XCH_NOT_PNG), strError));
    EXPECT_EQ(strError, "not a PNG file.");
}

TEST(ExchangeKinds, TheChunkStoresItsOwnKindBytes)
{
    struct Case
    {
        exsample::Bytes file;
        int nKind;
        std::uint8_t nStored;
    };
    const Case cases[] = {
        {exsample::MakeTim(exsample::TimShape{}), DATA_TIM, 1},
        {exsample::MakeBmp(exsample::BmpShape{}), DATA_BMP, 2},
        {MakeSampleBfnt(4, 4, 0, 3), DATA_BFNT, 3},
    };
    for (const Case& c : cases)
    {
        const PngPicture pic = exsample::Decode(exsample::Export(c.file));
        ASSERT_TRUE(pic.bPrivate);
        ASSERT_GE(pic.privateData.size(), 2u);
        EXPECT_EQ(pic.privateData[1], c.nStored) << c.nKind;

        // Import reads the byte back as the kind: the chunk's fields are used for it and
        // for no other kind.
        exsample::Bytes chunk = pic.privateData;
        MetaChunk meta;
        ASSERT_TRUE(ParseMetaChunk(chunk, meta).Ok());
        EXPECT_EQ(meta.nDataType, c.nKind);
        EXPECT_EQ(BuildMetaChunk(meta), chunk);
        chunk[1] = 4;
        EXPECT_EQ(ParseMetaChunk(chunk, meta).code, XCH_CHUNK_DAMAGED);
    }
}
