// The scan's rule for a BMP colour table's fourth bytes: 0, 0xFF throughout, or a grey's own
// value as Pillow writes them, found in a container; any other mix is no find.

#include "formats/Scan.h"
#include "tests/formats/ScanSamples.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

using scansample::Bytes;

Bytes ReadPillowFile(const std::string& strName)
{
    std::ifstream in(std::string(VELLUM_PILLOW_DIR) + "/" + strName, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "offset length WxH depth" of every find.
std::vector<std::string> Finds(const Bytes& b)
{
    std::vector<std::string> finds;
    ScanBytes(b.data(), b.size(), SCAN_ALL_KINDS, ScanLimits{}, [&](std::uint64_t nOffset, const ScanItem& it) {
        finds.push_back(std::to_string(nOffset) + " " + std::to_string(it.nLength) + " " + std::to_string(it.nWidth) +
                        "x" + std::to_string(it.nHeight) + " " + std::to_string(it.nDepth));
    });
    return finds;
}

// A BMP of the scan's samples whose table entry i gets fourth byte reserved(i) and, where
// grey(i) is not negative, the colour (grey(i), grey(i), grey(i)).
template <typename Reserved, typename Grey>
Bytes WithTable(const scansample::BmpShape& shape, Reserved reserved, Grey grey)
{
    Bytes b = scansample::MakeBmp(shape);
    const std::uint32_t nEntries = scansample::BmpEntries(shape);
    for (std::uint32_t i = 0; i < nEntries; ++i)
    {
        std::uint8_t* e = &b[14 + shape.nInfoSize + 4 * i];
        if (const int v = grey(i); v >= 0)
            e[0] = e[1] = e[2] = static_cast<std::uint8_t>(v);
        e[3] = reserved(i);
    }
    return b;
}

}  // namespace

TEST(ScanTable, FindsPillowsBmpsInAContainer)
{
    const std::pair<const char*, const char*> files[] = {
        {"1bit.bmp", "82 13x5 1"}, {"grey8.bmp", "1102 7x3 8"}, {"palette8.bmp", "150 6x4 8"}};
    scansample::CRandom r(3);
    Bytes container;
    std::vector<std::string> expected;
    for (const auto& [pszName, pszFind] : files)
    {
        const Bytes gap = r.Make(200 + r.Below(300));
        container.insert(container.end(), gap.begin(), gap.end());
        const Bytes file = ReadPillowFile(pszName);
        ASSERT_FALSE(file.empty()) << pszName;
        expected.push_back(std::to_string(container.size()) + " " + pszFind);
        container.insert(container.end(), file.begin(), file.end());
    }
    const Bytes tail = r.Make(64);
    container.insert(container.end(), tail.begin(), tail.end());
    EXPECT_EQ(Finds(container), expected);
}

TEST(ScanTable, FindsTablesOfGreysAndOfOpaqueFourthBytes)
{
    const scansample::BmpShape bits1{1, 13, 5}, bits4{4, 9, 3}, bits8{8, 6, 4}, short4{4, 9, 3, 0, 40, 5};
    auto none = [](std::uint32_t) { return -1; };
    auto opaque = [](std::uint32_t) { return std::uint8_t{0xFF}; };
    // Greys of four equal bytes, 0 and 255 among them, as Pillow writes a 1-bit or mode L table.
    auto grey4 = [](std::uint32_t i) { return static_cast<int>(i * 17); };
    auto grey4Reserved = [](std::uint32_t i) { return static_cast<std::uint8_t>(i * 17); };
    // Colours and greys side by side: the colours' fourth bytes 0.
    auto mixed = [](std::uint32_t i) { return i % 2 == 0 ? static_cast<int>(i) : -1; };
    auto mixedReserved = [](std::uint32_t i) { return static_cast<std::uint8_t>(i % 2 == 0 ? i : 0); };
    const std::pair<const char*, Bytes> cases[] = {
        {"4-bit greys", WithTable(bits4, grey4Reserved, grey4)},
        {"1-bit 0xFF", WithTable(bits1, opaque, none)},
        {"4-bit 0xFF", WithTable(bits4, opaque, none)},
        {"8-bit 0xFF", WithTable(bits8, opaque, none)},
        {"short 4-bit 0xFF", WithTable(short4, opaque, none)},
        {"8-bit greys among colours", WithTable(bits8, mixedReserved, mixed)},
    };
    for (const auto& [pszName, bytes] : cases)
        EXPECT_EQ(Finds(bytes).size(), 1u) << pszName;
}

TEST(ScanTable, FindsNoTableOfOtherFourthBytes)
{
    const scansample::BmpShape bits4{4, 9, 3}, bits8{8, 6, 4};
    auto none = [](std::uint32_t) { return -1; };
    // 0 and 0xFF mixed in colours that are no greys.
    auto zeroAndFf = [](std::uint32_t i) { return static_cast<std::uint8_t>(i % 3 == 0 ? 0xFF : 0); };
    // 0xFF throughout but one 0 in a colour.
    auto ffButOne = [](std::uint32_t i) { return static_cast<std::uint8_t>(i == 7 ? 0 : 0xFF); };
    // A grey whose fourth byte is another grey's.
    auto greys = [](std::uint32_t i) { return static_cast<int>(i * 17); };
    auto offByOne = [](std::uint32_t i) { return static_cast<std::uint8_t>(i == 9 ? 9 * 17 + 1 : i * 17); };
    auto seventeen = [](std::uint32_t) { return std::uint8_t{0x11}; };
    const std::pair<const char*, Bytes> cases[] = {
        {"0 and 0xFF in colours", WithTable(bits8, zeroAndFf, none)},
        {"0xFF but one 0", WithTable(bits4, ffButOne, none)},
        {"a grey's fourth byte off by one", WithTable(bits4, offByOne, greys)},
        {"another value throughout", WithTable(bits4, seventeen, none)},
    };
    for (const auto& [pszName, bytes] : cases)
        EXPECT_TRUE(Finds(bytes).empty()) << pszName;
}
