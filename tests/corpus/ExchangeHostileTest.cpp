// The exchange corpus: every hostile file gives its message and no output, every
// accepted one gives output that the library reads back; then a deterministic
// mutation run flips, zeroes and cuts every byte of small valid files of each kind.

#include "tests/corpus/ExchangeHostileFiles.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>

namespace excorpus
{
void PrintTo(const ExchangeCase& c, std::ostream* pOut)
{
    *pOut << c.name;
}
}  // namespace excorpus

namespace
{
using excorpus::Bytes;
using excorpus::ExchangeCase;

const Bytes SENTINEL = {0x5E, 0x17};

ImportOptions Target(int kind)
{
    ImportOptions opt;
    opt.kind = kind;
    return opt;
}

bool RunCase(const ExchangeCase& c, Bytes& out, std::string& strError)
{
    if (c.verb == excorpus::VERB_EXPORT)
        return ExportToPng(c.bytes.data(), c.bytes.size(), ExportOptions{}, out, strError);
    return ImportFromPng(c.bytes.data(), c.bytes.size(), Target(c.target), out, strError);
}

class ExchangeHostile : public testing::TestWithParam<ExchangeCase>
{
};

TEST_P(ExchangeHostile, GivesItsMessageAndNothingElse)
{
    const ExchangeCase& c = GetParam();
    Bytes out = SENTINEL;
    std::string strError;
    const bool bOk = RunCase(c, out, strError);
    if (!c.message.empty())
    {
        EXPECT_FALSE(bOk);
        EXPECT_EQ(strError, c.message);
        EXPECT_EQ(out, SENTINEL);
        return;
    }
    ASSERT_TRUE(bOk) << strError;
    if (c.verb == excorpus::VERB_EXPORT)
    {
        PngPicture pic;
        ASSERT_TRUE(DecodePng(out.data(), out.size(), "vlMD", pic, strError)) << strError;
        EXPECT_TRUE(pic.bPrivate);
    }
    else
    {
        Bytes png;
        EXPECT_EQ(DetectDataType(out.data(), out.size()), c.target);
        EXPECT_TRUE(ExportToPng(out.data(), out.size(), ExportOptions{}, png, strError)) << strError;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, ExchangeHostile, testing::ValuesIn(excorpus::ExchangeCases()),
                         [](const testing::TestParamInfo<ExchangeCase>& param) {
                             std::string s = param.param.name;
                             for (char& ch : s)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return s;
                         });

TEST(ExchangeCorpus, NamesAreUnique)
{
    std::set<std::string> names;
    for (const ExchangeCase& c : excorpus::ExchangeCases())
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
}

// Each mutant either gives a message and no output or gives output that reads back: an
// imported file exports again; an exported PNG decodes whole, carries its chunk and imports
// back into the kind it came from.
void Mutate(const Bytes& valid, bool bPng)
{
    auto check = [&](const Bytes& b, std::size_t nAt) {
        Bytes out = SENTINEL;
        std::string strError;
        const bool bOk = bPng ? ImportFromPng(b.data(), b.size(), Target(DATA_TIM), out, strError)
                              : ExportToPng(b.data(), b.size(), ExportOptions{}, out, strError);
        if (!bOk)
        {
            ASSERT_FALSE(strError.empty()) << nAt;
            ASSERT_EQ(out, SENTINEL) << nAt;
            return;
        }
        Bytes again;
        if (bPng)
        {
            ASSERT_TRUE(ExportToPng(out.data(), out.size(), ExportOptions{}, again, strError)) << nAt << strError;
            return;
        }
        PngPicture pic;
        ASSERT_TRUE(DecodePng(out.data(), out.size(), "vlMD", pic, strError)) << nAt << strError;
        ASSERT_TRUE(pic.bPrivate) << nAt;
        ASSERT_EQ(pic.pixels.size(), std::size_t{pic.nWidth} * pic.nHeight * (pic.bIndexed ? 1u : 4u)) << nAt;
        const int nKind = DetectDataType(b.data(), b.size());
        ASSERT_TRUE(ImportFromPng(out.data(), out.size(), Target(nKind), again, strError)) << nAt << strError;
        ASSERT_EQ(DetectDataType(again.data(), again.size()), nKind) << nAt;
    };
    for (std::size_t i = 0; i < valid.size(); ++i)
    {
        Bytes b = valid;
        b[i] ^= 0xFF;
        check(b, i);
        b[i] = 0;
        check(b, i);
        check(Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(i)), i);
    }
}

Bytes SmallTim(int nBpp)
{
    Bytes b = excorpus::TimFile({.flags = nBpp == 4 ? 8u : (nBpp == 8 ? 9u : (nBpp == 16 ? 2u : 3u)),
                                 .clutLength = nBpp == 4 ? 44u : 524u, .clutWidth = static_cast<std::uint16_t>(nBpp == 4 ? 16 : 256),
                                 .nColourBytes = nBpp == 4 ? 32u : 512u, .imageWidth = 3, .imageHeight = 2,
                                 .nPixelBytes = 12});
    return b;
}

TEST(ExchangeMutation, EveryByteOfSmallFilesFlippedZeroedAndCut)
{
    const std::vector<Bytes> files = {
        SmallTim(4), SmallTim(8), SmallTim(16), SmallTim(24),
        excorpus::BmpFile({.bfOffBits = 14 + 40 + 8, .biBitCount = 1, .nTableBytes = 8}),
        excorpus::BmpFile({.bfOffBits = 54, .biBitCount = 24, .nTableBytes = 0, .pixels = Bytes(24, 0x80)}),
        excorpus::BmpFile(excorpus::Rle8(5, 4, {3, 1, 0, 0, 0, 2, 0, 1, 2, 7, 0, 3, 9, 8, 7, 0, 0, 1})),
        excorpus::BmpFile(excorpus::Rle4(6, 3, {5, 0x12, 0, 0, 0, 2, 1, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 1})),
        excorpus::BfntFile({.format = 7, .nExtensionBytes = 0, .nPaletteBytes = 0}),
        excorpus::BfntFile({.format = 0x83, .extensionLength = 3, .nExtensionBytes = 3, .nPaletteBytes = 48,
                            .nPixelBytes = 12}),
    };
    for (const Bytes& f : files)
    {
        Mutate(f, false);
        Bytes png;
        std::string strError;
        ASSERT_TRUE(ExportToPng(f.data(), f.size(), ExportOptions{}, png, strError)) << strError;
        Mutate(png, true);
    }
}
}  // namespace
