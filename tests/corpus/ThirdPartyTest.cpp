// Other writers' test suites (third-party/README.md): export and the PNG decoder against the
// readings expected.txt stores, and every refusal's hint against the form it names.

#include "exchange/Exchange.h"
#include "exchange/Png.h"
#include "tools/vellumconv/ConvRoute.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace
{

using Bytes = std::vector<std::uint8_t>;
const std::filesystem::path CORPUS = VELLUM_THIRD_PARTY_DIR;

Bytes ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// "WxH:hash" of the decoded picture, as the table's script writes it, or "refused".
std::string Reading(const Bytes& png)
{
    PngPicture pic;
    std::string strError;
    if (!DecodePng(png.data(), png.size(), nullptr, pic, strError))
        return "refused";
    std::uint64_t h = 0xCBF29CE484222325u;
    auto add = [&h](std::uint8_t b) {
        h ^= b;
        h *= 0x100000001B3u;
    };
    const std::size_t nPixels = std::size_t{pic.nWidth} * pic.nHeight;
    for (std::size_t i = 0; i < nPixels; ++i)
        if (pic.bIndexed)
        {
            const PngColor c = pic.palette.at(pic.pixels[i]);
            for (std::uint8_t b : {c.r, c.g, c.b, c.a})
                add(b);
        }
        else
            for (std::size_t k = 0; k < 4; ++k)
                add(pic.pixels[4 * i + k]);
    char sz[64];
    std::snprintf(sz, sizeof sz, "%ux%u:%016llx", pic.nWidth, pic.nHeight, static_cast<unsigned long long>(h));
    return sz;
}

struct Expected
{
    std::string strFile, strReading, strFollows;
};

std::vector<Expected> Table()
{
    std::vector<Expected> rows;
    std::ifstream in(CORPUS / "expected.txt");
    for (std::string strLine; std::getline(in, strLine);)
    {
        if (strLine.empty() || strLine[0] == '#')
            continue;
        std::istringstream fields(strLine);
        Expected e;
        fields >> e.strFile >> e.strReading >> e.strFollows;
        rows.push_back(e);
    }
    return rows;
}

TEST(ThirdParty, ExportAndDecodeGiveTheReadingTheTableStores)
{
    const std::vector<Expected> rows = Table();
    ASSERT_GT(rows.size(), 200u);
    for (const Expected& e : rows)
    {
        SCOPED_TRACE(e.strFile + " (" + e.strFollows + ")");
        const Bytes file = ReadAll(CORPUS / e.strFile);
        ASSERT_FALSE(file.empty());
        if (e.strFile.ends_with(".png"))
        {
            EXPECT_EQ(Reading(file), e.strReading);
            continue;
        }
        ExportOptions opt;
        Bytes png;
        std::string strError;
        const bool bOk = ExportToPng(file.data(), file.size(), opt, png, strError);
        EXPECT_EQ(bOk ? Reading(png) : "refused", e.strReading) << strError;
        EXPECT_EQ(bOk, strError.empty()) << strError;
    }
}

// A hint that points to export or import must point to a form that reads the file.
void CheckHint(const std::filesystem::path& path)
{
    const Bytes file = ReadAll(path);
    std::string strError;
    if (Bytes png; ExportToPng(file.data(), file.size(), ExportOptions{}, png, strError))
        return;
    const std::string strHint = ExportRefusalHint(file.data(), file.size());
    const bool bExport = strHint.find("`vellumconv export` reads") != std::string::npos;
    const bool bImport = strHint.find("`vellumconv import` reads") != std::string::npos;
    if (!bExport && !bImport)
        return;
    if (bExport)
    {
        Bytes png;
        EXPECT_TRUE(ExportToPng(file.data(), file.size(), ExportOptions{}, png, strError)) << strHint << ": " << strError;
    }
    else
    {
        PngPicture pic;
        EXPECT_TRUE(DecodePng(file.data(), file.size(), nullptr, pic, strError)) << strHint << ": " << strError;
    }
}

TEST(ThirdParty, EveryHintNamesAFormThatReadsTheFile)
{
    std::size_t nFiles = 0;
    for (const std::filesystem::path& dir : {CORPUS, std::filesystem::path(VELLUM_FUZZ_BMP_DIR)})
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        {
            const std::string strName = entry.path().filename().string();
            if (!entry.is_regular_file() || strName.ends_with(".txt") || strName.ends_with(".md") ||
                strName.starts_with("PngSuite"))
                continue;
            SCOPED_TRACE(entry.path().string());
            CheckHint(entry.path());
            ++nFiles;
        }
    EXPECT_GT(nFiles, 400u);
}

}  // namespace
